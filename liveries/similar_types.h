#pragma once
// Similar and alternative types for livery matching. They depend on which liveries
// are installed, so the livery index builds them (gf_buildSimilarModels) once it
// knows its airlines and types. Run thread only: the lists are shuffled in place.
#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/dbase.h"

namespace clv {

// What the livery index tells about the installed liveries.
struct InstalledLiveries {
    // The airline has a livery of the type (either half).
    std::function<bool(std::string_view airline, std::string_view type)> airlineHasType;
    // Some airline has a passenger or cargo livery of the type.
    std::function<bool(std::string_view type)> typeHasLivery;
    // Every airline code of the index, cut to its first three characters.
    std::vector<std::string> airlines;
};

using TypeLists = StringHashMap<std::vector<std::string>>;

// The installed types of the categories Light, Buzjets and Rotorcraft.
inline constexpr std::size_t kCategoryTypesLight = 0;
inline constexpr std::size_t kCategoryTypesBuzjets = 1;
inline constexpr std::size_t kCategoryTypesRotorcraft = 2;
using CategoryTypes = std::array<std::vector<std::string>, 3>;

}  // namespace clv

// Type -> the other members of its similar-type group that have a livery, ascending.
extern clv::TypeLists similarModels;
// Airline -> (type the airline has no livery of -> similar types it has liveries of).
extern clv::StringHashMap<clv::TypeLists> airlineSimilarTypes;
// Filled by the livery index; read by gf_similarTypes.
extern clv::CategoryTypes categoryTypes;

// Adds the entries whose keys are not present yet (a key keeps its first list);
// logs "{} similar model definitions".
void gf_buildSimilarModels(const clv::InstalledLiveries& installed);

// The similar types the airline has liveries of, for a type it has none of;
// shuffled in place while RANDOM is on. An empty list when there is none.
const std::vector<std::string>& gf_similarModels(std::string_view airline, std::string_view type);

// The alternative types of a type: its similarModels list (shuffled while RANDOM is
// on); else, for Light, Buzjets and Rotorcraft, one installed type of its category
// (gf_randomIndex); else an empty list. Valid until the next call.
const std::vector<std::string>& gf_similarTypes(std::string_view type);
