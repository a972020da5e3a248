// The step of a live aircraft when its first sample is due, the re-timing of the
// next sample, and the extension of a stream that ran dry.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/parameters.h"
#include "traffic/live_movement.h"

namespace {

using namespace clv;

// Max advance and max delay: the widest at the start of a phase, shrinking by a
// step while the aircraft moves steadily, never below the narrowest.
constexpr std::int32_t kPhaseSlack = 3000;
constexpr std::int32_t kTakeOffRunDelay = 5000;
constexpr std::int32_t kSlackStep = 100;
constexpr std::int32_t kNarrowestSlack = 1000;

// Extension of a dry stream.
constexpr double kNeighbourReach = 1.2;           // times the sum of both radii
constexpr std::uint32_t kTicksPerMinute = 6000;
constexpr std::uint32_t kAirExtensionTicks = 800;
constexpr std::int32_t kAirExtensionSamples = 8;
constexpr std::int32_t kGroundExtensionSamples = 10;
constexpr double kRangeMarginNm = 0.5;
// The user aircraft's position is not known yet while it lies this close to 0,0.
constexpr double kUnknownUserLatitude = 0.0009;
constexpr double kUnknownUserLongitude = 0.05;
constexpr double kGroundExtensionSeconds = 3.0;
constexpr double kAirExtensionSeconds = 8.0;
constexpr double kAirSlowdown = 0.95;
constexpr double kLandingSlowdown = 0.90;
constexpr std::int32_t kLandingKeepSpeedBelow = 4;
constexpr double kLandingDescentFpm = -667.0;
constexpr double kLandingDropFeetPerSecond = 10.005;
constexpr double kRotationClimbFpm = 1500.0;
constexpr double kRotationClimbFeetPerSecond = 25.0;
constexpr double kSecondsPerHour = 3600.0;
// Re-timing: a late aircraft catches up at most this much faster than its leg speed
// (so it never drives faster than the speed its samples say by half).
constexpr double kCatchUpFactor = 1.4;

// Air steps of the base flight port.
constexpr double kAirTurnFactor = 3.0;  // the fastest turn: three angle steps per tick

bool lf_isRotorcraft(const LiveAc& ac) { return ac.category == AcCategory::Rotorcraft; }

void lf_shrinkSlack(std::int32_t& v) { v = std::max(kNarrowestSlack, v - kSlackStep); }

bool lf_categorySwitchedOff(AcCategory c) {
    switch (c) {
        case AcCategory::Light: return !LIGHT_AIRCRAFT.value;
        case AcCategory::HighPerf: return !HIGH_PERF_AIRCRAFT.value;
        case AcCategory::Rotorcraft: return !HELICOPTERS.value;
        default: return false;
    }
}

bool lf_userPositionUnknown(const UserAcData& user) {
    return user.latitude >= 0.0 && user.latitude <= kUnknownUserLatitude && user.longitude >= 0.0 &&
           user.longitude <= kUnknownUserLongitude;
}

// Another taxiing aircraft on the ground close enough that this one, waiting at
// the end of its stream, stands in its way.
bool lf_taxiingNeighbour(TrafficEngine& e, const LiveAc& ac) {
    const LatLon here{ac.simPosition.latitude, ac.simPosition.longitude};
    return std::any_of(e.liveAc.begin(), e.liveAc.end(), [&](const LiveAc& other) {
        if (&other == &ac || other.simState != AcSimState::Active || !other.onGround ||
            other.moveState != AcMoveState::Taxi || other.objectId == ac.objectId)
            return false;
        const double d = gf_distanceNm(here, LatLon{other.simPosition.latitude, other.simPosition.longitude});
        return d <= kNeighbourReach * (ac.radius + other.radius);
    });
}

double lf_runwaySpeed(double gs, double& verticalSpeed) {
    if (gs <= 30.0) return 40.0;
    if (gs <= 60.0) return 80.0;
    if (gs <= 100.0) return 110.0;
    if (gs <= 140.0) {
        verticalSpeed = 600.0;
        return 150.0;
    }
    if (gs <= 160.0) {
        verticalSpeed = 1200.0;
        return 170.0;
    }
    verticalSpeed = 2400.0;
    return 180.0;
}

double lf_rollOutSpeed(double gs, double& verticalSpeed) {
    if (gs >= 140.0) {
        verticalSpeed = 0.0;
        return 100.0;
    }
    if (gs >= 100.0) return 80.0;
    if (gs >= 80.0) return 60.0;
    if (gs >= 60.0) return 30.0;
    return 20.0;
}

void lf_logAndPass(const char* function, const std::exception& x, const LiveAc& ac) {
    gf_logMarked("{}: {} {}, sz:{}, fs:{}, st:{}", function, x.what(), ac.logLabel(), ac.samples.size(),
                 moveStateName(ac.moveState), simStateName(ac.simState));
}

}  // namespace

