#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <thread>

#include "core/recycling_allocator.h"

namespace {

// A block given back is the next one handed out for that size; other sizes get
// blocks of their own.
TEST(RecyclingAllocator, AGivenBackBlockIsHandedOutAgainForItsSize) {
    clv::RecyclingAllocator<double> doubles;
    double* first = doubles.allocate(8);
    doubles.deallocate(first, 8);
    double* again = doubles.allocate(8);
    EXPECT_EQ(again, first);
    double* other = doubles.allocate(9);
    EXPECT_NE(other, first);
    doubles.deallocate(other, 9);
    doubles.deallocate(again, 8);
}

// A queue that takes at one end and drops at the other keeps going round the
// same few blocks, whatever it has carried.
TEST(RecyclingAllocator, ASteadyQueueGoesRoundTheSameBlocks) {
    struct Sample {
        double values[12];
    };
    std::deque<Sample, clv::RecyclingAllocator<Sample>> queue;
    std::set<const Sample*> blocksSeen;
    for (int i = 0; i < 20000; ++i) {
        queue.push_back(Sample{});
        if (queue.size() > 40) queue.pop_front();
        // The block an element lies in starts at most this far before it.
        blocksSeen.insert(&queue.back());
    }
    // 20,000 elements went through; at most a queue's worth of places held them.
    EXPECT_LE(blocksSeen.size(), 100u);
}

// Each thread keeps its own blocks; a thread that ends gives them back.
TEST(RecyclingAllocator, ThreadsKeepTheirOwnBlocks) {
    clv::RecyclingAllocator<int> ints;
    int* mine = ints.allocate(4);
    ints.deallocate(mine, 4);
    int* theirs = nullptr;
    std::thread([&] {
        theirs = ints.allocate(4);
        ints.deallocate(theirs, 4);
    }).join();
    EXPECT_NE(theirs, nullptr);
    EXPECT_EQ(ints.allocate(4), mine);
    ints.deallocate(mine, 4);
}

}  // namespace
