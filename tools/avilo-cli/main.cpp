// avilo-cli: Avilo's libraries from the command line.  Run it from data/, where the programs find
// their data files, as the planner does.

#include "Commands.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Command {
    const char* name;
    int (*run)(const Args&);
    const char* usage;
};

constexpr Command kCommands[] = {
    {"airports", RunAirports, "airports LON LAT        airports, nearest airport and its runways"},
    {"fly", RunFly,
     "fly PLAN.av|SCRIPT.xml [--sim builtin|ipc] [--track TRACK.csv] [--limit SECONDS]"},
    {"check", RunCheck, "check PLAN.av           consistency check; exit 1 when not consistent"},
    {"generate", RunGenerate, "generate PLAN.av -o SCRIPT.xml   flight script of a plan"},
    {"export", RunExport, "export PLAN.av -o OUT.gpx|OUT.fgfp|OUT.kml   a plan for other tools"},
    {"import", RunImport,
     "import IN.gpx|IN.kml -o PLAN.av   a route, track or waypoints as a plan"},
};

int Usage(std::FILE* out) {
    std::fputs("usage: avilo-cli COMMAND [ARGS]\n\ncommands:\n", out);
    for (const Command& c : kCommands)
        std::fprintf(out, "  %s\n", c.usage);
    return out == stdout ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    // The user's locale, as every program of the user's session has it (character set, messages
    // of the C library).  Numbers in files, logs and on the link never follow it: they are
    // written and read by the numbers module.
    std::setlocale(LC_ALL, "");
    if (argc < 2)
        return Usage(stderr);
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help")
        return Usage(stdout);
    for (const Command& c : kCommands)
        if (name == c.name)
            return c.run(Args(argv + 2, argv + argc));
    std::fprintf(stderr, "avilo-cli: unknown command '%s'\n", name.c_str());
    return Usage(stderr);
}
