// avilo: the flight planner.  Reads "avilo.xsd", "airports.xml" and "scrivodb.xml" from the
// working directory; takes no arguments.
#include "AviloApp.h"

int main(int argc, char** argv) {
    avilo::planner::CAviloApp app(argc, argv);
    if (!app.InitInstance())
        return app.ExitInstance(1);
    return app.ExitInstance(app.exec());
}
