// Movement on the ground: leaving a stand backwards (push back) or forwards
// (pulling out), taxi legs, corners driven on quadratic curves, turns in place,
// legs split where the speed changes, and the motion of every tick between steps.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"
#include "link/sim_ids.h"
#include "traffic/live_movement.h"

namespace {

using namespace clv;

constexpr double kStraightDegrees = 3.0;  // turns up to this are no turns
constexpr double kMidSampleTurnDegrees = 45.0;
constexpr double kMidSampleLegNm = 0.026998;  // 50 m
constexpr double kMidSampleMaxKnots = 43.0;
constexpr std::uint32_t kMidSampleMinGap = 600;
constexpr double kMaxCurveDegrees = 160.0;
constexpr double kSplitKnots = 5.0;
constexpr double kSplitMinMetres = 100.0;
constexpr double kPullOutDegrees = 90.0;
constexpr double kPushBackRadii = 2.5;  // of the stand, behind it
constexpr double kPullOutRadii = 2.0;   // of the aircraft, ahead of the stand
constexpr double kPushBackCurveDegrees = 90.0;
constexpr double kNearestAfterPushBackNm = 900.0;
constexpr double kTryParkKnots = 5.0;
constexpr double kTryParkNm = 0.018898;  // 35 m
constexpr double kSmallTurnDegrees = 45.0;
constexpr double kSlowTurnRatio = 1.2;
constexpr double kLargeTurnCapDegrees = 90.0;
constexpr double kLargeTurnDivisor = 30.0;
constexpr std::int32_t kLargeTurnSlack = 2000;
constexpr double kOnTargetDegrees = 0.5;
constexpr double kFlareHeightFeet = 400.0;
constexpr double kFlarePitchLimit = -0.069813;  // -4 degrees
constexpr double kTakeOffRunKnots = 43.0;
constexpr double kClimbingFpm = 256.0;
constexpr double kMinTakeOffClimbFeet = 0.1;
constexpr double kTurnedOffRunwayDegrees = 15.0;
constexpr double kRollOutSlowKnots = 90.0;
constexpr std::int32_t kParkedDelay = 3000;
constexpr std::int32_t kParkedTakeOffRunDelay = 5000;
constexpr std::int32_t kParkedAdvance = 3000;
constexpr std::uint32_t kTaxiFlapsStage = 1;
constexpr double kSecondsPerHour = 3600.0;

constexpr std::array<std::uint32_t, 7> kTaxiLights{1, 1, 0, 1, 0, 1, 0};
constexpr std::array<std::uint32_t, 7> kAfterLandingLights{1, 1, 0, 1, 0, 1, 1};

bool lf_isRotorcraft(const LiveAc& ac) { return ac.category == AcCategory::Rotorcraft; }

double lf_normalized(double h) {
    h = std::fmod(h, kTwoPi);
    if (h < 0.0) h += kTwoPi;
    if (h >= kTwoPi) h = 0.0;
    return h;
}

LatLon lf_position(const LiveAc& ac) { return LatLon{ac.simPosition.latitude, ac.simPosition.longitude}; }
LatLon lf_position(const PosSample& s) { return LatLon{s.latitude, s.longitude}; }

double lf_distanceNm(const PosSample& a, const PosSample& b) { return gf_distanceNm(lf_position(a), lf_position(b)); }


void lf_aiControlsOff(TrafficEngine& e, const LiveAc& ac) {
    if (ac.category == AcCategory::Light) return;
    QueueLock queueLock(e.sim());
    std::lock_guard lock(queueLock);
    if (!e.sim().simConnectFailed()) e.sim().setAiControlsLocked(ac.objectId, AiControlsData{});
}

// Engines on for taxiing: throttle idle, taxi flaps.
void lf_taxiEngines(TrafficEngine& e, LiveAc& ac) {
    gf_queueAcEvent(e, ac, ENGINE_AUTO_START, 0);
    gf_setThrottleStage(e, ac, 0);
    gf_setFlapsStage(e, ac, kTaxiFlapsStage);
}

std::int64_t lf_ticksAt(double nm, double knots) {
    if (!(knots > 0.0)) return kMinLegTicks;
    return std::max<std::int64_t>(kMinLegTicks, std::llround(nm * kTicksPerKnotNm / knots));
}

double lf_feet(double nm) { return nm * kFeetPerNm; }

// A sample at `to` based on `from`, at `knots`, moving (no hold mark).
PosSample lf_sampleAt(const PosSample& from, LatLon to, double knots, std::int64_t due) {
    PosSample s = from;
    s.latitude = to.lat;
    s.longitude = to.lon;
    s.groundSpeed = knots;
    s.holdMark = false;
    s.dueTick = static_cast<std::uint32_t>(due);
    return s;
}

// Turns the heading by at most `step` towards `target`, the shorter way round,
// when it lies more than half a degree off; a step never turns past the target.
void lf_turnTowards(LiveAc& ac, double target, double step) {
    const double diff = gf_headingDiff(ac.simPosition.trueHeading, target);
    if (std::fabs(diff) * kRadToDeg <= kOnTargetDegrees) return;
    const double turn = std::min(std::fabs(step), std::fabs(diff));
    ac.simPosition.trueHeading = lf_normalized(ac.simPosition.trueHeading + (diff > 0.0 ? turn : -turn));
}

bool lf_inFlare(const LiveAc& ac) { return ac.flarePhase != 0; }

}  // namespace

