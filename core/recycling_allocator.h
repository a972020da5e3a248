#pragma once
// An allocator that keeps the blocks it is given back and hands them out again
// for the next request of the same size. A queue that takes new elements at one
// end and drops old ones at the other (a std::deque of samples) then stops
// reaching the heap once it has seen its largest length: the 10 ms tick stays
// free of heap calls. Each thread keeps its own blocks; they go back to the heap
// when the thread ends, and blocks given back after that (a container of static
// storage destroyed at process exit) go straight to the heap.
#include <cstddef>

namespace clv {

void* gf_takeRecycledBlock(std::size_t bytes);
void gf_giveRecycledBlock(void* block, std::size_t bytes) noexcept;

template <typename T>
struct RecyclingAllocator {
    using value_type = T;

    RecyclingAllocator() noexcept = default;
    template <typename U>
    RecyclingAllocator(const RecyclingAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        static_assert(alignof(T) <= alignof(std::max_align_t), "malloc's alignment must do");
        return static_cast<T*>(gf_takeRecycledBlock(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { gf_giveRecycledBlock(p, n * sizeof(T)); }

    template <typename U>
    bool operator==(const RecyclingAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace clv
