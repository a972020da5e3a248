// Flights through the whole engine with the program's movement and flight, the
// simulator played by the recording link (which reports the ground under every
// object from a terrain), every tick watched by the trajectory checker: playback
// in the air and the end of a stream, a departure, arrivals, and landings at
// airports higher and lower than the park airport.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "link/sim_ids.h"
#include "movement_support.h"
#include "trajectory_checker.h"

namespace clv::test {
namespace {

constexpr double kScenarioElevation = 1400.0;
constexpr double kCg = 6.0;

// One scripted aircraft of the feed; `truth` keeps where it was at every second.
struct Flyer {
    ScriptedFeed& feed;
    std::uint32_t hexid;
    std::string callsign;
    std::string type = "A320";
    LatLon at = kHome;
    double altitude = 0.0;  // feet; 0 on the ground
    std::uint32_t tick = 0;
    double timestamp = 1000.0;
    std::vector<std::pair<std::uint32_t, LatLon>> truth{};
    std::vector<double> truthKnots{};  // the speed at each second of `truth`

    void report(double gs, double track, double vs) {
        TrafficUpdate u = makeUpdate(hexid, callsign, type, at.lat, at.lon, altitude, gs, track, timestamp);
        u.sample.verticalSpeed = vs;
        feed.at(tick, u);
    }
    // `seconds` at `knots` along a track turning by `turnRate` degrees a second and a
    // vertical speed, a report every `every` seconds.
    void fly(double seconds, double knots, double track, double turnRate, double vs, double every,
             double accel = 0.0) {
        const int steps = static_cast<int>(std::lround(seconds));
        const int per = static_cast<int>(std::lround(every));
        for (int i = 1; i <= steps; ++i) {
            at = offset(at, track + turnRate / 2.0, (knots + accel / 2.0) * kMetresPerNm / 3600.0);
            track = std::fmod(track + turnRate + 360.0, 360.0);
            knots += accel;
            if (altitude > 0.0 || vs > 0.0) altitude = std::max(0.0, altitude + vs / 60.0);
            tick += 100;
            timestamp += 1.0;
            truth.emplace_back(tick, at);
            truthKnots.push_back(knots);
            if (i % per == 0) report(knots, track, altitude > 0.0 ? vs : 0.0);
        }
    }
};

// The feed's position at a tick, between the seconds of its truth.
LatLon lf_truthAt(const std::vector<std::pair<std::uint32_t, LatLon>>& truth, double tick) {
    if (tick <= truth.front().first) return truth.front().second;
    for (std::size_t i = 1; i < truth.size(); ++i) {
        if (tick > truth[i].first) continue;
        const double u = (tick - truth[i - 1].first) / (truth[i].first - truth[i - 1].first);
        const LatLon a = truth[i - 1].second, b = truth[i].second;
        return LatLon{a.lat + u * (b.lat - a.lat), a.lon + u * (b.lon - a.lon)};
    }
    return truth.back().second;
}

struct FlightRig {
    EngineRig rig;
    TrajectoryChecker checker{rig};
    std::function<void()> watch;  // called after the checker on every tick