void gf_queueAcEvent(TrafficEngine& e, const LiveAc& ac, std::uint32_t eventId, std::uint32_t data) {
    e.sim().queueClientEvent(ClientEventCmd{ac.objectId, eventId, data});
}

// A rotorcraft keeps full throttle where others get less, and has no flaps.
void gf_setThrottleStage(TrafficEngine& e, LiveAc& ac, std::uint32_t stage) {
    if (lf_isRotorcraft(ac)) stage = kRotorcraftThrottleStage;
    if (stage == ac.throttleStage) return;
    gf_queueAcEvent(e, ac, THROTTLE_SET, kThrottleValues[stage]);
    ac.throttleStage = stage;
}

void gf_setFlapsStage(TrafficEngine& e, LiveAc& ac, std::uint32_t stage) {
    if (stage == ac.flapsStage || lf_isRotorcraft(ac)) return;
    gf_queueAcEvent(e, ac, FLAPS_SET, kFlapsValues[stage]);
    ac.flapsStage = stage;
}

void gf_queueLightSet(clv::TrafficEngine& engine, std::uint32_t objectId, const std::array<std::uint32_t, 7>& values) {
    static constexpr std::array<std::uint32_t, 7> kOrder{clv::NAV_LIGHTS_SET,     clv::BEACON_LIGHTS_SET,
                                                         clv::LANDING_LIGHTS_SET, clv::TAXI_LIGHTS_SET,
                                                         clv::STROBES_SET,        clv::LOGO_LIGHTS_SET,
                                                         clv::CABIN_LIGHTS_SET};
    clv::QueueLock queueLock(engine.sim());
    std::lock_guard lock(queueLock);
    for (std::size_t i = 0; i < kOrder.size(); ++i)
        engine.sim().appendClientEventLocked(clv::ClientEventCmd{objectId, kOrder[i], values[i]});
}

bool clv::gf_bezierPoint(const GroundCurve& curve, LatLon& point, double& heading, double t) {
    if (std::isnan(curve.start) || std::isnan(curve.controlEast) || std::isnan(curve.controlNorth) ||
        std::isnan(curve.end) || std::isnan(t))
        return false;
    const double lo = std::min(curve.start, curve.end);
    const double hi = std::max(curve.start, curve.end);
    if (t < lo || t > hi || curve.end == curve.start) return false;
    const double u = (t - curve.start) / (curve.end - curve.start);
    const double north = 2.0 * u * (1.0 - u) * curve.controlNorth + u * u * curve.endNorth;
    const double east = 2.0 * u * (1.0 - u) * curve.controlEast + u * u * curve.endEast;
    const double dNorth = 2.0 * (1.0 - u) * curve.controlNorth + 2.0 * u * (curve.endNorth - curve.controlNorth);
    const double dEast = 2.0 * (1.0 - u) * curve.controlEast + 2.0 * u * (curve.endEast - curve.controlEast);
    heading = lf_normalized(std::atan2(dEast, dNorth));
    point.lat = curve.originLatitude + north / kCurveMetresPerDegree;
    point.lon = curve.originLongitude + east / (std::cos(curve.originLatitude * kDegToRad) * kCurveMetresPerDegree);
    return true;
}

