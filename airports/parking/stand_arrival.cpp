#include "airports/parking/stand_arrival.h"

#include <algorithm>
#include <cmath>

#include "airports/parking/learned_files.h"
#include "airports/parking/live_stands.h"
#include "airports/parking/parking_hooks.h"
#include "airports/parking/stand_holders.h"
#include "airports/parking/static_parking.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"
#include "traffic/live_movement.h"

namespace {

std::int64_t lf_towedWithin(clv::AcCategory category) {
    switch (category) {
        case clv::AcCategory::Heavy: return clv::kTowedHeavyTicks;
        case clv::AcCategory::Large: return clv::kTowedLargeTicks;
        case clv::AcCategory::Buzjets: return clv::kTowedBuzjetsTicks;
        default: return 0;
    }
}

// Only an aircraft of a known airline on a stand of its own cargo kind teaches real options.
bool lf_teachesStand(const clv::LiveAc& ac, const clv::Stand& stand) {
    return !ac.airline.empty() && stand.cargo == ac.cargo;
}

}  // namespace

void lf_learnCargoStand(clv::LiveAc& ac) {
    if (!ac.cargo || ac.cargoStand) return;
    clv::Stand* stand = gf_standWithId(ac.standId);
    if (stand == nullptr || stand->cargo) return;
    stand->cargo = true;
    stand->cargoChanged = true;
    ac.cargoStand = true;
    gf_countLearnedUpdate();
    gf_logMarked("{} stand: {}, cargo attribute set to true, {} parked here", gf_parkAirport().code, stand->name,
                 ac.logLabel());
}

