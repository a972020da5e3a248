#include "core/workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Starts workers the way a scan driver does and records the most that ran at once.
int runScan(std::int32_t limit, int workers) {
    gf_initWorkerThrottle();
    taskLimit = limit;
    std::atomic<int> current{0};
    std::atomic<int> most{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < workers; ++i) {
        gf_waitForWorkerSlot();
        runningTasks.fetch_add(1);
        threads.emplace_back([&] {
            int now = current.fetch_add(1) + 1;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            current.fetch_sub(1);
            gf_workerThreadDone();
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(runningTasks.load(), 0);
    return most.load();
}

}  // namespace

TEST(WorkerThrottle, NeverMoreThanTheLimitAtOnce) {
    for (std::int32_t limit : {1, 3, 8}) {
        int most = runScan(limit, 40);
        EXPECT_LE(most, limit) << "limit " << limit;
        EXPECT_GE(most, 1);
    }
}

TEST(WorkerThrottle, LimitIsAtLeastOne) {
    gf_initWorkerThrottle();
    EXPECT_GE(taskLimit.load(), 1);
    EXPECT_EQ(runningTasks.load(), 0);
}
