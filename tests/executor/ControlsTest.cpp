// The classic law's control loops flying through the simulator link against a scripted peer in
// virtual time: exact writes, what travels in one exchange, their pacing, and where the loops
// stop; and the aircraft's rule that a failed exchange keeps the last values.

#include "FakePeer.h"
#include "TestScripts.h"

#include <ipc/FailureHooks.h>
#include <ipc/Protocol.h>
#include <kestro/ClassicLaw.h>
#include <kestro/FSUIPCAircraft.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>

namespace {

using namespace kestro;
using kestro_test::FakePeer;
namespace protocol = ipc::protocol;
namespace offsets = ipc::protocol::offsets;

/// The classic law flying a scripted peer.
struct Pilot {
    FakePeer peer;
    CFSUIPCClient client{peer.Clock()};
    CFSUIPCAircraft aircraft{client};
    std::string log;
    CClassicPilot pilot{aircraft, [this](const std::string& t) { log += t; }};

    Pilot() {
        EXPECT_TRUE(client.Open()) << client.GetErrorText();
        peer.writes.clear();
    }
};

TEST(Controls, ThrottleAndMixtureRampsStopWithin150OfTheTarget) {
    struct {
        std::int16_t start;
        double percent;
        std::size_t writes;
        std::int64_t last;
    } cases[] = {
        {0, 100, 109, 16350},   // 150, 300, ... 16350 (34 short of 16384)
        {16300, 100, 0, 0},     // within 150: nothing written
        {16384, 80, 21, 13234}, // down to 127 above 13107
        {13107, 80, 0, 0},      {0, 0, 0, 0}, {200, 0, 1, 50}, // 200 - 150 = 50, within 150 of 0
    };
    Pilot p;
    for (const auto& c : cases) {
        for (const std::uint32_t offset : {offsets::kThrottle, offsets::kMixture}) {
            SCOPED_TRACE(testing::Message() << "offset " << offset << " from " << c.start << " to "
                                            << c.percent << "%");
            p.peer.Put<std::int16_t>(offset, c.start);
            p.peer.writes.clear();
            const std::int64_t t0 = p.peer.now;
            if (offset == offsets::kThrottle)
                p.pilot.SetThrottle(c.percent);
            else
                p.pilot.SetMixture(c.percent);
            const auto values = p.peer.WritesTo(offset);
            ASSERT_EQ(values.size(), c.writes);
            EXPECT_EQ(p.peer.writes.size(), c.writes); // nothing else written
            if (!values.empty()) {
                EXPECT_EQ(values.back(), c.last);
                for (std::size_t i = 1; i < values.size(); ++i)
                    EXPECT_EQ(std::abs(values[i] - values[i - 1]), 150);
            }
            // One read, then per step a write (1 ms) and a 20 ms wait.
            EXPECT_EQ(p.peer.now - t0, 1 + 21 * static_cast<std::int64_t>(c.writes));
        }
    }
}

TEST(Controls, BrakesClampAndToeBrakesTravelInOneExchange) {
    Pilot p;
    p.pilot.SetBrakes(CClassicPilot::kParkingBrake, 40000);
    p.pilot.SetBrakes(CClassicPilot::kParkingBrake, 0);
    p.pilot.SetBrakes(CClassicPilot::kToeBrakes, 300);
    const std::int64_t beforeOther = p.peer.now;
    p.pilot.SetBrakes(7, 100); // no such brake: nothing written, still waits
    EXPECT_EQ(p.peer.now - beforeOther, 20);

    const auto& w = p.peer.writes;
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(p.peer.WritesTo(offsets::kParkingBrake), (std::vector<std::int64_t>{32767, 0}));
    EXPECT_EQ(w[0].data.size(), 2u);
    EXPECT_EQ(w[2].offset, offsets::kLeftToeBrake);
    EXPECT_EQ(w[3].offset, offsets::kRightToeBrake);
    EXPECT_EQ(w[2].data, std::vector<std::uint8_t>{200});
    EXPECT_EQ(w[3].data, std::vector<std::uint8_t>{200});
    EXPECT_EQ(w[2].exchange, w[3].exchange);
}

TEST(Controls, SetPitchStepsTheElevatorUntilThePitchSettles) {
    // The aircraft takes up 0.01 degree of pitch per unit of elevator at once.
    Pilot p;
    p.peer.onWrite = [](FakePeer& peer, const FakePeer::Write& w) {
        if (w.offset == offsets::kElevator)
            peer.Put<std::int32_t>(offsets::kPitch, protocol::EncodeAngle(w.Value() * 0.01));
    };
    p.pilot.SetPitch(7.0);
    const auto elevator = p.peer.WritesTo(offsets::kElevator);
    ASSERT_FALSE(elevator.empty());
    // Steps of 80 (from 7 degrees off), 40, 20, then 10 within 2 degrees.
    EXPECT_EQ(elevator.front(), 80);
    EXPECT_NEAR(std::fabs(protocol::DecodeAngle(p.peer.Get<std::int32_t>(offsets::kPitch))), 7.0,
                0.3);
    std::vector<std::int64_t> steps;
    for (std::size_t i = 1; i < elevator.size(); ++i)
        steps.push_back(elevator[i] - elevator[i - 1]);
    for (std::size_t i = 1; i < steps.size(); ++i)
        EXPECT_LE(steps[i], steps[i - 1]); // the steps shrink as the pitch comes near
}

TEST(Controls, SetPitchComparesMagnitudesAndAlwaysSettlesFor200ms) {
    Pilot p;
    for (const double pitch : {7.1, -7.0, 6.8}) {
        SCOPED_TRACE(pitch);
        p.peer.Put<std::int32_t>(offsets::kPitch, protocol::EncodeAngle(pitch));
        p.peer.writes.clear();
        const std::int64_t t0 = p.peer.now;
        p.pilot.SetPitch(7.0);
        EXPECT_TRUE(p.peer.writes.empty());
        // Elevator read, pitch read, 200 ms, pitch read.
        EXPECT_EQ(p.peer.now - t0, 203);
    }
}

TEST(Controls, TurnToHeadingWithinTenDegreesAndLevelDoesNothing) {
    Pilot p;
    p.peer.Put<std::int32_t>(offsets::kHeading, protocol::EncodeAngle(5));
    p.peer.Put<std::int32_t>(offsets::kBank, protocol::EncodeAngle(0.3));
    const std::uint64_t exchanges = p.peer.exchanges;
    p.pilot.TurnToHeading(14.0);
    EXPECT_TRUE(p.peer.writes.empty());
    EXPECT_EQ(p.peer.exchanges - exchanges, 1u); // heading and bank in one exchange
}

TEST(Controls, TurnDirectionFollowsTheShorterWay) {
    // The first aileron step shows the direction; the turn is then cut short by a stop.
    struct {
        double heading, target;
        std::int64_t firstStep;
    } cases[] = {
        {10, 350, -500},  // 350 - 10 = 340, less 360: -20, left
        {350, 10, 500},   // -340 + 360 = +20, right
        {90, 270, 500},   // exactly 180 is kept: right
        {-90, 80, 500},   // a heading read as -90: 80 + 90 = 170, right
        {100, 420, -500}, // the target is taken modulo 360: 60 - 100 = -40, left
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.heading << " -> " << c.target);
        Pilot p;
        p.peer.Put<std::int32_t>(offsets::kHeading, protocol::EncodeAngle(c.heading));
        p.peer.onWrite = [](FakePeer& peer, const FakePeer::Write& w) {
            if (w.offset == offsets::kAileron)
                peer.Clock()->RequestStop();
        };
        EXPECT_THROW(p.pilot.TurnToHeading(c.target), FlightStopped);
        const auto writes = p.peer.ControlWrites();
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes.front().offset, offsets::kAileron);
        EXPECT_EQ(writes.front().data.size(), 4u);
        EXPECT_EQ(writes.front().Value(), c.firstStep);
    }
}

