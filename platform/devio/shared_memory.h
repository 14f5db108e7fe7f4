// Memory a driver shares with the process. On Windows the driver handed over 32-bit addresses
// into memory mapped for the process; here it hands over 32-bit tokens that this table resolves,
// so the record layouts that carry them keep their sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orv::devio {

using MemoryToken = std::uint32_t;  // 0 is never a token

// Registers a block of `size` bytes; the table keeps it alive until released.
MemoryToken shareMemory(std::shared_ptr<void> block, std::size_t size);
void releaseMemory(MemoryToken token);
// The block's address when the token is known and the block holds at least `size` bytes; null
// otherwise.
void* resolveMemory(MemoryToken token, std::size_t size);

}  // namespace orv::devio