void nextPosGround(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    try {
        switch (ac.moveState) {
            case AcMoveState::PushingBack:
                --ac.pushBackCountdown;
                if (ac.pushBackCountdown == 1) {
                    if (!ac.sideChosen) {
                        ac.samples.pop_back();  // the side end: the push back ends straight
                    } else {
                        if (ac.tailToTheLeft) ac.samples.back() = ac.alternativePushBackEnd;
                        lf_startCurve(ac);
                        ac.curveParameterStep =
                            1.0 / std::max(1.0, std::round(kPushBackCurveDegrees / ac.angleStep / 100.0));
                        ac.curveAngle = kPushBackCurveDegrees;
                    }
                } else if (ac.pushBackCountdown < 1) {
                    ac.targetHeading = ac.simPosition.trueHeading;
                    lf_taxiEngines(engine, ac);
                    gf_setMoveState(ac, AcMoveState::PushedBack);
                    ac.pushBackCountdown = 1;
                    ac.nearestAfterPushBack = kNearestAfterPushBackNm;
                    ac.extensionCount = 0;
                    ac.leavingStand = false;
                }
                break;
            case AcMoveState::PushedBack: break;
            case AcMoveState::Parked:
                ac.maxDelay = ac.takeOffRun ? kParkedTakeOffRunDelay : kParkedDelay;
                ac.maxAdvance = kParkedAdvance;
                if (ac.leavingStand) {
                    const LatLon stand = ac.standId != 0 ? LatLon{ac.standLatitude, ac.standLongitude} : lf_position(ac);
                    const double a = std::round(
                        gf_headingDiff(ac.standHeading, gf_bearing(stand, lf_position(ac.samples.back()))) * kRadToDeg);
                    if (std::fabs(a) < kPullOutDegrees) {
                        lf_pullOut(engine, ac);
                    } else {
                        lf_startPushback(engine, ac);
                    }
                }
                break;
            default: {
                if (ac.samples.size() >= 2 && !ac.samples[1].holdMark) {
                    // No corner towards a position the feed jumped to: it is no leg.
                    if (ac.samples.size() >= 3 && !ac.samples[2].holdMark && !ac.samples[2].jumpMark) {
                        const double t = std::fabs(lf_nextLegTurn(ac) * kRadToDeg);
                        if (t > kStraightDegrees) {
                            const PosSample& s0 = ac.samples[0];
                            const PosSample& s1 = ac.samples[1];
                            if (t > kMidSampleTurnDegrees && lf_distanceNm(s0, s1) > kMidSampleLegNm &&
                                s0.groundSpeed <= kMidSampleMaxKnots && s1.dueTick >= s0.dueTick + kMidSampleMinGap) {
                                // A long leg into a sharp corner: the curve starts halfway.
                                lf_insertMidSample(ac);
                            } else if (t <= kMaxCurveDegrees && (ac.samples[2].latitude != s0.latitude ||
                                                                 ac.samples[2].longitude != s0.longitude)) {
                                lf_startCurve(ac);
                                ac.curveAngle = t;
                            } else {
                                lf_splitOnSpeedChange(ac);
                            }
                        } else {
                            lf_splitOnSpeedChange(ac);
                        }
                    } else if (ac.samples.size() >= 3 || ac.extensionCount < 1) {
                        lf_splitOnSpeedChange(ac);
                    }
                }
                if (!ac.curve.isSet()) {
                    ac.turnInPlaceAngle = gf_headingDiffDegrees(ac.targetHeading, ac.simPosition.trueHeading);
                    ac.turningInPlace = ac.turnInPlaceAngle > kStraightDegrees;
                } else {
                    ac.turningInPlace = false;
                }
                const AcMoveState before = ac.previousMoveState;
                const bool cameToStop = before == AcMoveState::Taxi || before == AcMoveState::TakeOff ||
                                        before == AcMoveState::Flying || before == AcMoveState::Parking;
                if (ac.samples.back().holdMark && ac.moveState == AcMoveState::Taxi &&
                    engine.parking().parkingActive() && (ac.towed || cameToStop)) {
                    if (ac.extensionCount > 0) {
                        engine.parking().try2Park(engine, ac, ac.landed);
                    } else if (ac.samples.size() >= 2 && ac.samples[1].groundSpeed <= kTryParkKnots &&
                               gf_distanceNm(lf_position(ac), lf_position(ac.samples.back())) <= kTryParkNm) {
                        engine.parking().try2Park(engine, ac, false);
                    }
                }
                break;
            }
        }
        if (ac.samples.size() >= 2) lf_turnAndRetime(ac);
    } catch (const std::exception& x) {
        gf_logMarked("{}: {}, {}, sz:{}", "nextPosGround", x.what(), ac.logLabel(), ac.samples.size());
        throw;
    }
}

