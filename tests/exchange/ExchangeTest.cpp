// Plans exported and imported again, and every file written read by an independent reader
// (gpsbabel): positions within 1e-7 degrees, altitudes within 0.1 m.

#include "ExchangeTestUtil.h"

#include <exchange/Exchange.h>

#include <cmath>

namespace {

constexpr double kDegrees = 1e-7;
constexpr double kMetres = 0.1;
constexpr double kFeet = 0.01;

/// A plan of 500 steer points: the Schiphol take-off, then 499 GPS steer points on a widening
/// spiral, every altitude, airspeed and heading different, the times running past midnight.
std::string Plan500() {
    std::string xml = "<?xml version='1.0' encoding='UTF-8'?>\n<avilo>\n"
                      "<steerpoint phase=\"takeoff\"><GPSCoordinate><longitude>4.758121"
                      "</longitude><latitude>52.314850</latitude></GPSCoordinate>"
                      "<timeOverSteerPoint>10:00</timeOverSteerPoint>"
                      "<airport shortname=\"EHAM\" name=\"Schiphol\"><runway>09</runway>"
                      "<runwayHeading>86.777965</runwayHeading><runwayMagnVar>1.767965"
                      "</runwayMagnVar><runwayElevation>-11</runwayElevation><GPSRunway>"
                      "<latitude>52.31662258</latitude><longitude>4.74629843</longitude>"
                      "</GPSRunway></airport><task>takeoff</task></steerpoint>\n";
    for (int i = 1; i < 500; ++i) {
        const double a = i * 0.37, r = 0.02 + i * 0.004;
        const int minutes = (600 + 3 * i) % 1440;
        xml += numbers::Format("<steerpoint phase=\"cruise\"><GPSCoordinate><longitude>%f"
                               "</longitude><latitude>%f</latitude></GPSCoordinate>"
                               "<timeOverSteerPoint>%02d:%02d</timeOverSteerPoint>"
                               "<task>cruise</task><GPS><airspeed>%d</airspeed><heading>%d"
                               "</heading><altitude>%d</altitude></GPS></steerpoint>\n",
                               4.76 + r * std::cos(a), 52.31 + r * std::sin(a), minutes / 60,
                               minutes % 60, 70 + i % 60, (i * 7) % 360, 1000 + 17 * i);
    }
    return xml + "</avilo>\n";
}

std::vector<std::string> PlanFiles(const Scratch& dir) {
    std::vector<std::string> files;
    for (const char* name :
         {"schiphol-departure.av", "schiphol-09-quadrants.av", "schiphol-18c-quadrants.av",
          "schiphol-24-quadrants.av", "schiphol-36l-quadrants.av", "phases.av"})
        files.push_back(std::string(AVILO_DATA_DIR) + "/plans/" + name);
    files.push_back(dir.write("plan500.av", Plan500()));
    return files;
}

double AltitudeMetres(const Steer& s) {
    return numbers::ToDouble(s.altitude) * 0.3048;
}

} // namespace

