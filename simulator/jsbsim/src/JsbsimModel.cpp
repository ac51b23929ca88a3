#include "fssim/jsbsim/JsbsimModel.h"

#include <ipc/Protocol.h>
#include <numbers/Numbers.h>
#include <tavola/Units.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace fssim::jsbsim {

namespace {

using tavola::kMetresPerFoot;
using tavola::kMetresPerSecondPerKnot;

/// Full travel of the link's control inputs (raw units).
constexpr double kLeverFull = ipc::protocol::kLeverFull;
constexpr double kInputFull = ipc::protocol::kInputLimit;
constexpr double kToeBrakeFull = ipc::protocol::kToeBrakeFull;

enum ControlIndex {
    kThrottle,
    kMixture,
    kElevator,
    kAileron,
    kRudder,
    kPitchTrim,
    kLeftBrake,
    kRightBrake,
    kControlCount
};

const char* const kControlProperties[kControlCount] = {
    "fcs/throttle-cmd-norm",   "fcs/mixture-cmd-norm",    "fcs/elevator-cmd-norm",
    "fcs/aileron-cmd-norm",    "fcs/rudder-cmd-norm",     "fcs/pitch-trim-cmd-norm",
    "fcs/left-brake-cmd-norm", "fcs/right-brake-cmd-norm"};

enum StateIndex {
    kLatInt,
    kLatFrac,
    kLonInt,
    kLonFrac,
    kAltitude,
    kIas,
    kTas,
    kVerticalSpeed,
    kPitch,
    kBank,
    kHeading,
    kOnGround,
    kRpm,
    kAlpha,
    kTime,
    kStateCount
};

const char* const kStateProperties[kStateCount] = {"avilo/lat-deg-int",
                                                   "avilo/lat-udeg-frac",
                                                   "avilo/lon-deg-int",
                                                   "avilo/lon-udeg-frac",
                                                   "position/h-sl-ft",
                                                   "velocities/vc-kts",
                                                   "velocities/vtrue-kts",
                                                   "velocities/h-dot-fps",
                                                   "attitude/theta-deg",
                                                   "attitude/phi-deg",
                                                   "attitude/psi-deg",
                                                   "gear/wow",
                                                   "propulsion/engine/engine-rpm",
                                                   "aero/alpha-deg",
                                                   "simulation/sim-time-sec"};

double Unit(int raw, double full) {
    return std::clamp(raw / full, -1.0, 1.0);
}
double Unit01(int raw, double full) {
    return std::clamp(raw / full, 0.0, 1.0);
}

/// The command that sets a property; the number in the C locale, as the program reads it.
std::string SetCommand(const char* property, double value) {
    return numbers::Format("set %s %.9g", property, value);
}

} // namespace

JsbsimModel::JsbsimModel(const ModelConfig& config)
    : m_config(config), m_sent(kControlCount, std::numeric_limits<double>::quiet_NaN()),
      m_gusts(config.gusts_kt, config.seed) {}

JsbsimModel::~JsbsimModel() = default;

Process& JsbsimModel::GetProcess() {
    if (!m_process)
        throw JsbsimError("JSBSim: the model is not parked yet");
    return *m_process;
}

