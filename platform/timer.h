#pragma once
// The system timer resolution around loops that tick every few milliseconds.
// The kernel's timers already wake a sleeper within a fraction of a
// millisecond, so there is nothing to set; the calls mark where the loops
// want a fine resolution.
namespace clv::platform {

void beginTimerResolution(unsigned milliseconds);
void endTimerResolution(unsigned milliseconds);

// Holds the fine resolution while it lives.
class TimerResolution {
public:
    explicit TimerResolution(unsigned milliseconds) : ms_(milliseconds) { beginTimerResolution(ms_); }
    ~TimerResolution() { endTimerResolution(ms_); }
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

private:
    unsigned ms_;
};

}  // namespace clv::platform
