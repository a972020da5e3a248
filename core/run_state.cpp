#include "core/run_state.h"

std::atomic<bool> restartPending{false};
std::atomic<std::int32_t> maxLiveInUse{-1};
std::atomic<std::int32_t> lateralRangeInUse{40};
