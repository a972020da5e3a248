#pragma once
// The run state that the shell sets and the other subsystems read.
#include <atomic>
#include <cstdint>

// Set by closing down when the run restarts; the next run skips the update checks.
extern std::atomic<bool> restartPending;
// (readerError, awaitingRealTraffic and realTrafficOnThisPc are the feed's: link/realtraffic_state.h.)
// The run's working copies of MAX_LIVE and LATERAL_RANGE (nautical miles).
extern std::atomic<std::int32_t> maxLiveInUse;
extern std::atomic<std::int32_t> lateralRangeInUse;
