#pragma once
// The half-hours of one UTC day as a 48-bit set: bit n stands for n/2 hours to
// (n+1)/2 hours (0 = 00:00-00:30, 47 = 23:30-24:00), and its text form "3,4,5".
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace clv {

inline constexpr std::uint32_t kHalfHoursInDay = 48;

// The one error of the set: a position at 48 or beyond.
class BitsetPositionError : public std::out_of_range {
public:
    BitsetPositionError() : std::out_of_range("invalid bitset position") {}
};

class HalfHourSet {
public:
    constexpr HalfHourSet() = default;

    // Throw BitsetPositionError for a position of 48 or more.
    void set(std::uint32_t position) {
        lf_check(position);
        bits_ |= std::uint64_t{1} << position;
    }
    bool test(std::uint32_t position) const {
        lf_check(position);
        return (bits_ >> position) & 1u;
    }
    static HalfHourSet single(std::uint32_t position) {
        HalfHourSet s;
        s.set(position);
        return s;
    }

    std::uint32_t count() const;
    bool none() const { return bits_ == 0; }
    std::uint64_t bits() const { return bits_; }

    friend constexpr bool operator==(const HalfHourSet&, const HalfHourSet&) = default;

private:
    static void lf_check(std::uint32_t position) {
        if (position >= kHalfHoursInDay) throw BitsetPositionError();
    }
    std::uint64_t bits_ = 0;
};

}  // namespace clv

// The set bits in ascending order, joined by commas; "" for the empty set.
std::string gf_bitset2hours(const clv::HalfHourSet& hours);

// The text form read back. Elements are split at commas; each must begin with a
// decimal number (an optional '-' and digits, read up to the first other
// character). A number 0..47 sets its bit; anything else (also an empty element)
// is logged as "gf_hours2bitset invalid hour ..." and skipped. The log gets at
// most five such lines per text, element and text cut to 40 characters, and then
// one line with the number of invalid elements. Never throws.
clv::HalfHourSet gf_hours2bitset(std::string_view text);
