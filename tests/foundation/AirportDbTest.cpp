#include <avilo/AirportDb.h>

#include <gtest/gtest.h>

#include <cmath>

namespace ap = avilo::airports;

namespace {

xml::DocumentPtr Load(const std::string& text) {
    auto doc = xml::Document::Create();
    EXPECT_TRUE(doc->loadXML(text)) << doc->parseError().reason;
    return doc;
}

std::string Runway(const std::string& attributes,
                   const std::string& start = "<longitude>1.5"
                                              "</longitude><latitude>2.5</latitude>",
                   const std::string& end = "<longitude>3.5</longitude><latitude>4.5</latitude>") {
    return "<runway " + attributes + " elevation=\"12\"><GPSRwyStart>" + start +
           "</GPSRwyStart><GPSRwyEnd>" + end + "</GPSRwyEnd></runway>";
}

std::vector<std::string> Names(const xml::NodeList& list) {
    std::vector<std::string> names;
    for (const xml::Node& n : list)
        names.push_back(n.getAttribute("name"));
    return names;
}

} // namespace

TEST(AirportDb, NeighbourhoodQueryText) {
    EXPECT_EQ(ap::NeighbourhoodQuery(4.7637, 52.3086),
              "/airportdb/airport[(@GPSLon>=-5.2363000000 and @GPSLon<=14.7637000000) and "
              "(@GPSLat>=42.3086000000 and @GPSLat<=62.3086000000)]");
    // "%13.10f" pads short numbers with leading spaces.
    EXPECT_EQ(ap::NeighbourhoodQuery(-9.5, 0.0),
              "/airportdb/airport[(@GPSLon>=-19.5000000000 and @GPSLon<= 0.5000000000) and "
              "(@GPSLat>=-10.0000000000 and @GPSLat<=10.0000000000)]");
}

TEST(AirportDb, BoxEdgesAreInclusiveAndNotWrapped) {
    auto db = Load(R"(<airportdb>
        <airport name="east" ICAO="E" GPSLon="15" GPSLat="50"/>
        <airport name="west" ICAO="W" GPSLon="-5" GPSLat="50"/>
        <airport name="north" ICAO="N" GPSLon="5" GPSLat="60"/>
        <airport name="south" ICAO="S" GPSLon="5" GPSLat="40"/>
        <airport name="beyond" ICAO="B" GPSLon="15.0001" GPSLat="50"/>
        <airport name="corner" ICAO="C" GPSLon="-5" GPSLat="39.99"/>
      </airportdb>)");
    EXPECT_EQ(Names(ap::AirportsNear(db, 5.0, 50.0)),
              (std::vector<std::string>{"east", "west", "north", "south"}));
    auto dateline = Load(R"(<airportdb>
        <airport name="fiji" ICAO="NFFN" GPSLon="177.4" GPSLat="-17.7"/>
        <airport name="samoa" ICAO="NSFA" GPSLon="-171.9" GPSLat="-13.8"/></airportdb>)");
    EXPECT_EQ(Names(ap::AirportsNear(dateline, 179.0, -15.0)), (std::vector<std::string>{"fiji"}));
}

TEST(AirportDb, NearestIsEuclideanInDegreesFirstWinsTies) {
    auto db = Load(R"(<airportdb>
        <airport name="a" ICAO="A" GPSLon="1" GPSLat="0"/>
        <airport name="b" ICAO="B" GPSLon="0" GPSLat="1"/>
        <airport name="c" ICAO="C" GPSLon="-1" GPSLat="0"/>
        <airport name="far" ICAO="F" GPSLon="3" GPSLat="3"/></airportdb>)");
    const auto list = ap::AirportsNear(db, 0, 0);
    EXPECT_EQ(ap::NearestAirport(list, 0, 0).getAttribute("name"), "a");
    EXPECT_EQ(ap::NearestAirport(list, 2.9, 2.9).getAttribute("name"), "far");
    EXPECT_TRUE(ap::NearestAirport(xml::NodeList(), 0, 0).empty());
    // Missing required attributes raise the COM-style error.
    auto broken = Load(R"(<airportdb><airport name="x" GPSLat="0"/></airportdb>)");
    EXPECT_THROW(ap::NearestAirport(broken->selectNodes("//airport"), 0, 0), xml::ComError);
}

TEST(AirportDb, NameLookupMatchesNamesWithQuotes) {
    auto db = Load(R"(<airportdb>
        <airport name="Smith &quot;Field&quot;" ICAO="KS1" GPSLon="0" GPSLat="0"/>
        <airport name="O'Hare &quot;Intl&quot;" ICAO="KORD" GPSLon="0" GPSLat="0"/>
        <airport name="plain" ICAO="P" GPSLon="0" GPSLat="0"/></airportdb>)");
    EXPECT_EQ(ap::AirportByName(db, "Smith \"Field\"").getAttribute("ICAO"), "KS1");
    EXPECT_EQ(ap::AirportByName(db, "O'Hare \"Intl\"").getAttribute("ICAO"), "KORD");
    EXPECT_EQ(ap::AirportByName(db, "plain").getAttribute("ICAO"), "P");
    EXPECT_TRUE(ap::AirportByName(db, "Smith \"Field").empty());
}