bool lf_takeGroundJump(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    PosSample& jump = ac.samples.at(1);
    const bool taxiing = ac.moveState == AcMoveState::Taxi && ac.onGround && ac.simState == AcSimState::Active &&
                         !ac.takeOffRun && !ac.rollingOut && !ac.landing && ac.extensionCount <= 0;
    if (!taxiing) {
        jump.jumpMark = false;  // driven as any leg
        return false;
    }
    if (gf_tickNow() + kMinLegTicks < std::int64_t{jump.dueTick}) {
        // The feed's lines before the jump were stale: it stands where the feed had
        // it until the jump is played.
        PosSample wait = ac.samples[0];
        wait.holdMark = true;
        wait.jumpMark = false;
        wait.groundSpeed = 0.0;
        wait.feedTime = 0.0;
        wait.dueTick = jump.dueTick;
        ac.samples.insert(ac.samples.begin() + 1, wait);
        return false;
    }
    // Driving there would race across the airport: the aircraft leaves the simulator
    // once and comes back where the feed went on.
    gf_respawnAtJump(engine, ac);
    return true;
}

void lf_startPushback(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    ac.extensionCount = 0;
    const double back = lf_normalized(ac.standHeading + kPi);
    const double standRadius = engine.parking().standRadiusNm(ac.standId).value_or(ac.radius);
    const LatLon here = lf_position(ac);
    const LatLon p1 = gf_destination(here, back, lf_feet(kPushBackRadii * standRadius));
    const double b = ac.groundValueB;
    const std::int64_t now = gf_tickNow();
    PosSample& first = ac.samples.front();
    first.groundSpeed = b;
    ac.targetHeading = ac.simPosition.trueHeading;
    ac.turningInPlace = false;
    const std::int64_t toP1 = lf_ticksAt(gf_distanceNm(here, p1), b);
    const PosSample end = lf_sampleAt(first, p1, b, now + toP1);
    ac.samples.resize(1);
    ac.samples.push_back(end);
    lf_insertMidSample(ac);

    const LatLon p2 = gf_destination(p1, back + kPi / 2.0, lf_feet(ac.radius));
    const LatLon p3 = gf_destination(p1, back - kPi / 2.0, lf_feet(ac.radius));
    const std::int64_t sideDue = now + toP1 / 2 + lf_ticksAt(gf_distanceNm(lf_position(ac.samples[1]), p2), b);
    ac.samples.push_back(lf_sampleAt(end, p3, b, sideDue));
    ac.alternativePushBackEnd = lf_sampleAt(end, p2, b, sideDue);

    gf_queueLightSet(engine, ac.objectId, kTaxiLights);
    gf_setMoveState(ac, AcMoveState::PushingBack);
    ac.pushBackCountdown = 2;
    ac.sideChosen = false;
}

void lf_pullOut(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    ac.leavingStand = false;
    ac.extensionCount = 0;
    const LatLon stand = ac.standId != 0 ? LatLon{ac.standLatitude, ac.standLongitude} : lf_position(ac);
    const LatLon target = gf_destination(stand, ac.standHeading, lf_feet(kPullOutRadii * ac.radius));
    const double b = ac.groundValueB;
    PosSample& first = ac.samples.front();
    first.groundSpeed = b;
    const PosSample ahead = lf_sampleAt(first, target, b,
                                        gf_tickNow() + lf_ticksAt(gf_distanceNm(lf_position(ac), target), b));
    ac.samples.resize(1);
    ac.samples.push_back(ahead);
    gf_setMoveState(ac, AcMoveState::Taxi);
    ac.targetHeading = ac.simPosition.trueHeading;
    gf_queueLightSet(engine, ac.objectId, kTaxiLights);
    lf_taxiEngines(engine, ac);
    if (LOG.value) gf_log("{:8}: {:8} pulling out", engine.parking().standName(ac.standId), ac.callsign);
}

