#include "liveries/livery_index.h"

#include <algorithm>
#include <string>
#include <tuple>

#include <fmt/format.h>

#include "core/log.h"
#include "core/parameters.h"
#include "core/parameter_store.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "liveries/dbase_queries.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_match.h"
#include "liveries/regcodes.h"
#include "liveries/similar_types.h"

clv::LiveryTree liveryTree;
clv::LiveryIndex liveryIndex;
clv::TypeLiveryMaps typeLiveryMaps;
std::atomic<bool> liveryIndexBuilt{false};
std::atomic<std::uint64_t> liveryCount{0};

namespace {

// Working sizes: titles of one airline and type while the tree is built, titles of
// one type per half while the type maps are built.
constexpr std::size_t kPendingTitlesReserve = 4048;
constexpr std::size_t kTypeMapTitlesReserve = 15000;
// Capacities reserved once per process.
constexpr std::size_t kSpecialTitlesReserve = 4096;
constexpr std::size_t kLightTypesReserve = 64;
constexpr std::size_t kBuzjetsTypesReserve = 128;
constexpr std::size_t kRotorcraftTypesReserve = 32;

constexpr std::size_t kTypesPerLine = 20;

std::atomic<bool> g_clearRequested{false};
bool g_listsReserved = false;

// Empties the livery list when the build ends, also when it ends by an exception.
struct ClearLiveryList {
    ~ClearLiveryList() { liveryList.clear(); }
};

// The tree from the sorted livery list. Titles move into the tree's own storage.
// An airline or type that came back after another one would keep its first run
// only; the sorted list has one run each. Also gives the in-line registrations in
// list order, their titles already pointing at the stored texts.
std::vector<clv::InlineRegcode> lf_buildLiveryTree() {
    std::vector<clv::InlineRegcode> inlineRegs;
    std::string currentAirline;
    std::string currentType;
    std::vector<clv::LiveryTitle> pending;
    pending.reserve(kPendingTitlesReserve);
    clv::StringHashMap<std::vector<clv::LiveryTitle>> typeMap;

    auto storePending = [&] {
        if (pending.empty()) return;
        typeMap.try_emplace(currentType, pending);
        pending.clear();
    };
    auto storeTypeMap = [&] {
        if (typeMap.empty()) return;
        liveryTree.airlines.try_emplace(currentAirline, std::move(typeMap));
        typeMap.clear();
    };

    for (auto& livery : liveryList) {
        if (livery.type != currentType) {
            storePending();
            currentType = livery.type;
        }
        if (livery.airl != currentAirline) {
            storePending();
            storeTypeMap();
            currentAirline = livery.airl;
        }
        const std::string& text = liveryTree.texts.emplace_back(std::move(livery.title));
        pending.push_back({text, livery.cargo});
        if (!livery.atcid.empty()) inlineRegs.push_back({livery.airl, livery.type, text, livery.atcid});
    }
    storePending();
    storeTypeMap();
    return inlineRegs;
}

void lf_buildLiveryIndex() {
    for (const auto& [airline, types] : liveryTree.airlines) {
        std::array<clv::TypeTitles, 2> halves;
        for (const auto& [type, titles] : types) {
            clv::TitleViews pax;
            clv::TitleViews cargo;
            for (const auto& title : titles) (title.cargo ? cargo : pax).push_back(title.title);
            if (!pax.empty()) halves[clv::kPaxHalf].try_emplace(type, std::move(pax));
            if (!cargo.empty()) halves[clv::kCargoHalf].try_emplace(type, std::move(cargo));
        }
        for (std::size_t half = 0; half < halves.size(); ++half) {
            if (!halves[half].empty()) liveryIndex[half].try_emplace(airline, std::move(halves[half]));
        }
    }
}

std::vector<std::string_view> lf_allTitles() {
    std::vector<std::string_view> titles;
    for (const auto& [airline, types] : liveryTree.airlines) {
        for (const auto& [type, list] : types) {
            for (const auto& title : list) titles.push_back(title.title);
        }
    }
    return titles;
}

void lf_buildTypeLiveryMaps() {
    struct Record {
        std::string_view type;
        std::string_view title;
        bool cargo;
    };
    std::vector<Record> records;
    for (const auto& [airline, types] : liveryTree.airlines) {
        for (const auto& [type, titles] : types) {
            for (const auto& title : titles) records.push_back({type, title.title, title.cargo});
        }
    }
    // Within one type the airlines come in the tree's order; sorting by title too
    // keeps the candidate order the same from start to start.
    std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return std::tie(a.type, a.title) < std::tie(b.type, b.title);
    });
    clv::TitleViews pax;
    clv::TitleViews cargo;
    pax.reserve(kTypeMapTitlesReserve);
    cargo.reserve(kTypeMapTitlesReserve);
    std::string_view previous;
    auto store = [&] {
        if (!pax.empty()) typeLiveryMaps[clv::kPaxHalf].try_emplace(std::string(previous), pax);
        if (!cargo.empty()) typeLiveryMaps[clv::kCargoHalf].try_emplace(std::string(previous), cargo);
        pax.clear();
        cargo.clear();
    };
    for (const auto& record : records) {
        if (record.type != previous) {
            store();
            previous = record.type;
        }
        (record.cargo ? cargo : pax).push_back(record.title);
    }
    store();
}

