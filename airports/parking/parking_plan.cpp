// Reading the park airport's file into the stand list and planning which stands
// carry a static parked aircraft in the current half-hour.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "airports/parking/apf_reader.h"
#include "airports/parking/live_stands.h"
#include "airports/parking/static_parking.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/random.h"
#include "core/text.h"
#include "core/ui_port.h"

bool lowQualityFile = false;
std::int32_t lastRealFit = 0;
std::int32_t lastSoftFit = -1;
std::atomic<std::int32_t> shownMaxPark{0};
std::atomic<std::int32_t> shownMaxParkPercentage{0};

namespace {

using clv::ParkPlanEntry;
using clv::Stand;

// A file below this quality, or with fewer stands, learns soft options.
constexpr std::int32_t kGoodQuality = 45;
constexpr std::size_t kGoodStandCount = 20;
constexpr std::size_t kFoundRoom = 512;
constexpr const char* kUnknownPublisher = "unknown";

std::int32_t lf_roundPercent(double value) { return static_cast<std::int32_t>(std::lround(value)); }

std::int32_t lf_takenCount() {
    return static_cast<std::int32_t>(
        std::count_if(standList.begin(), standList.end(), [](const Stand& s) { return s.taken; }));
}

Stand* lf_standByName(const std::string& name) {
    auto it = std::find_if(standList.begin(), standList.end(), [&name](const Stand& s) { return s.name == name; });
    return it == standList.end() ? nullptr : &*it;
}

float lf_hours(std::int32_t halfHours) { return static_cast<float>(halfHours) * 0.5f + 0.5f; }

// The file's quality decides whether soft options are learned here.
void lf_judgeQuality(std::int32_t quality) {
    if (quality < kGoodQuality || standList.size() < kGoodStandCount) {
        lowQualityFile = true;
        gf_uiPort().setEnabled(LEARN_SOFT.handle.load(), true);
        return;
    }
    lowQualityFile = false;
    if (LEARN_SOFT.value) {
        LEARN_SOFT.value = false;  // for this airport only: parameters.xml keeps the user's value
        gf_uiPort().setChecked(LEARN_SOFT.handle.load(), false);
        gf_uiPort().setEnabled(LEARN_SOFT.handle.load(), false);
        apfParamsChanged = true;
    }
}

// The stand the user aircraft stands on becomes the park airport's reserved stand
// in the park-airport list; the list's reserved stand is taken when it exists here.
void lf_takeReservedStand(const clv::ParkSite& park, clv::ParkingFigures& figures) {
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    if (hooks.userAircraft().onGroundKnown) {
        const std::string stand = hooks.userStandName();
        const auto first = hooks.firstParkAirport();
        if (!first || first->code != park.code) {
            clv::ParkSite entry = park;
            entry.reservedStand = stand;
            hooks.putParkAirportFirst(entry);
        } else if (!stand.empty() && stand != first->reservedStand) {
            hooks.reserveStandOfFirst(stand);
        }
    }
    reservedStand.clear();
    const auto first = hooks.firstParkAirport();
    if (first && first->code == park.code && !first->reservedStand.empty()) {
        const bool exists = lf_standByName(first->reservedStand) != nullptr;
        figures.reservedStandShown = exists;
        figures.reservedStand = exists ? first->reservedStand : std::string();
        if (exists) reservedStand = first->reservedStand;
    }
}

// The read of the park airport's file under way.
clv::ApfReadJob g_parkRead;

// The end of a read: with a read file, the user's reserved stand; in every case
// the figures of the panel and the learning count start again. A read that has
// only begun reports its failure, or nothing until it ends.
std::string lf_reportParkedFile(std::string error, bool ended) {
    if (error.empty() && !ended) return error;
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    clv::ParkingFigures figures = gf_parkingFigures();
    if (error.empty()) lf_takeReservedStand(gf_parkAirport(), figures);
    figures.fileRead = error.empty();
    figures.airportName = parkApfInfo.airport_name;
    gf_showParkingFigures(figures);
    hooks.resetLearnedUpdates();
    return error;
}

}  // namespace

