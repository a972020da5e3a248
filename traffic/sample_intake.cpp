// New samples of an aircraft that already exists: whether a sample joins the
// queue, replaces what is queued or only steers the movement, and the cleaning of
// the queue's tail (jitter and short stops on the ground, samples pointing
// backwards while landing).
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

constexpr std::size_t kMaxQueuedSamples = 200;
// Positions closer than this in both latitude and longitude are one position.
constexpr double kJitterDegrees = 0.00015;
constexpr double kFastTakeOffRunKnots = 30.0;
constexpr double kJitterTakeOffRunKnots = 50.0;
constexpr double kStoppedFastKnots = 50.0;
// A line that repeats the last position while saying the aircraft moves at least
// this fast is stale (the feed had no new position), not a stop.
constexpr double kStaleKnots = 3.0;
// A short move straight along the reported track, with a speed, is a move (a start
// from a standstill, or a slow taxi with close lines), not jitter.
constexpr double kAlongTrackDegrees = 10.0;
// Push back: the aircraft leaves the push-back position for a sample this far away.
constexpr double kLeaveRadii = 2.75;
constexpr double kHoldRadii = 6.0;
constexpr double kTakeOffRunKnots = 43.0;
constexpr std::uint32_t kTouchAndGoThrottleStage = 3;
constexpr std::uint32_t kTaxiFlapsStage = 1;
constexpr std::uint32_t kSpoilersOut = 16383;
constexpr std::int32_t kTouchAndGoDelay = 5000;
constexpr std::int32_t kTouchAndGoAdvance = 3000;
// Samples pointing this far off the heading are behind the aircraft.
constexpr double kBackwardsDegrees = 100.0;
// On the ground a line this far off the way the aircraft drives is a spike of the
// feed (no aircraft reverses between two lines but in a push back); legs shorter
// than this give no direction.
constexpr double kGroundBackwardsDegrees = 100.0;
constexpr double kDirectionMetres = 5.0;
constexpr double kLandingBackwardsDegrees = 90.0;
constexpr double kRollOutBackwardsDegrees = 150.0;
constexpr double kLandingSpeedCapKnots = 40.0;
// A stop at least this long stays.
constexpr double kLongStopSeconds = 15.0;
constexpr std::size_t kStopLookBackFirst = 3;
constexpr std::size_t kStopLookBackLast = 7;
// A jump of the feed on the ground is driven when, at the feed-speed bound, it
// costs at most this much more than the feed's own time (the narrowest delay a
// late aircraft catches up); beyond that the aircraft is created again there.
constexpr double kDrivableJumpSlackSeconds = 10.0;
// A line back near the position before a jump within this much feed time makes the
// jump a spike.
constexpr double kSpikeWindowSeconds = 10.0;
// Lines closer than this repeat one position (a stale feed).
constexpr double kStalePositionMetres = 1.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr double kTicksPerSecond = 100.0;

bool lf_samePosition(const PosSample& a, const PosSample& b) {
    return a.latitude == b.latitude && a.longitude == b.longitude;
}

double lf_distanceNm(const PosSample& a, const PosSample& b) {
    return gf_distanceNm(a.latitude, a.longitude, b.latitude, b.longitude);
}

double lf_bearing(const PosSample& from, const PosSample& to) {
    return gf_bearing(LatLon{from.latitude, from.longitude}, LatLon{to.latitude, to.longitude});
}

bool lf_inTheAir(const LiveAc& ac) { return ac.simState == AcSimState::Active && !ac.onGround; }

// A line on the ground that lies behind the way the aircraft drives: the direction
// of the newest queued leg; with one sample queued, the heading of a taxiing
// aircraft or the track of one not yet created.
bool lf_behindOnTheGround(const LiveAc& ac, const PosSample& s) {
    const bool birth = ac.moveState == AcMoveState::Birth;
    if (s.airborne || s.holdMark || ac.samples.empty() || (ac.moveState != AcMoveState::Taxi && !birth)) return false;
    const PosSample& last = ac.samples.back();
    if (last.airborne || (!birth && !ac.onGround)) return false;
    if (last.holdMark || lf_distanceNm(last, s) * kMetresPerNm < kDirectionMetres) return false;
    double way = birth ? last.track * kDegToRad : ac.simPosition.trueHeading;
    if (ac.samples.size() >= 2) {
        const PosSample& before = ac.samples[ac.samples.size() - 2];
        if (before.holdMark || lf_distanceNm(before, last) * kMetresPerNm < kDirectionMetres) return false;
        way = lf_bearing(before, last);
    }
    return gf_headingDiffDegrees(lf_bearing(last, s), way) >= kGroundBackwardsDegrees;
}

