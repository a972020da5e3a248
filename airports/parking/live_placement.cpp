#include "airports/parking/live_placement.h"

#include <algorithm>
#include <iterator>

#include "airports/parking/live_stands.h"
#include "airports/parking/park_state.h"
#include "airports/parking/parking_hooks.h"
#include "airports/parking/stand_arrival.h"
#include "airports/parking/stand_holders.h"
#include "airports/parking/static_parking.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"

using clv::AcMoveState;
using clv::AcSimState;
using clv::StandPlacement;

namespace {

constexpr double kRadToDeg = 57.29577951308232;

std::string lf_sameLiveVersion(const clv::StaticAc& s, const clv::LiveAc& ac) {
    const bool same = s.callsignCopy == ac.callsign || (!ac.registration.empty() && s.registration == ac.registration);
    return same ? " the same live version" : "";
}

bool lf_holdsStand(const clv::LiveAc& x, std::uint32_t standId) {
    return x.standId == standId && x.simState == AcSimState::Active &&
           (x.moveState == AcMoveState::Parked || x.moveState == AcMoveState::PushingBack ||
            x.moveState == AcMoveState::PushedBack);
}

// The first live holder of the stand decides whether the new aircraft may have it.
bool lf_holderLetsIn(clv::TrafficEngine& engine, clv::LiveAc& ac, const clv::Stand& stand) {
    using clv::HolderRule;
    for (clv::LiveAc& x : engine.liveAc) {
        if (&x == &ac || !lf_holdsStand(x, stand.id)) continue;
        const HolderRule rule = gf_holderRule(ac.callsign, x.callsign, x.departureMark);
        if (!clv::gf_holderGivesWay(rule)) return false;
        if (LOG.value) {
            if (rule == HolderRule::SameCallsign) {
                gf_log("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", stand.name, x.callsign,
                       ac.callsign);
            } else if (rule == HolderRule::HolderIsGhost) {
                gf_log("{:8}: {:8} ghost, replace by {}", stand.name, x.callsign, ac.callsign);
            } else {
                gf_log("{:8}: {:8} removed because another live {} wants the stand ...", stand.name, x.callsign,
                       ac.callsign);
            }
        }
        removeAircraftFromSim(engine, x);
        return true;
    }
    return true;
}

}  // namespace

bool gf_acOverlap(double radiusA, double radiusB, double distanceNm) {
    return clv::kOverlapFactor * (radiusA + radiusB) >= distanceNm;
}

void gf_makeWayAtStand(clv::TrafficEngine& engine, const clv::LiveAc& ac, const clv::Stand& stand) {
    for (clv::StaticAc& s : engine.staticAc) {
        if (s.standId != stand.id) continue;
        if (s.simState == AcSimState::Active || s.simState == AcSimState::Adding2Sim) {
            const char* queued = s.simState == AcSimState::Adding2Sim ? "queued " : "";
            gf_log("{}{:8}: {:8} {} makes way for{} {} {}", queued, stand.name, s.callsign, s.registration,
                   lf_sameLiveVersion(s, ac), ac.callsign, ac.registration);
            // A queued creation is withdrawn; one already sent is removed once it is active.
            removeAircraftFromSim(engine, s);
        }
        break;
    }
    std::erase_if(engine.staticAc, [](const clv::StaticAc& s) { return s.erase; });
    for (std::uint32_t adjacentId : stand.adjacent) {
        const clv::Stand* other = gf_standWithId(adjacentId);
        for (clv::StaticAc& s : engine.staticAc) {
            if (s.standId != adjacentId || s.simState != AcSimState::Active) continue;
            const double d = other ? gf_distanceNm(clv::LatLon{other->latitude, other->longitude},
                                                   clv::LatLon{stand.latitude, stand.longitude})
                                   : 0.0;
            if (!gf_acOverlap(s.radius, ac.radius, d)) continue;
            if (LOG.value) {
                gf_log("{:8}: {:8} removed by {} parking at adjacent stand {}", gf_standName(s.standId), s.callsign,
                       ac.callsign, stand.name);
            }
            removeAircraftFromSim(engine, s);
            break;
        }
    }
}