std::string lf_beginReadParkedFile() {
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    g_parkRead.drop();
    // The previous airport's stands are freed on the read's worker.
    g_parkRead.release(std::exchange(standList, {}));
    gf_standListChanged();
    const clv::ParkSite park = gf_parkAirport();
    const std::string path = hooks.apfPath(park.code);
    if (path.empty()) return fmt::format("{} {} not found", "lf_readParkedFile", park.code);
    if (path.find(kUnknownPublisher) != std::string::npos) {
        return fmt::format("{} {} has publisher:{}, {}", "lf_readParkedFile", park.code, kUnknownPublisher, path);
    }
    parkApfInfo = {};
    return lf_reportParkedFile(gf_beginReadApf(path, g_parkRead), false);
}

std::optional<std::string> lf_endReadParkedFile(bool wait) {
    if (!g_parkRead.pending() || (!wait && !g_parkRead.ready())) return std::nullopt;
    clv::QualityFactors quality;
    std::optional<std::string> error;
    if (wait) {
        error = gf_finishReadApf(g_parkRead, parkApfInfo, quality);
    } else {
        error = gf_continueReadApf(g_parkRead, parkApfInfo, quality);
        if (!error) return std::nullopt;  // its learned file is loading now
    }
    if (error->empty()) lf_judgeQuality(quality.real);
    return lf_reportParkedFile(*error, true);
}

bool lf_parkedFileReadPending() { return g_parkRead.pending(); }

void lf_dropParkedFileRead() { g_parkRead.drop(); }

std::string lf_readParkedFile() {
    std::string error = lf_beginReadParkedFile();
    if (!error.empty() || !g_parkRead.pending()) return error;
    return *lf_endReadParkedFile(true);
}

clv::Slot lf_logDayTime() {
    const clv::Slot now = gf_parkingHooks().now();
    gf_log("\n{} (utc) It is day {} ({}), {} hours", gf_trafficTimeOfDay(), now.day, gf_weekdayName(now.day),
           gf_numberText(lf_hours(now.halfHour)));
    return now;
}

void lf_excludeReservedStands() {
    if (!reservedStand.empty()) {
        if (Stand* s = lf_standByName(reservedStand)) s->excluded = true;
    }
    const std::string userStand = gf_parkingHooks().userStandName();
    if (!userStand.empty() && userStand != reservedStand) {
        if (Stand* s = lf_standByName(userStand)) s->excluded = true;
    }
}

std::int32_t gf_maxPark() {
    const std::int32_t percentage =
        CUSTOM_PARKING_PERCENTAGE.value >= 0 ? CUSTOM_PARKING_PERCENTAGE.value.get() : parking_percentage.value.get();
    const auto n = static_cast<std::int32_t>(standList.size());
    std::int32_t max = 1;
    if (!(n < 2 || (n < 4 && percentage < 50))) max = lf_roundPercent(percentage * static_cast<double>(n) / 100.0);
    std::int32_t shown = percentage;
    if (CUSTOM_MAX_PARK.value != CUSTOM_MAX_PARK.def) {
        max = std::min(max, CUSTOM_MAX_PARK.value.get());
        shown = n < 1 ? 0 : lf_roundPercent(max * 100.0 / n);
    }
    shownMaxPark = max;
    shownMaxParkPercentage = shown;
    clv::ParkingFigures figures = gf_parkingFigures();
    figures.maxPark = max;
    figures.maxParkPercentage = shown;
    gf_showParkingFigures(figures);
    return max;
}

void lf_shuffleTrim(std::int32_t n, std::vector<clv::ParkPlanEntry>& entries) {
    if (RANDOM.value && entries.size() >= 2) std::shuffle(entries.begin(), entries.end(), gf_threadRandom());
    if (n > 0 && static_cast<std::size_t>(n) <= entries.size()) entries.resize(entries.size() - static_cast<std::size_t>(n));
}

bool lf_hourWindows(clv::TrafficEngine& engine, clv::Slot now, std::uint32_t real, std::int32_t wanted,
                    std::vector<clv::ParkPlanEntry>& found) {
    const std::int32_t takenBefore = lf_takenCount();
    bool reached = false;
    std::int32_t fit = 0;
    for (;; ++fit) {
        lf_searchStands(engine, now, real, static_cast<std::uint32_t>(fit), found);
        if (lf_takenCount() >= wanted) {
            reached = true;
            break;
        }
        parkPlan.insert(parkPlan.end(), found.begin(), found.end());
        found.clear();
        if (fit >= MAX_FIT.value) break;
    }
    lastSoftFit = fit;
    if (real == clv::kRealOptions) {
        lastSoftFit = -1;
        lastRealFit = fit;
    }
    const std::int32_t added = lf_takenCount() - takenBefore;
    if (added > 0) {
        const std::string day = WEEK.value ? std::string(", week") : fmt::format(", day {}", now.day);
        const std::string hour = fmt::format(", hh:{} or {} hrs fit: {} hour", now.halfHour,
                                             gf_numberText(lf_hours(now.halfHour)), gf_numberText(lf_hours(fit)));
        gf_log("{} {} position{} found, Max fit={} hours{}{}", added, real == clv::kRealOptions ? "real" : "soft",
               gf_plural(added), gf_numberText(lf_hours(MAX_FIT.value)), day, hour);
    }
    clv::ParkingFigures figures = gf_parkingFigures();
    figures.softParking = real == clv::kSoftOptions && added > 0;
    gf_showParkingFigures(figures);
    return reached;
}

