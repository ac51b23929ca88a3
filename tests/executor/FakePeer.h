#pragma once
// A scripted peer of the simulator link for the executor's tests: an in-process endpoint
// "UIPCMAIN" over a plain 64 KiB offset space, in virtual time.  It serves the version words,
// records every write with the simulated time and the exchange it came in, and lets a test
// attach a tiny aircraft model (called for each write and each advance of time).

#include <ipc/Clock.h>
#include <ipc/Endpoint.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kestro_test {

class FakePeer {
public:
    struct Write {
        std::uint32_t offset;
        std::vector<std::uint8_t> data;
        std::int64_t atMs;
        std::uint64_t exchange;
        std::int64_t Value() const {
            // Sign-extended little-endian value of the write.
            std::int64_t v = 0;
            std::memcpy(&v, data.data(), data.size() > 8 ? 8 : data.size());
            const unsigned bits = static_cast<unsigned>(data.size() * 8);
            if (bits < 64 && (v >> (bits - 1)) & 1)
                v |= ~std::int64_t{0} << bits;
            return v;
        }
    };

    FakePeer()
        : m_clock(std::make_shared<ipc::VirtualClock>([this](std::uint32_t ms) { Advance(ms); },
                                                      [this] { return now; })),
          m_endpoint("UIPCMAIN", [this](const ipc::Message& m) { return Handle(m); }) {
        Put<std::uint32_t>(0x3304, 0x30000000);
        Put<std::uint32_t>(0x3308, 0xFADE0006);
    }

    const std::shared_ptr<ipc::VirtualClock>& Clock() const { return m_clock; }

    template <typename T> void Put(std::uint32_t offset, T value) {
        std::memcpy(memory.data() + offset, &value, sizeof value);
    }
    template <typename T> T Get(std::uint32_t offset) const {
        T value;
        std::memcpy(&value, memory.data() + offset, sizeof value);
        return value;
    }
    /// Writes to one offset, in order.
    std::vector<std::int64_t> WritesTo(std::uint32_t offset) const {
        std::vector<std::int64_t> values;
        for (const Write& w : writes)
            if (w.offset == offset)
                values.push_back(w.Value());
        return values;
    }

    /// Writes other than the client's version word written while opening (0x330A).
    std::vector<Write> ControlWrites() const {
        std::vector<Write> result;
        for (const Write& w : writes)
            if (w.offset != 0x330A)
                result.push_back(w);
        return result;
    }

    std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(0x10000);
    std::vector<Write> writes;
    std::int64_t now = 0;
    std::uint64_t exchanges = 0;
    /// Called after each write is stored.
    std::function<void(FakePeer&, const Write&)> onWrite;
    /// Called for each millisecond of simulated time.
    std::function<void(FakePeer&)> onMillisecond;

private:
    void Advance(std::uint32_t ms) {
        for (std::uint32_t i = 0; i < ms; ++i) {
            ++now;
            if (onMillisecond)
                onMillisecond(*this);
        }
    }

    ipc::Reply Handle(const ipc::Message& m) {
        auto& view = m_views[m.atomName];
        if (!view)
            view = ipc::SharedView::Open(m.atomName);
        if (!view)
            return ipc::Reply::Answer(0);
        ++exchanges;
        std::uint8_t* p = view->Data();
        std::uint8_t* end = p + view->Size();
        for (;;) {
            if (end - p < 4)
                return ipc::Reply::Answer(0);
            std::uint32_t h[4] = {};
            std::memcpy(h, p, 4);
            if (h[0] == 0)
                break;
            if (end - p < 12)
                return ipc::Reply::Answer(0);
            std::memcpy(h, p, 12);
            const std::uint32_t header = h[0] == 1 ? 16 : 12;
            if (h[0] > 2 || std::uint64_t{h[1]} + h[2] > memory.size() ||
                std::uint64_t(end - p) < header + std::uint64_t{h[2]})
                return ipc::Reply::Answer(0);
            if (h[0] == 1) {
                std::memcpy(p + 16, memory.data() + h[1], h[2]);
            } else {
                std::memcpy(memory.data() + h[1], p + 12, h[2]);
                writes.push_back(
                    {h[1], std::vector<std::uint8_t>(p + 12, p + 12 + h[2]), now, exchanges});
                if (onWrite)
                    onWrite(*this, writes.back());
            }
            p += header + h[2];
        }
        Advance(1); // an exchange costs a millisecond
        return ipc::Reply::Answer(1);
    }

    std::shared_ptr<ipc::VirtualClock> m_clock;
    std::map<std::string, std::shared_ptr<ipc::SharedView>> m_views;
    ipc::LocalEndpoint m_endpoint;
};

} // namespace kestro_test