// Export and import again give the same plan; through gpsbabel's own GPX (which another tool
// may have written), the same positions and altitudes.
TEST(Exchange, RoundTripOverTheSamplePlansAndFiveHundredSteerPoints) {
    Scratch dir;
    const bool babel = HaveGpsbabel();
    for (const std::string& file : PlanFiles(dir)) {
        SCOPED_TRACE(file);
        const xml::DocumentPtr plan = LoadPlan(file);
        const std::vector<Steer> before = SteerPoints(plan);
        const exchange::Exported gpx = exchange::PlanToGpx(plan, "route");
        gpx.document->save(dir / "route.gpx");
        const exchange::Imported imported = exchange::ImportRoute(dir / "route.gpx", Airports());
        const std::vector<Steer> after = SteerPoints(imported.plan);
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            SCOPED_TRACE(i);
            const Steer &b = before[i], &a = after[i];
            EXPECT_NEAR(a.lon, b.lon, kDegrees);
            EXPECT_NEAR(a.lat, b.lat, kDegrees);
            EXPECT_EQ(a.time, b.time);
            EXPECT_EQ(a.tasks, b.tasks);
            EXPECT_EQ(a.phase, b.phase);
            if (b.type.empty()) // a type Avilo does not know flies on as a GPS steer point
                continue;
            EXPECT_EQ(a.type, b.type);
            EXPECT_NEAR(numbers::ToDouble(a.altitude), numbers::ToDouble(b.altitude), kFeet);
            EXPECT_EQ(a.icao, b.icao);
            EXPECT_EQ(a.runway, b.runway);
            EXPECT_EQ(a.airspeed, b.airspeed);
            EXPECT_EQ(a.heading, b.heading);
        }
        // Nothing is lost but the altitude of a steer point that has none.
        for (const std::string& note : imported.notes)
            EXPECT_NE(note.find("have no elevation"), std::string::npos) << note;

        // Without Avilo's own data, as another tool may write the route: the same positions and
        // altitudes, the take-off from a runway threshold of the same airport.
        const xml::DocumentPtr bare = LoadPlan(dir / "route.gpx");
        for (const xml::Node& e : bare->selectNodes("//*[local-name()='extensions']"))
            e.parentNode().removeChild(e);
        const std::vector<Steer> foreign =
            SteerPoints(exchange::ImportRoute(bare, "bare.gpx", Airports()).plan);
        ASSERT_EQ(foreign.size(), before.size());
        EXPECT_EQ(foreign[0].icao, before[0].icao);
        EXPECT_EQ(foreign[0].tasks, "takeoff;");
        for (std::size_t i = 1; i < before.size(); ++i) {
            EXPECT_NEAR(foreign[i].lon, before[i].lon, kDegrees) << i;
            EXPECT_NEAR(foreign[i].lat, before[i].lat, kDegrees) << i;
            EXPECT_EQ(foreign[i].tasks, "cruise;") << i;
            if (!before[i].type.empty()) {
                EXPECT_NEAR(numbers::ToDouble(foreign[i].altitude),
                            numbers::ToDouble(before[i].altitude), kFeet)
                    << i;
            }
        }

        if (!babel)
            continue;
        int status = 0;
        const std::string out = Shell("gpsbabel -r -i gpx -f '" + dir / "route.gpx" +
                                          "' -o gpx,gpxver=1.1 -F '" + dir / "babel.gpx" + "' 2>&1",
                                      status);
        ASSERT_EQ(status, 0) << out;
        const std::vector<Steer> babel_ =
            SteerPoints(exchange::ImportRoute(dir / "babel.gpx", Airports()).plan);
        ASSERT_EQ(babel_.size(), before.size());
        EXPECT_EQ(babel_[0].icao, "EHAM");
        for (std::size_t i = 1; i < before.size(); ++i) {
            EXPECT_NEAR(babel_[i].lon, before[i].lon, kDegrees) << i;
            EXPECT_NEAR(babel_[i].lat, before[i].lat, kDegrees) << i;
            if (!before[i].type.empty()) {
                EXPECT_NEAR(numbers::ToDouble(babel_[i].altitude),
                            numbers::ToDouble(before[i].altitude), kFeet)
                    << i;
            }
        }
    }
}

