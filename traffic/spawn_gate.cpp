// The spawn gate of a buffered live aircraft and its spawn: when it may enter the
// simulator, with which livery, where, and its first simulator position.
#include <algorithm>
#include <cmath>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"
#include "traffic/traffic_engine.h"

namespace {

using namespace clv;

// The gate opens this many ticks before the oldest sample is due: earlier for an
// aircraft rolling on the ground.
constexpr std::int64_t kLeadGroundMoving = 300;
constexpr std::int64_t kLeadOther = 100;
constexpr std::size_t kMaxQueuedLiveCreations = 10;

// User proximity.
constexpr double kUserMovingKnots = 8.0;
constexpr double kSampleMovingKnots = 8.0;
constexpr double kMarkedGroundClearanceNm = 500.0 / kMetresPerNm;
constexpr double kGroundClearanceNm = 0.08099352051835854;  // 150 m
constexpr double kAirNearNm = 6.0;
constexpr double kAirNearFeet = 3000.0;
constexpr double kAirCrossTrackFeet = 4000.0;
constexpr double kApproachNearNm = 1.5;
constexpr double kApproachAglFeet = 1000.0;
constexpr double kApproachAbeamFeet = 500.0;

constexpr double kFarthestMarginNm = 0.1;

// First simulator position.
constexpr double kGroundPitch = 0.010471975511965976;  // 0.6 degrees
constexpr double kAirBasePitchDegrees = -3.0;
constexpr double kPitchDegreesPer600Fpm = 2.2;
constexpr double kMaxClimbFpm = 2400.0;
constexpr double kMaxDescentFpm = -3000.0;


void lf_dropOldest(LiveAc& ac) { ac.samples.pop_front(); }

double lf_distanceNm(const PosSample& s, const UserAcData& user) {
    return gf_distanceNm(user.latitude, user.longitude, s.latitude, s.longitude);
}

bool lf_mixedPhases(const LiveAc& ac) {
    const bool airborne = ac.samples.front().airborne;
    return std::any_of(ac.samples.begin(), ac.samples.end(),
                       [airborne](const PosSample& s) { return s.airborne != airborne; });
}

int lf_activeLiveCount(const TrafficEngine& e) {
    return static_cast<int>(std::count_if(e.liveAc.begin(), e.liveAc.end(),
                                          [](const LiveAc& ac) { return ac.simState == AcSimState::Active; }));
}

enum class Proximity { Pass, DropOldest };

// The user aircraft must not find a live aircraft appearing right beside or ahead
// of it. An aircraft never spawned has no simulator position or course yet: its
// oldest sample tells where it is and where it goes.
Proximity lf_userProximity(TrafficEngine& e, LiveAc& ac, const PosSample& s0) {
    const UserAcData& user = e.userAcData;
    if (e.sim().userOnGround()) {
        if (ac.proximityMark) {
            if (user.groundVelocity > kUserMovingKnots) return Proximity::DropOldest;
            if (s0.airborne) return Proximity::Pass;
            if (s0.groundSpeed > kSampleMovingKnots || lf_distanceNm(s0, user) < kMarkedGroundClearanceNm)
                return Proximity::DropOldest;
        } else if (s0.airborne) {
            return Proximity::Pass;
        }
        if (COLLISION_USER_GND.value && lf_distanceNm(s0, user) < kGroundClearanceNm) return Proximity::DropOldest;
        return Proximity::Pass;
    }
    if (!COLLISION_USER_AIR.value) return Proximity::Pass;
    const LatLon userPos{user.latitude, user.longitude};
    const LatLon pos{s0.latitude, s0.longitude};
    const double d = gf_distanceNm(userPos, pos);
    if (s0.airborne) {
        if (d <= kAirNearNm && std::fabs(s0.altitude - user.altitude) < kAirNearFeet) {
            const double course = s0.track * kDegToRad;
            const double crossTrack = d * std::fabs(std::sin(course - gf_bearing(userPos, pos))) * kFeetPerNm;
            if (crossTrack <= kAirCrossTrackFeet) {
                ac.proximityMark = true;
                return Proximity::DropOldest;
            }
        }
        return Proximity::Pass;
    }
    if (ac.proximityMark) return Proximity::DropOldest;
    if (d <= kApproachNearNm && user.altAboveGround < kApproachAglFeet) {
        const double abeam = d * std::fabs(std::sin(gf_bearing(userPos, pos) - user.trueHeading)) * kFeetPerNm;
        if (abeam <= kApproachAbeamFeet) {
            ac.proximityMark = true;
            return Proximity::DropOldest;
        }
    }
    return Proximity::Pass;
}

double lf_normalizedHeading(double h) {
    if (h < 0.0) return h + kTwoPi;
    if (h >= kTwoPi) return h - kTwoPi;
    return h;
}

void lf_setFirstSimPosition(LiveAc& ac) {
    // A placement on a stand may have kept the stand sample alone; its heading is the stand's.
    const PosSample& s0 = ac.samples.front();
    AiPositionData& p = ac.simPosition;
    p.latitude = s0.latitude;
    p.longitude = s0.longitude;
    p.altitude = s0.altitude;
    p.verticalSpeed = s0.verticalSpeed;
    p.trueAirspeed = s0.trueAirspeed;
    p.bank = s0.hasRoll ? s0.roll : 0.0;
    if (!s0.airborne) {
        p.pitch = kGroundPitch;
    } else {
        double vs = s0.verticalSpeed;
        vs = vs > 0.0 ? std::min(vs, kMaxClimbFpm) : std::max(vs, kMaxDescentFpm) / 2.0;
        p.pitch = (kAirBasePitchDegrees - kPitchDegreesPer600Fpm * vs / 600.0) * kDegToRad;
    }
    double heading = 0.0;
    if (ac.hasHeadingOverride) {
        heading = ac.headingOverride;
    } else if (ac.moveState == AcMoveState::Parked) {
        heading = ac.standHeading;
    } else if (const PosSample& s1 = ac.samples.at(1); s1.holdMark) {
        heading = s0.track * kDegToRad;
    } else {
        heading = gf_bearing(LatLon{s0.latitude, s0.longitude}, LatLon{s1.latitude, s1.longitude});
    }
    p.trueHeading = lf_normalizedHeading(heading);
    ac.targetHeading = s0.airborne ? 0.0 : p.trueHeading;
}

}  // namespace