void JsbsimModel::Park(double latitude_deg, double longitude_deg, double heading_deg,
                       double elevation_m) {
    m_process.reset();
    InitialConditions ic;
    ic.latitude_deg = latitude_deg;
    ic.longitude_deg = longitude_deg;
    ic.heading_deg = heading_deg;
    ic.elevation_ft = elevation_m / kMetresPerFoot;
    m_process = std::make_unique<Process>(m_config.process, ic);

    m_controls = Controls{};
    m_controls.throttle = 0;
    m_controls.mixture = ipc::protocol::kLeverFull;
    m_controls.parkingBrake = ipc::protocol::kParkingBrakeSet;
    std::fill(m_sent.begin(), m_sent.end(), std::numeric_limits<double>::quiet_NaN());
    m_nowUs = 0;
    m_frames = 0;
    m_dtCarry = 0.0;
    m_gusts = GustSchedule(m_config.gusts_kt, m_config.seed);
    m_gustStarted_s = -1.0;

    // Before resuming: fuel in both wing tanks (the engine feeds from a 0.1 lb float chamber
    // that the fuel system refills from them) and all controls as handed over.
    std::vector<std::string> setup = ControlCommands(true);
    for (int tank = 0; tank < 2; ++tank)
        setup.push_back(
            SetCommand(("propulsion/tank[" + std::to_string(tank) + "]/contents-lbs").c_str(),
                       m_config.fuelPerWingTank_lb));
    // The wind blows towards from + 180 degrees; north and east components in feet per second.
    const double wind_fps = m_config.windSpeed_kt * kMetresPerSecondPerKnot / kMetresPerFoot;
    const double towards = (m_config.windFrom_deg + 180.0) * tavola::kDegToRad;
    setup.push_back(SetCommand("atmosphere/wind-north-fps", wind_fps * std::cos(towards)));
    setup.push_back(SetCommand("atmosphere/wind-east-fps", wind_fps * std::sin(towards)));
    if (m_config.turbulenceSeverity > 0) {
        // The seed first: JSBSim's turbulence draws from the C library's generator it seeds.
        setup.push_back(SetCommand("simulation/randomseed", m_config.seed & 0x7FFFFFFFu));
        // MIL-F-8785C in its plain form: the Tustin form (4) gives the c172p airspeeds of 120 to
        // 160 kt for seconds on the take-off roll, where its filter's gain grows as the
        // airspeed falls.
        setup.push_back(SetCommand("atmosphere/turb-type", 3));
        setup.push_back(SetCommand("atmosphere/turbulence/milspec/windspeed_at_20ft_AGL-fps",
                                   m_config.turbulenceWindAt20ft_kt * kMetresPerSecondPerKnot /
                                       kMetresPerFoot));
        setup.push_back(
            SetCommand("atmosphere/turbulence/milspec/severity", m_config.turbulenceSeverity));
    }
    for (const Reply& r : m_process->Exchange(setup))
        if (r.text.find("set successful") == std::string::npos)
            throw JsbsimError("JSBSim: a setting was refused while starting: " + r.text);
    m_process->Resume();

    // Engine start: magnetos both, starter until the engine runs by itself.
    m_process->Exchange({"set propulsion/magneto_cmd 3", "set propulsion/starter_cmd 1"});
    const std::uint64_t maxFrames = static_cast<std::uint64_t>(m_config.maxStartTime_s * kFrameHz);
    std::uint64_t frame = 0;
    for (;; ++frame) {
        const double rpm = m_process->Get({"propulsion/engine/engine-rpm"}).front();
        if (rpm > m_config.startRpm)
            break;
        if (frame > maxFrames)
            throw JsbsimError(
                numbers::Format("JSBSim: the engine did not start within %f s (%f rpm)",
                                m_config.maxStartTime_s, rpm));
    }
    m_process->Exchange({"set propulsion/starter_cmd 0"});
    const auto idle = static_cast<std::uint64_t>(m_config.idleAfterStart_s * kFrameHz);
    for (std::uint64_t i = 0; i + 1 < idle; ++i)
        m_process->Exchange({});

    // Hand over: read the state with one more frame; the model's time starts now.
    std::vector<std::string> gets;
    for (const char* p : kStateProperties)
        gets.push_back(std::string("get ") + p);
    ReadState(m_process->Exchange(gets), 0);
    m_state.groundElevation_m = elevation_m;
}

std::vector<std::string> JsbsimModel::ControlCommands(bool all) {
    const Controls& c = m_controls;
    const double parked = c.parkingBrake > 0 ? 1.0 : 0.0;
    double values[kControlCount];
    values[kThrottle] = Unit01(c.throttle, kLeverFull);
    values[kMixture] = Unit01(c.mixture, kLeverFull);
    values[kElevator] = -Unit(c.elevator, kInputFull);
    values[kAileron] = Unit(c.aileron, kInputFull);
    values[kRudder] = -Unit(c.rudder, kInputFull);
    values[kPitchTrim] = -Unit(c.elevatorTrim, kInputFull);
    values[kLeftBrake] = std::max(parked, Unit01(c.leftToeBrake, kToeBrakeFull));
    values[kRightBrake] = std::max(parked, Unit01(c.rightToeBrake, kToeBrakeFull));
    std::vector<std::string> commands;
    for (int i = 0; i < kControlCount; ++i) {
        if (all || !(values[i] == m_sent[i])) {
            commands.push_back(SetCommand(kControlProperties[i], values[i]));
            m_sent[i] = values[i];
        }
    }
    return commands;
}

