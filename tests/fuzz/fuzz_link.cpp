// libFuzzer target: the bytes a client puts in its shared memory, as fssim checks and carries
// them out (fssim::CheckBatch and fssim::CarryOutBatch on its private copy of the block).
#include <fssim/Batch.h>
#include <ipc/Protocol.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace protocol = ipc::protocol;
    // fssim copies at most the protocol's block size; exact-size buffers let the address
    // sanitizer see any access past the block or the offset space.
    std::vector<std::uint8_t> block(data, data + std::min<std::size_t>(size, protocol::kMapSize));
    const std::optional<std::size_t> used = fssim::CheckBatch(block);
    if (!used)
        return 0;
    if (*used < 4 || *used > block.size())
        __builtin_trap();
    std::vector<std::uint8_t> space(protocol::offsets::kSpace, 0xA5);
    const std::vector<std::uint8_t> before = block;
    fssim::CarryOutBatch(block, space);
    // Reads fill data bytes only: nothing past the batch changes, and the records still check
    // to the same length.
    if (!std::equal(block.begin() + static_cast<std::ptrdiff_t>(*used), block.end(),
                    before.begin() + static_cast<std::ptrdiff_t>(*used)) ||
        fssim::CheckBatch(block) != used)
        __builtin_trap();
    return 0;
}