TEST(Controls, CruiseWaitsAfterEachTurnLessNearTheTarget) {
    // Heading already on course and wings level: no turn, so the time between two "Target
    // heading" lines is the heading and bank read, a position read, the wait and a position
    // read.
    struct {
        double north;
        std::int64_t expectedMs;
        const char* distance;
    } cases[] = {{20.0, 1003, "20.000000"}, {0.5, 53, "0.500000"}, {14.0, 1403, "14.000000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.north);
        Pilot p;
        std::vector<std::int64_t> headingLines;
        CClassicPilot pilot(p.aircraft, [&](const std::string& t) {
            p.log += t;
            if (t.find("Target heading") != std::string::npos) {
                headingLines.push_back(p.peer.now);
                if (headingLines.size() == 2)
                    p.peer.Clock()->RequestStop();
            }
        });
        p.peer.Put<std::int64_t>(offsets::kLatitude, protocol::EncodeLatitude(10.0));
        p.peer.Put<std::int64_t>(offsets::kLongitude, protocol::EncodeLongitude(5.0));
        const auto script = kestro_test::Script(
            "<phase name=\"cruise\">" + kestro_test::CruiseTask(10.0 + c.north, 5.0) + "</phase>");
        EXPECT_THROW(pilot.Cruise(script->selectSingleNode("//task")), FlightStopped);
        ASSERT_EQ(headingLines.size(), 2u);
        EXPECT_EQ(headingLines[1] - headingLines[0], c.expectedMs);
        EXPECT_TRUE(p.peer.ControlWrites().empty());
        EXPECT_EQ(p.log, std::string(kestro_test::kSeparator) +
                             "Task: cruise\r\n"
                             "\tTarget heading: 360.00. Turning plane.\r\n"
                             "\tDistance to target: " +
                             c.distance +
                             "5.2.\r\n"
                             "\tTarget heading: 360.00. Turning plane.\r\n");
    }
}

TEST(Controls, ACruiseTargetAtThePositionEndsTheLegAtOnce) {
    Pilot p;
    p.peer.Put<std::int64_t>(offsets::kLatitude, protocol::EncodeLatitude(52.3));
    p.peer.Put<std::int64_t>(offsets::kLongitude, protocol::EncodeLongitude(4.76));
    const auto script = kestro_test::Script("<phase name=\"cruise\">" +
                                            kestro_test::CruiseTask(52.31, 4.76) + "</phase>");
    p.pilot.Cruise(script->selectSingleNode("//task"));
    EXPECT_EQ(p.log, std::string(kestro_test::kSeparator) +
                         "Task: cruise\r\n"
                         "\tTarget reached. Cruise task done.\r\n\r\n");
    EXPECT_TRUE(p.peer.ControlWrites().empty());
}

TEST(Aircraft, ReadsInPhysicalUnitsAndALostLinkKeepsTheLastValues) {
    Pilot p;
    p.peer.Put<std::int32_t>(offsets::kIndicatedAirspeed, 92 * 128 + 64);
    p.peer.Put<std::int32_t>(offsets::kVerticalSpeed, -256 * 3);
    p.peer.Put<std::int64_t>(offsets::kAltitude, protocol::EncodeAltitude(-3.35));
    p.peer.Put<std::int32_t>(offsets::kBank, protocol::EncodeAngle(-12.5));
    p.peer.Put<std::int32_t>(offsets::kHeading, protocol::EncodeAngle(350));
    p.peer.Put<std::int64_t>(offsets::kLatitude, protocol::EncodeLatitude(52.30173122));
    p.peer.Put<std::int64_t>(offsets::kLongitude, protocol::EncodeLongitude(-4.73740403));
    p.peer.Put<std::int16_t>(offsets::kElevator, -1200);
    const StateItem items[] = {StateItem::Airspeed, StateItem::VerticalSpeed, StateItem::Altitude,
                               StateItem::Bank,     StateItem::Heading,       StateItem::Latitude,
                               StateItem::Longitude};
    AircraftState s;
    const std::uint64_t exchanges = p.peer.exchanges;
    ASSERT_TRUE(p.aircraft.Exchange({}, items, s));
    EXPECT_EQ(p.peer.exchanges - exchanges, 1u);
    EXPECT_EQ(s.airspeed_kt, 92.5);
    EXPECT_EQ(s.verticalSpeed_mps, -3.0);
    EXPECT_NEAR(s.altitude_m, -3.35, 1e-9);
    EXPECT_NEAR(s.bank_deg, -12.5, 1e-7);
    EXPECT_NEAR(s.heading_deg, -10.0, 1e-7); // served in [-180, 180)
    EXPECT_NEAR(s.latitude_deg, 52.30173122, 1e-12);
    EXPECT_NEAR(s.longitude_deg, -4.73740403, 1e-12);
    int elevator = 0;
    ASSERT_TRUE(p.aircraft.ReadControl(Control::Elevator, elevator));
    EXPECT_EQ(elevator, -1200);

    p.peer.Put<std::int32_t>(offsets::kIndicatedAirspeed, 0);
    const AircraftState before = s;
    {
        // Every send fails: the link is lost, whichever law flies.
        ipc::ScopedFailure failure(EPIPE);
        EXPECT_THROW(p.aircraft.Exchange({}, items, s), LinkLost);
        elevator = 7;
        EXPECT_THROW(p.aircraft.ReadControl(Control::Elevator, elevator), LinkLost);
    }
    EXPECT_EQ(s.airspeed_kt, before.airspeed_kt);
    EXPECT_EQ(s.latitude_deg, before.latitude_deg);
    EXPECT_EQ(elevator, 7);
    EXPECT_TRUE(p.aircraft.Read(StateItem::Airspeed, s));
    EXPECT_EQ(s.airspeed_kt, 0.0);
}

} // namespace