namespace clv {

FlightPort& TrafficEngine::flight() const {
    static FlightPort straightFlight;
    return ports.flight != nullptr ? *ports.flight : straightFlight;
}

void FlightPort::nextPosAir(TrafficEngine&, LiveAc& ac) { lf_retimeNext(ac, lf_legTicks(ac, lf_legSpeed(ac))); }

void FlightPort::airStep(TrafficEngine&, LiveAc& ac) {
    const PosSample& s1 = ac.samples.at(1);
    const double n = static_cast<double>(std::max<std::int64_t>(kMinLegTicks, std::int64_t{s1.dueTick} - gf_tickNow()));
    gf_setMoveState(ac, AcMoveState::Flying);
    ac.altitudeStep = (s1.altitude - ac.simPosition.altitude) / n;
    ac.verticalSpeed = s1.verticalSpeed;
    ac.trueAirspeed = s1.trueAirspeed > 0.0 ? s1.trueAirspeed : s1.groundSpeed;
    const double turn = gf_headingDiff(ac.simPosition.trueHeading, ac.targetHeading) / n;
    const double fastest = kAirTurnFactor * ac.angleStep;
    ac.headingStep = std::clamp(turn, -fastest, fastest);
    ac.pitchStep = 0.0;
    ac.bankStep = 0.0;
}

void LiveMovement::nextPosMain(TrafficEngine& engine, LiveAc& ac) { ::nextPosMain(engine, ac); }
void LiveMovement::moveTick(TrafficEngine& engine, LiveAc& ac) { lf_moveTick(engine, ac); }
void LiveMovement::decodeExisting(TrafficEngine& engine, LiveAc& ac, const PosSample& sample) {
    PosSample s = sample;
    ::decodeExisting(engine, ac, s);
}

}  // namespace clv

double gf_headingDiffDegrees(double a, double b) { return std::fabs(gf_headingDiff(a, b)) * clv::kRadToDeg; }

void nextPosMain(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using clv::AcMoveState;
    try {
        for (;;) {
            if (ac.samples.size() >= 2) {
                if (!ac.onGround && !lf_isRotorcraft(ac) && ac.samples[1].holdMark) {
                    // A hold in the air cannot be flown: the aircraft flies on to the next sample.
                    ac.samples.erase(ac.samples.begin() + 1);
                    continue;
                }
                if (ac.samples[1].jumpMark && lf_takeGroundJump(engine, ac)) return;
                nextPos(engine, ac);
                return;
            }
            if (lf_extendStream(engine, ac)) continue;
            if (ac.moveState != AcMoveState::Parked) {
                engine.parking().learnSoftOption(engine, ac, ac.moveState != AcMoveState::Flying);
                removeAircraftFromSim(engine, ac);
            }
            return;
        }
    } catch (const std::exception& x) {
        lf_logAndPass("nextPosMain", x, ac);
        throw;
    }
}