// The feed's clock for a line: its stamp, or its due tick where it had none.
double lf_lineSeconds(const PosSample& s) {
    return s.feedTime > 0.0 ? s.feedTime : static_cast<double>(s.dueTick) / kTicksPerSecond;
}

// Whether the feed could have driven from `from` to `s` in its own time since it
// first reported `from`'s position, at the feed-speed bound, with the slack a late
// aircraft catches up.
bool lf_drivable(const FeedGroundLine& from, const PosSample& s) {
    const double seconds = std::max(0.0, lf_lineSeconds(s) - from.since);
    const double knots =
        std::max(kFeedSpeedBoundKnots, kFeedSpeedBoundFactor * std::max(from.knots, s.groundSpeed));
    const double reachNm = knots * (seconds + kDrivableJumpSlackSeconds) / kSecondsPerHour;
    return gf_distanceNm(from.latitude, from.longitude, s.latitude, s.longitude) <= reachNm;
}

bool lf_taxiingInTheSim(const LiveAc& ac) {
    return ac.moveState == AcMoveState::Taxi && ac.onGround && ac.simState == AcSimState::Active &&
           !ac.takeOffRun && !ac.rollingOut && !ac.landing;
}

// Takes the queued samples from the newest jump on out of the queue; the sample
// being driven to stays.
void lf_dropFromJump(LiveAc& ac) {
    for (std::size_t k = ac.samples.size(); k-- > 2;) {
        if (!ac.samples[k].jumpMark) continue;
        ac.samples.erase(ac.samples.begin() + static_cast<std::ptrdiff_t>(k), ac.samples.end());
        return;
    }
}

// A taxiing aircraft's ground line against the feed's line before it. A line back
// near the position before a recent jump makes that jump a spike (its lines leave
// the queue); a line beyond reach of both makes the jumped line noise; a line beyond
// reach of the last one is marked a jump.
void lf_judgeGroundJump(LiveAc& ac, PosSample& s) {
    if (!lf_taxiingInTheSim(ac) || s.airborne || !ac.lastGroundLine.known) {
        ac.jumpAnchor.known = false;
        return;
    }
    if (ac.jumpAnchor.known) {
        if (lf_lineSeconds(s) - ac.jumpAnchor.time > kSpikeWindowSeconds) {
            ac.jumpAnchor.known = false;  // the feed stayed there: the jump stands
        } else if (lf_drivable(ac.jumpAnchor, s)) {
            lf_dropFromJump(ac);
            ac.lastGroundLine = ac.jumpAnchor;
            ac.jumpAnchor.known = false;
            if (LOG.value) gf_log("          {} a spike of its feed on the ground dropped", ac.shortLabel());
            return;
        }
    }
    if (lf_drivable(ac.lastGroundLine, s)) return;
    if (ac.jumpAnchor.known && ac.linesSinceJump == 0) {
        lf_dropFromJump(ac);  // the jumped line was noise: this one is judged against the line before it
    } else {
        ac.jumpAnchor = ac.lastGroundLine;
    }
    ac.jumpAnchor.time = lf_lineSeconds(s);  // the spike window runs from the jump
    s.jumpMark = true;
}

// Remembers a ground line taken into the queue, for judging the next.
void lf_noteGroundLine(LiveAc& ac, const PosSample& s) {
    if (s.airborne) {
        ac.lastGroundLine.known = false;
        ac.jumpAnchor.known = false;
        return;
    }
    FeedGroundLine& line = ac.lastGroundLine;
    const double seconds = lf_lineSeconds(s);
    if (s.jumpMark) {
        ac.linesSinceJump = 0;
    } else if (ac.jumpAnchor.known) {
        ++ac.linesSinceJump;
    }
    if (line.known && gf_distanceNm(line.latitude, line.longitude, s.latitude, s.longitude) * kMetresPerNm <
                          kStalePositionMetres) {
        line.time = seconds;
        line.knots = s.groundSpeed;
        return;
    }
    line = FeedGroundLine{true, s.latitude, s.longitude, seconds, seconds, s.groundSpeed};
}

void lf_raiseDue(const LiveAc& ac, PosSample& s) {
    if (!ac.samples.empty()) s.dueTick = std::max(s.dueTick, ac.samples.back().dueTick + 1);
}

