#include "trajectory_checker.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/geodesy.h"
#include "link/sim_ids.h"

namespace clv::test {

namespace {

constexpr double kMinLegKnots = 5.0;
constexpr double kSpeedFactor = 1.5;
constexpr double kCheckerTicksPerKnotNm = 360000.0;
constexpr std::uint32_t kWarmUpTicks = 200;
constexpr std::uint32_t kCreationSlack = 100;  // the creation hand-over and binding rhythm
constexpr double kAltitudeTolerance = 1e-6;

bool lf_sameSample(const PosSample& a, const PosSample& b) {
    return a.latitude == b.latitude && a.longitude == b.longitude && a.dueTick == b.dueTick &&
           a.holdMark == b.holdMark;
}

const LiveAc* lf_byObject(const TrafficEngine& e, std::uint32_t objectId) {
    for (const LiveAc& ac : e.liveAc)
        if (ac.objectId == objectId) return &ac;
    return nullptr;
}

}  // namespace

TrajectoryChecker::TrajectoryChecker(EngineRig& rig) : rig_(rig) {
    rig_.afterTick = [this] { afterTick(); };
}

void TrajectoryChecker::fault(std::uint32_t hexid, const std::string& what) {
    ++faultCount_;
    if (faults_.size() < 20) faults_.push_back(fmt::format("tick {} hexid {}: {}", currentTick() - 1, hexid, what));
}

void TrajectoryChecker::checkEvents() {
    const auto& events = rig_.sim.clientEvents;
    for (; eventsSeen_ < events.size(); ++eventsSeen_) {
        const ClientEventCmd& c = events[eventsSeen_].command;
        if (c.eventId != THROTTLE_SET && c.eventId != FLAPS_SET) continue;
        auto& stages = lastStage_[c.objectId];
        if (auto it = stages.find(c.eventId); it != stages.end() && it->second == c.data) {
            fault(0, fmt::format("object {}: {} {} sent again without a change of stage", c.objectId,
                                 c.eventId == THROTTLE_SET ? "THROTTLE_SET" : "FLAPS_SET", c.data));
        }
        stages[c.eventId] = c.data;
    }
}

void TrajectoryChecker::afterTick() {
    const std::uint32_t tick = currentTick() - 1;
    const TrafficEngine& e = rig_.engine;
    checkEvents();
    for (; creationsSeen_ < rig_.sim.creations.size(); ++creationsSeen_) {
        const TickedCreation& c = rig_.sim.creations[creationsSeen_];
        Seen& s = seen_[c.request.hexid];
        s.creationTick = c.tick;
        s.creationSeen = true;
    }

    // Leg tracking and the state bounds, before the blocks of this tick are judged.
    std::map<std::uint32_t, AcSimState> stateBefore;
    for (const LiveAc& ac : e.liveAc) {
        Seen& s = seen_[ac.hexid];
        stateBefore[ac.hexid] = s.state;
        if (ac.simState != s.state) {
            s.state = ac.simState;
            s.stateSince = tick;
            // Bound or taken out again: a creation after this is a new one.
            if (ac.simState != AcSimState::Adding2Sim) s.creationSeen = false;
        }
        if (ac.simState == AcSimState::Adding2Sim && s.creationSeen && ac.objectId == 0 &&
            tick - s.creationTick > kSimStateBoundTicks + kCreationSlack) {
            fault(ac.hexid, "still waiting for its binding");
        }
        if (ac.simState == AcSimState::Adding2Sim && ac.objectId != 0 && tick - s.stateSince > kSimStateBoundTicks + kWarmUpTicks + kCreationSlack)
            fault(ac.hexid, "stuck in its warm-up");
        if (ac.simState == AcSimState::RemovingFromSim && tick - s.stateSince > kSimStateBoundTicks + kCreationSlack)
            fault(ac.hexid, "still waiting for its removal");

        const bool moving = ac.simState == AcSimState::Active && stateBefore[ac.hexid] == AcSimState::Active;
        if (moving && s.hasFront && !ac.samples.empty() && !lf_sameSample(s.front, ac.samples.front())) {
            checkReached(ac, s, s.front, tick);
            s.legStartSpeed = s.front.groundSpeed;
            s.prevLegAdvance = s.maxAdvance;
            s.prevLegDelay = s.maxDelay;
            s.maxAdvance = 0;
            s.maxDelay = 0;
        }
        s.maxAdvance = std::max(s.maxAdvance, ac.maxAdvance);
        s.maxDelay = std::max(s.maxDelay, ac.maxDelay);
        s.hasFront = !ac.samples.empty();
        if (s.hasFront) s.front = ac.samples.front();
    }

    // A record that is gone takes what was seen of it along: the feed may bring the
    // same aircraft back as a new record.
    std::erase_if(seen_, [&](const auto& entry) {
        return std::none_of(e.liveAc.begin(), e.liveAc.end(), [&](const LiveAc& ac) { return ac.hexid == entry.first; });
    });

    const auto& sent = rig_.sim.sentPositions;
    for (; positionsSeen_ < sent.size(); ++positionsSeen_) {
        const TickedPositions& p = sent[positionsSeen_];
        std::map<std::uint32_t, int> perObject;
        for (const AiPositionUpdate& u : p.blocks) {
            if (++perObject[u.objectId] > 1) fault(0, fmt::format("object {}: two blocks in one tick", u.objectId));
            const LiveAc* ac = lf_byObject(e, u.objectId);
            if (ac == nullptr) {
                fault(0, fmt::format("object {}: a block for an object no live aircraft has", u.objectId));
                continue;
            }
            const bool wasActive = stateBefore.contains(ac->hexid) && stateBefore[ac->hexid] == AcSimState::Active;
            const bool allowed =
                ac->simState == AcSimState::Active || (ac->simState == AcSimState::RemovingFromSim && wasActive);
            if (!allowed) fault(ac->hexid, fmt::format("a block while {}", simStateName(ac->simState)));
            checkBlock(*ac, seen_[ac->hexid], u.block, p.tick);
        }
    }
}

void TrajectoryChecker::checkBlock(const LiveAc& ac, Seen& seen, const AiPositionData& b, std::uint32_t tick) {
    ++blocksChecked_;
    const double values[] = {b.latitude, b.longitude, b.pitch,    b.bank,
                             b.trueHeading, b.altitude, b.verticalSpeed, b.trueAirspeed};
    if (!std::all_of(std::begin(values), std::end(values), [](double v) { return std::isfinite(v); })) {
        fault(ac.hexid, "a value that is not a finite number");
        return;
    }
    if (std::fabs(b.latitude) > 90.0 || std::fabs(b.longitude) > 180.0) fault(ac.hexid, "position out of range");
    if (b.trueHeading < 0.0 || b.trueHeading >= kTwoPi)
        fault(ac.hexid, fmt::format("heading {} outside [0, 2 pi)", b.trueHeading));

    // A new object of the same aircraft (created again) starts where it was created.
    if (seen.hasBlock && seen.objectId != ac.objectId) seen.hasBlock = false;
    if (seen.hasBlock) {
        const double gap = static_cast<double>(tick - seen.lastTick);
        const double moved = gf_distanceNm(seen.block.latitude, seen.block.longitude, b.latitude, b.longitude);
        const double legKnots = std::max({kMinLegKnots, seen.legStartSpeed, seen.front.groundSpeed});
        const double allowed = kSpeedFactor * legKnots * gap / kCheckerTicksPerKnotNm;
        if (moved > allowed)
            fault(ac.hexid, fmt::format("moved {:.2f} m in {} ticks, at most {:.2f} m (leg at {:.1f} kt)",
                                        moved * kMetresPerNm, gap, allowed * kMetresPerNm, legKnots));
        const double turn = gf_headingDiff(seen.block.trueHeading, b.trueHeading);
        if (std::fabs(turn) * kRadToDeg > kMaxHeadingStepDegrees * gap)
            fault(ac.hexid, fmt::format("heading changed by {:.2f} degrees in {} ticks", turn * kRadToDeg, gap));
        if (ac.turningInPlace && !ac.curve.isSet() && turn != 0.0) {
            const double toTarget = gf_headingDiff(seen.block.trueHeading, ac.targetHeading);
            if (std::fabs(toTarget) * kRadToDeg < 179.0 && (toTarget > 0.0) != (turn > 0.0))
                fault(ac.hexid, "turns the long way round");
        }
    }
    checkVertical(ac, seen, b, tick);
    if (ac.onGround && rig_.sim.responder.terrain) {
        const double ground = rig_.sim.responder.terrain(b.latitude, b.longitude);
        if (b.altitude < ground - kAltitudeTolerance)
            fault(ac.hexid, fmt::format("altitude {:.3f} ft below the terrain at {:.3f} ft", b.altitude, ground));
        // A ground report posted in the last tick was applied at the top of this one.
        for (auto it = rig_.sim.groundReports.rbegin(); it != rig_.sim.groundReports.rend(); ++it) {
            if (it->tick + 1 < tick) break;
            if (it->tick + 1 == tick && it->objectId == ac.objectId &&
                std::fabs(b.altitude - (it->ground + ac.staticCgHeight)) > kAltitudeTolerance) {
                fault(ac.hexid, fmt::format("altitude {:.3f} ft after a ground report of {:.3f} ft and CG {:.1f} ft",
                                            b.altitude, it->ground, ac.staticCgHeight));
            }
        }
    }
    seen.hasBlock = true;
    seen.objectId = ac.objectId;
    seen.lastTick = tick;
    seen.block = b;
    tracks_[ac.objectId].emplace_back(tick, b);
}

void TrajectoryChecker::checkVertical(const LiveAc& ac, Seen& seen, const AiPositionData& b, std::uint32_t tick) {
    const bool inAir = !ac.onGround && seen.hasBlock && tick > seen.lastTick;
    const bool takeOff = ac.moveState == AcMoveState::TakeOff;
    const bool landing = ac.landing || ac.flarePhase != 0;
    if (!inAir || ac.deRotating) {
        seen.levelSince = seen.climbSince = seen.descentSince = 0;
        return;
    }
    const double fpm = (b.altitude - seen.block.altitude) / static_cast<double>(tick - seen.lastTick) * 6000.0;
    double lowest = -kFlightFpm, highest = kFlightFpm;
    if (ac.category == AcCategory::HighPerf) {
        lowest *= 2.0;
        highest *= 2.0;
    }
    if (takeOff) {
        lowest = kTakeOffLowestFpm;
        highest = kTakeOffHighestFpm;
    } else if (landing) {
        lowest = kLandingLowestFpm;
        highest = kLandingHighestFpm;
    }
    if (fpm < lowest - kAltitudeTolerance || fpm > highest + kAltitudeTolerance)
        fault(ac.hexid, fmt::format("vertical speed {:.0f} ft/min outside {:.0f} to {:.0f} ({})", fpm, lowest, highest,
                                    takeOff ? "take-off" : landing ? "landing" : "flight"));

    if (takeOff || ac.flarePhase != 0) {
        seen.levelSince = seen.climbSince = seen.descentSince = 0;
        return;
    }
    const double noseUp = -b.pitch * kRadToDeg;
    if (noseUp < kLowestNoseUp || noseUp > kHighestNoseUp)
        fault(ac.hexid, fmt::format("pitch {:.1f} degrees nose up in flight", noseUp));
    auto streak = [tick](std::uint32_t& since, bool holds) {
        if (!holds) {
            since = 0;
            return false;
        }
        if (since == 0) since = tick;
        return tick - since >= kSustainedTicks;
    };
    if (streak(seen.levelSince, std::fabs(fpm) <= kLevelFpm) &&
        (noseUp < kLevelLowestNoseUp || noseUp > kLevelHighestNoseUp))
        fault(ac.hexid, fmt::format("pitch {:.1f} degrees nose up after 30 s of level flight", noseUp));
    if (streak(seen.climbSince, fpm >= kClimbFpm) && noseUp < kClimbLowestNoseUp)
        fault(ac.hexid, fmt::format("pitch {:.1f} degrees nose up after a climb of 30 s", noseUp));
    if (streak(seen.descentSince, fpm <= kDescentFpm) && noseUp > kDescentHighestNoseUp)
        fault(ac.hexid, fmt::format("pitch {:.1f} degrees nose up after a descent of 30 s", noseUp));
}

void TrajectoryChecker::checkReached(const LiveAc& ac, Seen& seen, const PosSample& reached, std::uint32_t tick) {
    if (reached.holdMark) return;
    const PosSample* best = nullptr;
    for (const auto& [hexid, s] : rig_.feed.pushed()) {
        if (hexid != ac.hexid || s.latitude != reached.latitude || s.longitude != reached.longitude) continue;
        if (best == nullptr || std::llabs(std::int64_t{s.dueTick} - tick) < std::llabs(std::int64_t{best->dueTick} - tick))
            best = &s;
    }
    if (best == nullptr) return;  // a sample of the movement's own
    ++samplesReached_;
    const std::int64_t due = best->dueTick;
    const std::int64_t advance = std::max(seen.maxAdvance, seen.prevLegAdvance);
    const std::int64_t delay = std::max(seen.maxDelay, seen.prevLegDelay);
    const auto t = static_cast<std::int64_t>(tick);
    if (t < due - advance - kReachSlack || t > due + delay + kReachSlack)
        fault(ac.hexid, fmt::format("feed sample due at {} reached at {} (advance {}, delay {})", due, tick, advance,
                                    delay));
}

}  // namespace clv::test
