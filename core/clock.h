#pragma once
// UTC date texts, the system and traffic clocks, and half-hour slots of the week.
#include <atomic>
#include <cstdint>
#include <string>

namespace clv {

// A day of the week (Monday 1 .. Sunday 7) and a half-hour of that UTC day (0..47).
struct Slot {
    std::int32_t day = 0;
    std::int32_t halfHour = 0;

    friend constexpr bool operator==(const Slot&, const Slot&) = default;

    // One 64-bit value: the day in the low 32 bits, the half-hour in the high 32 bits.
    constexpr std::uint64_t toBits() const {
        return static_cast<std::uint32_t>(day) | (static_cast<std::uint64_t>(static_cast<std::uint32_t>(halfHour)) << 32);
    }
    static constexpr Slot fromBits(std::uint64_t bits) {
        return Slot{static_cast<std::int32_t>(bits & 0xFFFFFFFFu), static_cast<std::int32_t>(bits >> 32)};
    }
};

// A slot shared between threads as one atomic word, so day and half-hour never tear.
class AtomicSlot {
public:
    void store(Slot s) { bits_.store(s.toBits()); }
    Slot load() const { return Slot::fromBits(bits_.load()); }

private:
    std::atomic<std::uint64_t> bits_{0};
};

}  // namespace clv

// The source of "now" in seconds since 1970; tests fix the clock through it.
using ClockFn = std::int64_t (*)();
void gf_setClock(ClockFn clock);  // nullptr restores the system clock
std::int64_t gf_now();

// Inputs of the traffic clock: RealTraffic's professional level and the time
// stamp of its latest traffic data (seconds since 1970).
extern std::atomic<bool> rtProfessional;
extern std::atomic<double> trafficDataTimestamp;

// The traffic clock's current slot, kept up to date by the run thread.
extern clv::AtomicSlot currentSlot;

std::string gf_weekdayName(int weekday);  // 1 Monday .. 7 Sunday, else "???"
std::string gf_monthName(int month);      // 1 January .. 12 December, else "???"

// "Wed Dec 09 09:41:44 2026" in UTC.
std::string gf_dateTimeString(std::int64_t secondsSince1970);
std::string gf_timeOfDay();         // hh:mm:ss of the system clock
std::string gf_dateString();        // "Dec 09, 2026" of the system clock
std::int64_t gf_trafficTime();      // the traffic clock in seconds since 1970
std::string gf_trafficTimeOfDay();  // hh:mm:ss of the traffic clock

clv::Slot gf_slotOf(std::int64_t secondsSince1970);
clv::Slot gf_dayAndHalfHour();  // the traffic clock's slot
std::uint32_t gf_halfHoursBetween(clv::Slot a, clv::Slot b);
