#include "kestro/FlightExecutor.h"

#include "kestro/Navigation.h"
#include "kestro/StabilisedLaw.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <optional>

namespace kestro {

namespace {

const char* const kSeparator =
    "---------------------------------------------------------------------\r\n";

const char* const kTakeoffProcedure =
    "/flightscript/phase[@name=\"takeoff\"]/task[@name=\"takeoff\"]/procedure[@name=\"takeoff\"]";

/// Elements of the take-off procedure the worker reads, in the order it reads them.
const char* const kTakeoffElements[] = {"GPSRunway/longitude", "GPSRunway/latitude",
                                        "runwayHeading", "runwayMagnVar", "runwayElevation"};

/// The elevator input's range; stepping beyond it would only wind the value up (and a 16-bit
/// value would wrap round to the opposite deflection).
constexpr int kElevatorLimit = 16383;
/// The throttle lever's range.
constexpr int kLeverMax = 16384;

std::int16_t ClampTo16(int value, int limitLow, int limitHigh) {
    return static_cast<std::int16_t>(std::clamp(value, limitLow, limitHigh));
}

} // namespace

double ParseDecimal(const std::string& text) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p != end &&
           (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v'))
        ++p;
    if (p != end && *p == '+')
        ++p;
    double value = 0.0;
    const auto r = std::from_chars(p, end, value);
    return r.ec == std::errc() ? value : 0.0;
}

std::string FormatFixed(double value, int precision, int width) {
    char buffer[400];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    std::string text(buffer, r.ec == std::errc() ? r.ptr : buffer);
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    return text;
}

CFlightExecutor::CFlightExecutor(CFSUIPCClient& client, MessageFn addMessage,
                                 MessageBoxFn messageBox, std::int64_t timeLimitMs)
    : m_client(client), m_addMessage(std::move(addMessage)), m_messageBox(std::move(messageBox)),
      m_timeLimitMs(timeLimitMs), m_startMs(client.GetClock()->NowMs()) {}

// ---------------------------------------------------------------------------------------------
// Stop checks and the link calls of the worker

void CFlightExecutor::CheckStop() {
    if (m_client.GetClock()->StopRequested())
        throw FlightStopped{false};
    if (m_timeLimitMs > 0 && m_client.GetClock()->NowMs() - m_startMs >= m_timeLimitMs)
        throw FlightStopped{true};
}

void CFlightExecutor::Wait(std::uint32_t ms) {
    CheckStop();
    if (!m_client.GetClock()->Sleep(ms))
        throw FlightStopped{false};
}

bool CFlightExecutor::ReadNow(std::uint32_t offset, std::uint32_t size, void* destination) {
    CheckStop();
    return m_client.ReadNow(offset, size, destination);
}

bool CFlightExecutor::WriteNow(std::uint32_t offset, std::uint32_t size, const void* source) {
    CheckStop();
    return m_client.WriteNow(offset, size, source);
}

bool CFlightExecutor::Read(std::uint32_t offset, std::uint32_t size, void* destination) {
    return m_client.Read(offset, size, destination);
}

bool CFlightExecutor::Write(std::uint32_t offset, std::uint32_t size, const void* source) {
    return m_client.Write(offset, size, source);
}

bool CFlightExecutor::Process() {
    CheckStop();
    return m_client.Process();
}

// ---------------------------------------------------------------------------------------------
// The worker

std::string CFlightExecutor::CheckScript(const xml::DocumentPtr& script) const {
    if (!script)
        return "there is no flight script";
    const xml::Node procedure = script->selectSingleNode(kTakeoffProcedure);
    if (procedure.empty())
        return "it has no take-off procedure (phase \"takeoff\", task \"takeoff\", procedure "
               "\"takeoff\")";
    for (const char* element : kTakeoffElements)
        if (procedure.selectSingleNode(element).empty())
            return std::string("the take-off procedure has no ") + element;

    const xml::Node root = script->selectSingleNode("flightscript");
    int phaseNumber = 0;
    for (xml::Node phase = root.firstChild(); !phase.empty(); phase = phase.nextSibling()) {
        ++phaseNumber;
        if (phase.nodeType() != xml::NodeType::Element)
            continue;
        int taskNumber = 0;
        for (const xml::Node& task : phase.selectNodes("task")) {
            ++taskNumber;
            const std::string where =
                "task " + std::to_string(taskNumber) + " of phase " + std::to_string(phaseNumber);
            if (task.getAttributeNode("name").empty())
                return where + " has no name";
            if (task.getAttribute("name") != "cruise")
                continue;
            for (const char* element : {"GPSCoordinate/latitude", "GPSCoordinate/longitude"})
                if (task.selectSingleNode(element).empty())
                    return "the cruise " + where + " has no " + element;
        }
    }
    return {};
}

int CFlightExecutor::Run(const xml::DocumentPtr& script) {
    m_timeLimitReached = false;
    m_stopped = false;
    m_startMs = m_client.GetClock()->NowMs();
    Log("Starting flight script execution.\r\n\r\n");
    int exitCode = 1;
    try {
        CheckStop();
        if (!m_client.Open(0)) {
            CheckStop(); // a stop during the handshake is no link failure
            m_messageBox(m_client.GetErrorText());
            return 1;
        }
        Log("Connected to Microsoft Flight Simulator 2002.\r\n\r\n");

        // Everything the flight needs is checked before the aircraft moves: a script that
        // cannot be flown to its end is not started.
        const std::string missing = CheckScript(script);
        if (!missing.empty()) {
            Log("Cannot fly the flight script: " + missing + ".\r\n\r\n");
        } else {
            FlyPhases(script);
            if (m_client.GetLastResult() != FSUIPC_ERR_OK) {
                m_messageBox(m_client.GetErrorText());
            } else {
                Log("Finished executing the flight script.\r\n\r\n");
                exitCode = 0;
            }
        }
    } catch (const FlightStopped& stop) {
        m_stopped = !stop.timeLimit;
        m_timeLimitReached = stop.timeLimit;
    } catch (const LinkLost&) {
        m_messageBox(m_client.GetErrorText());
    } catch (const xml::ComError& e) {
        Log("COM Error: " + std::to_string(e.Error()) + "\r\nSource: " + e.Source() +
            "\r\nError message: " + e.ErrorMessage() + "\r\n\r\n");
    } catch (const std::exception& e) {
        Log(std::string("Execution failed: ") + e.what() + "\r\n\r\n");
    }
    // Released so that a later execution in this process can link again.
    m_client.Close();
    return exitCode;
}

void CFlightExecutor::FlyPhases(const xml::DocumentPtr& script) {
    // The values are read as the take-off procedure gives them; the take-off flies on the
    // heading the aircraft stands on and does not steer to them.
    const xml::Node procedure = script->selectSingleNode(kTakeoffProcedure);
    for (const char* element : kTakeoffElements)
        (void)ParseDecimal(procedure.selectSingleNode(element).text());

    std::optional<CStabilisedPilot> stabilised;
    if (m_law == ControlLaw::Stabilised)
        stabilised.emplace(*this);

    const xml::Node root = script->selectSingleNode("flightscript");
    for (xml::Node phase = root.firstChild(); !phase.empty(); phase = phase.nextSibling()) {
        if (phase.nodeType() == xml::NodeType::Element) {
            for (const xml::Node& task : phase.selectNodes("task")) {
                const std::string name = task.getAttribute("name");
                if (name == "takeoff")
                    stabilised ? stabilised->TakeOff() : TakeOff();
                else if (name == "cruise")
                    stabilised ? stabilised->Cruise(task) : Cruise(task);
            }
        }
        Log("Next phase.\r\n\r\n");
    }
}

// ---------------------------------------------------------------------------------------------
// Controls

void CFlightExecutor::SetBrakes(int which, int value) {
    if (which == kParkingBrake) {
        const auto v = static_cast<std::int16_t>(std::clamp(value, 0, 32767));
        WriteNow(offsets::kParkingBrake, 2, &v);
    } else if (which == kToeBrakes) {
        const auto v = static_cast<std::uint8_t>(std::clamp(value, 0, 200));
        Write(offsets::kLeftToeBrake, 1, &v);
        WriteNow(offsets::kRightToeBrake, 1, &v);
    }
    Wait(20);
}

void CFlightExecutor::RampLever(std::uint32_t offset, double percent) {
    std::int16_t lever = 0;
    ReadNow(offset, 2, &lever);
    const auto target =
        static_cast<std::int16_t>(static_cast<int>(percent * kLeverUnitsPerPercent));
    int value = lever;
    while (std::abs(value - target) > 150) {
        if (value > target)
            value -= 150;
        if (value < target)
            value += 150;
        const auto v = static_cast<std::int16_t>(value);
        WriteNow(offset, 2, &v);
        Wait(20);
    }
}

void CFlightExecutor::SetThrottle(double percent) {
    RampLever(offsets::kThrottle, percent);
}

void CFlightExecutor::SetMixture(double percent) {
    RampLever(offsets::kMixture, percent);
}

double CFlightExecutor::ReadPitchMagnitude() {
    ReadNow(offsets::kPitch, 4, &m_pitchRaw);
    return std::fabs(m_pitchRaw / kAngleUnitsPerDegree);
}

double CFlightExecutor::Bank() const {
    return m_bankRaw / kAngleUnitsPerDegree;
}

double CFlightExecutor::Heading() const {
    return m_headingRaw / kAngleUnitsPerDegree;
}

void CFlightExecutor::SetPitch(double target) {
    std::int16_t raw = 0;
    ReadNow(offsets::kElevator, 2, &raw);
    int elevator = raw;
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
            const auto v = static_cast<std::int16_t>(elevator);
            WriteNow(offsets::kElevator, 2, &v);
            Wait(5);
            pitch = ReadPitchMagnitude();
        }
        Wait(200);
        pitch = ReadPitchMagnitude();
        if (std::fabs(pitch - target) < 0.5)
            return;
    }
}

