// Malformed and hostile GPX and KML: a clear message naming the file and the place, and no plan.

#include "ExchangeTestUtil.h"

#include <exchange/Exchange.h>

namespace {

std::string Gpx(const std::string& body) {
    return "<?xml version=\"1.0\"?><gpx version=\"1.1\" "
           "xmlns=\"http://www.topografix.com/GPX/1/1\">" +
           body + "</gpx>";
}

std::string Deep(int levels) {
    std::string xml = "<gpx>";
    for (int i = 0; i < levels; ++i)
        xml += "<a>";
    for (int i = 0; i < levels; ++i)
        xml += "</a>";
    return xml + "</gpx>";
}

} // namespace

TEST(HostileInput, RefusedWithWhereAndWhy) {
    std::string many = "<kml><Placemark><LineString><coordinates>";
    for (std::size_t i = 0; i <= exchange::kMaxImportedPoints; ++i)
        many += "4.7,52.3 ";
    many += "</coordinates></LineString></Placemark></kml>";
    const struct {
        const char* name;
        std::string content;
        const char* message;
    } cases[] = {
        {"nan.gpx", Gpx("<rte><rtept lat=\"52\" lon=\"4\"/><rtept lat=\"NaN\" lon=\"4\"/></rte>"),
         "nan.gpx: rte 1, rtept 2: lat \"NaN\" is not a finite number"},
        {"pole.gpx", Gpx("<wpt lat=\"90.5\" lon=\"4\"/>"),
         "pole.gpx: wpt 1: lat 90.5 is out of range (-90 to 90)"},
        {"dateline.gpx", Gpx("<trk><trkseg><trkpt lat=\"1\" lon=\"181\"/></trkseg></trk>"),
         "trk 1, trkseg 1, trkpt 1: lon 181 is out of range (-180 to 180)"},
        {"ele.gpx", Gpx("<wpt lat=\"52\" lon=\"4\"><ele>inf</ele></wpt>"),
         "wpt 1: ele \"inf\" is not a finite number"},
        {"nolat.gpx", Gpx("<wpt lon=\"4\"/>"), "wpt 1: no lat"},
        {"empty.gpx", Gpx("<rte><name>nothing</name></rte>"),
         "empty.gpx: no route, track or waypoint with a point"},
        {"other.xml", "<avilo/>", "other.xml: neither GPX (root \"gpx\") nor KML (root \"kml\")"},
        {"broken.gpx", "<gpx><rte>", "broken.gpx: "},
        {"deep.gpx", Deep(300), "deep.gpx: "},
        {"nan.kml",
         "<kml><Placemark><LineString><coordinates>4,52,0 4.1,NaN,0</coordinates></LineString>"
         "</Placemark></kml>",
         "nan.kml: LineString 1, coordinates 2: lat \"NaN\" is not a finite number"},
        {"pole.kml",
         "<kml><Placemark><Point><coordinates>4,-91</coordinates></Point></Placemark></kml>",
         "pole.kml: Placemark 1, coordinates 1: lat -91 is out of range (-90 to 90)"},
        {"tuple.kml",
         "<kml><Placemark><Point><coordinates>4</coordinates></Point></Placemark></kml>",
         "tuple.kml: Placemark 1, coordinates 1: \"4\" is not lon,lat[,alt]"},
        {"many.kml", many, "many.kml: more than 100000 points"},
        {"ocean.gpx", Gpx("<wpt lat=\"-60\" lon=\"-140\"/>"),
         "ocean.gpx: no airport lies near the first point (-60.000000 N, -140.000000 E)"},
    };
    Scratch dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write(c.name, c.content);
        try {
            exchange::ImportRoute(path, Airports());
            ADD_FAILURE() << "imported";
        } catch (const exchange::ExchangeError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// A file beyond the XML layer's size limit is refused before it is read.
TEST(HostileInput, HugeFileRefused) {
    Scratch dir;
    const std::string path = dir.write("huge.gpx", Gpx(""));
    fs::resize_file(path, xml::kMaxDocumentBytes + 1);
    try {
        exchange::ImportRoute(path, Airports());
        ADD_FAILURE() << "imported";
    } catch (const exchange::ExchangeError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
    }
}