StandPlacement gf_placeAtSpawn(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    if (ac.samples.empty()) return StandPlacement::NotPlaced;
    const clv::ParkSite park = gf_parkAirport();
    if (standList.empty() || park.code.empty()) return StandPlacement::NotPlaced;
    const clv::PosSample& s0 = ac.samples.front();
    const clv::LatLon first{s0.latitude, s0.longitude};
    if (gf_distanceNm(first, clv::LatLon{park.lat, park.lon}) > clv::kSpawnNearParkAirportNm) {
        return StandPlacement::NotPlaced;
    }
    // An aircraft marked as holding is searched for where it first stood.
    clv::LatLon position = first;
    if (!s0.holdMark) {
        const clv::PosSample& sN = ac.samples.back();
        if (ac.samples.size() > 1 && ac.samples[1].groundSpeed > clv::kSpawnMaxGroundSpeedKt) {
            return StandPlacement::NotPlaced;
        }
        position = clv::LatLon{sN.latitude, sN.longitude};
        if (gf_distanceNm(first, position) > clv::kSpawnMaxDriftNm) return StandPlacement::NotPlaced;
    }
    auto stand = gf_findFreeStand(position, ac, clv::kStandAtPositionNm, s0.holdMark);
    if (stand == standList.end()) {
        const bool holding = ac.samples.size() > 1 && ac.samples[1].holdMark;
        return holding ? StandPlacement::Wait : StandPlacement::NotPlaced;
    }
    if (stand->name == reservedStand || stand->name == gf_parkingHooks().userStandName()) {
        return StandPlacement::NotPlaced;
    }
    if (!lf_holderLetsIn(engine, ac, *stand)) return StandPlacement::Refused;
    if (lf_adjacentStandConflict(engine, stand->adjacent, *stand, ac) != stand->adjacent.end()) {
        return StandPlacement::Refused;
    }
    gf_makeWayAtStand(engine, ac, *stand);

    clv::PosSample kept = ac.samples.front();
    if (!kept.holdMark) kept.groundSpeed = 0.0;
    kept.holdMark = true;
    kept.latitude = stand->latitude;
    kept.longitude = stand->longitude;
    kept.track = stand->heading * kRadToDeg;
    ac.samples.clear();
    ac.samples.push_back(kept);
    ac.standLatitude = stand->latitude;
    ac.standLongitude = stand->longitude;
    ac.standHeading = stand->heading;
    ac.standId = stand->id;
    ac.cargoStand = stand->cargo;
    gf_occupyStand(*stand, ac.hexid);
    ac.timeAtStand = gf_parkingHooks().systemTime100ns();
    lf_learnCargoStand(ac);

    const clv::Slot now = gf_parkingHooks().now();
    if (lf_addRealParkPosOption(stand->id, ac, true, now, false)) {
        gf_updateLearnedOption(learnedOptionList, ac.hexid, now, true);
    }
    gf_limitLiveParked(engine, 1);
    return StandPlacement::Placed;
}

void try2Park(clv::TrafficEngine& engine, clv::LiveAc& ac, bool hold) {
    if (ac.samples.empty()) {
        gf_logMarked("{} empty sz?", "try2Park");
        return;
    }
    const clv::PosSample& newest = ac.samples.back();
    if (newest.latitude == ac.lastTriedParkLatitude && newest.longitude == ac.lastTriedParkLongitude) return;
    ac.lastTriedParkLatitude = newest.latitude;
    ac.lastTriedParkLongitude = newest.longitude;
    auto stand = gf_findFreeStand(clv::LatLon{newest.latitude, newest.longitude}, ac,
                                  hold ? clv::kTryParkHoldingNm : clv::kTryParkMovingNm, hold);
    if (stand == standList.end()) return;
    if (stand->name == reservedStand || stand->name == gf_parkingHooks().userStandName()) return;

    for (clv::LiveAc& x : engine.liveAc) {
        if (&x == &ac || x.standId != stand->id || x.simState != AcSimState::Active ||
            x.moveState != AcMoveState::Parked) {
            continue;
        }
        if (LOG.value) gf_log("{:8}: {:8} removed, {} wants to park there", stand->name, x.callsign, ac.callsign);
        removeAircraftFromSim(engine, x);
    }
    for (std::uint32_t adjacentId : stand->adjacent) {
        const clv::Stand* adjacent = gf_standWithId(adjacentId);
        if (adjacent == nullptr) continue;
        const double d = gf_distanceNm(clv::LatLon{adjacent->latitude, adjacent->longitude},
                                       clv::LatLon{stand->latitude, stand->longitude});
        for (clv::LiveAc& x : engine.liveAc) {
            if (&x == &ac || x.standId != adjacentId || x.simState != AcSimState::Active ||
                (x.moveState != AcMoveState::Parked && x.moveState != AcMoveState::PushingBack) ||
                !gf_acOverlap(x.radius, ac.radius, d)) {
                continue;
            }
            if (LOG.value) {
                gf_log("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}", adjacent->name,
                       x.callsign, ac.callsign, stand->name);
            }
            removeAircraftFromSim(engine, x);
        }
    }
    gf_makeWayAtStand(engine, ac, *stand);

    ac.standLatitude = stand->latitude;
    ac.standLongitude = stand->longitude;
    ac.standHeading = stand->heading;
    ac.standId = stand->id;
    ac.cargoStand = stand->cargo;
    ac.samples.resize(1);
    // A curve begun towards the samples just dropped would carry the aircraft
    // past its stand.
    ac.curve = clv::GroundCurve{};
    ac.curveParameter = 0.0;
    clv::gf_setMoveState(ac, AcMoveState::Parking);
    drive2Stand(ac, clv::LatLon{stand->latitude, stand->longitude}, stand->heading);
}
