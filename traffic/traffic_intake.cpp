// The intake of the feed's updates: a known hexid takes a new sample unless the
// update is stale, a duplicate or implausible; an unknown one becomes a new live
// aircraft in the buffer unless the filters keep it out. Run thread, under runMutex.
#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "core/parameters.h"
#include "traffic/traffic_engine.h"

namespace {

using namespace clv;

constexpr double kSlowKnots = 5.0;
constexpr double kJumpFactor = 10.0;
constexpr double kStandstillJumpKnots = 80.0;
constexpr double kMinUpdateGapSeconds = 1.0;
// Thinning of steady streams: an airborne aircraft above 120 kt on a straight
// track needs to have flown 450 m, one on the ground up to 30 kt 20 m (at most 15 s).
constexpr double kFastAirborneKnots = 120.0;
constexpr double kStraightAirborneDegrees = 1.0;
constexpr double kAirborneThinNm = 0.2429805615550756;  // 450 m
constexpr double kSlowGroundKnots = 30.0;
constexpr double kStraightGroundDegrees = 2.0;
constexpr double kGroundThinNm = 0.010799136069114472;  // 20 m
constexpr double kThinCapSeconds = 15.0;
// Lines of an aircraft standing still are never thinned: the last of them says when
// the stop ended, and the stop is played as long as the feed's.
constexpr double kStandstillKnots = 3.0;
constexpr double kStandstillDegrees = 0.00015;
constexpr double kSecondsPerHour = 3600.0;
// The low-altitude rule: an aircraft this close above the park airport's
// elevation, below 10000 ft, is taken for one standing on the ground there.
constexpr double kLowAltitudeCeiling = 10000.0;
constexpr double kLowAltitudeBand = 120.0;
constexpr double kNoParkElevation = -1000.0;

// The angle between two tracks in degrees, 0 to 180.
double lf_trackDifference(double a, double b) {
    double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}

// Seconds needed to cover `nm` at `knots`; `zeroSpeed` when standing still.
double lf_secondsToCover(double nm, double knots, double zeroSpeed) {
    return knots == 0.0 ? zeroSpeed : nm / knots * kSecondsPerHour;
}

bool lf_categoryAdmitted(AcCategory category) {
    switch (category) {
        case AcCategory::Light: return LIGHT_AIRCRAFT.value;
        case AcCategory::HighPerf: return HIGH_PERF_AIRCRAFT.value;
        case AcCategory::Rotorcraft: return HELICOPTERS.value;
        default: return categoryIndex(category) < kAcCategoryCount;
    }
}

// The same sample stream again, or one that says nothing new.
bool lf_staleOrImplausible(const LiveAc& ac, const TrafficUpdate& u) {
    const PosSample& last = ac.samples.back();
    const double t = u.timestamp;
    const double t0 = ac.timeOfNewestSample;
    const double gs = u.sample.groundSpeed;
    const double gs0 = last.groundSpeed;
    const double dt = t - t0;
    if (t == t0 || dt <= kMinUpdateGapSeconds) return true;
    if (gs0 > kSlowKnots && gs >= kJumpFactor * gs0) return true;
    if (gs > kSlowKnots && gs0 >= kJumpFactor * gs) return true;
    if ((gs0 <= kSlowKnots && gs >= kStandstillJumpKnots) || (gs <= kSlowKnots && gs0 >= kStandstillJumpKnots))
        return true;
    if (ac.extensionCount <= 0) {
        const double turn = lf_trackDifference(u.sample.track, last.track);
        if (u.sample.airborne && gs > kFastAirborneKnots && turn <= kStraightAirborneDegrees &&
            dt <= lf_secondsToCover(kAirborneThinNm, gs, kThinCapSeconds))
            return true;
        const bool standstill = gs < kStandstillKnots &&
                                std::fabs(u.sample.latitude - last.latitude) < kStandstillDegrees &&
                                std::fabs(u.sample.longitude - last.longitude) < kStandstillDegrees;
        if (!u.sample.airborne && gs <= kSlowGroundKnots && turn <= kStraightGroundDegrees && !standstill &&
            dt <= std::min(kThinCapSeconds, lf_secondsToCover(kGroundThinNm, gs, kThinCapSeconds)))
            return true;
    }
    return false;
}

bool lf_landingOrTouchDown(const LiveAc& ac) { return ac.landing || ac.deRotating || ac.rollingOut; }

// A text the update carries replaces the aircraft's when it differs.
void lf_takeIfCarried(std::string& mine, const std::string& carried) {
    if (!carried.empty() && carried != mine) mine = carried;
}

// Step 1 of the respawn check; true when the route changed.
bool lf_routeCheck(TrafficEngine& e, LiveAc& ac, const AcIdentity& u) {
    bool change = false;
    if (ac.origin.empty() && !u.origin.empty()) {
        ac.origin = u.origin;
        change = true;
    }
    if (ac.destination.empty() && !u.destination.empty()) {
        ac.destination = u.destination;
        change = true;
    }
    // An update without a route says nothing about it.
    if (u.origin.empty() || u.destination.empty()) return change;
    if (u.origin == ac.origin || u.destination == ac.destination) return change;
    const std::string iata = e.parking().parkAirportIata();
    if (!iata.empty() && ac.origin == iata && u.destination == ac.origin) return change;
    ac.origin = u.origin;
    ac.destination = u.destination;
    if (ac.onGround && ac.moveState != AcMoveState::Parked && ac.moveState != AcMoveState::Parking) {
        gf_setMoveState(ac, AcMoveState::Taxi);
        ac.targetHeading = ac.simPosition.trueHeading;
    }
    return true;
}

// Step 2: a new registration may bring another airline, type or livery. When it
// does, the livery and the values of the type are chosen afresh at the next spawn.
bool lf_registrationCheck(TrafficEngine& e, LiveAc& ac, const AcIdentity& u) {
    if (u.registration.empty() || u.registration == ac.registration) return false;
    bool change = false;
    AcIdentity probe;
    if (auto record = e.data().regRecord(u.registration)) {
        probe.airline = record->opr.empty() ? record->airl : record->opr;
        probe.type = record->type;
        if (!probe.airline.empty() && !probe.type.empty() && !ac.sameAirlType(probe)) change = true;
    }
    const std::string_view boundTitle = e.data().reg2Title(u.registration);
    if (!boundTitle.empty() && boundTitle != ac.liveryTitle) change = true;
    ac.registration = u.registration;
    if (!change) return false;
    if (!probe.airline.empty() && !probe.type.empty()) {
        ac.airline = probe.airline;
        lf_setType(e, ac, probe.type);
    }
    // The old title, and what the matcher derived with it, must not come back.
    ac.liveryTitle = {};
    ac.cargo = false;
    ac.specialLivery = false;
    e.liveryMemory.erase(ac.hexid);
    gf_setMoveState(ac, AcMoveState::Birth);
    return true;
}

bool lf_lowAltitude(TrafficEngine& e, double altitude) {
    const double elevation = e.parking().parkAirportElevation().value_or(kNoParkElevation);
    return altitude > 0.0 && altitude < kLowAltitudeCeiling && std::fabs(altitude - elevation) <= kLowAltitudeBand;
}

}  // namespace