void lf_setType(clv::TrafficEngine& engine, clv::AcData& ac, const std::string& type) {
    if (type == ac.type) return;
    clv::AcIdentity identity = ac;
    identity.type = type;
    const clv::AcData fresh = engine.data().acData(identity);
    ac.type = type;
    ac.radius = fresh.radius;
    ac.category = fresh.category;
    ac.rotationPitch = fresh.rotationPitch;
    ac.climbPitch = fresh.climbPitch;
    ac.angleStep = fresh.angleStep;
    ac.acAngleStep = fresh.angleStep;
    ac.groundValueA = gf_categoryGroundValueA(fresh.category);
    ac.groundValueB = gf_categoryGroundValueB(fresh.category);
    ac.flareTicks = fresh.flareTicks;
    ac.deRotationTicks = fresh.deRotationTicks;
    ac.rotationTicks = fresh.rotationTicks;
    ac.climbPitchTicks = fresh.climbPitchTicks;
    // The simulator reports these of the new model after its creation.
    ac.staticCgHeight = 0.0;
    ac.staticPitch = 0.0;
}

void lf_spawnGate(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using clv::AcMoveState;
    if (ac.samples.empty()) {
        ac.eraseFromBuffer = true;
        return;
    }
    {
        const clv::PosSample& s0 = ac.samples.front();
        const std::int64_t lead = (!s0.airborne && s0.groundSpeed != 0.0) ? kLeadGroundMoving : kLeadOther;
        if (gf_tickNow() < static_cast<std::int64_t>(s0.dueTick) - lead) return;
    }
    if (ac.samples.size() == 1) {
        ac.eraseFromBuffer = true;
        return;
    }
    if (clv::gf_endsWithUnderscore(ac.callsign) &&
        std::find(engine.blockedCallsigns.begin(), engine.blockedCallsigns.end(), ac.callsign) !=
            engine.blockedCallsigns.end()) {
        ac.eraseFromBuffer = true;
        return;
    }
    if (lf_mixedPhases(ac)) {
        lf_dropOldest(ac);
        return;
    }
    const clv::PosSample s0 = ac.samples.front();
    if (lf_userProximity(engine, ac, s0) == Proximity::DropOldest) {
        lf_dropOldest(ac);
        return;
    }
    // Every creation on its way counts, also those spawned this tick whose request
    // is not made yet: a burst of new aircraft must not all pass in one tick and
    // then hold every later one back for minutes.
    if (engine.liveCreationQueue.size() + engine.hexidQueue.size() > kMaxQueuedLiveCreations &&
        ac.moveState == AcMoveState::Birth) {
        lf_dropOldest(ac);
        return;
    }
    const int maxLive = MAX_LIVE.value;
    if (maxLive != MAX_LIVE.def) {
        const auto inUse = static_cast<std::size_t>(lf_activeLiveCount(engine)) + engine.hexidQueue.size() +
                           engine.liveCreationQueue.size();
        if (static_cast<std::int64_t>(inUse) >= maxLive &&
            gf_removeFarthestAc(engine, lf_distanceNm(s0, engine.userAcData))) {
            ac.eraseFromBuffer = true;
            return;
        }
    }
    if (!BLOCK_CALLSIGN.value.empty() && BLOCK_CALLSIGN.value == ac.callsign) {
        ac.eraseFromBuffer = true;
        return;
    }
    if (!ac.registration.empty()) {
        if (auto record = engine.data().regRecord(ac.registration)) {
            const std::string& airline = record->opr.empty() ? record->airl : record->opr;
            if (!airline.empty()) ac.airline = airline;
            if (!record->type.empty()) lf_setType(engine, ac, record->type);
            ac.cargo = record->cargo;
        }
        if (!ac.validCallsign()) ac.callsign = ac.registration;
    }
    if (!ac.validCallsign()) {
        ac.eraseFromBuffer = true;
        return;
    }
    if (ac.airline.empty() && !ac.airlineFromCallsign()) ac.airline = kPrivateAirline;
    if (engine.unmatchedSet.contains(ac.registrationKey())) {
        ac.eraseFromBuffer = true;
        return;
    }
    if (clv::gf_endsWithUnderscore(ac.callsign) && lf_originalOfGhostExists(engine, ac.callsign)) {
        ac.eraseFromBuffer = true;
        return;
    }
    spawnLiveAc(engine, ac);
}

