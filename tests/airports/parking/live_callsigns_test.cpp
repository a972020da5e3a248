#include "airports/parking/live_callsigns.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "link/traffic_receiver.h"

namespace {

class LiveCallsignsTest : public ::testing::Test {
protected:
    void TearDown() override { liveCallsigns.clear(); }
    clv::TrafficReceiver receiver;
};

TEST_F(LiveCallsignsTest, TakesTheCollectionOverOnceEachAndEndsIt) {
    liveCallsigns = {"OLD1"};
    receiver.startCollectingCallsigns();
    for (const char* callsign : {"SWR100", "EZY12AB", "SWR100", "null", "", "A@B"}) {
        if (receiver.collectCallsigns.load()) receiver.noteCallsign(callsign);
    }
    lf_takeLiveCallsigns(receiver);
    EXPECT_EQ(liveCallsigns, (std::set<std::string>{"EZY12AB", "SWR100"}));
    EXPECT_FALSE(receiver.collectCallsigns.load());
    EXPECT_FALSE(receiver.noteCallsign("DLH4"));
    // Without a new collection a take-over finds nothing.
    lf_takeLiveCallsigns(receiver);
    EXPECT_TRUE(liveCallsigns.empty());
}

// The reader hears each callsign once while the planner starts and ends
// collections: every callsign the reader got in lands in exactly one take-over.
// The reader stops at a few points until the planner has ended and started
// collections twice more, so take-overs fall amid its insertions however the
// threads are scheduled.
TEST_F(LiveCallsignsTest, NothingLostOrDoubledWhileTheReaderInserts) {
    constexpr int kCallsigns = 20000;
    constexpr int kPauses = 8;
    std::atomic<bool> readerDone{false};
    std::atomic<int> takeOvers{0};
    std::vector<std::string> accepted;
    std::thread reader([&] {
        for (int i = 0; i < kCallsigns; ++i) {
            if (i % (kCallsigns / kPauses) == 0) {
                const int seen = takeOvers.load();
                while (takeOvers.load() < seen + 2) std::this_thread::yield();
            }
            const std::string callsign = "CS" + std::to_string(i);
            // As the traffic reader does: the flag first, the insertion after.
            if (receiver.collectCallsigns.load() && receiver.noteCallsign(callsign)) accepted.push_back(callsign);
        }
        readerDone = true;
    });
    std::multiset<std::string> taken;
    while (!readerDone.load()) {
        receiver.startCollectingCallsigns();
        std::this_thread::yield();
        lf_takeLiveCallsigns(receiver);
        taken.insert(liveCallsigns.begin(), liveCallsigns.end());
        ++takeOvers;
    }
    reader.join();
    lf_takeLiveCallsigns(receiver);
    taken.insert(liveCallsigns.begin(), liveCallsigns.end());

    EXPECT_GE(takeOvers.load(), 2 * kPauses);
    EXPECT_EQ(taken.size(), accepted.size());
    EXPECT_EQ(taken, std::multiset<std::string>(accepted.begin(), accepted.end()));
}

}  // namespace
