#include "fssim/Batch.h"

#include <ipc/Protocol.h>

#include <cstring>

namespace fssim {

namespace {

namespace protocol = ipc::protocol;

/// Header size of a record id; 0 for an id that is no record.
std::size_t HeaderOf(std::uint32_t id) {
    return id == protocol::kReadId    ? protocol::kReadHeader
           : id == protocol::kWriteId ? protocol::kWriteHeader
                                      : 0;
}

} // namespace

std::optional<std::size_t> CheckBatch(std::span<const std::uint8_t> block) {
    const std::size_t size = block.size();
    const std::uint8_t* p = block.data();
    std::size_t pos = 0;
    for (;;) {
        if (size < 4 || pos > size - 4)
            return std::nullopt; // no end marker inside the block
        const std::uint32_t id = protocol::Get32(p + pos);
        if (id == protocol::kEndId)
            return pos + 4;
        // pos <= size - 4 here, so size - pos cannot wrap (a block shorter than a header must
        // not pass as one that holds it).
        const std::size_t header = HeaderOf(id);
        if (header == 0 || header > size - pos)
            return std::nullopt;
        const std::uint32_t offset = protocol::Get32(p + pos + 4);
        const std::uint32_t n = protocol::Get32(p + pos + 8);
        if (n > size - pos - header || offset > protocol::offsets::kSpace ||
            n > protocol::offsets::kSpace - offset)
            return std::nullopt;
        pos += header + n;
    }
}

bool CarryOutBatch(std::span<std::uint8_t> block, std::span<std::uint8_t> space) {
    bool wrote = false;
    std::uint8_t* p = block.data();
    for (std::size_t pos = 0;;) {
        const std::uint32_t id = protocol::Get32(p + pos);
        if (id == protocol::kEndId)
            return wrote;
        const std::uint32_t offset = protocol::Get32(p + pos + 4);
        const std::uint32_t n = protocol::Get32(p + pos + 8);
        const std::size_t header = HeaderOf(id);
        if (id == protocol::kReadId) {
            std::memcpy(p + pos + header, space.data() + offset, n);
        } else {
            std::memcpy(space.data() + offset, p + pos + header, n);
            wrote = true;
        }
        pos += header + n;
    }
}

} // namespace fssim