void JsbsimModel::ReadState(const std::vector<Reply>& replies, std::size_t first) {
    double v[kStateCount];
    for (int i = 0; i < kStateCount; ++i)
        v[i] = Process::ParseGet(kStateProperties[i], replies.at(first + i));
    State& s = m_state;
    s.latitude_deg = v[kLatInt] + v[kLatFrac] / 1e6;
    s.longitude_deg = v[kLonInt] + v[kLonFrac] / 1e6;
    if (s.longitude_deg >= 180.0)
        s.longitude_deg -= 360.0;
    s.altitude_m = v[kAltitude] * kMetresPerFoot;
    s.tas_mps = v[kTas] * kMetresPerSecondPerKnot;
    const double vs = v[kVerticalSpeed] * kMetresPerFoot;
    s.gamma_rad = s.tas_mps > 1.0 ? std::asin(std::clamp(vs / s.tas_mps, -1.0, 1.0)) : 0.0;
    s.pitch_deg = v[kPitch];
    s.bank_deg = v[kBank];
    s.heading_deg = tavola::Wrap360(v[kHeading]);
    s.onGround = v[kOnGround] != 0.0;
    m_derived.ias_kt = v[kIas];
    m_derived.tas_kt = v[kTas];
    m_derived.verticalSpeed_mps = vs;
    m_derived.alpha_deg = v[kAlpha];
    m_rpm = v[kRpm];
    m_programTime = v[kTime];
}

void JsbsimModel::RunFrames(std::uint64_t n) {
    if (n == 0)
        return;
    Process& p = GetProcess();
    for (std::uint64_t i = 0; i < n; ++i) {
        std::vector<std::string> commands;
        if (i == 0)
            commands = ControlCommands(false);
        GustCommands(commands);
        const bool last = i + 1 == n;
        const std::size_t first = commands.size();
        if (last)
            for (const char* prop : kStateProperties)
                commands.push_back(std::string("get ") + prop);
        const std::vector<Reply> replies = p.Exchange(commands);
        if (last)
            ReadState(replies, first);
        ++m_frames;
    }
}

void JsbsimModel::GustCommands(std::vector<std::string>& commands) {
    if (!(m_config.gusts_kt > 0.0))
        return;
    const double t = static_cast<double>(m_frames) / kFrameHz; // the frame about to run
    const Gust& g = m_gusts.At(t);
    if (t < g.start_s || g.start_s == m_gustStarted_s)
        return;
    m_gustStarted_s = g.start_s;
    // Along the wind, towards where it blows: north, east and down components of a unit vector.
    const double towards = (m_config.windFrom_deg + 180.0) * tavola::kDegToRad;
    const char* const prefix = "atmosphere/cosine-gust/";
    const auto set = [&](const char* name, double value) {
        commands.push_back(SetCommand((prefix + std::string(name)).c_str(), value));
    };
    set("startup-duration-sec", g.rise_s);
    set("steady-duration-sec", g.steady_s);
    set("end-duration-sec", g.fall_s);
    set("magnitude-ft_sec", g.strength_kt * kMetresPerSecondPerKnot / kMetresPerFoot);
    set("frame", 3); // the local frame: north, east, down
    set("X-velocity-ft_sec", std::cos(towards));
    set("Y-velocity-ft_sec", std::sin(towards));
    set("Z-velocity-ft_sec", 0.0);
    set("start", 1);
}

void JsbsimModel::AdvanceUs(std::uint64_t us) {
    m_nowUs += us;
    // Frame k is due once the time reaches k / 120 s rounded down to whole microseconds: a
    // step of exactly k frames given in seconds rounds to just below the exact boundary.  So
    // due = the largest k with k x 10^6 < (now + 1) x 120.
    const std::uint64_t due = ((m_nowUs + 1) * kFrameHz - 1) / 1000000u;
    if (due > m_frames)
        RunFrames(due - m_frames);
}

void JsbsimModel::Step(double dt) {
    if (!(dt > 0.0))
        return;
    // Whole microseconds; the fraction carries over so that many small steps add up.
    const double us = dt * 1e6 + m_dtCarry;
    const double whole = std::floor(us);
    m_dtCarry = us - whole;
    AdvanceUs(static_cast<std::uint64_t>(whole));
}

std::vector<Reply> JsbsimModel::Exchange(const std::vector<std::string>& commands) {
    std::vector<std::string> all = ControlCommands(false);
    const std::size_t skip = all.size();
    all.insert(all.end(), commands.begin(), commands.end());
    std::vector<Reply> replies = GetProcess().Exchange(all);
    ++m_frames;
    m_nowUs = std::max(m_nowUs, m_frames * 1000000u / kFrameHz);
    replies.erase(replies.begin(), replies.begin() + static_cast<std::ptrdiff_t>(skip));
    return replies;
}

} // namespace fssim::jsbsim
