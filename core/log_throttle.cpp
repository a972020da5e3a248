#include "core/log_throttle.h"

namespace clv {

std::optional<std::uint64_t> LogThrottle::note(Clock::time_point now) {
    ++pending_;
    if (lastLine_ && now - *lastLine_ < interval_) return std::nullopt;
    lastLine_ = now;
    const std::uint64_t count = pending_;
    pending_ = 0;
    return count;
}

}  // namespace clv
