#pragma once
// A scripted peer of the simulator link for the executor's tests: an in-process endpoint
// "UIPCMAIN" over a plain 64 KiB offset space, in virtual time.  It serves the version words,
// records every write with the simulated time and the exchange it came in, and lets a test
// attach a tiny aircraft model (called for each write and each advance of time).

#include <ipc/Clock.h>
#include <ipc/Endpoint.h>
#include <ipc/Protocol.h>

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
          m_endpoint(ipc::protocol::kClassName,
                     [this](const ipc::Message& m) { return Handle(m); }) {
        Put<std::uint32_t>(ipc::protocol::offsets::kLinkVersion, 0x30000000);
        Put<std::uint32_t>(ipc::protocol::offsets::kSimVersion, 0xFADE0006);
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

    /// Writes other than the client's version word written while opening.
    std::vector<Write> ControlWrites() const {
        std::vector<Write> result;
        for (const Write& w : writes)
            if (w.offset != ipc::protocol::offsets::kClientVersion)
                result.push_back(w);
        return result;
    }

    std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(ipc::protocol::offsets::kSpace);
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
        namespace protocol = ipc::protocol;
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
            const std::uint32_t id = protocol::Get32(p);
            if (id == protocol::kEndId)
                break;
            if (end - p < 12 || id > protocol::kWriteId)
                return ipc::Reply::Answer(0);
            const std::uint32_t offset = protocol::Get32(p + 4), size = protocol::Get32(p + 8);
            const std::uint32_t header =
                id == protocol::kReadId ? protocol::kReadHeader : protocol::kWriteHeader;
            if (std::uint64_t{offset} + size > memory.size() ||
                std::uint64_t(end - p) < header + std::uint64_t{size})
                return ipc::Reply::Answer(0);
            if (id == protocol::kReadId) {
                std::memcpy(p + header, memory.data() + offset, size);
            } else {
                std::memcpy(memory.data() + offset, p + header, size);
                writes.push_back({offset, std::vector<std::uint8_t>(p + header, p + header + size),
                                  now, exchanges});
                if (onWrite)
                    onWrite(*this, writes.back());
            }
            p += header + size;
        }
        Advance(1); // an exchange costs a millisecond
        return ipc::Reply::Answer(1);
    }

    std::shared_ptr<ipc::VirtualClock> m_clock;
    std::map<std::string, std::shared_ptr<ipc::SharedView>> m_views;
    ipc::LocalEndpoint m_endpoint;
};

} // namespace kestro_test
