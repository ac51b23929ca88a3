#include "kestro/ClassicLaw.h"

#include "kestro/TaskValues.h"

#include <ipc/Protocol.h>
#include <numbers/Numbers.h>
#include <tavola/GreatCircle.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kestro {

namespace {

const char* const kSeparator =
    "---------------------------------------------------------------------\r\n";

/// The elevator input's range; stepping beyond it would only wind the value up (and a 16-bit
/// value would wrap round to the opposite deflection).
constexpr int kElevatorLimit = ipc::protocol::kInputLimit;

constexpr StateItem kHeadingAndBank[] = {StateItem::Heading, StateItem::Bank};
constexpr StateItem kPosition[] = {StateItem::Longitude, StateItem::Latitude};

} // namespace

CClassicPilot::CClassicPilot(IAircraft& aircraft, MessageFn log)
    : m_aircraft(aircraft), m_log(std::move(log)) {}

int CClassicPilot::AirspeedKnots() const {
    return static_cast<int>(m_state.airspeed_kt);
}

int CClassicPilot::AltitudeMetres() const {
    return static_cast<int>(std::floor(m_state.altitude_m));
}

// ---------------------------------------------------------------------------------------------
// Controls

void CClassicPilot::SetBrakes(int which, int value) {
    if (which == kParkingBrake) {
        m_aircraft.Set(Control::ParkingBrake,
                       std::clamp(value, 0, ipc::protocol::kParkingBrakeSet));
    } else if (which == kToeBrakes) {
        const int v = std::clamp(value, 0, ipc::protocol::kToeBrakeFull);
        const ControlInput both[] = {{Control::LeftToeBrake, v}, {Control::RightToeBrake, v}};
        AircraftState unused;
        m_aircraft.Exchange(both, {}, unused);
    }
    m_aircraft.Wait(20);
}

void CClassicPilot::RampLever(Control lever, double percent) {
    int value = 0;
    m_aircraft.ReadControl(lever, value);
    const auto target =
        static_cast<std::int16_t>(static_cast<int>(percent * ipc::protocol::kLeverUnitsPerPercent));
    while (std::abs(value - target) > 150) {
        if (value > target)
            value -= 150;
        if (value < target)
            value += 150;
        m_aircraft.Set(lever, value);
        m_aircraft.Wait(20);
    }
}

void CClassicPilot::SetThrottle(double percent) {
    RampLever(Control::Throttle, percent);
}

void CClassicPilot::SetMixture(double percent) {
    RampLever(Control::Mixture, percent);
}

double CClassicPilot::ReadPitchMagnitude() {
    m_aircraft.Read(StateItem::Pitch, m_state);
    return std::fabs(m_state.pitch_deg);
}

void CClassicPilot::SetPitch(double target) {
    int elevator = 0;
    m_aircraft.ReadControl(Control::Elevator, elevator);
    for (;;) {
        double pitch = ReadPitchMagnitude();
        while (std::fabs(pitch - target) > 0.3) {
            const double off = std::fabs(pitch - target);
            const int step = off > 8 ? 100 : off > 6 ? 80 : off > 4 ? 40 : off > 2 ? 20 : 10;
            if (pitch > target)
                elevator -= step;
            else if (pitch < target)
                elevator += step;
            elevator = std::clamp(elevator, -kElevatorLimit, kElevatorLimit);
            m_aircraft.Set(Control::Elevator, elevator);
            m_aircraft.Wait(5);
            pitch = ReadPitchMagnitude();
        }
        m_aircraft.Wait(200);
        pitch = ReadPitchMagnitude();
        if (std::fabs(pitch - target) < 0.5)
            return;
    }
}

void CClassicPilot::TurnToHeading(double target) {
    const auto difference = [&] {
        double d = std::fmod(target, 360.0) - std::fmod(m_state.heading_deg, 360.0);
        if (d > 180)
            d -= 360;
        if (d < -180)
            d += 360;
        return d;
    };
    const auto bank = [&] { return m_state.bank_deg; };

    m_aircraft.Exchange({}, kHeadingAndBank, m_state);
    double diff = difference();
    int step = 500;
    while (std::fabs(diff) > 10) {
        step = std::abs(step);
        if ((diff < 0 && bank() > -10) || (diff > 0 && bank() > 10))
            step = -step;
        int aileron = 0;
        m_aircraft.ReadControl(Control::Aileron, aileron);
        while (std::fabs(bank()) < 9.5) {
            aileron += step;
            m_aircraft.Set(Control::Aileron, aileron);
            m_aircraft.Read(StateItem::Bank, m_state);
            SetPitch(std::fabs(bank() / 4) + 1);
        }
        m_aircraft.Set(Control::Aileron, 0);
        m_aircraft.Exchange({}, kHeadingAndBank, m_state);
        diff = difference();
    }
    if (std::fabs(bank()) > 0.5) {
        step = bank() > 0 ? -500 : 500;
        int aileron = 0;
        m_aircraft.ReadControl(Control::Aileron, aileron);
        while (std::fabs(bank()) > 0.5) {
            aileron += step;
            m_aircraft.Set(Control::Aileron, aileron);
            m_aircraft.Read(StateItem::Bank, m_state);
            SetPitch(std::fabs(bank() / 4) + 1);
        }
        m_aircraft.Set(Control::Aileron, 0);
        SetPitch(1.0);
    }
}