void lf_planPass(clv::TrafficEngine& engine, clv::Slot now, std::int32_t wanted, std::int32_t already,
                 std::uint32_t real) {
    std::vector<ParkPlanEntry> found;
    found.reserve(kFoundRoom);
    if (!lf_hourWindows(engine, now, real, wanted, found)) return;
    std::int32_t k = static_cast<std::int32_t>(parkPlan.size()) + already - wanted;
    if (k > 0 && !found.empty()) lf_shuffleTrim(k, found);
    parkPlan.insert(parkPlan.end(), found.begin(), found.end());
    k = static_cast<std::int32_t>(parkPlan.size()) + already - wanted;
    // The dropped entries' stands stay taken.
    if (k > 0 && !parkPlan.empty() && static_cast<std::size_t>(k) <= parkPlan.size()) {
        parkPlan.resize(parkPlan.size() - static_cast<std::size_t>(k));
    }
}

void lf_planParking(clv::TrafficEngine& engine, clv::Slot now, std::int32_t wanted, std::int32_t already) {
    lastRealFit = 0;
    lastSoftFit = -1;
    lf_planPass(engine, now, wanted, already, clv::kRealOptions);
    if (static_cast<std::int32_t>(parkPlan.size()) + already < wanted && (PARK_SOFT.value || PARK_FAKE.value)) {
        lf_planPass(engine, now, wanted, already, clv::kSoftOptions);
    }
}

void lf_planStaticParking(clv::TrafficEngine& engine) {
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    const clv::Slot now = lf_logDayTime();
    gf_setStatusLine("Making changes to airport parking parameters is disabled while static parking takes place ...",
                     false);
    parkPlan.clear();
    hooks.clearAdjustmentLists();
    liveParkedList.clear();
    hooks.showStaticAverageFit(-1.0f);
    hooks.showLiveAverageFit(-1.0f);
    clv::ParkingFigures figures = gf_parkingFigures();
    figures.softParking = false;
    gf_showParkingFigures(figures);
    plannerCallsigns = hooks.takeLiveCallsigns();
    for (Stand& s : standList) {
        s.taken = false;
        s.excluded = false;
        s.adjacentBlocked = false;
        for (clv::StandOption& o : s.options) o.planSkip = false;
    }
    lf_excludeReservedStands();
    const auto planned = static_cast<std::int32_t>(parkPlan.size());
    const std::int32_t wanted = gf_maxPark();
    if (wanted > planned) lf_planParking(engine, now, wanted, planned);
    std::stable_sort(parkPlan.begin(), parkPlan.end(),
                     [](const ParkPlanEntry& a, const ParkPlanEntry& b) { return a.fit < b.fit; });
    if (wanted >= 0 && parkPlan.size() > static_cast<std::size_t>(wanted)) parkPlan.resize(static_cast<std::size_t>(wanted));
    if (parkPlan.empty()) {
        gf_log("no parking positions found");
        gf_unlockParkingControls();
        return;
    }
    const std::int32_t percent =
        standList.empty() ? 0 : lf_roundPercent(static_cast<double>(parkPlan.size()) * 100.0 / standList.size());
    gf_log("{} positions ({}% vs wanted {}%, with Max fit={} hours)\n", parkPlan.size(), percent,
           parking_percentage.value.get(), gf_numberText(lf_hours(MAX_FIT.value)));
    // The placing takes the entries of the smallest fit first, from the back.
    std::stable_sort(parkPlan.begin(), parkPlan.end(),
                     [](const ParkPlanEntry& a, const ParkPlanEntry& b) { return a.fit > b.fit; });
    gf_lockParkingControls();
}
