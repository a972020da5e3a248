#include "airports/stand_arrival.h"

#include <algorithm>

#include "airports/learned_files.h"
#include "airports/live_stands.h"
#include "airports/parking_hooks.h"
#include "airports/stand_holders.h"
#include "airports/static_parking.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"

namespace {

clv::Stand* lf_standWithId(std::uint32_t id) {
    auto it = std::find_if(standList.begin(), standList.end(), [id](const clv::Stand& s) { return s.id == id; });
    return it == standList.end() ? nullptr : &*it;
}

// Only an aircraft of a known airline on a stand of its own cargo kind teaches real options.
bool lf_teachesStand(const clv::LiveAc& ac, const clv::Stand& stand) {
    return !ac.airline.empty() && stand.cargo == ac.cargo;
}

}  // namespace

void lf_learnCargoStand(clv::LiveAc& ac) {
    if (!ac.cargo || ac.cargoStand) return;
    clv::Stand* stand = lf_standWithId(ac.standId);
    if (stand == nullptr || stand->cargo) return;
    stand->cargo = true;
    stand->cargoChanged = true;
    ac.cargoStand = true;
    ++learningUpdateCount;
    gf_logMarked("{} stand: {}, cargo attribute set to true, {} parked here", gf_parkAirport().code, stand->name,
                 ac.logLabel());
}

void lf_arriveAtStand(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    clv::Stand* stand = lf_standWithId(ac.standId);
    if (stand != nullptr && stand->occupied) {
        // Another aircraft got there first; removing this one must not free its stand.
        ac.extensionCount = 1;
        const std::uint32_t standId = ac.standId;
        removeAircraftFromSim(engine, ac);
        if (ac.standId == standId) stand->occupied = true;
        return;
    }
    if (gf_distanceNm(clv::LatLon{ac.samples.empty() ? ac.standLatitude : ac.samples.front().latitude,
                                  ac.samples.empty() ? ac.standLongitude : ac.samples.front().longitude},
                      clv::LatLon{ac.standLatitude, ac.standLongitude}) > clv::kArrivedNm) {
        clv::gf_setMoveState(ac, clv::AcMoveState::Taxi);
        return;
    }
    clv::gf_setMoveState(ac, clv::AcMoveState::Parked);
    const clv::Slot now = gf_parkingHooks().now();
    ac.parkedAt = now.toBits();
    if (ac.towed && LOG.value) gf_log("          towed aircraft {} parks", ac.logLabel());
    if (!ac.samples.empty()) ac.samples.front().holdMark = true;
    ac.timeAtStand = gf_parkingHooks().systemTime100ns();
    ac.lastStandDistance = 0.0;
    ac.movesAwayFromStand = 0;
    // The stand is this aircraft's now: the next arrival is offered another one.
    if (stand != nullptr) stand->occupied = true;
    lf_learnCargoStand(ac);
    lf_shutDownAtStand(engine, ac);
    if (stand == nullptr) return;
    if (LOG.value) gf_log("{:8}: {:8} arrived at stand", stand->name, ac.callsign);
    if (lf_teachesStand(ac, *stand) && lf_addRealParkPosOption(stand->id, ac, false, now, false)) {
        gf_updateLearnedOption(learnedOptionList, ac.hexid, now, true);
        gf_limitLiveParked(engine, 0);
    }
}

void lf_leaveParked(clv::LiveAc& ac) {
    clv::Stand* stand = lf_standWithId(ac.standId);
    if (stand == nullptr) return;
    const clv::Slot now = gf_parkingHooks().now();
    if (lf_teachesStand(ac, *stand) && lf_addRealParkPosOption(stand->id, ac, true, now, true)) {
        gf_updateLearnedOption(learnedOptionList, ac.hexid, now, true);
    }
    stand->occupied = false;
}

void lf_learnSoftOption(const clv::TrafficEngine& engine, const clv::LiveAc& ac, bool forced) {
    const clv::ParkSite park = gf_parkAirport();
    if (!LEARN_SOFT.value || !lowQualityFile || park.code.empty() || ac.samples.empty() || ac.standId != 0) return;
    const clv::PosSample& s = ac.samples.front();
    if (gf_distanceNm(clv::LatLon{s.latitude, s.longitude}, clv::LatLon{park.lat, park.lon}) >
        clv::kSoftLearnRangeNm) {
        return;
    }
    if (!forced && s.altitude != 0.0 && s.altitude - park.alt >= clv::kSoftLearnMaxHeightFt) return;
    const clv::Slot now = gf_dayAndHalfHour();
    for (clv::Stand& stand : standList) {
        auto record = stand.softLearning.find(ac.hexid);
        if (record == stand.softLearning.end()) continue;
        if (record->second.weekday == static_cast<std::uint32_t>(now.day) &&
            record->second.halfHour == static_cast<std::uint32_t>(now.halfHour)) {
            continue;
        }
        if (lf_addSoftParkPosOption(stand.id, ac, true, now)) {
            gf_updateLearnedOption(learnedOptionList, ac.hexid, now, true);
            return;
        }
        break;
    }
    if (!gf_updateLearnedOption(learnedOptionList, ac.hexid, now, false)) return;
    constexpr auto kDay = static_cast<std::int32_t>(clv::kHalfHoursInDay);
    const auto near = [&](const clv::StandOption& o) {
        if (o.id == 0 || o.registration != ac.registration || o.weekday != static_cast<std::uint32_t>(now.day)) {
            return false;
        }
        for (std::int32_t d = -1; d <= 1; ++d) {
            if (o.hours.test(static_cast<std::uint32_t>((now.halfHour + d + kDay) % kDay))) return true;
        }
        return false;
    };
    for (const clv::Stand& stand : standList) {
        if (std::any_of(stand.options.begin(), stand.options.end(), near)) return;
    }
    auto fit = lf_searchFit(engine, now, ac, true);
    if (fit == standList.end()) return;
    if (!lf_addSoftParkPosOption(fit->id, ac, false, now)) {
        std::erase_if(learnedOptionList, [&ac](const clv::LearnedOptionEntry& e) { return e.hexid == ac.hexid; });
    }
}
