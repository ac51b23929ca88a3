#pragma once
// CFSUIPCAircraft: the aircraft behind the simulator link, flown through a CFSUIPCClient.
//
// Each Exchange is one batch of the client (its writes first, then its reads, in the order
// given) sent with one Process; ReadControl is one ReadNow.  The values travel with the offsets
// and encodings of <ipc/Protocol.h>; the state is decoded with exactly the client's conversions
// (latitude = value x 90 / (10001750 x 2^32), longitude = value x 360 / 2^64, angles = value /
// (2^32 / 360), airspeed = value / 128, altitude = value / 2^32).  A control value is written in
// its offset's width (16 bits, the aileron's 32 bits, the toe brakes' 8), truncated as a cast
// truncates.
//
// Stops: every exchange and wait first checks the client's clock for a stop request and the
// time limit, counted on the flight's clock from construction.
//
// The flight's clock.  When the client's clock is the wall clock and the simulator serves its
// simulated time (the marker at 0x3310), the flight keeps to the simulator's time, so that a
// simulator running faster than real time, or paused, flies as at real time: every exchange also
// reads the simulated time (in the same batch, no extra round trip); NowMs goes on from where
// the wall clock had brought it at the first reading and then advances with the simulated time
// read last, which is the time of the state read with it; Wait(ms) looks at the simulated time
// in short sleeps of the client's clock (at most kMaxPollMs of real time, shorter by the
// measured rate of the simulator) until it has advanced by ms from the time read last.  A paused
// simulator is waited for; a stop request still ends the wait at once, and a simulator that has
// gone still ends it with LinkLost after the client's retries, which keep to the wall clock.
// Without the marker (an older simulator) the flight keeps to the wall clock; with a clock of
// simulated time (virtual time, where the clock drives the simulator) it keeps to that clock and
// reads no time.
//
// A lost link: an exchange whose batch the client could not deliver after all its sends (result
// "IPC timed out all retries" or "IPC sendmessage failed all retries", or a link not open)
// unwinds with LinkLost; a batch the simulator refused ("IPC request contains bad data") fails
// with false.

#include "kestro/Aircraft.h"
#include "kestro/Export.h"
#include "kestro/FSUIPC.h"

#include <array>
#include <cstdint>
#include <optional>

namespace kestro {

class KESTRO_CORE_API CFSUIPCAircraft final : public IAircraft {
public:
    /// Longest real sleep between two looks at the simulator's time in a wait, milliseconds.
    static constexpr std::uint32_t kMaxPollMs = 50;

    /// `client` must be open while the aircraft flies and is used by nothing else meanwhile.
    /// `timeLimitMs` (0: none) ends the flight with FlightStopped{true} that many milliseconds of
    /// the flight's clock after construction.
    explicit CFSUIPCAircraft(CFSUIPCClient& client, std::int64_t timeLimitMs = 0);

    bool Exchange(std::span<const ControlInput> inputs, std::span<const StateItem> items,
                  AircraftState& state) override;
    bool ReadControl(Control control, int& value) override;
    void Wait(std::uint32_t ms) override;
    void CheckStop() override;
    std::int64_t NowMs() const override;
    bool LinkOpen() const override;

    /// The simulator's time as last read (milliseconds since its simulation started), once the
    /// flight keeps to it; none before or without.
    std::optional<std::int64_t> SimulatorTimeMs() const;

private:
    /// After a failed batch: unwinds with FlightStopped on a stop, with LinkLost when the link
    /// is lost; else false.
    bool Failed();
    /// Queues the read of the simulated time when the flight keeps or may keep to it.
    bool QueueTimeRead();
    /// Takes in the simulated time a batch read (after QueueTimeRead and a successful Process).
    void NoteTime();
    /// Real milliseconds to sleep before looking at the simulated time again, `remainingMs` of
    /// simulated time before the wait's end.
    std::uint32_t PollMs(std::int64_t remainingMs) const;

    /// Whether the simulator serves its time: not known before the first batch that read it.
    enum class SimClock { Unknown, Served, NotServed };

    /// One answer slot per state item (the last item of the enumeration is GroundElevation).
    static constexpr std::size_t kItemCount =
        static_cast<std::size_t>(StateItem::GroundElevation) + 1;

    CFSUIPCClient& m_client;
    std::int64_t m_timeLimitMs;
    std::int64_t m_startMs;
    /// Where the client copies the answers of a batch's reads, one slot per state item: the
    /// buffers must outlive the batch.
    std::array<std::array<std::uint8_t, 8>, kItemCount> m_answers{};
    std::array<std::uint8_t, 4> m_controlAnswer{};

    SimClock m_simClock;
    std::array<std::uint8_t, 12> m_timeAnswer{}; ///< marker and time, as served
    std::int64_t m_simMs = 0;                    ///< the simulator's time, last read
    std::int64_t m_simToFlightMs = 0;            ///< flight's clock less simulator's time
    /// The simulator's rate (simulated per real millisecond) measured over at least
    /// kRateWindowMs of the client's clock from the reference point; negative while unknown, 0
    /// while it stands still.
    double m_rate = -1;
    std::int64_t m_rateFromWallMs = 0, m_rateFromSimMs = 0;
};

} // namespace kestro