std::uint32_t lf_nowPlusOne() { return static_cast<std::uint32_t>(gf_tickNow() + 1); }

// The push-back side from the first sample of the push back: its heading (or
// track) against the aircraft's says which way the tail swings.
void lf_choosePushBackSide(LiveAc& ac, const PosSample& s) {
    if (STRAIGHT_PBS_ONLY.value || ac.pushBackCountdown != 2) return;
    double heading = 0.0;
    if (s.hasHeading) {
        heading = s.heading;
    } else {
        if (s.track == 0.0) return;
        heading = s.track * kDegToRad;
    }
    ac.tailToTheLeft = gf_headingDiff(ac.simPosition.trueHeading, heading) > 0.0;
    ac.sideChosen = true;
}

// Pushed back: a sample near the push-back position keeps the aircraft waiting;
// one far enough away starts the taxi. True when the sample is taken.
bool lf_pushedBackSample(LiveAc& ac, PosSample& s) {
    const double d = gf_distanceNm(s.latitude, s.longitude, ac.simPosition.latitude, ac.simPosition.longitude);
    if (!(d > kLeaveRadii * ac.radius && d > ac.nearestAfterPushBack)) {
        if (d <= kHoldRadii * ac.radius) {
            if (!ac.holding) {
                ac.holding = true;
                ac.holdingSince = static_cast<std::uint32_t>(gf_tickNow());
            }
            ac.nearestAfterPushBack = d;
            return false;
        }
    }
    s.holdMark = false;
    if (ac.extensionCount >= 1) {
        ac.samples.front().dueTick = lf_nowPlusOne();
        ac.extensionCount = 0;
        lf_startPhaseSlack(ac);
    }
    ac.sideChosen = false;
    ac.pushBackCountdown = 0;
    gf_setMoveState(ac, AcMoveState::Taxi);
    ac.standLatitude = 0.0;
    ac.standLongitude = 0.0;
    ac.standId = 0;
    ac.parkedAt = 0;
    ac.holding = false;
    return true;
}

void lf_queueEvent(TrafficEngine& e, const LiveAc& ac, std::uint32_t eventId, std::uint32_t data) {
    e.sim().queueClientEvent(ClientEventCmd{ac.objectId, eventId, data});
}

// A landing that turned into a take-off again.
void lf_touchAndGo(TrafficEngine& e, LiveAc& ac) {
    const bool rotorcraft = ac.category == AcCategory::Rotorcraft;
    gf_setMoveState(ac, AcMoveState::Taxi);
    ac.takeOffRun = true;
    if (ac.throttleStage != kTouchAndGoThrottleStage) {
        lf_queueEvent(e, ac, THROTTLE_SET, kThrottleValues[kTouchAndGoThrottleStage]);
        ac.throttleStage = kTouchAndGoThrottleStage;
    }
    if (!rotorcraft) lf_queueEvent(e, ac, SPOILERS_SET, kSpoilersOut);
    if (ac.flapsStage != kTaxiFlapsStage && !rotorcraft) {
        lf_queueEvent(e, ac, FLAPS_SET, kFlapsValues[kTaxiFlapsStage]);
        ac.flapsStage = kTaxiFlapsStage;
    }
    ac.landing = false;
    ac.landed = false;
    ac.goAround = false;
    gf_queueLightSet(e, ac.objectId, {1, 1, 1, 1, 1, 1, 0});
    ac.maxDelay = kTouchAndGoDelay;
    ac.maxAdvance = kTouchAndGoAdvance;
}

}  // namespace

