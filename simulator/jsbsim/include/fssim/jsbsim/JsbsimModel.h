#pragma once
// JSBSim's Cessna 172P as the simulator's aircraft: the same role as fssim::FlightModel (park,
// step, controls in the raw units of the offsets, the state the offsets serve), flown by the
// JSBSim program in lock-step (see Process.h).  Nothing of the aircraft is simplified: engine
// torque, P-factor and propeller wash stay, and nothing holds its attitude.
//
// Controls, raw offset units -> the model's properties:
//   throttle 0 .. 16384          -> fcs/throttle-cmd-norm = raw / 16384        (0 .. 1)
//   mixture 0 .. 16384 (rich up) -> fcs/mixture-cmd-norm  = raw / 16384        (1 full rich)
//   elevator -16383 .. 16383     -> fcs/elevator-cmd-norm = -raw / 16383       (the model's
//                                   elevator is negative nose up; the input is positive nose up)
//   aileron -16383 .. 16383      -> fcs/aileron-cmd-norm  = raw / 16383        (positive
//                                   rolls right)
//   rudder -16383 .. 16383       -> fcs/rudder-cmd-norm   = -raw / 16383       (the input is
//                                   positive yawing right; the model's rudder positive yaws left)
//   elevator trim -16383 .. 16383-> fcs/pitch-trim-cmd-norm = -raw / 16383     (positive nose up)
//   parking brake 0 .. 32767 and toe brakes 0 .. 200 -> fcs/left-brake-cmd-norm and
//                                   fcs/right-brake-cmd-norm = max(parking set ? 1 : 0,
//                                   toe / 200): the model has no separate parking brake.
// Values beyond a range act as its end.
//
// State (the model's properties -> SI and degrees):
//   latitude     avilo/lat-deg-int + avilo/lat-udeg-frac / 1e6 (geodetic, +-0.1 m)
//   longitude    avilo/lon-deg-int + avilo/lon-udeg-frac / 1e6 (+-0.1 m)
//   altitude     position/h-sl-ft x 0.3048 (centre of gravity; 1.28 m above the runway parked)
//   IAS          velocities/vc-kts (calibrated airspeed); TAS velocities/vtrue-kts
//   vertical speed velocities/h-dot-fps x 0.3048
//   pitch, bank, heading attitude/theta-deg, phi-deg, psi-deg (nose up, right wing down, true)
//   on ground    gear/wow
//
// Time: Step(dt) advances by exactly dt of simulated time in whole frames of 1/120 s; the
// remainder carries over, so any sequence of steps adds up exactly.  Controls changed since the
// last frame are sent with the step's first frame; the state is read with its last frame, and is
// that at the start of the last frame (JSBSim answers "get" before running the frame), i.e.
// one frame (8.3 ms) behind the model's time.
//
// Weather (ModelConfig): JSBSim's own atmosphere flies it: its steady wind, its turbulence model
// and its cosine gusts, set before the start and seeded, so that a flight in lock-step is the same
// each time for a seed.
//
// Start (Park): the program starts with the aircraft on the threshold, wing tanks filled, brakes
// set; the engine is started (mixture rich, magnetos both, starter until 700 rpm, about 3.3 s)
// and left to idle for a further second before the model is handed over; the simulated time of
// the start is not counted in NowUs().

#include "fssim/jsbsim/Process.h"

#include <fssim/AircraftModel.h>
#include <fssim/Export.h>
#include <fssim/Gusts.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fssim::jsbsim {

struct ModelConfig {
    ProcessConfig process;
    double fuelPerWingTank_lb = 100.0; ///< 1,847 lb all up with the pilot
    double startRpm = 700.0;           ///< the starter is released above this
    double maxStartTime_s = 15.0;      ///< the engine must have started by then
    double idleAfterStart_s = 1.0;
    /// A constant wind, blowing FROM this true direction (degrees) at this speed (knots), set as
    /// JSBSim's atmosphere/wind-north-fps and wind-east-fps (the direction it blows towards).
    double windFrom_deg = 0.0;
    double windSpeed_kt = 0.0;
    /// Gusts on top of that wind (knots; 0: none): the gusts of fssim::GustSchedule for `seed`,
    /// each one JSBSim's own cosine gust (atmosphere/cosine-gust/..., in the local frame, along
    /// the wind's direction) started at the first frame at or after the gust's start.
    double gusts_kt = 0.0;
    /// Turbulence: JSBSim's MIL-F-8785C model (atmosphere/turb-type 3) with
    /// this wind at 20 ft (knots; atmosphere/turbulence/milspec/windspeed_at_20ft_AGL-fps) and
    /// this probability-of-exceedance row (atmosphere/turbulence/milspec/severity: 3 is 1e-2,
    /// light; 4 is 1e-3, moderate; 6 is 1e-5, severe).  0: no turbulence.
    double turbulenceWindAt20ft_kt = 0.0;
    int turbulenceSeverity = 0;
    /// Seed of JSBSim's random numbers (simulation/randomseed, 0 to 2147483647) and of the gusts.
    std::uint32_t seed = 1;
};

class FSSIM_JSBSIM_API JsbsimModel final : public AircraftModel {
public:
    static constexpr int kFrameHz = 120;

    explicit JsbsimModel(const ModelConfig& config = {});
    ~JsbsimModel();
    JsbsimModel(const JsbsimModel&) = delete;
    JsbsimModel& operator=(const JsbsimModel&) = delete;

    /// Starts the program with the aircraft parked on the threshold (degrees, true heading,
    /// elevation in metres above mean sea level), starts the engine and hands over with the
    /// parking brake set, throttle closed, mixture rich, controls centred.  A second call
    /// starts a new program.  Throws JsbsimError.
    void Park(double latitude_deg, double longitude_deg, double heading_deg,
              double elevation_m) override;

    /// Advances by dt seconds (any dt >= 0; whole frames run, the rest carries over).
    void Step(double dt) override;
    /// Advances by exactly `us` microseconds.
    void AdvanceUs(std::uint64_t us);

    Controls& GetControls() override { return m_controls; }
    const Controls& GetControls() const override { return m_controls; }
    const State& GetState() const override { return m_state; }
    Derived GetDerived() const override { return m_derived; }

    double EngineRpm() const { return m_rpm; }
    /// Simulated time since the hand-over, microseconds.
    std::uint64_t NowUs() const { return m_nowUs; }
    std::uint64_t Frames() const { return m_frames; }
    /// The program's own simulation time (including the start), seconds.
    double ProgramTime_s() const { return m_programTime; }

    /// Direct access for tests: one frame with these commands (after the pending controls).
    std::vector<Reply> Exchange(const std::vector<std::string>& commands);
    Process& GetProcess();

private:
    void RunFrames(std::uint64_t n);
    std::vector<std::string> ControlCommands(bool all);
    void ReadState(const std::vector<Reply>& replies, std::size_t first);
    /// The commands that start the gust due at the frame about to run, if any.
    void GustCommands(std::vector<std::string>& commands);

    ModelConfig m_config;
    std::unique_ptr<Process> m_process;
    Controls m_controls;
    State m_state;
    Derived m_derived;
    double m_rpm = 0.0;
    double m_programTime = 0.0;
    std::uint64_t m_nowUs = 0;
    std::uint64_t m_frames = 0;
    double m_dtCarry = 0.0;
    std::vector<double> m_sent; ///< last values sent per control property (NaN: never)
    GustSchedule m_gusts;
    double m_gustStarted_s = -1.0; ///< start of the last gust handed to JSBSim
};

} // namespace fssim::jsbsim
