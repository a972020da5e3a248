#include "stands/half_hours.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <optional>

#include "core/log.h"

namespace {

// Airport files come from a download server: an "hh" attribute may be any length
// and hold any number of bad elements. The log shows a few, each cut short, and
// then how many there were in all.
constexpr std::size_t kLoggedTextChars = 40;
constexpr std::uint32_t kLoggedInvalidElements = 5;

std::string lf_cutForLog(std::string_view text) {
    if (text.size() <= kLoggedTextChars) return std::string(text);
    return std::string(text.substr(0, kLoggedTextChars)) + "...";
}

// The leading decimal number of an element within the signed 32-bit range.
std::optional<std::int32_t> lf_leadingInt(std::string_view element) {
    std::size_t digitsFrom = element.starts_with('-') ? 1 : 0;
    if (digitsFrom >= element.size() || element[digitsFrom] < '0' || element[digitsFrom] > '9') return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(element.data(), element.data() + element.size(), value);
    (void)end;
    if (error != std::errc()) return std::nullopt;
    return value;
}

}  // namespace

std::uint32_t clv::HalfHourSet::count() const { return static_cast<std::uint32_t>(std::popcount(bits_)); }

std::string gf_bitset2hours(const clv::HalfHourSet& hours) {
    std::string text;
    for (std::uint32_t h = 0; h < clv::kHalfHoursInDay; ++h) {
        if (!hours.test(h)) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(h);
    }
    return text;
}

clv::HalfHourSet gf_hours2bitset(std::string_view text) {
    clv::HalfHourSet hours;
    if (text.empty()) return hours;
    std::uint32_t invalid = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string_view element =
            text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        const std::optional<std::int32_t> value = lf_leadingInt(element);
        if (value && *value >= 0 && static_cast<std::uint32_t>(*value) < clv::kHalfHoursInDay) {
            hours.set(static_cast<std::uint32_t>(*value));
        } else if (++invalid <= kLoggedInvalidElements) {
            gf_log("{} invalid hour \"{}\" in {}", "gf_hours2bitset", lf_cutForLog(element), lf_cutForLog(text));
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (invalid > kLoggedInvalidElements) {
        gf_log("{} {} invalid hours in {}, {} of them not shown", "gf_hours2bitset", invalid, lf_cutForLog(text),
               invalid - kLoggedInvalidElements);
    }
    return hours;
}