TEST(AirportDb, RunwayEntries) {
    struct Case {
        const char* attributes;
        const char* first;
        const char* second;
    };
    const Case cases[] = {
        {R"(heading="92" magnvar="2")", "9", "27"},
        {R"(prefix="L" heading="355")", "36L", "18R"},
        {R"(prefix="R" heading="175")", "18R", "36L"},
        {R"(prefix="C" heading="120")", "12C", "30C"}, // other letters on both ends
        {R"(prefix="W" heading="40")", "4W", "22W"},
        {R"(heading="4.9")", "36", "18"},              // rounds to 0: 36
        {R"(heading="6.9" magnvar="2")", "36", "18"},  // magnetic 4.9
        {R"(heading="358" magnvar="-10")", "1", "19"}, // magnetic 368: not 37
        {R"(heading="2" magnvar="12")", "35", "17"},   // magnetic -10: not -1
        {R"(heading="359" magnvar="-6")", "1", "19"},  // magnetic 365
        {R"(heading="1" magnvar="6.5")", "35", "17"},  // magnetic -5.5
        {R"(prefix="L")", "L", "R"},                   // no heading: the letters alone
        {R"()", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        auto db = Load(std::string("<airportdb><airport name=\"a\" ICAO=\"A\" GPSLon=\"0\" "
                                   "GPSLat=\"0\">") +
                       Runway(c.attributes) + "</airport></airportdb>");
        const auto entries = ap::RunwayEntries(db->documentElement().firstChild());
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0], c.first);
        EXPECT_EQ(entries[1], c.second);
    }
    for (int h = -720; h <= 720; ++h) {
        const int n = ap::RunwayNumber(h + 0.25);
        ASSERT_GE(n, 1) << h;
        ASSERT_LE(n, 36) << h;
    }
}

TEST(AirportDb, ResolvingEntries) {
    auto db = Load(std::string("<airportdb><airport name=\"a\" ICAO=\"A\" GPSLon=\"0\" "
                               "GPSLat=\"0\">") +
                   Runway(R"(heading="86.5" magnvar="1.5")") +
                   Runway(R"(prefix="L" heading="183.25" magnvar="2.25")",
                          "<longitude>4.78</longitude><latitude>52.32</latitude>",
                          "<latitude>52.29</latitude><longitude>4.77 east</longitude>") +
                   "</airport></airportdb>");
    const xml::Node airport = db->documentElement().firstChild();
    const auto start = ap::ResolveRunwayEntry(airport, 0);
    ASSERT_TRUE(start);
    EXPECT_EQ(start->heading, "86.5") << "the attribute text unchanged";
    EXPECT_EQ(start->longitudeText, "1.5");

    // Entry 3: the second runway's opposite direction.
    const auto d = ap::ResolveRunwayEntry(airport, 3);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->heading, "3.250000");
    EXPECT_EQ(d->magnvar, "2.25");
    EXPECT_EQ(d->elevation, "12");
    EXPECT_EQ(d->longitudeText, "4.77 east");
    EXPECT_EQ(d->latitudeText, "52.29");
    EXPECT_DOUBLE_EQ(d->longitude, 4.77) << "atof reads the numeric prefix";
    EXPECT_DOUBLE_EQ(d->latitude, 52.29);

    EXPECT_FALSE(ap::ResolveRunwayEntry(airport, 4));
    EXPECT_FALSE(ap::ResolveRunwayEntry(airport, -1));

    // Resolving needs heading and magnvar.
    auto bare = Load(std::string("<airportdb><airport name=\"a\" ICAO=\"A\" GPSLon=\"0\" "
                                 "GPSLat=\"0\">") +
                     Runway(R"(heading="10")") + "</airport></airportdb>");
    EXPECT_THROW(ap::ResolveRunwayEntry(bare->documentElement().firstChild(), 0), xml::ComError);
}

TEST(AirportDb, IndexSelectsExactlyWhatTheQuerySelects) {
    auto db = Load(R"(<airportdb>
        <airport name="edge-east" ICAO="1" GPSLon="15" GPSLat="50"/>
        <airport name="edge-fraction" ICAO="2" GPSLon="-5.2363000000" GPSLat="42.3086"/>
        <airport name="spaces" ICAO="3" GPSLon=" 5 " GPSLat="50"/>
        <airport name="plus" ICAO="4" GPSLon="+5" GPSLat="50"/>
        <airport name="exponent" ICAO="5" GPSLon="5e0" GPSLat="50"/>
        <airport name="text" ICAO="6" GPSLon="five" GPSLat="50"/>
        <airport name="no-lat" ICAO="7" GPSLon="5"/>
        <airport name="dot" ICAO="8" GPSLon=".5" GPSLat="50."/>
        <other name="not-an-airport" GPSLon="5" GPSLat="50"/>
        <airport name="after" ICAO="9" GPSLon="4.7637" GPSLat="52.3086"/>
      </airportdb>)");
    const double positions[][2] = {{5, 50}, {4.7637, 52.3086}, {25, 50}, {-15, 40}};
    for (const auto& p : positions) {
        SCOPED_TRACE(std::to_string(p[0]) + " " + std::to_string(p[1]));
        EXPECT_EQ(Names(ap::AirportsNear(db, p[0], p[1])),
                  Names(ap::AirportsNearByXPath(db, p[0], p[1])));
    }
    // The index follows changes of the document.
    db->documentElement().firstChild().setAttribute("GPSLon", "100");
    EXPECT_EQ(Names(ap::AirportsNear(db, 5, 50)), Names(ap::AirportsNearByXPath(db, 5, 50)));
    EXPECT_EQ(Names(ap::AirportsNear(db, 5, 50)).front(), "spaces") << "edge-east moved away";
}
