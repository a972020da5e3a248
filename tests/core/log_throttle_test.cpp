// The once-a-minute line of a repeating condition.
#include <gtest/gtest.h>

#include "core/log_throttle.h"

namespace clv {
namespace {

using namespace std::chrono_literals;

TEST(LogThrottle, FirstAtOnceThenOneLinePerIntervalWithTheCount) {
    LogThrottle throttle(60s);
    const LogThrottle::Clock::time_point t0{};
    EXPECT_EQ(throttle.note(t0), 1u);
    // 1000 more within the minute: no line.
    for (int i = 1; i <= 1000; ++i) EXPECT_FALSE(throttle.note(t0 + 59s)) << i;
    // The next one after the minute reports all of them and itself.
    EXPECT_EQ(throttle.note(t0 + 60s), 1001u);
    EXPECT_FALSE(throttle.note(t0 + 61s));
    EXPECT_EQ(throttle.note(t0 + 200s), 2u);
}

}  // namespace
}  // namespace clv
