// The executor's control loops against a scripted peer in virtual time: exact writes, their
// pacing, and where the loops stop.

#include "FakePeer.h"
#include "TestScripts.h"

#include <kestro/FlightExecutor.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace kestro;
using kestro_test::FakePeer;

std::int32_t Angle(double degrees) {
    return static_cast<std::int32_t>(std::llround(degrees * kAngleUnitsPerDegree));
}
std::int64_t LatitudeRaw(double degrees) {
    return static_cast<std::int64_t>(degrees * 10001750.0 * 4294967296.0 / 90.0);
}
std::int64_t LongitudeRaw(double degrees) {
    return static_cast<std::int64_t>(degrees * (18446744073709551616.0 / 360.0));
}

class Controls : public testing::Test {
protected:
    void SetUp() override {
        client = std::make_unique<CFSUIPCClient>(peer.Clock());
        ASSERT_TRUE(client->Open()) << client->GetErrorText();
        executor = std::make_unique<CFlightExecutor>(
            *client, [this](const std::string& t) { OnMessage(t); },
            [this](const std::string& t) { boxes.push_back(t); });
        peer.writes.clear();
    }
    void TearDown() override { client->Close(); }
    virtual void OnMessage(const std::string& text) { log += text; }

    FakePeer peer;
    std::unique_ptr<CFSUIPCClient> client;
    std::unique_ptr<CFlightExecutor> executor;
    std::string log;
    std::vector<std::string> boxes;
};

TEST_F(Controls, ThrottleAndMixtureRampsStopWithin150OfTheTarget) {
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
    for (const auto& c : cases) {
        for (const std::uint32_t offset : {offsets::kThrottle, offsets::kMixture}) {
            SCOPED_TRACE(testing::Message() << "offset " << offset << " from " << c.start << " to "
                                            << c.percent << "%");
            peer.Put<std::int16_t>(offset, c.start);
            peer.writes.clear();
            const std::int64_t t0 = peer.now;
            if (offset == offsets::kThrottle)
                executor->SetThrottle(c.percent);
            else
                executor->SetMixture(c.percent);
            const auto values = peer.WritesTo(offset);
            ASSERT_EQ(values.size(), c.writes);
            EXPECT_EQ(peer.writes.size(), c.writes); // nothing else written
            if (!values.empty()) {
                EXPECT_EQ(values.back(), c.last);
                for (std::size_t i = 1; i < values.size(); ++i)
                    EXPECT_EQ(std::abs(values[i] - values[i - 1]), 150);
            }
            // One read, then per step a write (1 ms) and a 20 ms wait.
            EXPECT_EQ(peer.now - t0, 1 + 21 * static_cast<std::int64_t>(c.writes));
        }
    }
}

TEST_F(Controls, BrakesClampAndToeBrakesTravelInOneBatch) {
    executor->SetBrakes(CFlightExecutor::kParkingBrake, 40000);
    executor->SetBrakes(CFlightExecutor::kParkingBrake, 0);
    executor->SetBrakes(CFlightExecutor::kToeBrakes, 300);
    const std::int64_t beforeOther = peer.now;
    executor->SetBrakes(7, 100); // no such brake: nothing written, still waits
    EXPECT_EQ(peer.now - beforeOther, 20);

    ASSERT_EQ(peer.writes.size(), 4u);
    EXPECT_EQ(peer.WritesTo(offsets::kParkingBrake), (std::vector<std::int64_t>{32767, 0}));
    EXPECT_EQ(peer.writes[2].offset, offsets::kLeftToeBrake);
    EXPECT_EQ(peer.writes[3].offset, offsets::kRightToeBrake);
    EXPECT_EQ(peer.writes[2].data, std::vector<std::uint8_t>{200});
    EXPECT_EQ(peer.writes[3].data, std::vector<std::uint8_t>{200});
    EXPECT_EQ(peer.writes[2].exchange, peer.writes[3].exchange);
}

TEST_F(Controls, SetPitchStepsTheElevatorUntilThePitchSettles) {
    // The aircraft takes up 0.01 degree of pitch per unit of elevator at once.
    peer.onWrite = [](FakePeer& p, const FakePeer::Write& w) {
        if (w.offset == offsets::kElevator)
            p.Put<std::int32_t>(offsets::kPitch, Angle(w.Value() * 0.01));
    };
    executor->SetPitch(7.0);
    const auto elevator = peer.WritesTo(offsets::kElevator);
    ASSERT_FALSE(elevator.empty());
    // Steps of 80 (from 7 degrees off), 40, 20, then 10 within 2 degrees.
    EXPECT_EQ(elevator.front(), 80);
    EXPECT_NEAR(std::fabs(peer.Get<std::int32_t>(offsets::kPitch) / kAngleUnitsPerDegree), 7.0,
                0.3);
    std::vector<std::int64_t> steps;
    for (std::size_t i = 1; i < elevator.size(); ++i)
        steps.push_back(elevator[i] - elevator[i - 1]);
    for (std::size_t i = 1; i < steps.size(); ++i)
        EXPECT_LE(steps[i], steps[i - 1]); // the steps shrink as the pitch comes near
}

