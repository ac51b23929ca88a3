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
// time limit, counted from construction.  Waits go through the client's clock.
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

namespace kestro {

class KESTRO_CORE_API CFSUIPCAircraft final : public IAircraft {
public:
    /// `client` must be open while the aircraft flies and is used by nothing else meanwhile.
    /// `timeLimitMs` (0: none) ends the flight with FlightStopped{true} that many milliseconds of
    /// the client's clock after construction.
    explicit CFSUIPCAircraft(CFSUIPCClient& client, std::int64_t timeLimitMs = 0);

    bool Exchange(std::span<const ControlInput> inputs, std::span<const StateItem> items,
                  AircraftState& state) override;
    bool ReadControl(Control control, int& value) override;
    void Wait(std::uint32_t ms) override;
    void CheckStop() override;
    std::int64_t NowMs() const override;
    bool LinkOpen() const override;

private:
    /// After a failed batch: unwinds with FlightStopped on a stop, with LinkLost when the link
    /// is lost; else false.
    bool Failed();

    static constexpr std::size_t kItemCount = 8;

    CFSUIPCClient& m_client;
    std::int64_t m_timeLimitMs;
    std::int64_t m_startMs;
    /// Where the client copies the answers of a batch's reads, one slot per state item: the
    /// buffers must outlive the batch.
    std::array<std::array<std::uint8_t, 8>, kItemCount> m_answers{};
    std::array<std::uint8_t, 4> m_controlAnswer{};
};

} // namespace kestro