// gpsbabel reads the GPX route and the KML of every plan: the same points.
TEST(Exchange, GpsbabelReadsThePlansAsWritten) {
    if (!HaveGpsbabel())
        GTEST_SKIP() << "gpsbabel is not installed (scripts/setup installs it)";
    Scratch dir;
    for (const std::string& file : PlanFiles(dir)) {
        SCOPED_TRACE(file);
        const xml::DocumentPtr plan = LoadPlan(file);
        const std::vector<Steer> points = SteerPoints(plan);
        exchange::PlanToGpx(plan, "route").document->save(dir / "route.gpx");
        exchange::PlanToKml(plan, "route").document->save(dir / "route.kml");
        for (const auto& [format, path, kinds] : {std::tuple{"gpx", dir / "route.gpx", "-r"},
                                                  {"kml", dir / "route.kml", "-t"},
                                                  {"kml", dir / "route.kml", "-w"}}) {
            SCOPED_TRACE(path + " " + kinds);
            const std::vector<Row> rows = GpsbabelRows(dir, format, path, kinds);
            ASSERT_EQ(rows.size(), points.size());
            double previous_m = 0;
            for (std::size_t i = 0; i < points.size(); ++i) {
                EXPECT_NEAR(rows[i].lat, points[i].lat, kDegrees) << i;
                EXPECT_NEAR(rows[i].lon, points[i].lon, kDegrees) << i;
                // A steer point without altitude: no ele in GPX, the previous altitude in KML.
                const double expected_m =
                    points[i].altitude.empty() ? previous_m : AltitudeMetres(points[i]);
                if (!points[i].altitude.empty() || std::string(format) == "kml") {
                    EXPECT_NEAR(rows[i].alt, expected_m, kMetres) << i;
                }
                previous_m = expected_m;
            }
        }
    }
}

// A flown track as GPX (times to the millisecond, past midnight) and a flight as KML (planned
// route and flown track), read by gpsbabel.
TEST(Exchange, GpsbabelReadsTheFlightAsWritten) {
    if (!HaveGpsbabel())
        GTEST_SKIP() << "gpsbabel is not installed (scripts/setup installs it)";
    Scratch dir;
    std::vector<exchange::FlownPoint> track;
    for (int i = 0; i < 2000; ++i)
        track.push_back({
            i * 0.2,
            52.3 + i * 1.234567e-5,
            4.75 + i * 2.345678e-5,
            -3.3 + i * 0.4567,
        });
    const xml::DocumentPtr plan =
        LoadPlan(std::string(AVILO_DATA_DIR) + "/plans/schiphol-departure.av");
    exchange::TrackToGpx(track, 23 * 60 + 59, "flight")->save(dir / "track.gpx");
    exchange::FlightToKml(plan, track, "flight")->save(dir / "flight.kml");

    const std::vector<Row> gpx = GpsbabelRows(dir, "gpx", dir / "track.gpx", "-t");
    ASSERT_EQ(gpx.size(), track.size());
    for (std::size_t i = 0; i < track.size(); ++i) {
        EXPECT_NEAR(gpx[i].lat, track[i].latitude_deg, kDegrees) << i;
        EXPECT_NEAR(gpx[i].lon, track[i].longitude_deg, kDegrees) << i;
        EXPECT_NEAR(gpx[i].alt, track[i].altitude_m, kMetres) << i;
    }
    EXPECT_EQ(gpx[1].time, "2000-01-01T23:59:00.200Z");
    EXPECT_EQ(gpx[1804].time, "2000-01-02T00:05:00.800Z");

    const std::vector<Steer> planned = SteerPoints(plan);
    const std::vector<Row> kml = GpsbabelRows(dir, "kml", dir / "flight.kml", "-t");
    ASSERT_EQ(kml.size(), planned.size() + track.size());
    for (std::size_t i = 0; i < planned.size(); ++i) {
        EXPECT_NEAR(kml[i].lat, planned[i].lat, kDegrees) << i;
        EXPECT_NEAR(kml[i].alt, AltitudeMetres(planned[i]), kMetres) << i;
    }
    for (std::size_t i = 0; i < track.size(); ++i) {
        const Row& r = kml[planned.size() + i];
        EXPECT_NEAR(r.lon, track[i].longitude_deg, kDegrees) << i;
        EXPECT_NEAR(r.alt, track[i].altitude_m, kMetres) << i;
    }
}