void CFlightExecutor::TurnToHeading(double target) {
    const auto difference = [&] {
        double d = std::fmod(target, 360.0) - std::fmod(Heading(), 360.0);
        if (d > 180)
            d -= 360;
        if (d < -180)
            d += 360;
        return d;
    };
    const auto readHeadingAndBank = [&] {
        Read(offsets::kHeading, 4, &m_headingRaw);
        Read(offsets::kBank, 4, &m_bankRaw);
        Process();
    };
    const std::int32_t zero = 0;

    readHeadingAndBank();
    double diff = difference();
    std::int32_t step = 500;
    while (std::fabs(diff) > 10) {
        step = std::abs(step);
        if ((diff < 0 && Bank() > -10) || (diff > 0 && Bank() > 10))
            step = -step;
        std::int32_t aileron = 0;
        ReadNow(offsets::kAileron, 4, &aileron);
        while (std::fabs(Bank()) < 9.5) {
            aileron += step;
            WriteNow(offsets::kAileron, 4, &aileron);
            ReadNow(offsets::kBank, 4, &m_bankRaw);
            SetPitch(std::fabs(Bank() / 4) + 1);
        }
        WriteNow(offsets::kAileron, 4, &zero);
        readHeadingAndBank();
        diff = difference();
    }
    if (std::fabs(Bank()) > 0.5) {
        step = Bank() > 0 ? -500 : 500;
        std::int32_t aileron = 0;
        ReadNow(offsets::kAileron, 4, &aileron);
        while (std::fabs(Bank()) > 0.5) {
            aileron += step;
            WriteNow(offsets::kAileron, 4, &aileron);
            ReadNow(offsets::kBank, 4, &m_bankRaw);
            SetPitch(std::fabs(Bank() / 4) + 1);
        }
        WriteNow(offsets::kAileron, 4, &zero);
        SetPitch(1.0);
    }
}

