#pragma once
// One program-wide count of running scan workers, bounded by the hardware threads.
#include <atomic>
#include <cstdint>

extern std::atomic<std::int32_t> taskLimit;     // most workers at once, at least 1
extern std::atomic<std::int32_t> runningTasks;  // started and not yet finished

// Set by the run thread before the scans: the hardware thread count, never below 1.
void gf_initWorkerThrottle();

// Returns once a worker may start (runningTasks < taskLimit), polling every 10 us.
void gf_waitForWorkerSlot();

// The last step of every worker, also when it ends with an error.
void gf_workerThreadDone();
