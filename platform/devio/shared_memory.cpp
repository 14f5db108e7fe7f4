#include "platform/devio/shared_memory.h"

#include <map>
#include <mutex>
#include <utility>

namespace orv::devio {
namespace detail {

struct MemoryTable {
    struct Block {
        std::shared_ptr<void> memory;
        std::size_t size = 0;
    };
    std::mutex mutex;
    std::map<MemoryToken, Block> blocks;
    MemoryToken next = 0x1000;
};

}  // namespace detail

namespace {

const std::shared_ptr<detail::MemoryTable>& table() {
    static const auto t = std::make_shared<detail::MemoryTable>();
    return t;
}

}  // namespace

SharedMemory::SharedMemory(std::shared_ptr<void> block, std::size_t size) : table_(table()) {
    std::lock_guard lock(table_->mutex);
    do {
        ++table_->next;
    } while (table_->next == 0 || table_->blocks.count(table_->next) != 0);
    table_->blocks.emplace(table_->next, detail::MemoryTable::Block{std::move(block), size});
    token_ = table_->next;
}

SharedMemory::~SharedMemory() {
    release();
}

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : table_(std::move(other.table_)), token_(std::exchange(other.token_, 0)) {}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
    if (this != &other) {
        release();
        table_ = std::move(other.table_);
        token_ = std::exchange(other.token_, 0);
    }
    return *this;
}

void SharedMemory::release() {
    if (!table_ || token_ == 0) return;
    std::lock_guard lock(table_->mutex);
    table_->blocks.erase(token_);
    token_ = 0;
}

void* resolveMemory(MemoryToken token, std::size_t size) {
    detail::MemoryTable& t = *table();
    std::lock_guard lock(t.mutex);
    auto it = t.blocks.find(token);
    if (it == t.blocks.end() || it->second.size < size) return nullptr;
    return it->second.memory.get();
}

}  // namespace orv::devio