// ---------------------------------------------------------------------------------------------
// Tasks

void CFlightExecutor::TakeOff() {
    Log(kSeparator);
    Log("Task: takeoff\r\n");

    Log("\tReleasing parking brakes.\r\n");
    SetBrakes(kParkingBrake, 0);
    SetBrakes(kToeBrakes, 0);
    Wait(100);

    // Full rich is the top of the mixture lever (16384), as in the simulator.
    Log("\tSetting mixture to rich and full throttle.\r\n");
    SetMixture(100);
    Wait(100);
    SetThrottle(100);

    m_airspeedRaw = 0;
    Log("\tWaiting for speed to exceed 45 knots.\r\n");
    while (LastAirspeedKnots() < 45) {
        ReadNow(offsets::kAirspeed, 4, &m_airspeedRaw);
        Wait(50);
    }

    Log("\tChange pitch for actual takeoff to 7 degrees up.\r\n");
    SetPitch(7.0);
    Wait(100);

    while (LastAltitudeMetres() < 200) {
        ReadNow(offsets::kAltitude, 8, &m_altitudeRaw);
        Wait(20);
    }
    Log("\tAltitude is greater than 200 meters.\r\n");

    while (LastAirspeedKnots() > 110) {
        ReadNow(offsets::kAirspeed, 4, &m_airspeedRaw);
        std::int16_t lever = 0;
        ReadNow(offsets::kThrottle, 2, &lever);
        int value = lever;
        if (LastAirspeedKnots() < 92)
            value += 100;
        else if (LastAirspeedKnots() > 92)
            value -= 100;
        lever = ClampTo16(value, 0, kLeverMax);
        WriteNow(offsets::kThrottle, 2, &lever);
        Wait(10);
    }

    Log("\tWait for plane to reach 500 meters.\r\n");
    while (LastAltitudeMetres() < 500) {
        ReadNow(offsets::kAltitude, 8, &m_altitudeRaw);
        SetPitch(7.0);
        Wait(500);
    }

    Log("\tAltitude reached. Level plane.\r\n");
    SetPitch(1.0);
    Wait(500);

    Log("\tAdjust throttle to 80 percent. Keep plane level.\r\n");
    SetThrottle(80);
    SetPitch(1.0);

    Log("Takeoff task done.\r\n\r\n");
}