    explicit FlightRig(std::function<double(double, double)> terrain = {}) {
        rig.useLiveMovement();
        rig.sim.responder.on = true;
        rig.sim.responder.staticCg = kCg;
        rig.sim.responder.terrain = terrain ? std::move(terrain) : [](double, double) { return kScenarioElevation; };
        auto checking = rig.afterTick;
        rig.afterTick = [this, checking] {
            checking();
            if (watch) watch();
        };
    }
    void expectClean() {
        EXPECT_EQ(checker.faultCount(), 0u);
        for (const std::string& f : checker.faults()) ADD_FAILURE() << f;
    }
    void parkAirport(LatLon at, double elevation) {
        rig.parking.airportPosition = at;
        rig.parking.elevation = elevation;
    }
    void userAt(LatLon p) {
        rig.sim.user.latitude = p.lat;
        rig.sim.user.longitude = p.lon;
        rig.engine.userAcData = rig.sim.user;
    }
    const std::vector<std::pair<std::uint32_t, AiPositionData>>& track(std::uint32_t hexid) {
        return checker.track(rig.sim.objectOf.at(hexid));
    }
    std::vector<TickedEvent> events(std::uint32_t hexid, std::uint32_t eventId) {
        std::vector<TickedEvent> out;
        for (const TickedEvent& e : rig.sim.eventsOf(rig.sim.objectOf.at(hexid)))
            if (e.command.eventId == eventId) out.push_back(e);
        return out;
    }
};

// ---- playback and range ---------------------------------------------------------------

TEST(FlightScenario, PlaybackFollowsTheFeed30SecondsLateStraightAndTurning) {
    for (const double turnRate : {0.0, 3.0}) {
        SCOPED_TRACE(turnRate);
        FlightRig f;
        Flyer a{f.rig.feed, 40001, "SWR20"};
        a.altitude = 8000.0;
        a.truth.emplace_back(0, a.at);
        a.report(250, 90, 0);
        a.fly(120, 250, 90, turnRate, 0, 2);
        const std::uint32_t lastReport = a.tick;
        f.rig.run(lastReport + kSampleDelayTicks);
        f.expectClean();

        const auto& track = f.track(40001);
        ASSERT_GT(track.size(), 8000u);
        // It starts at the first sample when its warm-up ends, `lag` after that sample
        // was due, and catches up: from then on it is never further behind than it
        // started, and 20 s after its start it is, at every tick T, where the feed was
        // at T - 3000, within one second of travel.
        const double oneSecondNm = 250.0 / 3600.0;
        const double lag = static_cast<double>(track.front().first) - kSampleDelayTicks;
        EXPECT_LE(lag, 300.0);
        double worstCatchingUp = 0.0, worst = 0.0;
        for (const auto& [tick, b] : track) {
            const LatLon feed = lf_truthAt(a.truth, static_cast<double>(tick) - kSampleDelayTicks);
            const double off = gf_distanceNm(feed, LatLon{b.latitude, b.longitude});
            if (tick < track.front().first + 2000) {
                worstCatchingUp = std::max(worstCatchingUp, off);
            } else {
                worst = std::max(worst, off);
            }
        }
        RecordProperty("worst_m", std::to_string(worst * kMetresPerNm));
        EXPECT_LE(worstCatchingUp, (lag / 100.0 + 1.0) * oneSecondNm) << "lag " << lag;
        EXPECT_LE(worst, oneSecondNm) << "worst " << worst * kMetresPerNm << " m, lag " << lag;
        // Level at 8000 ft with wings level on the straight; banked on the turn, within 30 degrees.
        for (const auto& [tick, b] : track) {
            EXPECT_NEAR(b.altitude, 8000.0, 1e-6);
            EXPECT_LE(std::fabs(b.bank) * kRadToDeg, 30.0 + 1e-9);
        }
        if (turnRate > 0.0) {
            const auto banked = std::count_if(track.begin(), track.end(), [](const auto& e) {
                return std::fabs(e.second.bank) * kRadToDeg > 5.0;
            });
            EXPECT_GT(banked, static_cast<long>(track.size() / 2));
        }
    }
}

TEST(FlightScenario, AStreamEndingInTheAirIsExtendedInsideTheRangeAndRemovedOutsideIt) {
    struct Case {
        const char* name;
        std::optional<double> userNm;  // from where the stream ends; none: unknown
        bool extended;
    };
    // The lateral range is 40 nm: extension up to 39.5 nm.
    const Case cases[] = {{"user 39 nm away", 39.0, true},
                          {"user 39.7 nm away", 39.7, false},
                          {"user position unknown", std::nullopt, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlightRig f;
        Flyer a{f.rig.feed, 40001, "SWR20"};
        a.altitude = 8000.0;
        a.report(250, 90, 0);
        a.fly(60, 250, 90, 0, 0, 2);
        const LatLon end = a.at;
        if (c.userNm) {
            f.userAt(offset(end, 270, *c.userNm * kMetresPerNm));
        } else {
            f.userAt(LatLon{0.0, 0.0});
        }
        // The extension samples as they are added: their speeds.
        std::vector<double> speeds;
        std::int32_t lastCount = 0;
        f.watch = [&] {
            const LiveAc* ac = f.rig.live(40001);
            if (ac == nullptr || ac->extensionCount == lastCount) return;
            lastCount = ac->extensionCount;
            if (lastCount > 0) speeds.push_back(ac->samples.back().groundSpeed);
        };
        const std::uint32_t lastDue = a.tick + kSampleDelayTicks;
        ASSERT_TRUE(f.rig.runUntil([&] { return !f.rig.sim.removals.empty(); }, lastDue + 20000));
        const std::uint32_t removal = f.rig.sim.removals.front().tick;
        f.expectClean();
        if (!c.extended) {
            EXPECT_TRUE(speeds.empty());
            EXPECT_LE(removal, lastDue + 1000);  // when its last sample is reached
            continue;
        }
        ASSERT_EQ(speeds.size(), 8u);
        double expected = 250.0;
        for (double s : speeds) {
            expected *= 0.95;
            EXPECT_NEAR(s, expected, 1e-9);
        }
        // Eight legs of 8 s of a sample each 5 % slower (a leg flown at the mean speed).
        EXPECT_GE(removal, lastDue + 8 * 700);
        EXPECT_LE(removal, lastDue + 1000 + 8 * 800);
        // It flew on along its track.
        const AiPositionData& last = f.track(40001).back().second;
        EXPECT_GT(metresBetween(end, LatLon{last.latitude, last.longitude}), 6 * 8 * 200 * kMetresPerNm / 3600.0);
    }
}

// A descent the feed reports at -770 ft/min, its altitudes noisy: single lines
// 1500 ft too high or too low, one 250 ft low. The aircraft descends as the feed's
// vertical rate says, never climbing, never diving.
TEST(FlightScenario, NoisyFeedAltitudesAreFlownAtTheFeedsVerticalRate) {
    FlightRig f;
    Flyer a{f.rig.feed, 40001, "SWR20"};
    a.altitude = 9000.0;
    a.report(250, 90, -770);
    const std::map<int, double> spikes{{10, 1500.0}, {20, -1500.0}, {30, -250.0}, {31, 1500.0}};
    for (int leg = 0; leg < 60; ++leg) {
        const auto spike = spikes.find(leg);
        if (spike == spikes.end()) {
            a.fly(2, 250, 90, 0, -770, 2);
            continue;
        }
        a.fly(2, 250, 90, 0, -770, 1000);  // no line of its own
        const double keep = a.altitude;
        a.altitude += spike->second;
        a.report(250, 90, -770);
        a.altitude = keep;
    }
    const double feedEnd = a.altitude;
    f.rig.run(a.tick + kSampleDelayTicks + 300);
    f.expectClean();

    const auto& track = f.track(40001);
    ASSERT_GT(track.size(), 9000u);
    double steepest = 0.0, highest = -1e9;
    for (std::size_t i = 1; i < track.size(); ++i) {
        const double fpm = (track[i].second.altitude - track[i - 1].second.altitude) /
                           static_cast<double>(track[i].first - track[i - 1].first) * 6000.0;
        steepest = std::min(steepest, fpm);
        highest = std::max(highest, fpm);
    }
    RecordProperty("steepest_fpm", std::to_string(steepest));
    RecordProperty("highest_fpm", std::to_string(highest));
    EXPECT_GE(steepest, -770.0 - 500.0 - 1e-6);
    EXPECT_LE(highest, 1e-6);
    // And where the feed ends it is at the feed's altitude.
    EXPECT_NEAR(track.back().second.altitude, feedEnd, 30.0);
}

// ---- a departure ----------------------------------------------------------------------------

TEST(FlightScenario, ADepartureFromATaxiwayHoldLinesUpTakesOffAndClimbs) {
    FlightRig f;
    MAX_HOLDING_MINUTES.value = 2;
    Flyer a{f.rig.feed, 40001, "SWR20"};
    // Taxi north to the hold, wait 40 s, line up east, the run from 0 to 160 kt, then
    // a climb at 2000 ft/min to 1500 ft above the ground and on.
    a.report(12, 0, 0);
    a.fly(30, 12, 0, 0, 0, 3);
    a.fly(40, 0, 0, 0, 0, 4);
    a.fly(15, 8, 0, 6, 0, 3);  // the turn onto the runway
    a.fly(80, 0, 90, 0, 0, 2, 2.0);
    a.altitude = kScenarioElevation + 10.0;
    a.fly(60, 160, 90, 0, 2000, 2);
    a.fly(30, 170, 90, 0, 0, 2);

    std::uint32_t takeOffTick = 0;
    double rotationPitch = 0.0;
    std::int32_t rotationTicks = 0;
    f.watch = [&] {
        const LiveAc* ac = f.rig.live(40001);
        if (ac != nullptr && takeOffTick == 0 && ac->moveState == AcMoveState::TakeOff) {
            takeOffTick = currentTick() - 1;
            rotationPitch = ac->rotationPitch;
            rotationTicks = ac->rotationTicks;
        }
    };
    f.rig.run(a.tick + kSampleDelayTicks + 1000);
    f.expectClean();
    ASSERT_NE(takeOffTick, 0u);

    const auto& track = f.track(40001);
    // The throttle ends the run at full power; flaps 1 for the take-off.
    const auto throttle = f.events(40001, THROTTLE_SET);
    ASSERT_FALSE(throttle.empty());
    EXPECT_TRUE(std::any_of(throttle.begin(), throttle.end(),
                            [&](const TickedEvent& e) { return e.command.data == 16383 && e.tick <= takeOffTick; }));
    // Rotation: the rotation pitch within one pitch step, in its ticks.
    const double pitchStep = std::fabs(rotationPitch) / rotationTicks;
    for (const auto& [tick, b] : track) {
        if (tick == takeOffTick + static_cast<std::uint32_t>(rotationTicks) - 1) {
            EXPECT_NEAR(b.pitch, rotationPitch, pitchStep + 1e-9);
        }
    }
    // Gear up in the climb-out, 300 ticks after the rotation ended, never down again.
    const auto gear = f.events(40001, GEAR_SET);
    const auto gearUp = std::find_if(gear.begin(), gear.end(), [&](const TickedEvent& e) {
        return e.command.data == 0 && e.tick == takeOffTick + static_cast<std::uint32_t>(rotationTicks) - 1 + 300;
    });
    EXPECT_NE(gearUp, gear.end());
    EXPECT_TRUE(std::none_of(gear.begin(), gear.end(), [&](const TickedEvent& e) {
        return e.command.data == 1 && e.tick > takeOffTick;
    }));
    // Besides it, one more gear up: climbing faster than 600 ft/min below 2050 ft
    // above the ground takes the go-around configuration, once.
    EXPECT_EQ(std::count_if(gear.begin(), gear.end(), [](const TickedEvent& e) { return e.command.data == 0; }), 2);
    EXPECT_TRUE(f.rig.live(40001) == nullptr || f.rig.live(40001)->goAround);
    // It climbed to 1500 ft above the ground, never faster than 0.6 ft a tick.
    double top = 0.0;
    for (std::size_t i = 1; i < track.size(); ++i) {
        top = std::max(top, track[i].second.altitude);
        if (track[i].first > takeOffTick + static_cast<std::uint32_t>(rotationTicks)) {
            EXPECT_LE(track[i].second.altitude - track[i - 1].second.altitude, 0.6 + 1e-9) << track[i].first;
        }
    }
    EXPECT_GE(top, kScenarioElevation + 1500.0);
    EXPECT_EQ(f.rig.live(40001) ? f.rig.live(40001)->moveState : AcMoveState::Flying, AcMoveState::Flying);
}

// Real lines of a departure: the taxi to the holding point, a wait there with the
// positions wobbling by a metre or two, no lines at all while the aircraft lines up,
// then the roll, the lift-off and the climb. The movement has 30 s of lines ahead
// of it; still it must not start the run early nor climb ahead of the feed: from
// the roll on, it is where the feed was 30 s before, within a second of travel.
TEST(FlightScenario, ADepartureWithRealLinesRollsLiftsOffAndClimbs30SecondsAfterTheFeed) {
    FlightRig f;
    MAX_HOLDING_MINUTES.value = 2;
    Flyer a{f.rig.feed, 40001, "SWR20"};
    a.report(12, 0, 0);
    a.fly(40, 12, 0, 0, 0, 2);
    const LatLon holdingPoint = a.at;
    for (int i = 1; i <= 20; ++i) {  // 40 s at the holding point
        a.tick += 200;
        a.timestamp += 2.0;
        a.truth.emplace_back(a.tick, holdingPoint);
        a.truthKnots.push_back(0.0);
        a.at = offset(holdingPoint, 45.0 * i, i % 3 == 0 ? 0.0 : 1.5);
        a.report(0, 0, 0);
        a.at = holdingPoint;
    }
    a.fly(15, 8, 0, 6, 0, 100);  // lining up: no lines
    const std::uint32_t rollStart = a.tick;
    a.fly(50, 8, 90, 0, 0, 2, 3.0);  // to 158 kt
    const std::uint32_t liftOff = a.tick;
    a.altitude = kScenarioElevation + 10.0;
    a.fly(60, 158, 90, 0, 2000, 2);

    std::uint32_t airborneTick = 0;
    f.watch = [&] {
        const LiveAc* ac = f.rig.live(40001);
        if (ac != nullptr && airborneTick == 0 && ac->simPosition.altitude > kScenarioElevation + kCg + 1.0)
            airborneTick = currentTick() - 1;
    };
    f.rig.run(a.tick + kSampleDelayTicks);
    f.expectClean();

    // Lift-off within a second of the feed's first line in the air (2 s after its
    // last on the ground), 30 s later.
    ASSERT_NE(airborneTick, 0u);
    EXPECT_NEAR(static_cast<double>(airborneTick), liftOff + 200 + kSampleDelayTicks, 100.0);
    // From 30 kt on the roll to the end of the climb: where the feed was 30 s before.
    double worstSeconds = 0.0;
    std::uint32_t worstTick = 0;
    for (const auto& [tick, b] : f.track(40001)) {
        if (tick < rollStart + kSampleDelayTicks || tick > a.tick + kSampleDelayTicks) continue;
        const double feedTick = static_cast<double>(tick) - kSampleDelayTicks;
        const std::size_t second = static_cast<std::size_t>(std::max(0.0, feedTick / 100.0 - 1.0));
        const double knots = a.truthKnots.at(std::min(second, a.truthKnots.size() - 1));
        if (knots < 30.0) continue;
        const double metres = metresBetween(lf_truthAt(a.truth, feedTick), LatLon{b.latitude, b.longitude});
        const double seconds = metres / (knots * kMetresPerNm / 3600.0);
        if (seconds > worstSeconds) {
            worstSeconds = seconds;
            worstTick = tick;
        }
    }
    RecordProperty("worst_seconds", std::to_string(worstSeconds));
    EXPECT_LE(worstSeconds, 1.0) << "at tick " << worstTick;
}

// ---- arrivals ---------------------------------------------------------------------------------

TEST(FlightScenario, ArrivalsOnRunways090And359LandRollOutAndTaxiOn) {
    for (const double runway : {90.0, 359.0}) {
        SCOPED_TRACE(runway);
        FlightRig f;
        MAX_HOLDING_MINUTES.value = 1;
        const LatLon threshold = kHome;
        f.parkAirport(offset(threshold, runway, 1500), kScenarioElevation);
        Flyer a{f.rig.feed, 40001, "SWR20"};
        // 12 nm out at 3600 ft above the runway, down at 700 ft/min and 140 kt.
        const double minutes = 3600.0 / 700.0;
        a.at = offset(threshold, runway + 180.0, minutes * 140.0 / 60.0 * kMetresPerNm);
        a.altitude = kScenarioElevation + 3600.0;
        a.report(140, runway, -700);
        a.fly(std::floor(minutes * 60.0 / 2.0) * 2.0, 140, runway, 0, -700, 2);
        // Touch-down, the roll-out slowing to 20 kt, the turn off to the right and a taxi.
        a.altitude = 0.0;
        a.fly(50, 130, runway, 0, 0, 2, -2.2);  // down to 20 kt
        const LatLon turnOff = a.at;
        a.fly(15, 20, runway, 2, 0, 3);  // a rapid exit, 30 degrees off the runway
        a.fly(45, 20, runway + 30.0, 0, 0, 3);

        std::vector<std::uint32_t> phases;
        std::uint32_t landingTick = 0, touchDownTick = 0, rollOutEnd = 0;
        double landingNm = 0.0;
        bool wasRolling = false;
        AcMoveState afterRollOut = AcMoveState::Birth;
        f.watch = [&] {
            const LiveAc* ac = f.rig.live(40001);
            if (ac == nullptr) return;
            const std::uint32_t tick = currentTick() - 1;
            if (landingTick == 0 && ac->landing) {
                landingTick = tick;
                landingNm = gf_distanceNm(positionOf(*ac), *f.rig.parking.airportPosition);
            }
            if (ac->flarePhase != 0 && (phases.empty() || phases.back() != ac->flarePhase))
                phases.push_back(ac->flarePhase);
            if (touchDownTick == 0 && ac->landed) touchDownTick = tick;
            if (ac->rollingOut) wasRolling = true;
            if (wasRolling && !ac->rollingOut && rollOutEnd == 0) {
                rollOutEnd = tick;
                afterRollOut = ac->moveState;
                EXPECT_GE(gf_headingDiffDegrees(ac->simPosition.trueHeading, runway * kDegToRad), 15.0);
                // On the exit, past where it left the runway's line.
                EXPECT_GT(metresBetween(positionOf(*ac), threshold), metresBetween(turnOff, threshold));
                EXPECT_LT(metresBetween(positionOf(*ac), turnOff), 200.0);
            }
        };
        ASSERT_TRUE(f.rig.runUntil([&] { return f.rig.live(40001) == nullptr && !f.rig.sim.removals.empty(); },
                                   a.tick + kSampleDelayTicks + 20000));
        f.expectClean();

        // The landing started inside 10 nm with flaps 3 and the gear down.
        ASSERT_NE(landingTick, 0u);
        EXPECT_LE(landingNm, 10.0);
        const auto flaps = f.events(40001, FLAPS_SET);
        EXPECT_TRUE(std::any_of(flaps.begin(), flaps.end(), [&](const TickedEvent& e) {
            return e.tick == landingTick && e.command.data == 16383;
        }));
        const auto gear = f.events(40001, GEAR_SET);
        EXPECT_TRUE(std::any_of(gear.begin(), gear.end(), [&](const TickedEvent& e) {
            return e.tick == landingTick && e.command.data == 1;
        }));
        EXPECT_EQ(f.rig.engine.arrivalsList.size(), 1u);
        // The flare's phases in order, then the touch-down from a ground report.
        EXPECT_EQ(phases, (std::vector<std::uint32_t>{1, 2, 3, 4}));
        ASSERT_NE(touchDownTick, 0u);
        const std::uint32_t object = f.rig.sim.objectOf.at(40001);
        EXPECT_TRUE(std::any_of(f.rig.sim.groundReports.begin(), f.rig.sim.groundReports.end(),
                                [&](const auto& r) { return r.objectId == object && r.tick + 1 == touchDownTick; }));
        // Spoilers out at touch-down, in again on the roll-out.
        const auto spoilers = f.events(40001, SPOILERS_SET);
        const auto out = std::find_if(spoilers.begin(), spoilers.end(),
                                      [](const TickedEvent& e) { return e.command.data == 16383; });
        ASSERT_NE(out, spoilers.end());
        EXPECT_EQ(out->tick, touchDownTick);
        EXPECT_TRUE(std::any_of(out, spoilers.end(), [](const TickedEvent& e) { return e.command.data == 0; }));
        // The roll-out ended at the turn-off and the aircraft taxied on.
        ASSERT_NE(rollOutEnd, 0u);
        EXPECT_EQ(afterRollOut, AcMoveState::Taxi);
        const auto& track = f.track(40001);
        EXPECT_LT(metresBetween(a.at, LatLon{track.back().second.latitude, track.back().second.longitude}), 30.0);
        // On the ground it stands on the terrain.
        EXPECT_NEAR(track.back().second.altitude, kScenarioElevation + kCg, 1e-6);
    }
}

// The feed ends on short final: the program lands the aircraft on its own, and
// the aircraft must not stay on the runway once it has rolled out.
TEST(FlightScenario, ALandingAfterTheFeedEndedDoesNotStayOnTheRunway) {
    FlightRig f;
    MAX_HOLDING_MINUTES.value = 5;
    const double runway = 90.0;
    f.parkAirport(offset(kHome, runway, 1500), kScenarioElevation);
    Flyer a{f.rig.feed, 40001, "SWR20"};
    // 1200 ft above the runway down at 700 ft/min and 140 kt; the feed's last line
    // comes 150 ft above it.
    const double minutes = 1200.0 / 700.0;
    a.at = offset(kHome, runway + 180.0, minutes * 140.0 / 60.0 * kMetresPerNm);
    a.altitude = kScenarioElevation + 1200.0;
    a.report(140, runway, -700);
    a.fly(std::floor((1200.0 - 150.0) / 700.0 * 60.0 / 2.0) * 2.0, 140, runway, 0, -700, 2);

    std::uint32_t touchDownTick = 0;
    std::uint32_t stoppedSince = 0, longestStop = 0;
    LatLon last{};
    f.watch = [&] {
        const LiveAc* ac = f.rig.live(40001);
        if (ac == nullptr || ac->simState != AcSimState::Active) return;
        const std::uint32_t tick = currentTick() - 1;
        if (touchDownTick == 0 && ac->landed) touchDownTick = tick;
        const LatLon here = positionOf(*ac);
        // Standing still on the ground after the touch-down.
        if (touchDownTick != 0 && ac->onGround && metresBetween(here, last) < 0.01) {
            if (stoppedSince == 0) stoppedSince = tick;
            longestStop = std::max(longestStop, tick - stoppedSince);
        } else {
            stoppedSince = 0;
        }
        last = here;
    };
    ASSERT_TRUE(f.rig.runUntil([&] { return f.rig.live(40001) == nullptr && !f.rig.sim.removals.empty(); },
                               a.tick + kSampleDelayTicks + 60000));
    f.expectClean();
    ASSERT_NE(touchDownTick, 0u);
    RecordProperty("stood_on_the_runway_s", std::to_string(longestStop / 100.0));
    // Removed once it has rolled out: it stands no longer than one hold sample.
    EXPECT_LE(longestStop, 300u) << "stood " << longestStop / 100.0 << " s on the runway";
    EXPECT_LE(f.rig.sim.removals.front().tick, touchDownTick + 6000);
}

// With QNH 1013 and a park airport set, the last leg before a touch-down and the
// flare measure the height over the ground under the aircraft, whichever airport
// it lands at: one 1500 ft above the park airport, 30 nm away (no landing starts
// there), and one 1000 ft below it, 8 nm away (the landing starts and flares).
TEST(FlightScenario, ALandingAtAnotherAirportDescendsOntoItsOwnRunway) {
    struct Case {
        const char* name;
        double nm;        // east of the park airport
        double relative;  // the airport's elevation over the park airport's
        bool lands;       // a landing (within 10 nm of the park airport) starts
    };
    const Case cases[] = {{"1500 ft higher, 30 nm away", 30, 1500, false},
                          {"1000 ft lower, 8 nm away", 8, -1000, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LatLon other = offset(kHome, 90, c.nm * kMetresPerNm);
        const double otherElevation = kScenarioElevation + c.relative;
        // The ground changes to the other airport's elevation 5 nm before it.
        const double edge = offset(other, 270, 5 * kMetresPerNm).lon;
        const auto terrain = [edge, otherElevation](double, double longitude) {
            return longitude > edge ? otherElevation : kScenarioElevation;
        };
        FlightRig f(terrain);
        MAX_HOLDING_MINUTES.value = 1;
        f.parkAirport(kHome, kScenarioElevation);
        Flyer a{f.rig.feed, 40001, "SWR20"};
        // 1800 ft above its runway, down at 700 ft/min and 140 kt onto it.
        const double minutes = 1800.0 / 700.0;
        a.at = offset(other, 270, minutes * 140.0 / 60.0 * kMetresPerNm);
        a.altitude = otherElevation + 1800.0;
        a.report(140, 90, -700);
        a.fly(std::floor(minutes * 60.0 / 2.0) * 2.0, 140, 90, 0, -700, 2);
        const std::uint32_t touchDownInFeed = a.tick;
        a.altitude = 0.0;
        a.fly(40, 120, 90, 0, 0, 2, -2.5);

        bool landing = false;
        double flareAgl = -1.0;
        std::uint32_t onGroundTick = 0;
        f.watch = [&] {
            const LiveAc* ac = f.rig.live(40001);
            if (ac == nullptr) return;
            landing = landing || ac->landing;
            if (flareAgl < 0.0 && ac->flarePhase != 0) flareAgl = ac->heightAboveGround;
            if (onGroundTick == 0 && ac->onGround) onGroundTick = currentTick() - 1;
        };
        ASSERT_TRUE(f.rig.runUntil([&] { return !f.rig.sim.removals.empty(); }, a.tick + kSampleDelayTicks + 20000));
        f.expectClean();

        EXPECT_EQ(landing, c.lands);
        ASSERT_NE(onGroundTick, 0u);
        // Down onto the runway no steeper than 1500 ft/min and never climbing, on the
        // ground within 10 s of the feed's touch-down 30 s later.
        const auto& track = f.track(40001);
        double steepest = 0.0, highest = -1e9;
        // (up to the tick whose ground report puts it onto the runway)
        for (std::size_t i = 1; i < track.size() && track[i].first < onGroundTick; ++i) {
            steepest = std::min(steepest, track[i].second.altitude - track[i - 1].second.altitude);
            highest = std::max(highest, track[i].second.altitude - track[i - 1].second.altitude);
        }
        RecordProperty("steepest_fpm", std::to_string(steepest * 6000.0));
        EXPECT_GE(steepest * 6000.0, -1500.0) << "steepest " << steepest * 6000.0 << " ft/min";
        EXPECT_LE(highest, 0.0) << "climbed " << highest * 6000.0 << " ft/min";
        EXPECT_LE(onGroundTick, touchDownInFeed + kSampleDelayTicks + 1000);
        EXPECT_NEAR(track.back().second.altitude, otherElevation + kCg, 1e-6);
        // The flare begins 30 ft above the static CG height (a ground report is 20 ticks old at most).
        if (c.lands) {
            EXPECT_LE(flareAgl, kCg + 30.0 + 5.0);
        }
    }
}

}  // namespace
}  // namespace clv::test
