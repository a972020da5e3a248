#pragma once
// The aircraft category of a type, decided by the data base's category sets.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace clv {

enum class AcCategory : std::uint32_t {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5,
};

inline constexpr std::size_t kAcCategoryCount = 6;

// The names that log lines and tables use, indexed by the category's number.
inline constexpr std::array<std::string_view, kAcCategoryCount> kAcCategoryNames{
    "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};

constexpr std::size_t categoryIndex(AcCategory category) { return static_cast<std::size_t>(category); }

// "Light" ... "Rotorcraft"; "?" for a number outside the enumeration.
constexpr std::string_view categoryName(AcCategory category) {
    const auto i = categoryIndex(category);
    return i < kAcCategoryCount ? kAcCategoryNames[i] : std::string_view("?");
}

}  // namespace clv
