// The rudder and elevator trim inputs of the builtin trainer: they travel through the link's
// offsets with their signs, trim adds to the elevator within its range, and the laterally neutral
// aircraft ignores the rudder unless given a skid rate, and then skids round in the air only.
#include <fssim/FlightModel.h>
#include <fssim/Simulator.h>
#include <ipc/Protocol.h>
#include <tavola/Units.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace fssim;
namespace offsets = ipc::protocol::offsets;

namespace {

constexpr double kDt = 0.01;

FlightModel Airborne(const Aircraft& aircraft = {}) {
    FlightModel fm(aircraft);
    fm.Park(52.0, 5.0, 90.0, 0.0);
    State& s = fm.MutableState();
    s.onGround = false;
    s.altitude_m = 1000.0;
    s.tas_mps = 55.0;
    s.pitch_deg = 3.0;
    Controls& c = fm.GetControls();
    c.parkingBrake = 0;
    c.throttle = 13000;
    c.elevator = 1600;
    return fm;
}

void Fly(FlightModel& fm, double seconds) {
    for (int i = 0; i < static_cast<int>(std::lround(seconds / kDt)); ++i)
        fm.Step(kDt);
}

/// One write record of a 16-bit value followed by the end marker.
std::vector<std::uint8_t> WriteBatch(std::uint32_t offset, std::int16_t value) {
    std::vector<std::uint8_t> b(64, 0);
    const std::uint32_t header[3] = {2, offset, 2};
    std::memcpy(b.data(), header, sizeof header);
    std::memcpy(b.data() + 12, &value, 2);
    return b;
}

} // namespace

TEST(RudderAndTrim, OffsetsReachTheModelWithTheirSigns) {
    struct Case {
        std::uint32_t offset;
        std::int16_t value;
        int Controls::*field;
    } const cases[] = {
        {offsets::kRudder, 12000, &Controls::rudder},
        {offsets::kRudder, -16383, &Controls::rudder},
        {offsets::kElevatorTrim, 700, &Controls::elevatorTrim},
        {offsets::kElevatorTrim, -2500, &Controls::elevatorTrim},
    };
    Simulator sim;
    for (const Case& c : cases) {
        std::vector<std::uint8_t> b = WriteBatch(c.offset, c.value);
        ASSERT_TRUE(sim.ProcessBatch(b.data(), b.size()));
        EXPECT_EQ(sim.Model().GetControls().*c.field, c.value) << std::hex << c.offset;
        std::int16_t back;
        std::memcpy(&back, sim.OffsetSpace() + c.offset, 2);
        EXPECT_EQ(back, c.value); // reads back what was written
    }
    // Neither overlaps its neighbours: the aileron (4 bytes before) and the parking brake.
    EXPECT_EQ(sim.Model().GetControls().aileron, 0);
    EXPECT_EQ(sim.Model().GetControls().parkingBrake, 32767);
}

TEST(RudderAndTrim, TrimAddsToTheElevatorWithinItsRange) {
    struct Case {
        int elevator, trim, same; // `same`: elevator alone that must fly identically
    } const cases[] = {
        {1600, 0, 1600},         {1000, 600, 1600}, // nose-up trim
        {2600, -1000, 1600},                        // nose-down trim
        {16000, 16000, 16383},                      // the sum stops at the end of the range
        {-16000, -9000, -16383},
    };
    for (const auto& c : cases) {
        FlightModel a = Airborne();
        FlightModel b = Airborne();
        a.GetControls().elevator = c.elevator;
        a.GetControls().elevatorTrim = c.trim;
        b.GetControls().elevator = c.same;
        Fly(a, 20.0);
        Fly(b, 20.0);
        EXPECT_EQ(a.GetState().pitch_deg, b.GetState().pitch_deg) << c.elevator << "+" << c.trim;
        EXPECT_EQ(a.GetState().altitude_m, b.GetState().altitude_m) << c.elevator << "+" << c.trim;
    }
}

TEST(RudderAndTrim, RudderSkidsTheHeadingInTheAirOnlyWhenGivenASkidRate) {
    Aircraft skidding;
    skidding.rudderYawFull_degps = 1.5;
    FlightModel neutral = Airborne(skidding);
    Fly(neutral, 10.0);
    struct Case {
        int rudder;
        bool skids;
        double turned_deg; // against the same flight with the rudder centred
    } const cases[] = {
        {16383, true, 15.0}, {8192, true, 7.5}, {-16383, true, -15.0}, {16383, false, 0.0}};
    for (const Case& c : cases) {
        FlightModel fm = Airborne(c.skids ? skidding : Aircraft{});
        fm.GetControls().rudder = c.rudder;
        Fly(fm, 10.0);
        const double turned =
            tavola::Wrap180(fm.GetState().heading_deg - neutral.GetState().heading_deg);
        EXPECT_NEAR(turned, c.turned_deg, 0.01) << c.rudder << (c.skids ? " skidding" : "");
        EXPECT_EQ(fm.GetState().bank_deg, neutral.GetState().bank_deg);
        EXPECT_EQ(fm.GetState().altitude_m, neutral.GetState().altitude_m);
    }

    // On the runway the wheels hold the heading whatever the pedals do.
    FlightModel ground(skidding);
    ground.Park(52.0, 5.0, 240.0, 0.0);
    ground.GetControls().parkingBrake = 0;
    ground.GetControls().throttle = 16384;
    ground.GetControls().rudder = 16383;
    Fly(ground, 10.0);
    ASSERT_TRUE(ground.GetState().onGround);
    EXPECT_GT(ground.GetDerived().ias_kt, 20.0);
    EXPECT_EQ(ground.GetState().heading_deg, 240.0);
}
