#pragma once
// The FlightGear bridge: serves the simulator link (<ipc/Protocol.h>) from a running FlightGear.
//
// FlightGear flies; the bridge's model (FlightGearModel) holds the state of FlightGear's newest
// UDP datagram, and fssim::Simulator serves it through the link as it serves its own models:
// the same offsets, scales and signs, the same checks of request records.  The time served is
// FlightGear's simulated time (/sim/time/elapsed-sec), which stands still while FlightGear is
// paused (time FlightGear reports while paused is not counted either), so the executor's loops
// keep to FlightGear's clock and see no time pass in a pause.
//
// Controls: the offsets start with the control positions FlightGear reports, and once a
// client's writes change them the bridge sends them to FlightGear (at most kSendPeriodMs apart,
// and again every kRefreshMs while they are the client's: a UDP datagram may be lost).
// A bridge no client has written to sends nothing: a pilot flying by hand keeps the controls.
// A control is the client's once it has set it; the others are sent as FlightGear last reported
// them, so that FlightGear (or the pilot) keeps them.
//
// A lost FlightGear: when no datagram came for kLostMs, Lost says so and the program asks
// FlightGear's property interface.  Before any client it keeps the link while something listens
// there (FlightGear loading); once a client flies, while FlightGear says within a second that it
// is paused, or for up to kStallMs while it takes connections but answers nothing (a frame that
// takes seconds: scenery reloaded after a reposition).  Otherwise (FlightGear quit, or stays
// stalled) it ends the link: the client then sees a broken link.

#include "fgbridge/PropertyFile.h"

#include <fssim/Simulator.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace fgbridge {

/// The control inputs a client can set (fssim::Controls' fields).
inline constexpr std::size_t kControlCount = 9;

/// Milliseconds of wall time without state after which FlightGear counts as lost.
inline constexpr std::int64_t kLostMs = 2000;
/// Least wall time between two control datagrams (ms), and the period of their repetition: a
/// steady stream at about FlightGear's input rate (30 Hz), as its generic input expects.
inline constexpr std::int64_t kSendPeriodMs = 20;
inline constexpr std::int64_t kRefreshMs = 33;

/// The aircraft as FlightGear flies it: a flight model that is told its state.
class FlightGearModel final : public fssim::AircraftModel {
public:
    explicit FlightGearModel(const FgState& first);

    /// The aircraft flies in FlightGear, where it is: parking it is FlightGear's to do.
    void Park(double, double, double, double) override {}
    /// FlightGear steps itself; the state changes with Update.
    void Step(double) override {}

    fssim::Controls& GetControls() override { return m_controls; }
    const fssim::Controls& GetControls() const override { return m_controls; }
    const fssim::State& GetState() const override { return m_state.state; }
    fssim::Derived GetDerived() const override { return m_state.derived; }

    /// Takes FlightGear's newest state (the controls stay the link's).
    void Update(const FgState& state) { m_state = state; }
    const FgState& Latest() const { return m_state; }

private:
    FgState m_state;
    fssim::Controls m_controls;
};

/// The link served from FlightGear's state.  Not locked: one thread.
class Bridge {
public:
    /// `first` is FlightGear's first state, received at wall time `nowMs` (ms of any steady
    /// clock); its controls become the offsets' first values and its time the served time 0.
    Bridge(const Codec& codec, const FgState& first, std::int64_t nowMs);

    /// Takes a datagram received at wall time `nowMs`: decodes it, updates the model and
    /// advances the served time to FlightGear's.  False with `error` set for a datagram that
    /// does not decode (it is dropped; the state stays the previous one).
    bool OnDatagram(std::string_view datagram, std::int64_t nowMs, std::string& error);

    /// The control datagram to send at wall time `nowMs`, if one is due: the client's controls
    /// changed and kSendPeriodMs passed since the last one, or kRefreshMs passed.
    std::optional<std::string> ControlsDue(std::int64_t nowMs);

    /// True once no datagram came for kLostMs by wall time `nowMs`.
    bool Lost(std::int64_t nowMs) const { return nowMs - m_lastDatagramMs >= kLostMs; }
    /// Treats `nowMs` as a moment FlightGear was heard from (it answered while paused).
    void Heard(std::int64_t nowMs) { m_lastDatagramMs = nowMs; }

    fssim::Simulator& Sim() { return *m_sim; }
    FlightGearModel& Model() { return *m_model; }

private:
    const Codec& m_codec;
    FlightGearModel* m_model; ///< owned by m_sim
    std::unique_ptr<fssim::Simulator> m_sim;
    double m_firstTime_s;
    double m_pausedTotal_s = 0.0; ///< FlightGear's time that passed while it was paused
    std::int64_t m_lastDatagramMs = 0;
    fssim::Controls m_reported; ///< FlightGear's controls when the bridge started
    std::optional<fssim::Controls> m_sent;
    std::array<bool, kControlCount> m_owned{}; ///< the controls the client has set
    std::int64_t m_lastSendMs = 0;
};

} // namespace fgbridge
