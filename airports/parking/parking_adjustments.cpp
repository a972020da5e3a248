// The renewal of the static parked aircraft: keep what still fits the new
// half-hour, remove what does not, plan the stands that became free.
#include "airports/parking/parking_adjustments.h"

#include <fmt/format.h>

#include <algorithm>

#include "airports/parking/live_stands.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/ui_port.h"
#include "stands/stand_options.h"

std::vector<clv::StaticKeeper> staticKeepers;
std::vector<clv::StaticRemoval> staticRemovals;

namespace {

using clv::ParkPlanEntry;
using clv::Slot;
using clv::Stand;
using clv::StandOption;
using clv::StaticAc;
using clv::StaticKeeper;

constexpr std::int32_t kDaysInWeek = 7;
constexpr std::int32_t kLastHalfHour = static_cast<std::int32_t>(clv::kHalfHoursInDay) - 1;

// An option that names an aircraft. The planner's own set-asides do not count
// here: the option of a static aircraft that stands is set aside by the planner
// exactly because that aircraft stands, and must still keep it.
bool lf_usable(const StandOption& o) { return o.id != 0; }

Slot lf_nextSlot(Slot now) {
    if (now.halfHour < kLastHalfHour) return Slot{now.day, now.halfHour + 1};
    return Slot{now.day >= kDaysInWeek ? 1 : now.day + 1, 0};
}

std::int32_t lf_dayBefore(std::int32_t day) { return day <= 1 ? kDaysInWeek : day - 1; }

// A point of the week in which Monday comes after Sunday.
std::int32_t lf_latestFirstOrder(Slot p) {
    const std::int32_t day = p.day == 1 ? kDaysInWeek + 1 : p.day;
    return day * static_cast<std::int32_t>(clv::kHalfHoursInDay) + p.halfHour;
}

void lf_keep(const StaticAc& s) {
    staticKeepers.push_back(StaticKeeper{s.callsign, s.callsignCopy, s.furtherText, s.registration, s.airline, s.type,
                                         Slot::fromBits(s.parkedAt), s.standId, false});
}

void lf_remove(const std::string& callsign, std::uint32_t standId) {
    staticRemovals.push_back(clv::StaticRemoval{callsign, standId});
}

bool lf_sameAirlType(const StandOption& o, const StaticAc& s) { return o.airline == s.airline && o.type == s.type; }

// Parked at or after the target, with Sunday before Monday.
bool lf_notBefore(Slot parked, Slot target) {
    if (target.day == 1 && parked.day == kDaysInWeek) return false;
    if (target.day == kDaysInWeek && parked.day == 1) return true;
    return parked.day > target.day || (parked.day == target.day && parked.halfHour >= target.halfHour);
}

// The options of the static aircraft's own stand decide: one of its airline and
// type within the window of the fit the plan reached keeps it.
bool lf_ownStandKeeps(Slot now, const StaticAc& s, const Stand& stand) {
    const std::int32_t maxFit = std::min(std::max(lastRealFit, lastSoftFit), kLastHalfHour);
    std::int32_t wrapped = -1;
    for (const StandOption& o : stand.options) {
        if (!lf_usable(o) || !lf_sameAirlType(o, s) || o.weekday != static_cast<std::uint32_t>(now.day)) continue;
        if (testRange(o, now.halfHour, maxFit, wrapped)) return true;
    }
    if (wrapped < 0) return false;
    // The window reaches back into the day before.
    const auto dayBefore = static_cast<std::uint32_t>(lf_dayBefore(now.day));
    std::int32_t ignored = -1;
    for (const StandOption& o : stand.options) {
        if (!lf_usable(o) || !lf_sameAirlType(o, s) || o.weekday != dayBefore) continue;
        if (testRange(o, kLastHalfHour, wrapped, ignored)) return true;
    }
    return false;
}

// A plan entry on a stand adjacent to the aircraft's that leaves too little room; the plan's end when none.
std::size_t lf_conflictingEntry(const StaticAc& s, const Stand& stand) {
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    for (std::uint32_t adjacentId : stand.adjacent) {
        const Stand* adjacent = gf_standWithId(adjacentId);
        if (adjacent == nullptr) continue;
        for (std::size_t i = 0; i < parkPlan.size(); ++i) {
            if (parkPlan[i].standId != adjacentId) continue;
            const double room = gf_distanceNm(s.latitude, s.longitude, adjacent->latitude, adjacent->longitude);
            if (room < hooks.halfWingspan(parkPlan[i].type) + hooks.halfWingspan(s.type)) return i;
        }
    }
    return parkPlan.size();
}

// The step-by-step removals of a surplus: plan entries, then kept aircraft, then
// live parked aircraft unless the statics are loaded once only.
void lf_cutSurplus(clv::TrafficEngine& engine, std::int32_t wanted) {
    std::int64_t surplus = static_cast<std::int64_t>(parkPlan.size() + staticKeepers.size() + liveParkedList.size()) -
                           wanted;
    while (surplus > 0 && !parkPlan.empty()) {
        parkPlan.pop_back();
        --surplus;
    }
    while (surplus > 0 && !staticKeepers.empty()) {
        lf_remove(staticKeepers.back().callsign, staticKeepers.back().standId);
        staticKeepers.pop_back();
        --surplus;
    }
    if (INITIAL_LOAD_ONLY.value) return;
    while (surplus > 0 && !liveParkedList.empty()) {
        const std::uint32_t standId = liveParkedList.back().standId;
        // The one that stands there: one that left the stand may still name it.
        auto ac = std::find_if(engine.liveAc.begin(), engine.liveAc.end(),
                               [standId](const clv::LiveAc& a) { return a.standId == standId && lf_isParkedLive(a); });
        if (ac != engine.liveAc.end()) removeAircraftFromSim(engine, *ac);
        liveParkedList.pop_back();
        --surplus;
    }
}

// Each record takes the first static aircraft on its stand that is in the simulator.
void lf_removeListed(clv::TrafficEngine& engine) {
    while (!staticRemovals.empty()) {
        const std::uint32_t standId = staticRemovals.back().standId;
        auto s = std::find_if(engine.staticAc.begin(), engine.staticAc.end(), [standId](const StaticAc& a) {
            return a.standId == standId &&
                   (a.simState == clv::AcSimState::Active || a.simState == clv::AcSimState::RemovingFromSim);
        });
        if (s != engine.staticAc.end()) removeAircraftFromSim(engine, *s);
        staticRemovals.pop_back();
    }
}

// A kept aircraft whose option ends now comes back under its second callsign:
// a plan entry for its stand, and its removal.
void lf_replaceEndingKeepers(Slot now) {
    for (const StaticKeeper& k : staticKeepers) {
        if (!k.endsNow) continue;
        // Its planned slot stays: the new aircraft continues the same stay on the stand.
        const auto fit = static_cast<std::uint32_t>(gf_halfHoursSince(k.parkedAt, now));
        parkPlan.push_back(ParkPlanEntry{k.standId, fit, k.airline, k.type, k.callsignCopy, k.furtherText,
                                         k.registration, false});
        lf_remove(k.callsign, k.standId);
    }
    std::erase_if(staticKeepers, [](const StaticKeeper& k) { return k.endsNow; });
}

void lf_sortPlan(bool ascending) {
    std::stable_sort(parkPlan.begin(), parkPlan.end(), [ascending](const ParkPlanEntry& a, const ParkPlanEntry& b) {
        return ascending ? a.fit < b.fit : a.fit > b.fit;
    });
}

}  // namespace