bool lf_takeTrafficUpdate(clv::TrafficEngine& engine) {
    if (trafficUpdateQueue.empty()) return false;
    clv::TrafficUpdate& update = trafficUpdateQueue.front();
    bool taken = false;
    for (clv::LiveAc& ac : engine.liveAc) {
        if (lf_applyUpdate(engine, update, ac)) {
            taken = true;
            break;
        }
    }
    if (!taken) {
        if (update.identity.callsign.empty() || engine.liveAc.empty()) {
            lf_completeType(engine, update);
        } else {
            const bool sameFlight = std::any_of(engine.liveAc.begin(), engine.liveAc.end(), [&](const clv::LiveAc& ac) {
                return ac.callsign == update.identity.callsign && ac.type == update.identity.type;
            });
            if (!sameFlight) lf_completeType(engine, update);
        }
    }
    trafficUpdateQueue.pop_front();
    return true;
}

bool lf_applyUpdate(clv::TrafficEngine& engine, const clv::TrafficUpdate& update, clv::LiveAc& ac) {
    using clv::AcSimState;
    if (ac.hexid != update.hexid) return false;
    if (ac.simState == AcSimState::LiveryRespawn || ac.simState == AcSimState::RemovingFromSim) return true;
    if (!ac.samples.empty() && lf_staleOrImplausible(ac, update)) return true;
    if (ac.simState == AcSimState::Buffer && lf_lowAltitude(engine, update.sample.altitude)) return true;
    if (!lf_respawnCheck(engine, ac, update)) return true;
    ac.timeOfNewestSample = update.timestamp;
    engine.movement().decodeExisting(engine, ac, update.sample);
    return true;
}

