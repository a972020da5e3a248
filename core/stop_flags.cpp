#include "core/stop_flags.h"

std::atomic<bool> stopRequested{false};
std::atomic<bool> userClosedWindow{false};