void nextPos(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using namespace clv;
    ac.curve = GroundCurve{};
    ac.curveParameter = 0.0;
    {
        const PosSample& s0 = ac.samples.at(0);
        PosSample& s1 = ac.samples.at(1);
        if (s1.latitude == s0.latitude && s1.longitude == s0.longitude) s1.holdMark = true;
        if (!s1.holdMark) ac.targetHeading = gf_bearing(LatLon{s0.latitude, s0.longitude}, LatLon{s1.latitude, s1.longitude});
    }
    if (ac.onGround) {
        nextPosGround(engine, ac);
    } else {
        engine.flight().nextPosAir(engine, ac);
    }
    if (ac.simState != AcSimState::Active) return;  // removed during the step

    const PosSample& s1 = ac.samples.at(1);
    if (s1.holdMark) {
        ac.latitudeStep = 0.0;
        ac.longitudeStep = 0.0;
        if (!ac.rollingOut && !ac.takeOffRun) lf_shrinkPhaseSlack(ac);
    } else {
        const auto n =
            static_cast<double>(std::max<std::int64_t>(kMinLegTicks, std::int64_t{s1.dueTick} - gf_tickNow()));
        ac.latitudeStep = (s1.latitude - ac.simPosition.latitude) / n;
        ac.longitudeStep = (s1.longitude - ac.simPosition.longitude) / n;
        if (ac.onGround) {
            lf_groundStep(engine, ac);
        } else {
            engine.flight().airStep(engine, ac);
        }
    }
    if (ac.samples.empty()) {
        removeAircraftFromSim(engine, ac);
        throw std::runtime_error(fmt::format("{} {} fs:{}, st:{} stream at the end is empty?", "nextPos", ac.logLabel(),
                                             moveStateName(ac.moveState), simStateName(ac.simState)));
    }
    ac.samples.pop_front();
}

static double lf_reportedLegSpeed(const clv::LiveAc& ac) {
    const clv::PosSample& s0 = ac.samples.at(0);
    const clv::PosSample& s1 = ac.samples.at(1);
    if (s0.groundSpeed != 0.0 || s1.groundSpeed != 0.0) return (s0.groundSpeed + s1.groundSpeed) / 2.0;
    const double d = gf_distanceNm(s0.latitude, s0.longitude, s1.latitude, s1.longitude);
    const auto gap = static_cast<double>(
        std::max<std::int64_t>(clv::kMinLegTicks, std::int64_t{s1.dueTick} - std::int64_t{s0.dueTick}));
    return std::max(1.0, d * clv::kTicksPerKnotNm / gap);
}

double lf_feedLegSpeed(const clv::LiveAc& ac) {
    const clv::PosSample& s0 = ac.samples.at(0);
    const clv::PosSample& s1 = ac.samples.at(1);
    if (ac.extensionCount > 0 || s1.holdMark) return 0.0;
    std::int64_t start = ac.firstFeedDue;
    if (start == 0) {
        // A ground leg to a line of the feed from where the engine put the aircraft
        // (created, held, pushed back): the feed's time for it is what is left until
        // the line is due.
        if (!ac.onGround || s1.feedTime <= 0.0) return 0.0;
        start = gf_tickNow();
    }
    if (std::int64_t{s1.dueTick} <= start) return 0.0;
    const double d = gf_distanceNm(s0.latitude, s0.longitude, s1.latitude, s1.longitude);
    const auto gap = static_cast<double>(std::max<std::int64_t>(clv::kMinLegTicks, std::int64_t{s1.dueTick} - start));
    const double bound =
        std::max(clv::kFeedSpeedBoundKnots, clv::kFeedSpeedBoundFactor * std::max(s0.groundSpeed, s1.groundSpeed));
    return std::min(d * clv::kTicksPerKnotNm / gap, bound);
}

// Never slower than the feed's own positions and times say.
double lf_legSpeed(const clv::LiveAc& ac) { return std::max(lf_reportedLegSpeed(ac), lf_feedLegSpeed(ac)); }

std::int64_t lf_legTicks(const clv::LiveAc& ac, double knots) {
    const clv::PosSample& s0 = ac.samples.at(0);
    const clv::PosSample& s1 = ac.samples.at(1);
    const double d = gf_distanceNm(s0.latitude, s0.longitude, s1.latitude, s1.longitude);
    if (!(knots > 0.0)) return clv::kMinLegTicks;
    return std::max<std::int64_t>(clv::kMinLegTicks, std::llround(d * clv::kTicksPerKnotNm / knots));
}

