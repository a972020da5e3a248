#include "core/recycling_allocator.h"

#include <cstdlib>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

using FreeBlocks = std::unordered_map<std::size_t, std::vector<void*>>;

// Trivially destructible, so that it can still be read after the thread's other
// thread-local objects are gone.
struct Slot {
    FreeBlocks* blocks = nullptr;
    bool gone = false;
};
thread_local Slot t_slot;

struct Release {
    ~Release() {
        if (t_slot.blocks != nullptr) {
            for (auto& [size, blocks] : *t_slot.blocks) {
                for (void* block : blocks) std::free(block);
            }
            delete t_slot.blocks;
            t_slot.blocks = nullptr;
        }
        t_slot.gone = true;
    }
};
thread_local Release t_release;

FreeBlocks* lf_blocks() {
    if (t_slot.gone) return nullptr;
    if (t_slot.blocks == nullptr) {
        static_cast<void>(&t_release);  // its end releases the blocks
        t_slot.blocks = new FreeBlocks();
    }
    return t_slot.blocks;
}

}  // namespace

namespace clv {

void* gf_takeRecycledBlock(std::size_t bytes) {
    if (FreeBlocks* blocks = lf_blocks()) {
        auto found = blocks->find(bytes);
        if (found != blocks->end() && !found->second.empty()) {
            void* block = found->second.back();
            found->second.pop_back();
            return block;
        }
    }
    if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
    throw std::bad_alloc();
}

void gf_giveRecycledBlock(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    try {
        if (FreeBlocks* blocks = lf_blocks()) {
            blocks->operator[](bytes).push_back(block);
            return;
        }
    } catch (...) {
        // No room to keep it: it goes back to the heap.
    }
    std::free(block);
}

}  // namespace clv
