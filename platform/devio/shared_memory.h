// Memory a driver shares with the process. On Windows the driver handed over 32-bit addresses
// into memory mapped for the process; here it hands over 32-bit tokens that this table resolves,
// so the record layouts that carry them keep their sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orv::devio {

using MemoryToken = std::uint32_t;  // 0 is never a token

namespace detail {
struct MemoryTable;
}

// One block registered in the process's table for as long as this object lives. Each share
// holds the table itself, so the table outlives the last driver that shares memory, whatever
// order the process's static objects are destroyed in at exit.
class SharedMemory {
  public:
    SharedMemory(std::shared_ptr<void> block, std::size_t size);
    ~SharedMemory();
    SharedMemory(SharedMemory&& other) noexcept;
    SharedMemory& operator=(SharedMemory&& other) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    MemoryToken token() const { return token_; }

  private:
    void release();

    std::shared_ptr<detail::MemoryTable> table_;
    MemoryToken token_ = 0;
};

// The block's address when the token is known and the block holds at least `size` bytes; null
// otherwise.
void* resolveMemory(MemoryToken token, std::size_t size);

}  // namespace orv::devio