void lf_retimeNext(clv::LiveAc& ac, std::int64_t ticks) {
    clv::PosSample& s1 = ac.samples.at(1);
    const std::int64_t now = gf_tickNow();
    std::int64_t due = 0;
    if (ac.extensionCount > 0) {
        due = std::max(now + ticks, now);
        ac.firstFeedDue = 0;
    } else {
        // The sample comes at the feed's time: never earlier (the playback would run
        // ahead of the feed), later only as far as the leg cannot be covered by then
        // even catching up, and never beyond the max delay.
        const double feedKnots = lf_feedLegSpeed(ac);
        if (ac.onGround && feedKnots > s1.groundSpeed) s1.groundSpeed = feedKnots;  // what it really drives
        const std::int64_t f = s1.dueTick;
        const std::int64_t fastest = std::llround(static_cast<double>(std::max<std::int64_t>(ticks, 0)) / kCatchUpFactor);
        due = std::max(f, now + fastest);
        if (due > f + ac.maxDelay) due = f + ac.maxDelay;
        due = std::max(due, now);
        ac.firstFeedDue = static_cast<std::uint32_t>(f);  // the first sample of the next leg
    }
    s1.dueTick = static_cast<std::uint32_t>(due);
}

bool lf_extendStream(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using clv::AcMoveState;
    if (ac.moveState == AcMoveState::Parking) engine.parking().arriveAtStand(engine, ac);
    if (ac.samples.empty()) return false;
    const bool taxiing = ac.moveState == AcMoveState::Taxi && !ac.takeOffRun && !ac.rollingOut;
    if (ac.moveState != AcMoveState::Parking && (ac.moveState == AcMoveState::PushedBack || taxiing)) {
        if (lf_taxiingNeighbour(engine, ac)) {
            // It stands in the way of another aircraft: it goes.
            ac.holding = false;
            ac.holdingSince = 0;
            return false;
        }
        const auto now = static_cast<std::uint32_t>(gf_tickNow());
        if (ac.holding && (now - ac.holdingSince) / kTicksPerMinute >=
                              static_cast<std::uint32_t>(std::max(0, static_cast<int>(MAX_HOLDING_MINUTES.value)))) {
            return false;
        }
        if (!ac.holding) {
            ac.holding = true;
            ac.holdingSince = now;
        }
        ac.extensionCount = 1;
        clv::PosSample hold = ac.samples.front();
        hold.dueTick += clv::kGroundHoldTicks;
        hold.groundSpeed = 0.0;
        hold.holdMark = true;
        ac.samples.push_back(hold);
        return true;
    }
    if (ac.extensionCount < 0) return false;
    if (ac.extensionCount > 1) {
        lf_addExtrapolatedSample(ac, ac.extensionCount - 1);
        return true;
    }
    if (ac.extensionCount == 1) {
        ac.extensionCount = -1;
        return false;
    }
    if (lf_categorySwitchedOff(ac.category)) return false;
    if (!ac.onGround) {
        const clv::UserAcData& user = engine.userAcData;
        if (!lf_userPositionUnknown(user)) {
            const double d =
                gf_distanceNm(user.latitude, user.longitude, ac.simPosition.latitude, ac.simPosition.longitude);
            if (d >= lateralRangeNm.load() - kRangeMarginNm) return false;
        }
        lf_addExtrapolatedSample(ac, kAirExtensionSamples);
        return true;
    }
    lf_addExtrapolatedSample(ac, ac.moveState == AcMoveState::Parked ? 1 : kGroundExtensionSamples);
    return true;
}

