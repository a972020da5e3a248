#include "core/workers.h"

#include <algorithm>
#include <chrono>
#include <thread>

std::atomic<std::int32_t> taskLimit{1};
std::atomic<std::int32_t> runningTasks{0};

void gf_initWorkerThrottle() {
    // A limit of 0 would make every wait endless.
    taskLimit = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::thread::hardware_concurrency()));
    runningTasks = 0;
}

void gf_waitForWorkerSlot() {
    while (runningTasks.load() >= taskLimit.load()) {
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + std::chrono::microseconds(10));
    }
}

void gf_workerThreadDone() { runningTasks.fetch_sub(1); }