// ---------------------------------------------------------------------------------------------
// Tasks

void CClassicPilot::TakeOff() {
    Log(kSeparator);
    Log("Task: takeoff\r\n");

    Log("\tReleasing parking brakes.\r\n");
    SetBrakes(kParkingBrake, 0);
    SetBrakes(kToeBrakes, 0);
    m_aircraft.Wait(100);

    // Full rich is the top of the mixture lever (16384), as in the simulator.
    Log("\tSetting mixture to rich and full throttle.\r\n");
    SetMixture(100);
    m_aircraft.Wait(100);
    SetThrottle(100);

    m_state.airspeed_kt = 0;
    Log("\tWaiting for speed to exceed 45 knots.\r\n");
    while (AirspeedKnots() < 45) {
        m_aircraft.Read(StateItem::Airspeed, m_state);
        m_aircraft.Wait(50);
    }

    Log("\tChange pitch for actual takeoff to 7 degrees up.\r\n");
    SetPitch(7.0);
    m_aircraft.Wait(100);

    while (AltitudeMetres() < 200) {
        m_aircraft.Read(StateItem::Altitude, m_state);
        m_aircraft.Wait(20);
    }
    Log("\tAltitude is greater than 200 meters.\r\n");

    while (AirspeedKnots() > 110) {
        m_aircraft.Read(StateItem::Airspeed, m_state);
        int lever = 0;
        m_aircraft.ReadControl(Control::Throttle, lever);
        if (AirspeedKnots() < 92)
            lever += 100;
        else if (AirspeedKnots() > 92)
            lever -= 100;
        m_aircraft.Set(Control::Throttle, std::clamp(lever, 0, ipc::protocol::kLeverFull));
        m_aircraft.Wait(10);
    }

    Log("\tWait for plane to reach 500 meters.\r\n");
    while (AltitudeMetres() < 500) {
        m_aircraft.Read(StateItem::Altitude, m_state);
        SetPitch(7.0);
        m_aircraft.Wait(500);
    }

    Log("\tAltitude reached. Level plane.\r\n");
    SetPitch(1.0);
    m_aircraft.Wait(500);

    Log("\tAdjust throttle to 80 percent. Keep plane level.\r\n");
    SetThrottle(80);
    SetPitch(1.0);

    Log("Takeoff task done.\r\n\r\n");
}

void CClassicPilot::ReadPosition() {
    m_aircraft.Exchange({}, kPosition, m_state);
}

void CClassicPilot::Cruise(const xml::Node& task) {
    Log(kSeparator);
    Log("Task: cruise\r\n");

    ReadPosition();
    const double targetLongitude = TaskNumber(task, "GPSCoordinate/longitude");
    const double targetLatitude = TaskNumber(task, "GPSCoordinate/latitude");
    const auto distanceToGo = [&] {
        return GreatCircleDistance(m_state.latitude_deg, m_state.longitude_deg, targetLatitude,
                                   targetLongitude);
    };

    for (;;) {
        if (distanceToGo() <= 0.02) {
            Log("\tTarget reached. Cruise task done.\r\n\r\n");
            return;
        }
        const double course = TrueCourse(m_state.latitude_deg, m_state.longitude_deg,
                                         targetLatitude, targetLongitude);
        Log(numbers::Format("\tTarget heading: %5.2f. Turning plane.\r\n", course));
        TurnToHeading(course);

        ReadPosition();
        const double distance = distanceToGo();
        // The format of this line prints the distance with "%f" followed by "5.2.".
        Log(numbers::Format("\tDistance to target: %f5.2.\r\n", distance));
        if (distance < 15)
            m_aircraft.Wait(static_cast<std::uint32_t>(distance * 100));
        else
            m_aircraft.Wait(1000);
        ReadPosition();
    }
}

} // namespace kestro
