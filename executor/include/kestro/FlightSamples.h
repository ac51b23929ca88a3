#pragma once
// Positions of a flight as it is flown, handed from the executor's worker thread to a reader on
// another thread (the planner's chart windows and the executor's window): the worker appends a
// sample now and then, the reader takes what arrived since its last look at its own pace.  The
// worker never waits for the reader beyond one short lock, and never calls into it.

#include "kestro/Aircraft.h"
#include "kestro/Export.h"
#include "kestro/FlightReport.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kestro {

class KESTRO_CORE_API FlightSampleBuffer {
public:
    /// Appends one sample.  Any thread (the worker).
    void Append(const FlightSample& sample);
    /// Moves out every sample appended since the last call, in order.  Any thread (the reader).
    std::vector<FlightSample> Take();

private:
    std::mutex m_mutex;
    std::vector<FlightSample> m_samples;
};

/// An aircraft that flies `aircraft` and hands a sample of its state to `buffer` at most once
/// per `periodMs` of the flight's clock: the state as last read, each item as fresh as the law's
/// own reads of it.  It adds no exchange and no wait, so the flight is the same with it as
/// without.
class KESTRO_CORE_API CSampledAircraft : public IAircraft {
public:
    CSampledAircraft(IAircraft& aircraft, std::shared_ptr<FlightSampleBuffer> buffer,
                     std::int64_t periodMs);

    bool Exchange(std::span<const ControlInput> inputs, std::span<const StateItem> items,
                  AircraftState& state) override;
    bool ReadControl(Control control, int& value) override {
        return m_aircraft.ReadControl(control, value);
    }
    void Wait(std::uint32_t ms) override { m_aircraft.Wait(ms); }
    void CheckStop() override { m_aircraft.CheckStop(); }
    std::int64_t NowMs() const override { return m_aircraft.NowMs(); }
    bool LinkOpen() const override { return m_aircraft.LinkOpen(); }

    /// Hands the state as it stands now (the end of a flight, which falls between samples).
    void Flush();

private:
    IAircraft& m_aircraft;
    std::shared_ptr<FlightSampleBuffer> m_buffer;
    std::int64_t m_periodMs;
    std::int64_t m_startMs;
    std::int64_t m_nextMs;
    AircraftState m_state;
    bool m_positionKnown = false;
};

} // namespace kestro