void gf_clearAdjustmentLists() {
    staticKeepers.clear();
    staticRemovals.clear();
}

bool lf_matchKeeperOption(StaticKeeper& keeper, Slot now, const std::string& callsign, const Stand& stand,
                          const StandOption& option) {
    if (!lf_usable(option) || option.weekday != static_cast<std::uint32_t>(now.day) || option.callsign != callsign ||
        option.airline != keeper.airline || option.type != keeper.type) {
        return false;
    }
    const Slot next = lf_nextSlot(now);
    if (next.day == now.day) {
        keeper.endsNow = !option.hours.test(static_cast<std::uint32_t>(next.halfHour));
    } else {
        keeper.endsNow = std::none_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
            return lf_usable(o) && o.weekday == static_cast<std::uint32_t>(next.day) && o.airline == option.airline &&
                   o.type == option.type && o.hours.test(0);
        });
    }
    return true;
}

void lf_keepOrRemoveStatic(Slot now, const StaticAc& s, std::size_t entry) {
    const Slot target = gf_slotBefore(now, parkPlan[entry].fit);
    if (lf_notBefore(Slot::fromBits(s.parkedAt), target)) {
        lf_keep(s);
        parkPlan.erase(parkPlan.begin() + static_cast<std::ptrdiff_t>(entry));
    } else {
        lf_remove(s.callsign, s.standId);  // the entry stays: a new aircraft comes
    }
}