void lf_startCurve(clv::LiveAc& ac) {
    using namespace clv;
    PosSample& s2 = ac.samples.at(2);
    const PosSample& s0 = ac.samples[0];
    const PosSample& s1 = ac.samples[1];
    if (s2.groundSpeed == 0.0) s2.groundSpeed = (s0.groundSpeed + s1.groundSpeed) / 2.0;
    GroundCurve& c = ac.curve;
    c.originLatitude = ac.simPosition.latitude;
    c.originLongitude = ac.simPosition.longitude;
    const double cosLatitude =
        std::cos((c.originLatitude > 180.0 ? c.originLatitude - 360.0 : c.originLatitude) * kDegToRad);
    c.controlNorth = (s1.latitude - c.originLatitude) * kCurveMetresPerDegree;
    c.controlEast = (s1.longitude - c.originLongitude) * cosLatitude * kCurveMetresPerDegree;
    c.endNorth = (s2.latitude - c.originLatitude) * kCurveMetresPerDegree;
    c.endEast = (s2.longitude - c.originLongitude) * cosLatitude * kCurveMetresPerDegree;
    c.start = 0.0;
    c.end = 1.0;
    ac.curveParameter = 0.0;
    ac.samples.erase(ac.samples.begin() + 1);  // the curve replaces the corner sample
}

double lf_nextLegTurn(const clv::LiveAc& ac) {
    if (ac.samples.size() < 3) return 0.0;
    const double leg = gf_bearing(lf_position(ac.samples[1]), lf_position(ac.samples[2]));
    return gf_headingDiff(ac.simPosition.trueHeading, leg);
}

void lf_splitOnSpeedChange(clv::LiveAc& ac) {
    const clv::PosSample& s0 = ac.samples.at(0);
    const clv::PosSample& s1 = ac.samples.at(1);
    if ((s0.groundSpeed > 0.0 || s1.groundSpeed > 0.0) && std::fabs(s0.groundSpeed - s1.groundSpeed) > kSplitKnots &&
        lf_distanceNm(s0, s1) * clv::kMetresPerNm >= kSplitMinMetres)
        lf_insertMidSample(ac);
}

void lf_insertMidSample(clv::LiveAc& ac) {
    const clv::PosSample& s0 = ac.samples.at(0);
    const clv::PosSample& s1 = ac.samples.at(1);
    clv::PosSample mid = s0;
    mid.latitude = (s0.latitude + s1.latitude) / 2.0;
    mid.longitude = (s0.longitude + s1.longitude) / 2.0;
    mid.groundSpeed = (s0.groundSpeed + s1.groundSpeed) / 2.0;
    mid.altitude = (s0.altitude + s1.altitude) / 2.0;
    mid.dueTick = static_cast<std::uint32_t>((std::uint64_t{s0.dueTick} + s1.dueTick) / 2);
    mid.airborne = mid.altitude > 0.0;
    if (!mid.airborne) mid.altitude = 0.0;
    mid.holdMark = false;
    ac.samples.insert(ac.samples.begin() + 1, mid);
}