void lf_arriveAtStand(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    clv::Stand* stand = gf_standWithId(ac.standId);
    if (stand != nullptr && stand->occupied) {
        // Another aircraft got there first and holds it: this one's removal leaves it so.
        ac.extensionCount = 1;
        removeAircraftFromSim(engine, ac);
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
    if (stand != nullptr) gf_occupyStand(*stand, ac.hexid);
    lf_learnCargoStand(ac);
    lf_shutDownAtStand(engine, ac);
    if (stand == nullptr) return;
    if (LOG.value) gf_log("{:8}: {:8} arrived at stand", stand->name, ac.callsign);
    engine.arrivalsList.push_back(ac.hexid);
    if (lf_teachesStand(ac, *stand) && lf_addRealParkPosOption(stand->id, ac, false, now, false)) {
        gf_updateLearnedOption(learnedOptionList, ac.hexid, now, true);
        gf_limitLiveParked(engine, 0);
    }
}

void drive2Stand(clv::LiveAc& ac, clv::LatLon point, double standHeading) {
    if (ac.samples.empty()) {
        gf_logMarked("{} empty sz?", "drive2Stand");
        return;
    }
    clv::PosSample& last = ac.samples.back();
    const clv::LatLon from{last.latitude, last.longitude};
    const double nm = gf_distanceNm(from, point);
    double speed = ac.groundValueB;
    std::int64_t n =
        std::max<std::int64_t>(clv::kMinDriveTicks, speed > 0.0 ? std::llround(nm * clv::kTicksPerKnotNm / speed) : 0);
    // It turns onto the stand heading while it drives in: a drive too short for
    // the turn at its angle step is driven slower, so that it does not park askew.
    const double turn = std::fabs(gf_headingDiff(ac.simPosition.trueHeading, standHeading));
    if (ac.angleStep > 0.0 && nm > 0.0) {
        const auto turnTicks = static_cast<std::int64_t>(std::ceil(turn / ac.angleStep));
        if (turnTicks > n) {
            n = turnTicks;
            speed = nm * clv::kTicksPerKnotNm / static_cast<double>(n);
        }
    }
    last.groundSpeed = speed;
    const clv::PosSample& first = ac.samples.front();
    clv::PosSample drive;
    drive.latitude = point.lat;
    drive.longitude = point.lon;
    drive.roll = ac.simPosition.bank;
    drive.hasRoll = true;
    drive.hasHeading = false;
    drive.altitude = ac.simPosition.altitude;
    drive.groundSpeed = speed;
    drive.track = standHeading * clv::kRadToDeg;
    drive.verticalSpeed = 0.0;
    drive.trueAirspeed = speed;
    drive.dueTick = static_cast<std::uint32_t>(std::int64_t{first.dueTick} + n);
    drive.airborne = false;
    drive.holdMark = point.lat == from.lat && point.lon == from.lon;
    drive.headingFromAdsb = first.headingFromAdsb;
    clv::PosSample hold = drive;
    hold.groundSpeed = 0.0;
    hold.trueAirspeed = 0.0;
    hold.holdMark = true;
    hold.dueTick = static_cast<std::uint32_t>(std::int64_t{first.dueTick} + clv::kDriveHoldTicks + n);
    ac.samples.push_back(drive);
    ac.samples.push_back(hold);
    ac.targetHeading = standHeading;
    if (ac.extensionCount >= 1) {
        ac.extensionCount = 0;
        lf_startPhaseSlack(ac);
    }
}

bool lf_checkStandSample(clv::TrafficEngine& engine, clv::LiveAc& ac, clv::PosSample& s) {
    using clv::AcMoveState;
    ac.atStandChecked = true;
    const double d =
        gf_distanceNm(clv::LatLon{ac.standLatitude, ac.standLongitude}, clv::LatLon{s.latitude, s.longitude});
    // One driven onto its stand may still report the taxiway it came from.
    const double near = ac.previousMoveState == AcMoveState::Parking ? 2.0 * clv::kNearStandNm : clv::kNearStandNm;
    bool leaves = false;
    if (d <= near) {
        ac.timeAtStand = gf_parkingHooks().systemTime100ns();
        if (ac.lastStandDistance == 0.0) {
            ac.firstStandDistance = d;
            ac.lastStandDistance = d;
            ac.movesAwayFromStand = 0;
            ac.leavingStand = false;
            return false;
        }
        if (d >= ac.lastStandDistance + clv::kStandStepNm) {
            ++ac.movesAwayFromStand;
            ac.lastStandDistance = d;
            const double m = d - ac.firstStandDistance;
            // The feed wanders around a parked aircraft; only a steady move away
            // of half its radius, or one beyond its radius, is a departure.
            if ((ac.movesAwayFromStand < 3 || m < ac.radius / 2.0) && m <= ac.radius) {
                ac.leavingStand = false;
                return false;
            }
            leaves = true;
        } else {
            if (d <= ac.lastStandDistance - clv::kStandStepNm) ac.movesAwayFromStand = 0;
            ac.leavingStand = false;
            return false;
        }
    }
    if (!leaves) {
        if (ac.moveState == AcMoveState::Parking) {
            clv::gf_setMoveState(ac, AcMoveState::Taxi);
            s.holdMark = false;
            return true;
        }
        if (d > clv::kFarFromStandNm) {
            if (ac.simState != clv::AcSimState::Active) return true;
            removeAircraftFromSim(engine, ac);
            return false;
        }
    }
    s.holdMark = false;
    ac.leavingStand = true;
    if (ac.previousMoveState == AcMoveState::Parked) return true;
    lf_leaveParked(ac);
    clv::gf_setMoveState(ac, AcMoveState::Parked);
    return true;
}

void lf_leaveParked(clv::LiveAc& ac) {
    if (ac.extensionCount >= 1 && !ac.samples.empty()) {
        // It stood on its week-long hold sample: that hold ends now.
        const std::int64_t now = gf_tickNow();
        if (ac.moveState == clv::AcMoveState::Parked && ac.landed) {
            const std::int64_t stood =
                now - std::int64_t{ac.samples.back().dueTick} + std::int64_t{clv::kParkedHoldTicks};
            if (stood < lf_towedWithin(ac.category)) ac.towed = true;
            ac.landed = false;
        }
        ac.samples.front().dueTick = static_cast<std::uint32_t>(now + 1);
        ac.extensionCount = 0;
        lf_startPhaseSlack(ac);
    }
    clv::Stand* stand = gf_standWithId(ac.standId);
    if (stand == nullptr) return;
    const clv::Slot now = gf_parkingHooks().now();
    if (lf_teachesStand(ac, *stand) && lf_addRealParkPosOption(stand->id, ac, true, now, true)) {
        gf_updateLearnedOption(learnedOptionList, ac.hexid, now, true);
    }
    gf_releaseStand(*stand, ac.hexid);
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