void spawnLiveAc(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using clv::AcMoveState;
    if (ac.samples.size() < 2) {
        gf_logMarked("{} sz:{}", "spawnLiveAc", ac.samples.size());
        return;
    }
    if (ac.samples[1].holdMark) {
        ac.samples[0].holdMark = true;
        ac.samples[0].groundSpeed = 0.0;
        ac.samples[1].groundSpeed = 0.0;
        if (ac.samples.size() > 2 && ac.samples[2].holdMark) ac.samples[2].groundSpeed = 0.0;
    } else {
        ac.samples[0].holdMark = false;
    }
    if (ac.moveState == AcMoveState::Birth) {
        if (!lf_chooseLivery(engine, ac)) {
            if (!ac.registration.empty()) engine.unmatchedSet.insert(ac.registrationKey());
            ac.eraseFromBuffer = true;
            return;
        }
        if (ac.samples.front().airborne) {
            clv::gf_setMoveState(ac, AcMoveState::Flying);
        } else {
            switch (engine.parking().placeAtSpawn(engine, ac)) {
                case clv::StandPlacement::Placed: clv::gf_setMoveState(ac, AcMoveState::Parked); break;
                case clv::StandPlacement::Wait: lf_dropOldest(ac); return;
                case clv::StandPlacement::Refused: ac.eraseFromBuffer = true; break;
                case clv::StandPlacement::NotPlaced: clv::gf_setMoveState(ac, AcMoveState::Taxi); break;
            }
        }
    }
    if (ac.eraseFromBuffer) return;
    engine.spawnedList.push_back(ac.hexid);
    lf_setFirstSimPosition(ac);
    ac.simState = clv::AcSimState::Adding2Sim;
    ac.proximityMark = false;
    engine.hexidQueue.push_back(ac.hexid);
    if (!clv::gf_endsWithUnderscore(ac.callsign)) lf_removeGhost(engine, ac.callsign);
}

bool lf_chooseLivery(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    if (!ac.liveryTitle.empty()) return true;
    if (auto remembered = engine.liveryMemory.find(ac.hexid); remembered != engine.liveryMemory.end()) {
        if (engine.data().isExcludedTitle(remembered->second)) {
            engine.liveryMemory.erase(remembered);
        } else {
            ac.liveryTitle = remembered->second;
            return true;
        }
    }
    engine.data().matchLivery(ac);
    if (ac.liveryTitle.empty()) return false;
    engine.liveryMemory[ac.hexid] = ac.liveryTitle;
    return true;
}

bool gf_removeFarthestAc(clv::TrafficEngine& engine, double distanceNm) {
    const clv::UserAcData& user = engine.userAcData;
    double limit = distanceNm;
    clv::LiveAc* candidate = nullptr;
    for (clv::LiveAc& ac : engine.liveAc) {
        if (ac.simState != clv::AcSimState::Active) continue;
        const double d =
            gf_distanceNm(user.latitude, user.longitude, ac.simPosition.latitude, ac.simPosition.longitude);
        if (d > limit + kFarthestMarginNm) {
            candidate = &ac;
            limit = d;
        }
    }
    if (candidate == nullptr) return true;
    removeAircraftFromSim(engine, *candidate);
    return false;
}
