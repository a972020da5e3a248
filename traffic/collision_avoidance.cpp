// AI aircraft out of the user aircraft's way, and off each other: the data step's
// collision passes and the test of a stand's neighbours.
#include <algorithm>
#include <cmath>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"
#include "traffic/traffic_engine.h"

namespace {

using namespace clv;

// A live aircraft on the ground is in the way of a user below this height above
// ground, within this distance, and this close to the line of the user's heading.
constexpr double kGroundUserAglFeet = 500.0;
constexpr double kGroundRangeNm = 1.0;
constexpr double kGroundAbeamFeet = 50.0;
// In the air: within this distance and height band, when the user lies this close
// to the line of the aircraft's heading.
constexpr double kAirRangeNm = 4.0;
constexpr double kAirBandFeet = 1000.0;
constexpr double kAirPassFeet = 700.0;

// Two aircraft overlap when this many times the sum of their radii reaches their distance.
constexpr double kOverlapFactor = 1.1;
// The user on the ground keeps a wider berth from a live aircraft than from a static one.
constexpr double kUserLiveFactor = 1.15;
constexpr double kUserStaticFactor = 1.1;

LatLon lf_position(const LiveAc& ac) { return LatLon{ac.simPosition.latitude, ac.simPosition.longitude}; }
LatLon lf_position(const StaticAc& s) { return LatLon{s.latitude, s.longitude}; }

bool lf_overlap(double radiusA, double radiusB, double distanceNm) {
    return kOverlapFactor * (radiusA + radiusB) >= distanceNm;
}

// Degrees folded into -180..180.
double lf_foldDegrees(double a) {
    a = std::fmod(a, 360.0);
    if (a > 180.0) a -= 360.0;
    if (a < -180.0) a += 360.0;
    return a;
}

double lf_typeRadius(TrafficEngine& engine, const std::string& type) {
    AcIdentity identity;
    identity.type = type;
    return engine.data().acData(identity).radius;
}

}  // namespace

bool gf_avoidUserCollision(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    if (ac.simState != AcSimState::Active) return false;
    const UserAcData& user = engine.userAcData;
    const LatLon userPos{user.latitude, user.longitude};
    const LatLon pos = lf_position(ac);
    const double d = gf_distanceNm(userPos, pos);
    bool inTheWay = false;
    if (ac.onGround) {
        if (user.altAboveGround < kGroundUserAglFeet && d <= kGroundRangeNm) {
            const double a = gf_headingDiff(user.trueHeading, gf_bearing(userPos, pos));
            inTheWay = std::sin(std::fabs(a)) * d * kFeetPerNm <= kGroundAbeamFeet;
        }
    } else if (d <= kAirRangeNm && std::fabs(ac.simPosition.altitude - user.altitude) < kAirBandFeet) {
        const double a = lf_foldDegrees((ac.simPosition.trueHeading - gf_bearing(userPos, pos)) * kRadToDeg);
        const double x = std::fabs(std::fabs(a) - 90.0);
        inTheWay = std::cos(x * kDegToRad) * d * kFeetPerNm <= kAirPassFeet;
    }
    if (!inTheWay) return false;
    if (LOG.value) gf_log("          {} removed, in the way of the user aircraft", ac.logLabel());
    removeAircraftFromSim(engine, ac);
    return true;
}

std::vector<clv::StaticAc>::iterator gf_avoidStaticCollision(clv::TrafficEngine& engine, const clv::LiveAc& ac) {
    const LatLon pos = lf_position(ac);
    auto it = std::find_if(engine.staticAc.begin(), engine.staticAc.end(), [&](const StaticAc& s) {
        return s.simState == AcSimState::Active && lf_overlap(ac.radius, s.radius, gf_distanceNm(pos, lf_position(s)));
    });
    if (it == engine.staticAc.end()) return it;
    if (LOG.value) {
        gf_log("{:8}: {:8} removed for collision avoidance with live {}", engine.parking().standName(it->standId),
               it->callsign, ac.callsign);
    }
    removeAircraftFromSim(engine, *it);
    return it;
}

