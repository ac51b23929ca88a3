// Flight figures of the trainer (a 172-class aircraft at maximum weight, sea level standard
// day unless stated), and the control response the flight executor relies on.
#include <fssim/FlightModel.h>
#include <tavola/Units.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace fssim;

namespace {

constexpr double kDt = 0.01;
constexpr double kFpm = 196.850394; // feet per minute in one metre per second

int Elevator(double pitchDeg) {
    return static_cast<int>(std::lround(pitchDeg / 30.0 * 16383.0));
}

/// An aircraft in flight at an altitude and airspeed, wings level, brakes off.
FlightModel Airborne(double altitude_m, double tas_mps, double pitch_deg, int throttle,
                     const Weather& weather = {}) {
    FlightModel fm({}, weather);
    fm.Park(52.0, 5.0, 0.0, 0.0);
    State& s = fm.MutableState();
    s.onGround = false;
    s.altitude_m = altitude_m;
    s.tas_mps = tas_mps;
    s.pitch_deg = pitch_deg;
    Controls& c = fm.GetControls();
    c.parkingBrake = 0;
    c.throttle = throttle;
    c.elevator = Elevator(pitch_deg);
    return fm;
}

/// Flies `seconds` holding `altitude_m` with the elevator (a test autopilot: pitch from the
/// altitude error and the vertical speed).
void HoldAltitude(FlightModel& fm, double altitude_m, double seconds) {
    double pitch = fm.GetState().pitch_deg;
    for (int i = 0; i < static_cast<int>(seconds / kDt); ++i) {
        const double vs = fm.GetDerived().verticalSpeed_mps;
        pitch += (0.02 * (altitude_m - fm.GetState().altitude_m) - 0.1 * vs) * kDt;
        pitch = std::clamp(pitch, -10.0, 20.0);
        fm.GetControls().elevator = Elevator(pitch);
        fm.Step(kDt);
    }
}

TEST(FlightModel, TakeOffRollAndLiftOffSpeed) {
    FlightModel fm;
    fm.Park(52.3, 4.76, 183.2, 0.0);
    Controls& c = fm.GetControls();
    c.parkingBrake = 0;
    c.throttle = 16384;
    double liftOffIas = 0.0, roll = 0.0;
    for (int i = 0; i < 6000 && fm.GetState().onGround; ++i) {
        if (fm.GetDerived().ias_kt >= 45.0)
            c.elevator = Elevator(7.0); // rotate as the executor does
        fm.Step(kDt);
        liftOffIas = fm.GetDerived().ias_kt;
        roll = fm.GetState().distanceRolled_m;
    }
    ASSERT_FALSE(fm.GetState().onGround);
    // Lift-off around 55 KIAS after about 290 m (960 ft) of ground roll.
    EXPECT_GT(liftOffIas, 52.0);
    EXPECT_LT(liftOffIas, 63.0);
    EXPECT_GT(roll, 230.0);
    EXPECT_LT(roll, 380.0);
    // Laterally neutral: still on the runway heading, wings level.
    EXPECT_DOUBLE_EQ(fm.GetState().heading_deg, 183.2);
    EXPECT_EQ(fm.GetState().bank_deg, 0.0);
}

TEST(FlightModel, BestRateOfClimbAtSeaLevel) {
    double bestFpm = 0.0, bestIas = 0.0;
    for (double pitch = 4.0; pitch <= 14.0; pitch += 1.0) {
        FlightModel fm = Airborne(150.0, 40.0, pitch, 16384);
        for (int i = 0; i < 4000; ++i)
            fm.Step(kDt);
        const Derived d = fm.GetDerived();
        if (d.verticalSpeed_mps * kFpm > bestFpm) {
            bestFpm = d.verticalSpeed_mps * kFpm;
            bestIas = d.ias_kt;
        }
    }
    // About 700-730 ft/min at Vy, about 74 KIAS.
    EXPECT_GT(bestFpm, 620.0);
    EXPECT_LT(bestFpm, 880.0);
    EXPECT_GT(bestIas, 66.0);
    EXPECT_LT(bestIas, 84.0);
}

TEST(FlightModel, CruiseAtSeventyFivePercentPower) {
    // 8,000 ft: full throttle there gives about 75 % power; the book says about 120 KTAS.
    FlightModel fm = Airborne(2438.0, 60.0, 0.0, 16384);
    EXPECT_NEAR(fm.PowerFraction(), 0.75, 0.03);
    HoldAltitude(fm, 2438.0, 400.0);
    EXPECT_NEAR(fm.GetState().altitude_m, 2438.0, 5.0);
    EXPECT_GT(fm.GetDerived().tas_kt, 110.0);
    EXPECT_LT(fm.GetDerived().tas_kt, 128.0);
}

TEST(FlightModel, CoordinatedTurnRateAtABank) {
    for (const double bank : {-30.0, -15.0, 20.0, 30.0}) {
        FlightModel fm = Airborne(1000.0, 51.4, 1.0, 12000); // about 100 KTAS
        HoldAltitude(fm, 1000.0, 60.0);
        fm.MutableState().bank_deg = bank;
        HoldAltitude(fm, 1000.0, 10.0);
        const double h0 = fm.GetState().heading_deg;
        const double v = fm.GetState().tas_mps;
        HoldAltitude(fm, 1000.0, 10.0);
        double turned = fm.GetState().heading_deg - h0;
        if (turned > 180.0)
            turned -= 360.0;
        if (turned < -180.0)
            turned += 360.0;
        const double expected =
            tavola::kStandardGravity * std::tan(bank * tavola::kDegToRad) / v * tavola::kRadToDeg;
        // Positive bank (right wing down) turns right; rate g tan(bank) / V.
        EXPECT_NEAR(turned / 10.0, expected, std::abs(expected) * 0.03) << bank;
        EXPECT_DOUBLE_EQ(fm.GetState().bank_deg, bank); // kept with the ailerons centred
    }
}

TEST(FlightModel, StallSpeedClean) {
    FlightModel fm = Airborne(1000.0, 35.0, 3.0, 0);
    double stallIas = 0.0;
    double pitch = 3.0;
    for (int i = 0; i < 60000 && stallIas == 0.0; ++i) {
        // Hold the altitude while the speed bleeds off at idle.
        const double vs = fm.GetDerived().verticalSpeed_mps;
        pitch = std::clamp(pitch + (0.05 * (1000.0 - fm.GetState().altitude_m) - 0.3 * vs) * kDt,
                           -10.0, 25.0);
        fm.GetControls().elevator = Elevator(pitch);
        fm.Step(kDt);
        if (fm.GetDerived().stalled)
            stallIas = fm.GetDerived().ias_kt;
    }
    // Book: 48 KIAS (about 52 KCAS) clean at maximum weight.
    EXPECT_GT(stallIas, 45.0);
    EXPECT_LT(stallIas, 56.0);
}

TEST(FlightModel, ElevatorCommandsAPitchAttitudeWithAShortLag) {
    FlightModel fm = Airborne(1000.0, 50.0, 0.0, 12000);
    fm.GetControls().elevator = Elevator(7.0);
    for (int i = 0; i < 150; ++i)
        fm.Step(kDt);
    EXPECT_NEAR(fm.GetState().pitch_deg, 7.0, 0.1); // within 1.5 s
    for (int i = 0; i < 6000; ++i)
        fm.Step(kDt);
    EXPECT_NEAR(fm.GetState().pitch_deg, 7.0, 1e-3); // and held: no phugoid
    fm.GetControls().elevator = -Elevator(3.0);
    for (int i = 0; i < 200; ++i)
        fm.Step(kDt);
    EXPECT_NEAR(fm.GetState().pitch_deg, -3.0, 0.1);
    // Inputs beyond the range act as its end.
    fm.GetControls().elevator = 32000;
    for (int i = 0; i < 500; ++i)
        fm.Step(kDt);
    EXPECT_NEAR(fm.GetState().pitch_deg, 30.0, 0.1);
}

TEST(FlightModel, FineAileronsRollAtAFewDegreesPerSecondAndKeepTheBank) {
    FlightModel fm = Airborne(1000.0, 50.0, 2.0, 12000);
    fm.GetControls().aileron = 16383; // full input: 3 deg/s, 5 % of a real aileron's authority
    for (int i = 0; i < 200; ++i)
        fm.Step(kDt);
    const double rolledRight = fm.GetState().bank_deg;
    EXPECT_GT(rolledRight, 4.5);
    EXPECT_LT(rolledRight, 6.0);
    fm.GetControls().aileron = 0;
    for (int i = 0; i < 500; ++i)
        fm.Step(kDt);
    const double settled = fm.GetState().bank_deg;
    for (int i = 0; i < 3000; ++i)
        fm.Step(kDt);
    EXPECT_NEAR(fm.GetState().bank_deg, settled, 1e-6);
    fm.GetControls().aileron = -500; // a negative input rolls left, slowly
    for (int i = 0; i < 100; ++i)
        fm.Step(kDt);
    EXPECT_LT(fm.GetState().bank_deg, settled);
    EXPECT_GT(fm.GetState().bank_deg, settled - 0.2);
}

TEST(FlightModel, BrakesHoldAgainstFullThrottle) {
    struct Case {
        int parking, left, right;
        bool holds;
    };
    for (const Case& c : {Case{32767, 0, 0, true}, Case{0, 200, 200, true}, Case{0, 0, 0, false}}) {
        FlightModel fm;
        fm.Park(0.0, 0.0, 90.0, 100.0);
        Controls& ctl = fm.GetControls();
        ctl.throttle = 16384;
        ctl.parkingBrake = c.parking;
        ctl.leftToeBrake = c.left;
        ctl.rightToeBrake = c.right;
        for (int i = 0; i < 1000; ++i)
            fm.Step(kDt);
        EXPECT_EQ(fm.GetState().tas_mps == 0.0, c.holds) << c.parking << " " << c.left;
    }
}

TEST(FlightModel, MixtureIsRichAtTheTopOfTheLever) {
    FlightModel fm;
    fm.Park(0.0, 0.0, 0.0, 0.0);
    fm.GetControls().throttle = 16384;
    EXPECT_EQ(fm.GetControls().mixture, 16384); // parked rich
    EXPECT_NEAR(fm.PowerFraction(), 1.0, 1e-9);
    fm.GetControls().mixture = 0; // idle cut-off: the engine gives nothing
    EXPECT_EQ(fm.PowerFraction(), 0.0);
    fm.GetControls().parkingBrake = 0;
    for (int i = 0; i < 1000; ++i)
        fm.Step(kDt);
    EXPECT_EQ(fm.GetState().tas_mps, 0.0);
}

// Each kind of weather: the same seed flies the same, another seed differently.
TEST(FlightModel, DeterministicWithSeededWeather) {
    Weather vertical; // the expert form
    vertical.turbulence_mps = 1.5;
    Weather light;
    light.turbulence = Turbulence::Light;
    Weather gusts;
    gusts.windFrom_deg = 240.0;
    gusts.windSpeed_kt = 20.0;
    gusts.gusts_kt = 10.0;
    Weather all = gusts;
    all.turbulence = Turbulence::Severe;
    for (Weather w : {vertical, light, gusts, all}) {
        auto fly = [&w](std::uint32_t seed) {
            w.seed = seed;
            FlightModel fm = Airborne(800.0, 50.0, 3.0, 14000, w);
            for (int i = 0; i < 20000; ++i)
                fm.Step(kDt);
            return fm.GetState();
        };
        const State a = fly(7), b = fly(7), c = fly(8);
        EXPECT_EQ(a.altitude_m, b.altitude_m);
        EXPECT_EQ(a.tas_mps, b.tas_mps);
        EXPECT_EQ(a.latitude_deg, b.latitude_deg);
        EXPECT_EQ(a.longitude_deg, b.longitude_deg);
        EXPECT_GT(std::abs(a.altitude_m - c.altitude_m) + std::abs(a.tas_mps - c.tas_mps), 0.1);
    }
}

// Light, moderate and severe turbulence are ever stronger: how far the airspeed departs from
// that of the same flight in still air, in five minutes of level flight at 1,000 ft above the
// ground (root mean square).
TEST(FlightModel, TurbulenceGrowsWithItsLevel) {
    auto fly = [](Turbulence level) {
        Weather w;
        w.turbulence = level;
        FlightModel fm = Airborne(305.0, 50.0, 2.0, 12000, w);
        std::vector<double> tas;
        for (int i = 0; i < 30000; ++i) {
            HoldAltitude(fm, 305.0, kDt);
            tas.push_back(fm.GetState().tas_mps);
        }
        return tas;
    };
    const std::vector<double> still = fly(Turbulence::None);
    double previous = 0.0;
    for (Turbulence level : {Turbulence::Light, Turbulence::Moderate, Turbulence::Severe}) {
        const std::vector<double> tas = fly(level);
        double sum2 = 0.0;
        for (std::size_t i = 0; i < tas.size(); ++i)
            sum2 += (tas[i] - still[i]) * (tas[i] - still[i]);
        const double rms = std::sqrt(sum2 / static_cast<double>(tas.size()));
        SCOPED_TRACE(static_cast<int>(level));
        EXPECT_GT(rms, 1.3 * previous + 0.1);
        previous = rms;
    }
}

// Gusts: heading north in a wind from 270 at 20 kt with gusts of 10 kt, the aircraft drifts east
// at the wind's speed of the moment, 20 kt plus the gust the seed's schedule gives; heading into
// the wind, a gust raises the airspeed by its strength at first.
TEST(FlightModel, GustsBlowOnTheirSchedule) {
    Weather w;
    w.windFrom_deg = 270.0;
    w.windSpeed_kt = 20.0;
    w.gusts_kt = 10.0;
    w.seed = 3;
    FlightModel fm = Airborne(800.0, 50.0, 2.0, 12000, w);
    GustSchedule schedule(w.gusts_kt, w.seed);
    double strongest = 0.0;
    for (int i = 1; i <= 6000; ++i) {
        const double lon0 = fm.GetState().longitude_deg;
        fm.Step(kDt);
        const double east_kt = (fm.GetState().longitude_deg - lon0) *
                               tavola::kMetresPerDegreeOfLatitude *
                               std::cos(fm.GetState().latitude_deg * tavola::kDegToRad) / kDt /
                               tavola::kMetresPerSecondPerKnot;
        EXPECT_NEAR(east_kt, 20.0 + schedule.Speed_kt(i * kDt), 0.01) << i * kDt;
        strongest = std::max(strongest, east_kt);
    }
    EXPECT_GT(strongest, 24.0);

    const Gust gust = GustSchedule(w.gusts_kt, w.seed).At(0.0);
    auto tasAtPeak = [&](double gusts_kt) {
        Weather into = w;
        into.gusts_kt = gusts_kt;
        FlightModel f = Airborne(800.0, 50.0, 2.0, 12000, into);
        f.MutableState().heading_deg = 270.0;
        const double peak_s = gust.start_s + gust.rise_s;
        for (int i = 0; i < static_cast<int>(peak_s / kDt); ++i)
            f.Step(kDt);
        return f.GetState().tas_mps;
    };
    EXPECT_NEAR((tasAtPeak(10.0) - tasAtPeak(0.0)) / tavola::kMetresPerSecondPerKnot,
                gust.strength_kt, 0.3 * gust.strength_kt);
}

TEST(FlightModel, WindDriftsTheAircraft) {
    Weather w;
    w.windFrom_deg = 270.0;
    w.windSpeed_kt = 20.0;
    FlightModel fm = Airborne(800.0, 50.0, 2.0, 12000, w); // heading north
    const double lon0 = fm.GetState().longitude_deg;
    for (int i = 0; i < 6000; ++i)
        fm.Step(kDt);
    // 60 s of a 20 kt west wind: about 617 m east.
    const double east = (fm.GetState().longitude_deg - lon0) * tavola::kMetresPerDegreeOfLatitude *
                        std::cos(fm.GetState().latitude_deg * tavola::kDegToRad);
    EXPECT_NEAR(east, 617.0, 10.0);
}

TEST(FlightModel, LandsOnTheGroundInsteadOfGoingThroughIt) {
    FlightModel fm = Airborne(30.0, 40.0, -8.0, 0);
    for (int i = 0; i < 3000; ++i)
        fm.Step(kDt);
    EXPECT_TRUE(fm.GetState().onGround);
    EXPECT_EQ(fm.GetState().altitude_m, fm.GetState().groundElevation_m);
}

} // namespace