void decodeExisting(clv::TrafficEngine& engine, clv::LiveAc& ac, clv::PosSample& s) {
    using namespace clv;
    try {
        if (ac.samples.size() > kMaxQueuedSamples) removeAircraftFromSim(engine, ac);
        if (ac.holding && !ac.samples.empty() &&
            lf_distanceNm(s, ac.samples.front()) * kMetresPerNm > HOLDING_THRESHOLD_METERS.value) {
            // The feed moved on without this aircraft: it would have to jump.
            ac.holding = false;
            removeAircraftFromSim(engine, ac);
            return;
        }
        bool taken = false;
        const FeedGroundLine anchorBefore = ac.jumpAnchor;
        switch (ac.moveState) {
            case AcMoveState::Birth:
                if (!ac.samples.empty() && lf_acceptMovingSample(ac, s) && !lf_behindOnTheGround(ac, s)) {
                    lf_raiseDue(ac, s);
                    ac.samples.push_back(s);
                    lf_noteGroundLine(ac, s);
                }
                return;
            case AcMoveState::Parking:
            case AcMoveState::Parked:
                if (ac.simState == AcSimState::Buffer || ac.simState == AcSimState::Adding2Sim) return;
                taken = engine.parking().checkStandSample(engine, ac, s);
                break;
            case AcMoveState::PushingBack: lf_choosePushBackSide(ac, s); return;
            case AcMoveState::PushedBack: taken = lf_pushedBackSample(ac, s); break;
            case AcMoveState::Taxi:
            case AcMoveState::TakeOff:
            case AcMoveState::Flying:
                if (ac.samples.empty()) {
                    taken = true;  // nothing to compare with (a buffered aircraft that lost its samples)
                } else if (!ac.landing && !ac.rollingOut) {
                    lf_judgeGroundJump(ac, s);
                    // A jump gives no direction to be behind of: it is played as a jump.
                    taken = lf_acceptMovingSample(ac, s) && (s.jumpMark || !lf_behindOnTheGround(ac, s)) &&
                            (ac.extensionCount <= 0 || checkExtendingSituations(ac, s));
                } else {
                    taken = checkNewPosDuringLanding(ac, s);
                }
                break;
        }
        if (!taken) {
            ac.jumpAnchor = anchorBefore;
            return;
        }

        if (!s.airborne && !ac.samples.empty() && ac.samples.back().holdMark) {
            if (!s.holdMark) {
                removeSmallStop(ac, s);
            } else if (ac.samples.size() >= 2 && std::all_of(ac.samples.begin(), ac.samples.end(),
                                                              [](const PosSample& q) { return q.holdMark; })) {
                ac.samples.resize(1);
            }
        }
        lf_raiseDue(ac, s);
        if (ac.onGround && ac.simState == AcSimState::Active && !ac.takeOffRun) {
            const bool lastAirborne = !ac.samples.empty() && ac.samples.back().airborne;
            if (ac.rollingOut) {
                if (lastAirborne && s.airborne) lf_touchAndGo(engine, ac);
            } else if (ac.moveState == AcMoveState::Taxi) {
                const bool lastFast = !ac.samples.empty() && ac.samples.back().groundSpeed >= kTakeOffRunKnots;
                if ((!s.airborne && s.groundSpeed >= kTakeOffRunKnots && lastFast) || s.airborne)
                    engine.flight().prepareTakeOff(engine, ac);
            }
        }
        ac.samples.push_back(s);
        lf_noteGroundLine(ac, s);
        if (ac.samples.size() == 2 && ac.samples[0].holdMark && ac.samples[1].holdMark) {
            // A hold the engine made ends now. A line of the feed still to be reached
            // keeps its time: brought forward it would be played seconds after the
            // feed instead of 30 s, and the aircraft would stop short of it.
            if (ac.samples[0].feedTime <= 0.0) ac.samples[0].dueTick = lf_nowPlusOne();
            ac.samples[0].groundSpeed = ac.samples[1].groundSpeed;
        }
    } catch (const std::exception& x) {
        gf_logMarked("{} exception {}", "decodeExisting", x.what());
        throw;
    }
}

bool lf_acceptMovingSample(const clv::LiveAc& ac, clv::PosSample& s) {
    using namespace clv;
    const PosSample& last = ac.samples.back();
    if (lf_samePosition(s, last)) s.holdMark = true;
    if (ac.category == AcCategory::Rotorcraft) return true;
    if (lf_samePosition(s, last)) {
        if (s.airborne || lf_inTheAir(ac)) return false;
        if (ac.takeOffRun && s.groundSpeed > 0.0 && last.groundSpeed >= kFastTakeOffRunKnots) return false;
        if (s.groundSpeed >= kStaleKnots) return false;
        s.groundSpeed = 0.0;
        return true;
    }
    const bool alongTrack = s.groundSpeed > 0.0 && gf_headingDiffDegrees(lf_bearing(last, s), s.track * kDegToRad) <=
                                                       kAlongTrackDegrees;
    if (std::fabs(s.latitude - last.latitude) < kJitterDegrees &&
        std::fabs(s.longitude - last.longitude) < kJitterDegrees && !alongTrack) {
        if (s.airborne || lf_inTheAir(ac)) return false;
        if (ac.takeOffRun && s.groundSpeed > 0.0 && last.groundSpeed >= kJitterTakeOffRunKnots) return false;
        // Jitter of a standing aircraft: it stays where it was, for as long as the line
        // says; the line's own time goes with it (the last one's would make every
        // later line of the stand seem as old as the first).
        const std::uint32_t due = s.dueTick;
        const double feedTime = s.feedTime;
        s = last;
        s.jumpMark = false;
        s.dueTick = due;
        s.feedTime = feedTime;
        s.groundSpeed = 0.0;
        s.holdMark = true;
        return true;
    }
    if (s.groundSpeed != 0.0) return true;
    if (!ac.takeOffRun && !s.airborne) return true;
    return last.groundSpeed < kStoppedFastKnots;
}