bool lf_respawnCheck(clv::TrafficEngine& engine, clv::LiveAc& ac, const clv::TrafficUpdate& update) {
    using clv::AcMoveState;
    using clv::AcSimState;
    if (lf_landingOrTouchDown(ac)) return true;
    const clv::AcIdentity& u = update.identity;
    if (ac.simState == AcSimState::Buffer) {
        lf_takeIfCarried(ac.origin, u.origin);
        lf_takeIfCarried(ac.destination, u.destination);
        lf_takeIfCarried(ac.callsign, u.callsign);
        lf_takeIfCarried(ac.registration, u.registration);
        return true;
    }
    if (ac.simState != AcSimState::Active) return true;
    if (ac.moveState == AcMoveState::PushingBack || ac.extensionCount > 0) return true;

    bool change = lf_routeCheck(engine, ac, u);
    if (lf_registrationCheck(engine, ac, u)) change = true;

    if (!u.callsign.empty() && u.callsign != ac.callsign && u.callsign != ac.registration) {
        if (!clv::gf_endsWithUnderscore(u.callsign)) {
            lf_removeGhost(engine, u.callsign);
        } else if (lf_originalOfGhostExists(engine, u.callsign)) {
            return false;
        }
        ac.callsign = u.callsign;
        ac.callsignCopy = u.callsign;
        ac.furtherText.clear();
        change = true;
    }

    if (!change || !GUID_CHANGES.value) return true;
    if (LOG.value) gf_log("          {} respawns", ac.shortLabel());
    liveryRespawn(engine, ac);
    return false;
}

void lf_completeType(clv::TrafficEngine& engine, clv::TrafficUpdate& update) {
    std::string& type = update.identity.type;
    if (type.empty()) type = engine.data().reg2Type(update.identity.registration);
    if (engine.data().isValidModel(type)) {
        lf_newLiveAc(engine, update);
        return;
    }
    std::string fromRegistration = engine.data().reg2Type(update.identity.registration);
    if (fromRegistration.empty()) return;
    type = std::move(fromRegistration);
    lf_newLiveAc(engine, update);
}

void lf_newLiveAc(clv::TrafficEngine& engine, const clv::TrafficUpdate& update) {
    const clv::AcCategory category = engine.data().category(update.identity.type);
    if (!lf_categoryAdmitted(category)) return;
    if (lf_lowAltitude(engine, update.sample.altitude)) return;
    clv::AcIdentity identity = update.identity;
    identity.callsignCopy = identity.callsign;
    identity.furtherText.clear();
    identity.searchDone = false;
    clv::AcData data = engine.data().acData(identity);
    data.hexid = update.hexid;
    data.acAngleStep = data.angleStep;
    data.groundValueA = gf_categoryGroundValueA(data.category);
    data.groundValueB = gf_categoryGroundValueB(data.category);
    engine.liveAc.emplace_back(update.sample, std::move(data), update.timestamp);
}