void lf_matchParkOptions(Slot now, const StaticAc& s) {
    if (s.simState != clv::AcSimState::Active) return;
    const bool heard = (!s.callsignCopy.empty() && plannerCallsigns.contains(s.callsignCopy)) ||
                       (!s.furtherText.empty() && plannerCallsigns.contains(s.furtherText));
    if (heard) {
        lf_remove(s.callsign, s.standId);  // it flies live
        return;
    }
    auto onStand = std::find_if(parkPlan.begin(), parkPlan.end(),
                                [&s](const ParkPlanEntry& e) { return e.standId == s.standId; });
    if (onStand != parkPlan.end()) {
        // An entry without callsigns gives its aircraft one made of the airline and a
        // serial, which no later entry can name: such an aircraft is the one an entry
        // without callsigns of its airline and type asks for, or every renewal would
        // replace the whole apron of a file whose options name no callsigns.
        const bool unnamed = onStand->callsign.empty() && onStand->secondCallsign.empty() && s.callsignCopy.empty() &&
                             s.furtherText.empty();
        const bool same = onStand->airline == s.airline && onStand->type == s.type &&
                          (unnamed || s.callsign == onStand->callsign + "*" ||
                           s.callsign == onStand->secondCallsign + "*");
        if (same) {
            lf_keep(s);
            parkPlan.erase(onStand);
        } else {
            lf_keepOrRemoveStatic(now, s, static_cast<std::size_t>(onStand - parkPlan.begin()));
        }
        return;
    }
    const Stand* stand = gf_standWithId(s.standId);
    if (stand == nullptr) {
        lf_remove(s.callsign, s.standId);
        return;
    }
    const std::size_t conflict = lf_conflictingEntry(s, *stand);
    if (conflict < parkPlan.size()) {
        lf_keepOrRemoveStatic(now, s, conflict);
        return;
    }
    if (lf_ownStandKeeps(now, s, *stand)) {
        lf_keep(s);
    } else {
        lf_remove(s.callsign, s.standId);
    }
}

void lf_matchStaticToPlan(clv::TrafficEngine& engine, Slot now) {
    for (const StaticAc& s : engine.staticAc) lf_matchParkOptions(now, s);
    std::stable_sort(staticKeepers.begin(), staticKeepers.end(), [](const StaticKeeper& a, const StaticKeeper& b) {
        return lf_latestFirstOrder(a.parkedAt) > lf_latestFirstOrder(b.parkedAt);
    });
    for (StaticKeeper& k : staticKeepers) {
        if (standList.empty()) break;
        if (k.furtherText.empty()) continue;
        if (!k.callsignCopy.empty() && k.callsign.find(k.callsignCopy) == std::string::npos) continue;
        const Stand* stand = gf_standWithId(k.standId);
        if (stand == nullptr) continue;
        std::string callsign = k.callsign;
        if (!callsign.empty() && callsign.back() == '*') callsign.pop_back();
        for (const StandOption& o : stand->options) {
            if (lf_matchKeeperOption(k, now, callsign, *stand, o)) break;
        }
    }
}

void gf_parkingAdjustments(clv::TrafficEngine& engine) {
    const clv::ParkingHooks& hooks = gf_parkingHooks();
    const Slot now = lf_logDayTime();
    plannerCallsigns = hooks.takeLiveCallsigns();
    gf_lockParkingControls();
    clv::ParkingFigures figures = gf_parkingFigures();
    figures.softParking = false;
    gf_showParkingFigures(figures);
    gf_uiPort().requestRepaint();

    gf_clearAdjustmentLists();
    liveParkedList.clear();
    parkPlan.clear();
    // The options the planner set aside last time take part again.
    for (Stand& s : standList) {
        s.taken = false;
        s.excluded = false;
        s.adjacentBlocked = false;
        for (StandOption& o : s.options) o.planSkip = false;
    }
    lf_excludeReservedStands();
    const std::int32_t wanted = gf_maxPark();

    gf_collectParkedLive(engine);
    if (wanted > 0 && liveParkedList.size() > static_cast<std::size_t>(wanted)) {
        const auto surplus = static_cast<std::int32_t>(liveParkedList.size()) - wanted;
        gf_setStatusLine(fmt::format("Parking adjustments: {} more live ac than wanted", surplus), true);
        gf_removeSurplusLiveParked(engine, surplus);
        liveParkedList.clear();
        gf_collectParkedLive(engine);
    }
    for (const clv::LiveParkedEntry& l : liveParkedList) {
        if (Stand* stand = gf_standWithId(l.standId)) gf_markStandTaken(*stand);
    }
    const auto already = static_cast<std::int32_t>(liveParkedList.size());
    if (wanted > already) lf_planParking(engine, now, wanted, already);

    lf_matchStaticToPlan(engine, now);
    lf_replaceEndingKeepers(now);
    lf_sortPlan(true);
    lf_cutSurplus(engine, wanted);
    // The placing takes the entries of the smallest fit first, from the back.
    lf_sortPlan(false);
    gf_setStatusLine(
        fmt::format("Parking adjustments: {} to be removed, {} to be added\n", staticRemovals.size(), parkPlan.size()),
        true);
    lf_removeListed(engine);
    if (!parkPlan.empty()) gf_lockParkingControls();
}
