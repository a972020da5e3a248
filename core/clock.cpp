#include "core/clock.h"

#include <chrono>
#include <ctime>
#include <map>

#include <fmt/format.h>

std::atomic<bool> rtProfessional{false};
std::atomic<double> trafficDataTimestamp{0.0};
clv::AtomicSlot currentSlot;

namespace {

std::atomic<ClockFn> g_clock{nullptr};

constexpr std::int32_t kHalfHoursPerDay = 48;
constexpr std::int32_t kHalfHoursPerWeek = 7 * kHalfHoursPerDay;
constexpr std::int32_t kMonday = 1;
constexpr std::int32_t kSunday = 7;

const std::string& lookup(const std::map<int, std::string>& table, int key) {
    static const std::string unknown = "???";
    auto it = table.find(key);
    return it == table.end() ? unknown : it->second;
}

std::tm utc(std::int64_t t) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    gmtime_r(&tt, &tm);
    return tm;
}

// Monday 1 .. Sunday 7 from the C library's Sunday 0 .. Saturday 6.
int weekdayOf(const std::tm& tm) { return tm.tm_wday == 0 ? kSunday : tm.tm_wday; }

std::string timeOfDay(std::int64_t t) {
    std::tm tm = utc(t);
    return fmt::format("{:02}:{:02}:{:02}", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

}  // namespace

void gf_setClock(ClockFn clock) { g_clock.store(clock); }

std::int64_t gf_now() {
    if (ClockFn clock = g_clock.load()) return clock();
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string gf_weekdayName(int weekday) {
    static const std::map<int, std::string> names{{1, "Mon"}, {2, "Tue"}, {3, "Wed"}, {4, "Thu"},
                                                  {5, "Fri"}, {6, "Sat"}, {7, "Sun"}};
    return lookup(names, weekday);
}

std::string gf_monthName(int month) {
    static const std::map<int, std::string> names{{1, "Jan"}, {2, "Feb"},  {3, "Mar"},  {4, "Apr"},
                                                  {5, "May"}, {6, "Jun"},  {7, "Jul"},  {8, "Aug"},
                                                  {9, "Sep"}, {10, "Okt"}, {11, "Nov"}, {12, "Dec"}};
    return lookup(names, month);
}

std::string gf_dateTimeString(std::int64_t secondsSince1970) {
    std::tm tm = utc(secondsSince1970);
    return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", gf_weekdayName(weekdayOf(tm)),
                       gf_monthName(tm.tm_mon + 1), tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
}

std::string gf_timeOfDay() { return timeOfDay(gf_now()); }

std::string gf_dateString() {
    std::tm tm = utc(gf_now());
    return fmt::format("{}, {}", fmt::format("{} {:02}", gf_monthName(tm.tm_mon + 1), tm.tm_mday), tm.tm_year + 1900);
}

std::int64_t gf_trafficTime() {
    if (rtProfessional.load()) {
        auto stamp = static_cast<std::int64_t>(trafficDataTimestamp.load());
        if (stamp != 0) return stamp;
    }
    return gf_now();
}

std::string gf_trafficTimeOfDay() { return timeOfDay(gf_trafficTime()); }

clv::Slot gf_slotOf(std::int64_t secondsSince1970) {
    std::tm tm = utc(secondsSince1970);
    // The half-hours are shifted 30 seconds early: h:29:30 already counts as the second half.
    bool secondHalf = tm.tm_min * 60 + tm.tm_sec >= 29 * 60 + 30;
    return clv::Slot{weekdayOf(tm), 2 * tm.tm_hour + (secondHalf ? 1 : 0)};
}

clv::Slot gf_dayAndHalfHour() { return gf_slotOf(gf_trafficTime()); }

std::uint32_t gf_halfHoursBetween(clv::Slot a, clv::Slot b) {
    if (a == b) return 0;
    auto isLater = [](clv::Slot x, clv::Slot y) {  // x later than y
        if (x.day == kMonday && y.day == kSunday) return true;
        if (x.day == kSunday && y.day == kMonday) return false;
        if (x.day != y.day) return x.day > y.day;
        return x.halfHour > y.halfHour;
    };
    clv::Slot later = isLater(a, b) ? a : b;
    clv::Slot earlier = isLater(a, b) ? b : a;
    std::int32_t n = (later.day - earlier.day) * kHalfHoursPerDay + later.halfHour - earlier.halfHour;
    if (later.day == kMonday && earlier.day == kSunday) n += kHalfHoursPerWeek;
    return static_cast<std::uint32_t>(n);
}