TEST(Aircraft, KeepsToTheSimulatorsTimeWhenItIsServed) {
    // A peer reached on the wall clock whose time runs 10 ms per exchange (read before it moves
    // on): far from real time, so only the served time can end the waits where they end.
    FakePeer peer;
    CFSUIPCClient client(std::make_shared<ipc::RealClock>());
    ASSERT_TRUE(client.Open()) << client.GetErrorText();
    AircraftState s;
    {
        // An older simulator serves no time: a wait sleeps on the wall clock alone.
        CFSUIPCAircraft aircraft(client);
        ASSERT_TRUE(aircraft.Read(StateItem::Bank, s));
        const std::uint64_t exchanges = peer.exchanges;
        aircraft.Wait(30);
        EXPECT_EQ(peer.exchanges, exchanges);
        EXPECT_FALSE(aircraft.SimulatorTimeMs());
    }

    std::uint64_t simMs = 5000;
    bool paused = false;
    int pausedLooks = 0, stopAfter = 0;
    peer.Put<std::uint32_t>(offsets::kSimTimeMarker, protocol::kSimTimeTag);
    peer.Put<std::uint64_t>(offsets::kSimTime, simMs);
    peer.onMillisecond = [&](FakePeer& p) {
        if (paused && ++pausedLooks == stopAfter)
            client.GetClock()->RequestStop();
        paused = paused && pausedLooks < 5; // resumes after five looks unless stopped
        if (!paused)
            simMs += 10;
        p.Put<std::uint64_t>(offsets::kSimTime, simMs);
    };
    CFSUIPCAircraft aircraft(client, 1000);
    ASSERT_TRUE(aircraft.Read(StateItem::Bank, s)); // the time rides along
    EXPECT_EQ(aircraft.SimulatorTimeMs(), 5000);
    const std::int64_t start = aircraft.NowMs();
    aircraft.Wait(100);
    EXPECT_EQ(aircraft.SimulatorTimeMs(), 5100);
    EXPECT_EQ(aircraft.NowMs() - start, 100);

    // Paused: the wait goes on until the time runs again.
    paused = true;
    const std::uint64_t exchanges = peer.exchanges;
    aircraft.Wait(30);
    EXPECT_EQ(aircraft.SimulatorTimeMs(), 5130);
    EXPECT_GT(peer.exchanges - exchanges, 5u); // five looks while paused

    // The time limit counts the simulated time, about 1,000 ms of it from construction.
    try {
        aircraft.Wait(5000);
        ADD_FAILURE() << "no time limit";
    } catch (const FlightStopped& stop) {
        EXPECT_TRUE(stop.timeLimit);
        EXPECT_LE(*aircraft.SimulatorTimeMs(), 6000);
        EXPECT_GE(*aircraft.SimulatorTimeMs(), 5900);
    }

    // A stop request ends a wait for a paused simulator; a lost link ends it too.
    CFSUIPCAircraft unlimited(client);
    ASSERT_TRUE(unlimited.Read(StateItem::Bank, s));
    paused = true;
    pausedLooks = 0;
    stopAfter = 3;
    try {
        unlimited.Wait(100);
        ADD_FAILURE() << "not stopped";
    } catch (const FlightStopped& stop) {
        EXPECT_FALSE(stop.timeLimit);
    }
    client.SetClock(std::make_shared<ipc::RealClock>());
    CFSUIPCAircraft lost(client);
    ASSERT_TRUE(lost.Read(StateItem::Bank, s));
    ipc::ScopedFailure failure(EPIPE);
    EXPECT_THROW(lost.Wait(100), LinkLost);
}