void lf_logTypeList(const std::vector<std::string>& types) {
    for (const auto& line : gf_typeListLines(types)) gf_log(line);
}

void lf_reportGenericLiveries() {
    std::vector<std::string> types;
    const auto generic = liveryTree.airlines.find(kGenericAirline);
    if (generic != liveryTree.airlines.end()) {
        for (const auto& [type, titles] : generic->second) types.push_back(type);
    }
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    if (types.empty()) {
        gf_log("No generic liveries");
        return;
    }
    gf_log("{} model{} have a generic livery", types.size(), gf_plural(types.size()));
    lf_logTypeList(types);
}

// The switch of a category that can be turned off, and its message.
struct CategorySwitch {
    ControlParameter<bool>* parameter;
    const char* message;
};

const CategorySwitch* lf_categorySwitch(clv::AcCategory category) {
    static const CategorySwitch light{&LIGHT_AIRCRAFT,
                                      "{} temporary switched off because you do not have light aircraft installed"};
    static const CategorySwitch highPerf{
        &HIGH_PERF_AIRCRAFT, "{} temporary switched off because you do not have High Perf aircraft installed"};
    static const CategorySwitch rotorcraft{&HELICOPTERS,
                                           "{} temporary switched off because you do not have Helicopters installed"};
    switch (category) {
        case clv::AcCategory::Light:
            return &light;
        case clv::AcCategory::HighPerf:
            return &highPerf;
        case clv::AcCategory::Rotorcraft:
            return &rotorcraft;
        default:
            return nullptr;
    }
}

std::vector<std::string>* lf_categoryTypeList(clv::AcCategory category) {
    switch (category) {
        case clv::AcCategory::Light:
            return &categoryTypes[clv::kCategoryTypesLight];
        case clv::AcCategory::Buzjets:
            return &categoryTypes[clv::kCategoryTypesBuzjets];
        case clv::AcCategory::Rotorcraft:
            return &categoryTypes[clv::kCategoryTypesRotorcraft];
        default:
            return nullptr;
    }
}

void lf_reportCategory(clv::AcCategory category) {
    const std::string_view name = clv::categoryName(category);
    std::array<std::size_t, 2> records{0, 0};
    std::vector<std::string> types;
    for (std::size_t half = 0; half < typeLiveryMaps.size(); ++half) {
        for (const auto& [type, titles] : typeLiveryMaps[half]) {
            if (gf_type2Category(type) != category) continue;
            types.push_back(type);
            records[half] += titles.size();
        }
    }
    const CategorySwitch* categorySwitch = lf_categorySwitch(category);
    if (records[clv::kPaxHalf] == 0 && records[clv::kCargoHalf] == 0) {
        gf_log("Category {}: No livery found", name);
        if (categorySwitch == nullptr) return;
        ControlParameter<bool>& parameter = *categorySwitch->parameter;
        if (parameter.value) {
            parameter.value = false;
            parameter.save();
            gf_log(fmt::runtime(categorySwitch->message), parameter.name);
        }
        gf_uiPort().setEnabled(parameter.handle.load(), false);
        return;
    }
    std::string line = fmt::format("Category {}: {} pax liverie{}", name, records[clv::kPaxHalf],
                                   gf_plural(records[clv::kPaxHalf]));
    if (records[clv::kCargoHalf] > 0)
        line += fmt::format(" and {} cargo liverie{}", records[clv::kCargoHalf], gf_plural(records[clv::kCargoHalf]));
    gf_log(line);
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    lf_logTypeList(types);
    if (auto* installed = lf_categoryTypeList(category)) installed->insert(installed->end(), types.begin(), types.end());
    if (categorySwitch != nullptr) gf_uiPort().setEnabled(categorySwitch->parameter->handle.load(), true);
}

}  // namespace

