#pragma once
// The log of refused traffic lines. A hostile or broken feed can send thousands a
// second, so the log stays bounded: the first refusal after a quiet minute is
// written at once with the line itself, the rest of that minute is counted by
// kind, and the counts are written as one line when the minute ends, also when
// no further line is refused then.
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace clv {

// Why a traffic line was refused.
enum class Refusal : std::uint8_t {
    TextBytes,        // control bytes or invalid UTF-8 in a text field
    ImpossibleValue,  // a number no aircraft can report
    Stamp,            // a time stamp before 1970 or ahead of the clock
};
inline constexpr std::size_t kRefusalKinds = 3;

class RefusedLines {
public:
    using Clock = std::chrono::steady_clock;
    using NowFn = Clock::time_point (*)();

    explicit RefusedLines(Clock::duration interval = std::chrono::minutes(1)) : interval_(interval) {}

    // Tests run the minute on a clock of their own; nullptr is the steady clock.
    void setClock(NowFn now) { now_ = now; }

    // One refused line: its kind, the reason and the line's bytes (escaped in the log).
    void note(Refusal kind, std::string_view reason, std::string_view line);
    // Writes the counts of a minute that has ended; called between datagrams and
    // while the feed is quiet.
    void flush();

private:
    Clock::time_point now() const { return now_ != nullptr ? now_() : Clock::now(); }
    void flushAt(Clock::time_point now);

    Clock::duration interval_;
    NowFn now_ = nullptr;
    bool open_ = false;  // a minute runs since the last line written
    Clock::time_point minuteEnd_{};
    std::array<std::uint64_t, kRefusalKinds> counts_{};
    std::array<std::string, kRefusalKinds> firstReasons_;
};

}  // namespace clv
