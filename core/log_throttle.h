#pragma once
// A repeating condition (a flood of bad datagrams, a full queue) is logged at most
// once per interval with its count, so that it cannot fill Log.txt.
#include <chrono>
#include <cstdint>
#include <optional>

namespace clv {

class LogThrottle {
public:
    using Clock = std::chrono::steady_clock;
    explicit LogThrottle(Clock::duration interval = std::chrono::minutes(1)) : interval_(interval) {}

    // Counts one occurrence at `now`. Returns the number of occurrences the line
    // due now reports (the first one at once, then at most one line per interval
    // for all that came since the last line); nothing when no line is due.
    std::optional<std::uint64_t> note(Clock::time_point now);

private:
    Clock::duration interval_;
    std::optional<Clock::time_point> lastLine_;
    std::uint64_t pending_ = 0;
};

}  // namespace clv