void lf_addExtrapolatedSample(clv::LiveAc& ac, std::int32_t count) {
    using namespace clv;
    ac.extensionCount = count;
    const PosSample& first = ac.samples.front();
    PosSample s = first;
    const bool parked = ac.moveState == AcMoveState::Parked;
    bool rolls = false;
    if (first.holdMark || parked) {
        s.holdMark = true;
        s.groundSpeed = 0.0;
    } else if (ac.onGround && !ac.rollingOut) {
        if (!ac.takeOffRun) {
            s.groundSpeed = 0.0;
            s.holdMark = true;
        } else {
            s.groundSpeed = lf_runwaySpeed(first.groundSpeed, s.verticalSpeed);
            rolls = true;
        }
    } else if (ac.onGround) {
        s.groundSpeed = lf_rollOutSpeed(first.groundSpeed, s.verticalSpeed);
        rolls = true;
    } else {
        const bool keep = ac.landing && count < kLandingKeepSpeedBelow;
        if (!keep) s.groundSpeed = std::max(1.0, first.groundSpeed * (ac.landing ? kLandingSlowdown : kAirSlowdown));
    }
    if (!s.holdMark && (s.groundSpeed > 0.0 || rolls)) {
        const double seconds = ac.onGround ? kGroundExtensionSeconds : kAirExtensionSeconds;
        const double feet = s.groundSpeed * seconds / kSecondsPerHour * kFeetPerNm;
        const LatLon to = gf_destination(LatLon{first.latitude, first.longitude}, ac.simPosition.trueHeading, feet);
        s.latitude = to.lat;
        s.longitude = to.lon;
        s.holdMark = s.latitude == first.latitude && s.longitude == first.longitude;
        if (ac.landing && ac.flarePhase == 0) {
            s.verticalSpeed = kLandingDescentFpm;
            s.altitude -= kLandingDropFeetPerSecond * seconds;
        } else if (ac.rotationCountdown >= 2) {
            s.verticalSpeed = kRotationClimbFpm;
            s.altitude += kRotationClimbFeetPerSecond * seconds;
        }
        if (s.altitude < 0.0) s.altitude = 0.0;
        s.airborne = s.altitude > 0.0;
    }
    if (parked) {
        s.dueTick = first.dueTick + kParkedHoldTicks;
        ac.atStandChecked = false;
        // It still stands there: the stand stays occupied until the aircraft leaves or is
        // removed, or the next arrival would be offered it and push this one out.
    } else {
        s.dueTick = first.dueTick + (ac.onGround ? clv::kGroundHoldTicks : kAirExtensionTicks);
    }
    ac.samples.push_back(s);
}

void lf_startPhaseSlack(clv::LiveAc& ac) {
    ac.maxAdvance = kPhaseSlack;
    ac.maxDelay = ac.takeOffRun ? kTakeOffRunDelay : kPhaseSlack;
}

void lf_shrinkPhaseSlack(clv::LiveAc& ac) {
    lf_shrinkSlack(ac.maxAdvance);
    lf_shrinkSlack(ac.maxDelay);
}

bool lf_simStateExpired(clv::TrafficEngine& engine, clv::LiveAc& ac) {
    using clv::AcSimState;
    const bool waitingForBind = ac.simState == AcSimState::Adding2Sim && ac.creationSent && ac.objectId == 0;
    const bool waitingForRemoval = ac.simState == AcSimState::RemovingFromSim;
    if (!waitingForBind && !waitingForRemoval) return false;
    const auto now = static_cast<std::uint32_t>(gf_tickNow());
    if (now - ac.simStateSince <= kSimStateBoundTicks) return false;
    if (waitingForBind) {
        if (ac.assignedObjectId == 0) {
            gf_logMarked("{} not created by the simulator within {} s: given up", ac.logLabel(),
                         kSimStateBoundTicks / 100);
        } else {
            // The object made for it, never bound, would stand frozen for good.
            gf_logMarked("{} not created by the simulator within {} s: given up, its unbound object {} removed",
                         ac.logLabel(), kSimStateBoundTicks / 100, ac.assignedObjectId);
            engine.removalQueue.push_back(ac.assignedObjectId);
        }
    } else {
        gf_logMarked("{} removal of object {} not acknowledged within {} s: forgotten", ac.logLabel(), ac.objectId,
                     kSimStateBoundTicks / 100);
    }
    ac.erase = true;
    return true;
}