bool checkExtendingSituations(clv::LiveAc& ac, const clv::PosSample& s) {
    if (ac.samples.empty()) {
        gf_logMarked("{} empty sz?", "checkExtendingSituations");
        return false;
    }
    if (!ac.onGround &&
        gf_headingDiffDegrees(lf_bearing(ac.samples.back(), s), ac.simPosition.trueHeading) >= kBackwardsDegrees)
        return false;
    ac.extensionCount = 0;
    lf_startPhaseSlack(ac);
    ac.samples.front().dueTick = lf_nowPlusOne();
    ac.holding = false;
    return true;
}

bool checkNewPosDuringLanding(clv::LiveAc& ac, clv::PosSample& s) {
    using namespace clv;
    if (ac.samples.empty()) {
        gf_logMarked("{} empty sz?", "checkNewPosDuringLanding");
        return false;
    }
    if (lf_samePosition(s, ac.samples.back())) return false;
    const double heading = ac.simPosition.trueHeading;
    auto behind = [&](const PosSample& from, double limit) {
        return gf_headingDiffDegrees(lf_bearing(from, s), heading) >= limit;
    };
    if (ac.samples.size() >= 2) {
        if (behind(ac.samples.back(), kLandingBackwardsDegrees)) {
            ac.samples.pop_back();
            if (ac.samples.size() >= 2 && behind(ac.samples.back(), kLandingBackwardsDegrees)) ac.samples.pop_back();
        }
    } else if (ac.landing) {
        if (behind(ac.samples.front(), kLandingBackwardsDegrees)) return false;
    } else if (ac.rollingOut && behind(ac.samples.front(), kRollOutBackwardsDegrees)) {
        if (ac.extensionCount > 0) return false;
        // The feed's runway lies elsewhere: start again from where the aircraft is.
        PosSample restart = ac.samples.front();
        restart.latitude = ac.simPosition.latitude;
        restart.longitude = ac.simPosition.longitude;
        restart.dueTick = lf_nowPlusOne();
        restart.feedTime = 0.0;  // where the aircraft is, not a line of the feed
        ac.samples.clear();
        ac.samples.push_back(restart);
    }
    if (ac.extensionCount > 0) {
        ac.extensionCount = 0;
        lf_startPhaseSlack(ac);
    }
    const PosSample& last = ac.samples.back();
    if (lf_samePosition(s, last)) s.holdMark = true;
    if (s.groundSpeed > last.groundSpeed && s.groundSpeed > kLandingSpeedCapKnots) s.groundSpeed = last.groundSpeed;
    return true;
}

void removeSmallStop(clv::LiveAc& ac, const clv::PosSample& s) {
    try {
        const std::size_t size = ac.samples.size();
        for (std::size_t k = kStopLookBackFirst; k <= kStopLookBackLast && k <= size; ++k) {
            const clv::PosSample& q = ac.samples[size - (k - 1)];
            if (!q.holdMark) {
                checkStops(ac, k - 1, s);
                return;
            }
        }
    } catch (const std::exception& x) {
        gf_logMarked("{}: {}", "removeSmallStop", x.what());
    }
}

void checkStops(clv::LiveAc& ac, std::size_t n, const clv::PosSample& /*next*/) {
    try {
        const std::size_t size = ac.samples.size();
        const clv::PosSample& p = ac.samples.at(size - n);
        const double seconds =
            (static_cast<double>(ac.samples.back().dueTick) - static_cast<double>(p.dueTick)) / 100.0;
        // A long stop stays however close to it the aircraft moves on: the first line
        // after a standstill lies only metres on.
        if (seconds >= kLongStopSeconds) return;
        for (std::size_t i = 0; i + 1 < n; ++i) ac.samples.pop_back();
    } catch (const std::exception& x) {
        gf_logMarked("{}: num:{} {}", "checkStops", n, x.what());
    }
}