void lf_turnAndRetime(clv::LiveAc& ac) {
    using namespace clv;
    ac.acAngleStep = ac.angleStep;
    const PosSample& s0 = ac.samples.at(0);
    const PosSample& s1 = ac.samples.at(1);
    const double legMetres = lf_distanceNm(s0, s1) * kMetresPerNm;
    if (!s1.holdMark) {
        const std::int64_t n = lf_legTicks(ac, lf_legSpeed(ac));
        const bool curve = ac.curve.isSet();
        if (!curve && !ac.turningInPlace) {
            lf_retimeNext(ac, n);
            return;
        }
        const double a = curve ? ac.curveAngle : ac.turnInPlaceAngle;
        if (a > 0.0 && legMetres > 0.0) {
            const double m = std::max(1.0, std::round(a / ac.angleStep / 100.0));
            const double r = static_cast<double>(n) / m;
            if (a <= kSmallTurnDegrees) {
                const double f = r >= kSlowTurnRatio ? std::min({r * 10.0 / a, r * 30.0 / legMetres, r}) : r;
                if (f != 0.0) ac.acAngleStep /= f;
            } else {
                ac.acAngleStep *= std::min(r, std::min(a, kLargeTurnCapDegrees) / kLargeTurnDivisor);
                if (a >= kLargeTurnCapDegrees) {
                    ac.maxAdvance = std::max(ac.maxAdvance, kLargeTurnSlack);
                    ac.maxDelay = std::max(ac.maxDelay, kLargeTurnSlack);
                }
            }
            lf_retimeNext(ac, n);
            return;
        }
    }
    // A hold, or nothing to turn or cover: the second sample keeps its gap to the first.
    const std::int64_t now = gf_tickNow();
    const std::int64_t gap = std::max<std::int64_t>(kMinLegTicks, std::int64_t{s1.dueTick} - std::int64_t{s0.dueTick});
    const std::int64_t due = std::max(std::int64_t{s0.dueTick} + gap, now + kMinLegTicks);
    lf_retimeNext(ac, due - now);
}

void lf_moveTick(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    AiPositionData& p = ac.simPosition;
    bool moved = false;
    if (ac.curve.isSet()) {
        ac.curveParameter = std::min(ac.curveParameter + ac.curveParameterStep, kCurveParameterEnd);
        LatLon point;
        double curveHeading = 0.0;
        if (!gf_bezierPoint(ac.curve, point, curveHeading, ac.curveParameter)) {
            gf_log("{} error in curve at index: {:.2F}", ac.callsign, ac.curveParameter);
        } else {
            p.latitude = point.lat;
            p.longitude = point.lon;
            if (ac.moveState == AcMoveState::PushingBack) curveHeading = lf_normalized(curveHeading + kPi);
            lf_turnTowards(ac, curveHeading, ac.acAngleStep);
        }
        moved = true;
    }
    if (!moved) {
        switch (ac.moveState) {
            case AcMoveState::TakeOff:
            case AcMoveState::Flying:
            case AcMoveState::Parked:
            case AcMoveState::Birth:
                p.trueHeading = lf_normalized(p.trueHeading + ac.headingStep);
                p.latitude += ac.latitudeStep;
                p.longitude += ac.longitudeStep;
                break;
            default:
                if (ac.moveState == AcMoveState::Parking || ac.turningInPlace)
                    lf_turnTowards(ac, ac.targetHeading, ac.acAngleStep);
                if (ac.moveState != AcMoveState::PushedBack) {
                    p.latitude += ac.latitudeStep;
                    p.longitude += ac.longitudeStep;
                }
                break;
        }
    }
    if (ac.moveState != AcMoveState::TakeOff) {
        if (ac.heightAboveGround <= kFlareHeightFeet && ac.landing && !ac.onGround) engine.flight().flareStep(engine, ac);
        if (ac.deRotating) {
            p.pitch += ac.pitchStep;
            const bool passed = ac.pitchStep >= 0.0 ? p.pitch >= ac.staticPitch : p.pitch <= ac.staticPitch;
            if (passed) {
                p.pitch = ac.staticPitch;
                ac.pitchStep = 0.0;
                p.bank = 0.0;
                ac.bankStep = 0.0;
                ac.deRotating = false;
                ac.flarePhase = 0;
            }
            p.bank += ac.bankStep;
        } else if (!lf_inFlare(ac) && ac.onGround) {
            p.pitch = ac.staticPitch;
            p.bank = 0.0;
        } else {
            p.pitch += ac.pitchStep;
            if (lf_inFlare(ac)) p.pitch = std::max(p.pitch, kFlarePitchLimit);
            p.bank += ac.bankStep;
            p.altitude += ac.altitudeStep;
        }
    } else {
        engine.flight().climbOutStep(engine, ac);
    }
    if (p.longitude > 180.0) p.longitude -= 360.0;
    if (p.longitude < -180.0) p.longitude += 360.0;
}