std::vector<std::string> gf_typeListLines(const std::vector<std::string>& types) {
    std::vector<std::string> lines;
    std::string line = "  ";
    std::size_t inLine = 0;
    for (const auto& type : types) {
        line += type;
        line += ',';
        if (++inLine == kTypesPerLine) {
            line.pop_back();
            lines.push_back(std::move(line));
            line = "  ";
            inLine = 0;
        }
    }
    // A list of a multiple of 20 types has no remainder line (not a line of one blank).
    if (inLine > 0) {
        line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

void gf_clearLiveryIndex() {
    for (auto& types : categoryTypes) types.clear();
    // Built from the installed liveries too: a later build only adds keys, so lists of
    // liveries that are gone would steer matching after a rescan.
    similarModels.clear();
    airlineSimilarTypes.clear();
    gf_clearRegcodes();
    gf_resetSpecialLookup();
    for (auto& half : typeLiveryMaps) half.clear();
    for (auto& half : liveryIndex) half.clear();
    liveryTree.airlines.clear();
    liveryTree.texts.clear();
    liveryIndexBuilt = false;
}

void gf_requestLiveryIndexClear() { g_clearRequested = true; }

bool gf_clearLiveryIndexIfRequested() {
    if (!g_clearRequested.exchange(false)) return false;
    gf_clearLiveryIndex();
    return true;
}

void gf_reserveLiveryLists() {
    if (g_listsReserved) return;
    g_listsReserved = true;
    specialTitles.reserve(kSpecialTitlesReserve);
    categoryTypes[clv::kCategoryTypesLight].reserve(kLightTypesReserve);
    categoryTypes[clv::kCategoryTypesBuzjets].reserve(kBuzjetsTypesReserve);
    categoryTypes[clv::kCategoryTypesRotorcraft].reserve(kRotorcraftTypesReserve);
}

bool gf_airlineHasType(std::string_view airline, std::string_view type) {
    const auto byAirline = liveryTree.airlines.find(airline);
    return byAirline != liveryTree.airlines.end() && byAirline->second.contains(type);
}

bool gf_typeHasLivery(std::string_view type) {
    return typeLiveryMaps[clv::kPaxHalf].contains(type) || typeLiveryMaps[clv::kCargoHalf].contains(type);
}

std::vector<std::string> gf_liveryAirlines() {
    std::vector<std::string> airlines;
    airlines.reserve(liveryTree.airlines.size());
    for (const auto& [airline, types] : liveryTree.airlines) airlines.push_back(airline.substr(0, 3));
    return airlines;
}

void lf_processScannedLiveries() {
    ClearLiveryList clearAtEnd;
    gf_clearLiveryIndexIfRequested();
    if (liveryIndexBuilt) {
        gf_log("Processing scanned liveries skipped; already done in previous start-up");
        return;
    }
    // An earlier build that failed half way left parts behind; they must not mix
    // with this one (no aircraft holds a title of an unbuilt index).
    gf_clearLiveryIndex();

    lf_readLiveriesScanned();
    liveryCount = liveryList.size();
    gf_uiPort().requestRepaint();

    const std::vector<clv::InlineRegcode> inlineRegs = lf_buildLiveryTree();
    lf_buildLiveryIndex();

    gf_setInstalledTitles(lf_allTitles());
    lf_inlineRegcodeClashes(inlineRegs);
    lf_processRegcodeFiles();
    gf_log("{} registration codes", regcodeMap.size());

    lf_buildTypeLiveryMaps();
    gf_log("{} airlines, {} pax aircraft models and {} cargo aircraft models", liveryTree.airlines.size(),
           typeLiveryMaps[clv::kPaxHalf].size(), typeLiveryMaps[clv::kCargoHalf].size());

    clv::InstalledLiveries installed;
    installed.airlineHasType = gf_airlineHasType;
    installed.typeHasLivery = gf_typeHasLivery;
    installed.airlines = gf_liveryAirlines();
    gf_buildSimilarModels(installed);

    lf_reportGenericLiveries();
    for (std::uint32_t category = 0; category < clv::kAcCategoryCount; ++category)
        lf_reportCategory(static_cast<clv::AcCategory>(category));

    liveryIndexBuilt = true;
    gf_uiPort().requestRepaint();
}