// GPX that gpsbabel writes from another format (a table of points) reads in: the first point
// becomes the take-off from the nearest threshold of the nearest airport, the others GPS steer
// points at their elevation, on the course from the point before; what is lost is listed.
TEST(Exchange, GpxWrittenByGpsbabelReadsIn) {
    if (!HaveGpsbabel())
        GTEST_SKIP() << "gpsbabel is not installed (scripts/setup installs it)";
    Scratch dir;
    const std::string csv =
        dir.write("points.csv", "Latitude,Longitude,Altitude,Name,Date,Time\n"
                                "52.3080000,4.7640000,0,SCHIPHOL,2024/05/01,09:59:10\n"
                                "52.4000000,4.9000000,457.2,NORTH,2024/05/01,10:07:40\n"
                                "52.4000000,5.1000000,,EAST,2024/05/01,10:15:00\n"
                                "52.3123457,5.2345678,914.4,SOUTH,2024/05/01,10:21:59\n");
    for (const char* kind : {"rte", "trk"}) {
        SCOPED_TRACE(kind);
        int status = 0;
        const std::string out =
            Shell("gpsbabel -i unicsv,utc=0 -f '" + csv + "' -x transform," + kind +
                      "=wpt,del -o gpx,gpxver=1.1 -F '" + dir / "babel.gpx" + "' 2>&1",
                  status);
        ASSERT_EQ(status, 0) << out;
        const exchange::Imported imported = exchange::ImportRoute(dir / "babel.gpx", Airports());
        const std::vector<Steer> s = SteerPoints(imported.plan);
        ASSERT_EQ(s.size(), 4u);
        EXPECT_EQ(s[0].type, "airport");
        EXPECT_EQ(s[0].icao, "EHAM");
        EXPECT_EQ(s[0].tasks, "takeoff;");
        EXPECT_EQ(s[0].time, "09:59");
        EXPECT_EQ(s[1].type, "GPS");
        EXPECT_EQ(s[1].tasks, "cruise;");
        EXPECT_EQ(s[1].phase, "cruise");
        EXPECT_NEAR(s[1].lat, 52.4, kDegrees);
        EXPECT_EQ(s[1].altitude, "1500");
        EXPECT_EQ(s[2].altitude, "1500"); // no elevation: the previous point's
        EXPECT_EQ(s[2].heading, "90");
        EXPECT_EQ(s[2].time, "10:15");
        EXPECT_EQ(s[2].airspeed, "70");
        EXPECT_NEAR(s[3].lat, 52.3123457, kDegrees);
        EXPECT_NEAR(s[3].lon, 5.2345678, kDegrees);
        EXPECT_EQ(s[3].altitude, "3000");
        std::string notes;
        for (const std::string& n : imported.notes)
            notes += n + "\n";
        EXPECT_NE(notes.find("take-off from the threshold of runway"), std::string::npos) << notes;
        EXPECT_NE(notes.find("\"NORTH\""), std::string::npos) << notes;
        EXPECT_NE(notes.find("points 3 have no elevation"), std::string::npos) << notes;
        EXPECT_NE(notes.find("dates and seconds"), std::string::npos) << notes;
    }
}

