#pragma once
// Gregorian calendar arithmetic for the simulator's UTC clock.
#include <cstdint>

namespace clv::standin {

// Days from 1970-01-01 to the date (proleptic Gregorian; month 1..12).
constexpr std::int64_t gf_daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The parts of the clock that the simulator reports.
struct ZuluParts {
    std::int64_t secondsOfDay = 0;
    std::int64_t dayOfYear = 0;  // 1 for 1 January
    std::int64_t year = 0;
};

constexpr ZuluParts gf_zuluParts(std::int64_t secondsSince1970) {
    std::int64_t days = secondsSince1970 / 86400;
    std::int64_t seconds = secondsSince1970 % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    // The year: estimate, then correct by the start of that year and the next.
    std::int64_t year = 1970 + days / 365;
    while (gf_daysFromCivil(year, 1, 1) > days) --year;
    while (gf_daysFromCivil(year + 1, 1, 1) <= days) ++year;
    return ZuluParts{seconds, days - gf_daysFromCivil(year, 1, 1) + 1, year};
}

}  // namespace clv::standin