void lf_groundStep(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    if (ac.moveState == AcMoveState::Parked || ac.moveState == AcMoveState::Flying) gf_setMoveState(ac, AcMoveState::Taxi);
    const bool rotorcraft = lf_isRotorcraft(ac);
    const PosSample& s0 = ac.samples.at(0);
    const PosSample& s1 = ac.samples.at(1);
    if (!ac.takeOffRun) {
        if (ac.rollingOut) {
            lf_rollOutStep(engine, ac);
        } else {
            gf_setThrottleStage(engine, ac, rotorcraft ? kRotorcraftThrottleStage : 0);
        }
    } else {
        std::uint32_t stage = kRotorcraftThrottleStage;
        if (!rotorcraft) {
            const double g1 = s0.groundSpeed;
            const double g2 = s1.groundSpeed;
            if (g1 >= 25.0 || g2 >= 30.0) {
                stage = 4;
            } else if (g1 >= 20.0 || g2 >= 25.0) {
                stage = 2;
            } else if (g1 >= 15.0 || g2 >= 20.0) {
                stage = 1;
            } else {
                stage = 0;
            }
        }
        gf_setThrottleStage(engine, ac, stage);
    }
    if (!ac.rollingOut && !ac.takeOffRun) lf_shrinkPhaseSlack(ac);
    if (!lf_inFlare(ac) && ac.moveState != AcMoveState::TakeOff) {
        ac.simPosition.pitch = ac.staticPitch;
        ac.pitchStep = 0.0;
        ac.simPosition.bank = 0.0;
        ac.bankStep = 0.0;
    }
    const auto n =
        static_cast<double>(std::max<std::int64_t>(kMinLegTicks, std::int64_t{s1.dueTick} - gf_tickNow()));
    if (ac.curve.isSet()) ac.curveParameterStep = 1.0 / n;
    ac.trueAirspeed = ac.moveState == AcMoveState::PushingBack ? -s1.groundSpeed : s1.groundSpeed;
    if (ac.takeOffRun && ac.moveState != AcMoveState::TakeOff && s0.groundSpeed >= kTakeOffRunKnots) {
        FlightPort& flight = engine.flight();
        const bool someSlow = std::any_of(ac.samples.begin() + 1, ac.samples.end(),
                                          [](const PosSample& s) { return s.verticalSpeed <= kClimbingFpm; });
        if (someSlow) {
            if (!flight.takeOffSpeedReached(engine, ac) || !flight.allAirborneAhead(engine, ac)) return;
            ac.altitudeStep = ac.groundValueA;
        } else if (flight.allAirborneAhead(engine, ac)) {
            ac.altitudeStep = std::max(s1.altitude - ac.simPosition.altitude, kMinTakeOffClimbFeet) / n;
        } else {
            ac.altitudeStep = ac.groundValueA;
        }
        flight.startTakeOff(engine, ac);
    }
}

void lf_rollOutStep(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    const bool rotorcraft = lf_isRotorcraft(ac);
    // Headings are compared the short way round: a runway near north must not read as a turn.
    const double d = gf_headingDiffDegrees(ac.simPosition.trueHeading, ac.touchDownHeading);
    if (d >= kTurnedOffRunwayDegrees) {
        if (ac.flapsStage != 0 && ac.flapsStage != kNoFlapsStage) gf_setFlapsStage(engine, ac, 0);
        ac.rollingOut = false;
        ac.touchDownHeading = 0.0;
        gf_setThrottleStage(engine, ac, rotorcraft ? kRotorcraftThrottleStage : 0);
        if (!rotorcraft) gf_queueAcEvent(engine, ac, SPOILERS_SET, 0);
        lf_aiControlsOff(engine, ac);
        gf_queueLightSet(engine, ac.objectId, kAfterLandingLights);
        return;
    }
    if (ac.samples.front().groundSpeed <= kRollOutSlowKnots) {
        if (!rotorcraft) gf_queueAcEvent(engine, ac, SPOILERS_SET, 0);
        lf_aiControlsOff(engine, ac);
        gf_setFlapsStage(engine, ac, kTaxiFlapsStage);
    }
}