std::vector<std::uint32_t>::const_iterator lf_adjacentStandConflict(clv::TrafficEngine& engine,
                                                                    const std::vector<std::uint32_t>& ids,
                                                                    const clv::Stand& stand, const clv::LiveAc& n) {
    for (auto id = ids.begin(); id != ids.end(); ++id) {
        auto other = std::find_if(engine.liveAc.begin(), engine.liveAc.end(), [&](const LiveAc& ac) {
            return ac.standId == *id && ac.simState == AcSimState::Active &&
                   (ac.moveState == AcMoveState::Parked || ac.moveState == AcMoveState::PushingBack) &&
                   ac.callsign != n.callsign;
        });
        if (other == engine.liveAc.end()) continue;
        // A stand the list does not know cannot be measured: it counts as taken.
        const Stand* adjacent = engine.parking().findStand(*id);
        if (adjacent == nullptr) return id;
        const double d = gf_distanceNm(LatLon{adjacent->latitude, adjacent->longitude},
                                       LatLon{stand.latitude, stand.longitude});
        if (lf_overlap(lf_typeRadius(engine, n.type), lf_typeRadius(engine, other->type), d)) return id;
    }
    return ids.end();
}

void gf_userCollisionPass(clv::TrafficEngine& engine, bool userOnGround, double userRadiusNm) {
    const UserAcData& user = engine.userAcData;
    const LatLon userPos{user.latitude, user.longitude};
    if (userOnGround) {
        if (!COLLISION_USER_GND.value) return;
        for (LiveAc& ac : engine.liveAc) {
            if (!ac.onGround || ac.simState != AcSimState::Active) continue;
            if (gf_distanceNm(userPos, lf_position(ac)) <= (userRadiusNm + ac.radius) * kUserLiveFactor) {
                if (LOG.value) gf_log("          {} removed, too close to the user aircraft", ac.logLabel());
                removeAircraftFromSim(engine, ac);
                return;
            }
        }
        if (user.latitude == engine.lastUserCheckLatitude && user.longitude == engine.lastUserCheckLongitude) return;
        engine.lastUserCheckLatitude = user.latitude;
        engine.lastUserCheckLongitude = user.longitude;
        for (StaticAc& s : engine.staticAc) {
            if (s.simState != AcSimState::Active) continue;
            if (gf_distanceNm(userPos, lf_position(s)) <= (userRadiusNm + s.radius) * kUserStaticFactor) {
                if (LOG.value) {
                    gf_log("{:8}: {:8} removed, too close to the user aircraft", engine.parking().standName(s.standId),
                           s.callsign);
                }
                removeAircraftFromSim(engine, s);
                return;
            }
        }
        return;
    }
    if (!COLLISION_USER_AIR.value) return;
    for (LiveAc& ac : engine.liveAc) {
        if (gf_avoidUserCollision(engine, ac)) return;
    }
}

void gf_staticCollisionPass(clv::TrafficEngine& engine) {
    if (!COLLISION_LIVE_PARKED_GND.value || engine.staticAc.empty()) return;
    for (LiveAc& ac : engine.liveAc) {
        if (!ac.onGround || ac.simState != AcSimState::Active || ac.rollingOut || ac.takeOffRun) continue;
        if (ac.moveState != AcMoveState::Taxi && ac.moveState != AcMoveState::Parking) continue;
        if (ac.simPosition.latitude == ac.lastCheckLatitude && ac.simPosition.longitude == ac.lastCheckLongitude) {
            continue;
        }
        ac.lastCheckLatitude = ac.simPosition.latitude;
        ac.lastCheckLongitude = ac.simPosition.longitude;
        gf_avoidStaticCollision(engine, ac);
    }
}
