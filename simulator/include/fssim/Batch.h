#pragma once
// The request records of the simulator link, as the peer checks and carries them out: a batch of
// read and write records ending with an end marker, packed from the start of a block, against
// the 64 KiB offset space (record layout in <ipc/Protocol.h>).
//
// Both functions work on memory the caller owns.  A peer that serves another process copies the
// client's block into private memory first and checks and carries out that copy, so that what
// was checked is what is used, whatever the client does to its shared memory meanwhile.  They
// need nothing but the block and the space: the link's fuzz target drives them from a byte
// buffer.

#include "fssim/Export.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace fssim {

/// Checks the batch at the start of `block`: every record a read or a write whose header and
/// data lie inside the block and whose offset range lies inside the offset space (0 to
/// ipc::protocol::offsets::kSpace bytes), and an end marker inside the block.  Returns the
/// number of bytes the batch takes, end marker included (4 or more), or nothing when the batch
/// is rejected.
FSSIM_CORE_API std::optional<std::size_t> CheckBatch(std::span<const std::uint8_t> block);

/// Carries out a batch that CheckBatch accepted, record by record in order: a read copies its
/// range of `space` into the record's data bytes, a write copies its data bytes into `space`.
/// `space` is the offset space (ipc::protocol::offsets::kSpace bytes).  Touches nothing of
/// `block` beyond the bytes CheckBatch counted.  Returns true when the batch held a write.
FSSIM_CORE_API bool CarryOutBatch(std::span<std::uint8_t> block, std::span<std::uint8_t> space);

} // namespace fssim
