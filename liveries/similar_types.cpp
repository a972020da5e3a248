#include "liveries/similar_types.h"

#include <algorithm>

#include "core/log.h"
#include "core/random.h"
#include "liveries/dbase_queries.h"

clv::TypeLists similarModels;
clv::StringHashMap<clv::TypeLists> airlineSimilarTypes;
clv::CategoryTypes categoryTypes;

namespace {

constexpr std::size_t kAirlineListReserve = 64;

// Handed out as "no alternatives"; never filled.
std::vector<std::string> g_noTypes;
// The one-entry answer of gf_similarTypes, overwritten by each call that needs it.
std::vector<std::string> g_oneType;

}  // namespace

void gf_buildSimilarModels(const clv::InstalledLiveries& installed) {
    // "T,U,V": T followed by the other members of its group that have a livery.
    std::vector<std::string> lines;
    for (const auto& group : dbase.similarGroups) {
        for (const auto& type : group) {
            std::string line = type;
            for (const auto& other : group) {
                if (&other == &type || !installed.typeHasLivery(other)) continue;
                line += ',';
                line += other;
            }
            if (line.find(',') != std::string::npos) lines.push_back(std::move(line));
        }
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    for (const auto& line : lines) {
        const auto comma = line.find(',');
        std::vector<std::string> rest;
        for (std::string_view tail = std::string_view(line).substr(comma + 1);;) {
            const auto next = tail.find(',');
            rest.emplace_back(tail.substr(0, next));
            if (next == std::string_view::npos) break;
            tail.remove_prefix(next + 1);
        }
        similarModels.try_emplace(line.substr(0, comma), std::move(rest));
    }

    for (const auto& code : installed.airlines) {
        const std::string airline = code.substr(0, 3);
        clv::TypeLists table;
        for (const auto& [type, similar] : similarModels) {
            if (installed.airlineHasType(airline, type)) continue;
            std::vector<std::string> own;
            own.reserve(kAirlineListReserve);
            for (const auto& candidate : similar) {
                if (installed.airlineHasType(airline, candidate)) own.push_back(candidate);
            }
            if (!own.empty()) table.emplace(type, std::move(own));
        }
        if (!table.empty()) airlineSimilarTypes.try_emplace(airline, std::move(table));
    }
    gf_log("{} similar model definitions", similarModels.size());
}

const std::vector<std::string>& gf_similarModels(std::string_view airline, std::string_view type) {
    const auto byAirline = airlineSimilarTypes.find(airline);
    if (byAirline == airlineSimilarTypes.end()) return g_noTypes;
    const auto byType = byAirline->second.find(type);
    if (byType == byAirline->second.end()) return g_noTypes;
    gf_shuffle(byType->second);
    return byType->second;
}

const std::vector<std::string>& gf_similarTypes(std::string_view type) {
    const auto similar = similarModels.find(type);
    if (similar != similarModels.end()) {
        gf_shuffle(similar->second);
        return similar->second;
    }
    const std::vector<std::string>* installed = nullptr;
    switch (gf_type2Category(type)) {
        case clv::AcCategory::Light:
            installed = &categoryTypes[clv::kCategoryTypesLight];
            break;
        case clv::AcCategory::Buzjets:
            installed = &categoryTypes[clv::kCategoryTypesBuzjets];
            break;
        case clv::AcCategory::Rotorcraft:
            installed = &categoryTypes[clv::kCategoryTypesRotorcraft];
            break;
        default:
            return g_noTypes;
    }
    if (installed->empty()) return g_noTypes;
    const auto& drawn =
        (*installed)[static_cast<std::size_t>(gf_randomIndex(static_cast<std::int32_t>(installed->size())))];
    if (drawn.empty()) return g_noTypes;
    g_oneType.assign(1, drawn);
    return g_oneType;
}
