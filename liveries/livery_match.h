#pragma once
// Livery matching: the title of an installed livery for one aircraft, in up to six
// steps from the tightest fit to the loosest, as far as MATCHING_DEPTH allows:
//   1 registration            the title bound to the aircraft's registration
//   2 airline + type          a livery of its airline (or its registration's) and type
//   3 airline + similar type  a livery of the airline and a similar type
//   4 generic airline         a "ZZZ" livery of its type
//   5 type only               any livery of its type (Light, Buzjets, Rotorcraft)
//   6 alternative type        any livery of an alternative type (the same categories)
// A cargo aircraft prefers a cargo livery and may take a passenger one of its
// airline; a passenger aircraft never gets a cargo livery. Titles marked special
// by the registration-code files are taken by step 1 only, and titles the
// simulator refused (excludedTitles) never.
//
// Run thread only, while the livery index is built; with RANDOM off every choice is
// the first candidate, so the same aircraft always gets the same title.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "liveries/ac_data.h"

namespace clv {

enum class LivMatchStep : std::uint32_t {
    None = 0,
    Registration = 1,
    AirlineType = 2,
    AirlineSimilarType = 3,
    GenericAirline = 4,
    TypeOnly = 5,
    AlternativeType = 6,
};

inline constexpr std::size_t kLivMatchSteps = 6;

}  // namespace clv

// Matches per step since the program started (index: step - 1); never reset.
extern std::array<std::uint32_t, clv::kLivMatchSteps> livMatchCounters;

// The title bound to the registration, trying its spellings in order
// (gf_regcodeVariants); empty when none is bound.
std::string_view gf_reg2Title(std::string_view registration);

// A live aircraft of the feed; its title must be empty. Afterwards the title is
// the chosen livery or empty (none found, or the found one is excluded). On a match
// the step's counter goes up, the special-livery flag tells whether the title
// holds "FSLTL_", and with LOG on the match is logged.
void gf_matchLivery(clv::AcData& ac);

// A static parked aircraft placed on a stand (its name for the log, and whether it
// is a cargo stand, which decides the aircraft's cargo flag unless its registration
// matched). A title already set is kept. Counts nothing. Returns whether the
// aircraft has a title afterwards.
bool gf_matchStaticLivery(clv::AcData& ac, std::string_view standName, bool cargoStand);

// Forgets the hashed copy of the special titles; the index calls it when it clears
// the registration codes.
void gf_resetSpecialLookup();

// The pieces of the search, for the engine and the tests.
// Chooses among candidates (index order): the first, or a random one with RANDOM
// on, avoiding special titles; an empty list changes nothing; a list of special
// titles only leaves the title empty.
void lf_pickLivery(clv::AcData& ac, const std::vector<std::string_view>& candidates);
// The titles of an airline and type in one half (kPaxHalf, kCargoHalf of
// liveries/livery_index.h); throws std::invalid_argument for another half.
void lf_matchAirlType(clv::AcData& ac, std::string_view airline, std::string_view type, std::size_t half);
// The titles of a type in the aircraft's own half; returns whether it has a title.
bool lf_matchType(clv::AcData& ac, std::string_view type);
