#include "liveries/livery_match.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "core/log.h"
#include "core/parameters.h"
#include "core/random.h"
#include "liveries/dbase_queries.h"
#include "liveries/livery_index.h"
#include "liveries/match_summary.h"
#include "liveries/regcodes.h"
#include "liveries/similar_types.h"

std::array<std::uint32_t, clv::kLivMatchSteps> livMatchCounters{};

namespace {

using Step = clv::LivMatchStep;

// Draws of the pick before it falls back to the candidates that are not special.
constexpr int kPickRounds = 5;
constexpr std::string_view kFsltlMarker = "FSLTL_";

// A hashed copy of specialTitles, so that a pick does not walk thousands of titles.
// Copies, not views: they never dangle when the index is cleared. Rebuilt when the
// list grew or shrank, and after gf_resetSpecialLookup (the index was cleared).
std::unordered_set<std::string, clv::StringHash, std::equal_to<>> g_specialLookup;
std::size_t g_specialLookupSize = 0;

bool lf_isSpecial(std::string_view title) {
    if (specialTitles.empty()) return false;
    if (g_specialLookupSize != specialTitles.size() || g_specialLookup.empty()) {
        g_specialLookup.clear();
        for (const auto view : specialTitles) g_specialLookup.emplace(view);
        g_specialLookupSize = specialTitles.size();
    }
    return g_specialLookup.contains(title);
}

std::size_t lf_ownHalf(const clv::AcData& ac) { return ac.cargo ? clv::kCargoHalf : clv::kPaxHalf; }

// A cargo aircraft prefers a cargo livery and takes a passenger one of the same
// airline and type when there is none; a passenger aircraft only a passenger one.
bool lf_matchAirlTypeCargoRule(clv::AcData& ac, std::string_view airline, std::string_view type) {
    lf_matchAirlType(ac, airline, type, lf_ownHalf(ac));
    if (ac.liveryTitle.empty() && ac.cargo) lf_matchAirlType(ac, airline, type, clv::kPaxHalf);
    return !ac.liveryTitle.empty();
}

bool lf_looseCategory(clv::AcCategory category) {
    return category == clv::AcCategory::Light || category == clv::AcCategory::Buzjets ||
           category == clv::AcCategory::Rotorcraft;
}

// Steps 4 to 6, for depths 3 and 4.
Step lf_matchFallbacks(clv::AcData& ac, std::int32_t depth) {
    if (depth >= 4 && lf_matchAirlTypeCargoRule(ac, kGenericAirline, ac.type)) return Step::GenericAirline;
    if (!lf_looseCategory(ac.category)) return Step::None;
    if (ac.airline != clv::kPrivateAirline && lf_matchAirlTypeCargoRule(ac, kGenericAirline, ac.type))
        return Step::GenericAirline;
    if (lf_matchType(ac, ac.type)) return Step::TypeOnly;
    for (const auto& alternative : gf_similarTypes(ac.type)) {
        if (lf_matchType(ac, alternative)) return Step::AlternativeType;
    }
    return Step::None;
}

// The search of both entry points. A static aircraft tries the airline steps also
// without an airline, takes every similar model whatever its category, and is a
// cargo aircraft when its stand is a cargo stand (unless its registration matched).
Step lf_search(clv::AcData& ac, bool staticAircraft, bool cargoStand) {
    const std::int32_t depth = MATCHING_DEPTH.value;
    if (!ac.registration.empty()) {
        ac.liveryTitle = gf_reg2Title(ac.registration);
        if (!ac.liveryTitle.empty()) return Step::Registration;
    }
    if (staticAircraft) ac.cargo = cargoStand;
    if (depth < 2) return Step::None;

    if (ac.airline == clv::kPrivateAirline && lf_matchAirlTypeCargoRule(ac, kGenericAirline, ac.type))
        return Step::GenericAirline;

    // The registration's record: an operator other than the airline lets its
    // airline stand in for the aircraft's.
    std::optional<clv::RegRecord> record;
    if (!ac.registration.empty()) record = gf_regRecordOf(ac.registration);
    const bool hasOperator = record.has_value() && !record->opr.empty();

    if (ac.airline.empty() && !staticAircraft) return depth < 3 ? Step::None : lf_matchFallbacks(ac, depth);

    if (lf_matchAirlTypeCargoRule(ac, ac.airline, ac.type)) return Step::AirlineType;
    if (hasOperator && lf_matchAirlTypeCargoRule(ac, record->airl, ac.type)) return Step::AirlineType;
    if (depth < 3) return Step::None;

    const std::vector<std::string>& similar = gf_similarModels(ac.airline, ac.type);
    for (const auto& type : similar) {
        if (!staticAircraft && gf_type2Category(type) != ac.category) continue;
        if (lf_matchAirlTypeCargoRule(ac, ac.airline, type)) return Step::AirlineSimilarType;
    }
    if (hasOperator) {
        for (const auto& type : similar) {
            if (!staticAircraft && gf_type2Category(type) != ac.category) continue;
            if (lf_matchAirlTypeCargoRule(ac, record->airl, type)) return Step::AirlineSimilarType;
        }
    }
    return lf_matchFallbacks(ac, depth);
}

}  // namespace