// The commands: export to each format by extension, import, and the FlightGear route's content.
TEST(Exchange, CliExportAndImport) {
    Scratch dir;
    const std::string plan = std::string(AVILO_DATA_DIR) + "/plans/schiphol-departure.av";
    const std::string cli = std::string("cd '") + AVILO_DATA_DIR + "' && " + AVILO_CLI;
    int status = 0;
    for (const char* ext : {"gpx", "kml", "fgfp"}) {
        const std::string out =
            Shell(cli + " export '" + plan + "' -o '" + dir / "out." + ext + "'", status);
        EXPECT_EQ(status, 0) << ext;
    }
    Shell(cli + " export '" + plan + "' -o '" + dir / "out.txt" + "' 2>/dev/null", status);
    EXPECT_EQ(status, 2);
    const std::string out =
        Shell(cli + " import '" + dir / "out.gpx" + "' -o '" + dir / "back.av" + "'", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(SteerPoints(LoadPlan(dir / "back.av")).size(), 4u);

    const xml::DocumentPtr fg = LoadPlan(dir / "out.fgfp");
    EXPECT_EQ(ChildText(fg->documentElement(), "departure/airport"), "EHAM");
    EXPECT_EQ(ChildText(fg->documentElement(), "departure/runway"), "09");
    const xml::NodeList wps = fg->selectNodes("/PropertyList/route/wp");
    ASSERT_EQ(wps.length(), 3);
    EXPECT_NEAR(numbers::ToDouble(ChildText(wps.item(2), "lat")), 52.42, kDegrees);
    EXPECT_EQ(ChildText(wps.item(0), "altitude-ft"), "1500");
    EXPECT_EQ(ChildText(wps.item(0), "speed"), "90");

    // The imported plan names the runway as the airport database does ("9"); FlightGear's
    // runways have two digits.
    Shell(cli + " export '" + dir / "back.av" + "' -o '" + dir / "back.fgfp" + "'", status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(ChildText(LoadPlan(dir / "back.fgfp")->documentElement(), "departure/runway"), "09");
}

// avilo-cli fly --track: the same flight (virtual time flies the same track) as the CSV table,
// as GPX and as KML, read back by gpsbabel and compared with the table.
TEST(Exchange, FlownTrackInEveryFormat) {
    if (!HaveGpsbabel())
        GTEST_SKIP() << "gpsbabel is not installed (scripts/setup installs it)";
    Scratch dir;
    const std::string cli = std::string("cd '") + AVILO_DATA_DIR + "' && " + AVILO_CLI +
                            " fly plans/schiphol-departure.av --track '";
    for (const char* ext : {"csv", "gpx", "kml"}) {
        int status = 0;
        Shell(cli + dir / "track." + ext + "' >/dev/null 2>&1", status);
        ASSERT_EQ(status, 0) << ext;
    }
    std::vector<Row> table;
    std::ifstream csv(dir / "track.csv");
    std::string line;
    std::getline(csv, line); // header
    while (std::getline(csv, line)) {
        double f[4] = {};
        std::size_t from = 0;
        for (double& v : f) {
            const std::size_t comma = line.find(',', from);
            v = numbers::ToDouble(line.substr(from, comma - from));
            from = comma + 1;
        }
        table.push_back({f[1], f[2], f[3], numbers::Format("%.3f", f[0])});
    }
    ASSERT_GT(table.size(), 1000u);
    const std::vector<Row> gpx = GpsbabelRows(dir, "gpx", dir / "track.gpx", "-t");
    const std::vector<Row> kml = GpsbabelRows(dir, "kml", dir / "track.kml", "-t");
    ASSERT_EQ(gpx.size(), table.size());
    ASSERT_EQ(kml.size(), table.size() + 4);   // the planned route first
    constexpr double kTable = 5e-8 + kDegrees; // the table has seven decimals
    for (std::size_t i = 0; i < table.size(); ++i) {
        for (const Row& r : {gpx[i], kml[i + 4]}) {
            EXPECT_NEAR(r.lat, table[i].lat, kTable) << i;
            EXPECT_NEAR(r.lon, table[i].lon, kTable) << i;
            EXPECT_NEAR(r.alt, table[i].alt, kMetres) << i;
        }
    }
    // The times run from the take-off time over steer point, 10:00.
    const double last_s = numbers::ToDouble(table.back().time);
    EXPECT_EQ(gpx.back().time,
              numbers::Format("2000-01-01T%02d:%02d:%06.3fZ", 10 + static_cast<int>(last_s) / 3600,
                              static_cast<int>(last_s) / 60 % 60, std::fmod(last_s, 60.0)));
}
