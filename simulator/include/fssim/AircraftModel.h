#pragma once
// What the simulator needs of a flight model: park it, advance it, hand it the control inputs
// and read its state.  Two models implement it: fssim::FlightModel (the simulator's own
// trainer) and fssim::jsbsim::JsbsimModel (JSBSim's Cessna 172P flown by the JSBSim program).
//
// Sign conventions shared by both: pitch positive nose up, bank positive right wing down,
// positive aileron rolls right, positive elevator (and trim) pitches the nose up, positive
// rudder yaws right, heading true, clockwise from north.

#include "fssim/Export.h"

#include <cstdint>

namespace fssim {

/// Control positions as the simulator's offsets give them (raw input units).
struct Controls {
    int throttle = 0;      ///< 0 .. 16384 (full power)
    int mixture = 16384;   ///< 0 idle cut-off .. 16384 full rich
    int elevator = 0;      ///< -16383 .. 16383, positive nose up
    int aileron = 0;       ///< -16383 .. 16383, positive rolls right
    int rudder = 0;        ///< -16383 .. 16383, positive yaws right (right pedal)
    int elevatorTrim = 0;  ///< -16383 .. 16383, positive nose up
    int parkingBrake = 0;  ///< 0 released .. 32767 set
    int leftToeBrake = 0;  ///< 0 .. 200
    int rightToeBrake = 0; ///< 0 .. 200
};

struct State {
    double latitude_deg = 0.0;
    double longitude_deg = 0.0;
    double altitude_m = 0.0;        ///< of the aircraft above mean sea level
    double groundElevation_m = 0.0; ///< of the terrain (flat: the start elevation)
    double tas_mps = 0.0;           ///< true airspeed along the flight path
    double gamma_rad = 0.0;         ///< flight-path angle, climbing positive
    double heading_deg = 0.0;       ///< true, [0, 360)
    double pitch_deg = 0.0;
    double bank_deg = 0.0;
    double rollRate_degps = 0.0;
    bool onGround = true;
    double distanceRolled_m = 0.0; ///< ground distance covered while on the ground
};

/// Figures derived from the state, as the instruments give them.  A model fills what it knows;
/// JSBSim's gives the airspeeds, the vertical speed and the angle of attack only.
struct Derived {
    double ias_kt = 0.0; ///< indicated (= equivalent) airspeed
    double tas_kt = 0.0;
    double verticalSpeed_mps = 0.0;
    double alpha_deg = 0.0;
    double density_kgpm3 = 0.0;
    double thrust_N = 0.0;
    double lift_N = 0.0;
    double drag_N = 0.0;
    bool stalled = false;
};

class FSSIM_CORE_API AircraftModel {
public:
    virtual ~AircraftModel() = default;

    /// Parks the aircraft at a position (degrees north and east), true heading (degrees) and
    /// ground elevation (metres above mean sea level): engine idling, mixture rich, parking brake
    /// set, other controls centred.
    virtual void Park(double latitude_deg, double longitude_deg, double heading_deg,
                      double elevation_m) = 0;
    /// Advances the model by dt seconds.
    virtual void Step(double dt) = 0;

    virtual Controls& GetControls() = 0;
    virtual const Controls& GetControls() const = 0;
    virtual const State& GetState() const = 0;
    virtual Derived GetDerived() const = 0;
};

} // namespace fssim