void gf_resetSpecialLookup() {
    g_specialLookup.clear();
    g_specialLookupSize = 0;
}

std::string_view gf_reg2Title(std::string_view registration) {
    if (registration.empty()) return {};
    for (const auto& spelling : gf_regcodeVariants(registration)) {
        const auto found = regcodeMap.find(spelling);
        if (found != regcodeMap.end()) return found->second;
    }
    return {};
}

void lf_pickLivery(clv::AcData& ac, const std::vector<std::string_view>& candidates) {
    if (candidates.empty()) return;
    const auto count = static_cast<std::int32_t>(candidates.size());
    auto draw = [&] { return candidates[static_cast<std::size_t>(gf_randomIndex(count))]; };
    std::string_view title = draw();
    for (int round = 0; round < kPickRounds; ++round) {
        if (!lf_isSpecial(title)) {
            ac.liveryTitle = title;
            return;
        }
        title = draw();
    }
    std::vector<std::string_view> ordinary;
    for (const auto candidate : candidates) {
        if (!lf_isSpecial(candidate)) ordinary.push_back(candidate);
    }
    ac.liveryTitle = ordinary.empty()
                         ? std::string_view()
                         : ordinary[static_cast<std::size_t>(gf_randomIndex(static_cast<std::int32_t>(ordinary.size())))];
}

void lf_matchAirlType(clv::AcData& ac, std::string_view airline, std::string_view type, std::size_t half) {
    if (half != clv::kPaxHalf && half != clv::kCargoHalf) throw std::invalid_argument("livery index half must be 0 or 1");
    const auto& airlines = liveryIndex[half];
    const auto byAirline = airlines.find(airline);
    if (byAirline == airlines.end()) return;
    const auto byType = byAirline->second.find(type);
    if (byType == byAirline->second.end()) return;
    lf_pickLivery(ac, byType->second);
}

bool lf_matchType(clv::AcData& ac, std::string_view type) {
    const auto& types = typeLiveryMaps[lf_ownHalf(ac)];
    const auto found = types.find(type);
    if (found != types.end()) lf_pickLivery(ac, found->second);
    return !ac.liveryTitle.empty();
}

void gf_matchLivery(clv::AcData& ac) {
    const Step step = lf_search(ac, false, false);
    if (ac.liveryTitle.empty()) return;
    if (gf_isExcludedTitle(ac.liveryTitle)) {
        ac.liveryTitle = {};
        return;
    }
    const auto number = static_cast<std::uint32_t>(step);
    ++livMatchCounters[number - 1];
    if (LOG.value) gf_logIndented("{} ={}= {}", ac.logLabel(), number, ac.liveryTitle);
    ac.specialLivery = ac.liveryTitle.find(kFsltlMarker) != std::string_view::npos;
}

bool gf_matchStaticLivery(clv::AcData& ac, std::string_view standName, bool cargoStand) {
    if (!ac.liveryTitle.empty()) {
        if (LOG.value) gf_logIndented("{} =s= {}", ac.logLabel(), ac.liveryTitle);
        return true;
    }
    const Step step = lf_search(ac, true, cargoStand);
    if (ac.liveryTitle.empty()) {
        if (LOG.value) gf_log("{:8}: {} no livery match ...", standName, ac.fullLabel());
        return false;
    }
    if (gf_isExcludedTitle(ac.liveryTitle)) {
        ac.liveryTitle = {};
        return false;
    }
    if (LOG.value) gf_logIndented("{} ={}= {}", ac.logLabel(), static_cast<std::uint32_t>(step), ac.liveryTitle);
    return true;
}