TEST_F(Controls, SetPitchComparesMagnitudesAndAlwaysSettlesFor200ms) {
    for (const double pitch : {7.1, -7.0, 6.8}) {
        SCOPED_TRACE(pitch);
        peer.Put<std::int32_t>(offsets::kPitch, Angle(pitch));
        peer.writes.clear();
        const std::int64_t t0 = peer.now;
        executor->SetPitch(7.0);
        EXPECT_TRUE(peer.writes.empty());
        // Elevator read, pitch read, 200 ms, pitch read.
        EXPECT_EQ(peer.now - t0, 203);
    }
}

TEST_F(Controls, TurnToHeadingWithinTenDegreesAndLevelDoesNothing) {
    peer.Put<std::int32_t>(offsets::kHeading, Angle(5));
    peer.Put<std::int32_t>(offsets::kBank, Angle(0.3));
    const std::uint64_t exchanges = peer.exchanges;
    executor->TurnToHeading(14.0);
    EXPECT_TRUE(peer.writes.empty());
    EXPECT_EQ(peer.exchanges - exchanges, 1u); // heading and bank in one batch
}

TEST(ControlsTurn, TurnDirectionFollowsTheShorterWay) {
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
        FakePeer peer;
        CFSUIPCClient client(peer.Clock());
        ASSERT_TRUE(client.Open());
        CFlightExecutor executor(
            client, [](const std::string&) {}, [](const std::string&) {});
        peer.Put<std::int32_t>(offsets::kHeading, Angle(c.heading));
        peer.onWrite = [](FakePeer& p, const FakePeer::Write& w) {
            if (w.offset == offsets::kAileron)
                p.Clock()->RequestStop();
        };
        EXPECT_THROW(executor.TurnToHeading(c.target), FlightStopped);
        const auto writes = peer.ControlWrites();
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes.front().offset, offsets::kAileron);
        EXPECT_EQ(writes.front().Value(), c.firstStep);
    }
}

TEST(ControlsCruise, WaitAfterEachTurnShrinksNearTheTarget) {
    // Heading already on course and wings level: no turn, so the time between two "Target
    // heading" lines is the batch read, a position read, the wait and a position read.
    struct {
        double north;
        std::int64_t expectedMs;
    } cases[] = {{20.0, 1003}, {0.5, 53}, {14.0, 1403}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.north);
        FakePeer peer;
        CFSUIPCClient client(peer.Clock());
        ASSERT_TRUE(client.Open());
        std::vector<std::int64_t> headingLines;
        std::string log;
        CFlightExecutor executor(
            client,
            [&](const std::string& t) {
                log += t;
                if (t.find("Target heading") != std::string::npos) {
                    headingLines.push_back(peer.now);
                    if (headingLines.size() == 2)
                        peer.Clock()->RequestStop();
                }
            },
            [](const std::string&) {});
        peer.Put<std::int64_t>(offsets::kLatitude, LatitudeRaw(10.0));
        peer.Put<std::int64_t>(offsets::kLongitude, LongitudeRaw(5.0));
        const auto script = kestro_test::Script(
            "<phase name=\"cruise\">" + kestro_test::CruiseTask(10.0 + c.north, 5.0) + "</phase>");
        EXPECT_THROW(executor.Cruise(script->selectSingleNode("//task")), FlightStopped);
        ASSERT_EQ(headingLines.size(), 2u);
        EXPECT_EQ(headingLines[1] - headingLines[0], c.expectedMs);
        EXPECT_TRUE(peer.ControlWrites().empty());
        EXPECT_EQ(log, "---------------------------------------------------------------------\r\n"
                       "Task: cruise\r\n"
                       "\tTarget heading: 360.00. Turning plane.\r\n"
                       "\tDistance to target: " +
                           FormatFixed(c.north, 6) + "5.2.\r\n" +
                           "\tTarget heading: 360.00. Turning plane.\r\n");
    }
}

TEST(ControlsCruise, TargetAtThePositionEndsTheLegAtOnce) {
    FakePeer peer;
    CFSUIPCClient client(peer.Clock());
    ASSERT_TRUE(client.Open());
    std::string log;
    CFlightExecutor executor(
        client, [&](const std::string& t) { log += t; }, [](const std::string&) {});
    peer.Put<std::int64_t>(offsets::kLatitude, LatitudeRaw(52.3));
    peer.Put<std::int64_t>(offsets::kLongitude, LongitudeRaw(4.76));
    const auto script = kestro_test::Script("<phase name=\"cruise\">" +
                                            kestro_test::CruiseTask(52.31, 4.76) + "</phase>");
    executor.Cruise(script->selectSingleNode("//task"));
    EXPECT_EQ(log, "---------------------------------------------------------------------\r\n"
                   "Task: cruise\r\n"
                   "\tTarget reached. Cruise task done.\r\n\r\n");
    EXPECT_TRUE(peer.ControlWrites().empty());
}

} // namespace
