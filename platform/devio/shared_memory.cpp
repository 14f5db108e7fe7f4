#include "platform/devio/shared_memory.h"

#include <map>
#include <mutex>
#include <utility>

namespace orv::devio {
namespace {

struct Block {
    std::shared_ptr<void> memory;
    std::size_t size = 0;
};

struct Table {
    std::mutex mutex;
    std::map<MemoryToken, Block> blocks;
    MemoryToken next = 0x1000;
};

Table& table() {
    static Table t;
    return t;
}

}  // namespace

MemoryToken shareMemory(std::shared_ptr<void> block, std::size_t size) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    do {
        ++t.next;
    } while (t.next == 0 || t.blocks.count(t.next) != 0);
    t.blocks.emplace(t.next, Block{std::move(block), size});
    return t.next;
}

void releaseMemory(MemoryToken token) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    t.blocks.erase(token);
}

void* resolveMemory(MemoryToken token, std::size_t size) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.blocks.find(token);
    if (it == t.blocks.end() || it->second.size < size) return nullptr;
    return it->second.memory.get();
}

}  // namespace orv::devio