void CFlightExecutor::ReadPosition(double& latitude, double& longitude) {
    Read(offsets::kLongitude, 8, &m_longitudeRaw);
    ReadNow(offsets::kLatitude, 8, &m_latitudeRaw);
    latitude = static_cast<double>(m_latitudeRaw) * 90.0 / (10001750.0 * 4294967296.0);
    longitude = static_cast<double>(m_longitudeRaw) * 360.0 / 18446744073709551616.0;
}

void CFlightExecutor::Cruise(const xml::Node& task) {
    Log(kSeparator);
    Log("Task: cruise\r\n");

    double latitude = 0.0;
    double longitude = 0.0;
    ReadPosition(latitude, longitude);
    const double targetLongitude =
        ParseDecimal(task.selectSingleNode("GPSCoordinate/longitude").text());
    const double targetLatitude =
        ParseDecimal(task.selectSingleNode("GPSCoordinate/latitude").text());

    for (;;) {
        if (GreatCircleDistance(latitude, longitude, targetLatitude, targetLongitude) <= 0.02) {
            Log("\tTarget reached. Cruise task done.\r\n\r\n");
            return;
        }
        const double course = TrueCourse(latitude, longitude, targetLatitude, targetLongitude);
        Log("\tTarget heading: " + FormatFixed(course, 2, 5) + ". Turning plane.\r\n");
        TurnToHeading(course);

        ReadPosition(latitude, longitude);
        const double distance =
            GreatCircleDistance(latitude, longitude, targetLatitude, targetLongitude);
        // The format of this line is "%f5.2.": the distance with six decimals, then "5.2.".
        Log("\tDistance to target: " + FormatFixed(distance, 6) + "5.2.\r\n");
        if (distance < 15)
            Wait(static_cast<std::uint32_t>(distance * 100));
        else
            Wait(1000);
        ReadPosition(latitude, longitude);
    }
}

} // namespace kestro
