// Ground traffic through the whole engine, with the simulator played by the
// recording link, every tick watched by the trajectory checker.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "core/run_meter.h"
#include "movement_support.h"
#include "support/temp_folder.h"
#include "tools/feedstandin/track_script.h"
#include "trajectory_checker.h"

namespace clv::test {
namespace {

// A scripted aircraft of the feed: it reports where it is as it drives or stands.
struct Driver {
    ScriptedFeed& feed;
    std::uint32_t hexid;
    std::string callsign;
    std::string type = "A320";
    LatLon at = kHome;
    std::uint32_t tick = 0;
    double timestamp = 1000.0;
    std::vector<LatLon> path{kHome};

    void report(double groundSpeed, double track, LatLon p) {
        TrafficUpdate u = makeUpdate(hexid, callsign, type, p.lat, p.lon, 0.0, groundSpeed, track, timestamp);
        feed.at(tick, u);
    }
    // To `to` at `knots`, a report about every `every` seconds, the last on arrival.
    void drive(LatLon to, double knots, double every) {
        const double bearing = gf_bearing(at, to) * kRadToDeg;
        const double metres = metresBetween(at, to);
        const double metresPerSecond = knots * kMetresPerNm / 3600.0;
        const int n = std::max(1, static_cast<int>(std::lround(metres / (metresPerSecond * every))));
        for (int i = 1; i <= n; ++i) {
            advance(metres / n / metresPerSecond);
            report(knots, bearing, i < n ? offset(at, bearing, metres * i / n) : to);
        }
        at = to;
        path.push_back(to);
    }
    // Stands for `seconds`, one report every `every` seconds; the reported
    // position wobbles by up to `wobbleDegrees` and the track by a few degrees.
    void stand(double seconds, double every, double wobbleDegrees, double track) {
        for (double t = every; t <= seconds + 1e-9; t += every) {
            advance(every);
            const int i = static_cast<int>(t / every);
            const double w = (i % 2 == 0 ? 1.0 : -1.0) * wobbleDegrees;
            report(0.0, track + (i % 2 == 0 ? 4.0 : -4.0), LatLon{at.lat + w, at.lon - w / 2.0});
        }
    }
    void advance(double seconds) {
        tick += static_cast<std::uint32_t>(std::lround(seconds * 100.0));
        timestamp += seconds;
    }
};

// A rig with the program's movement, a simulator that binds, reports a static CG
// and the ground, and a checker on every tick.
struct GroundRig {
    EngineRig rig;
    TrajectoryChecker checker{rig};
    explicit GroundRig(std::function<double(double, double)> terrain = {}) {
        rig.useLiveMovement();
        rig.sim.responder.on = true;
        rig.sim.responder.staticCg = 6.0;
        rig.sim.responder.terrain = terrain ? std::move(terrain) : [](double, double) { return 1400.0; };
    }
    void expectClean() {
        EXPECT_EQ(checker.faultCount(), 0u);
        for (const std::string& f : checker.faults()) ADD_FAILURE() << f;
    }
    // Runs until the aircraft has been in the simulator and is gone again.
    bool runUntilGone(std::uint32_t hexid, std::uint32_t limit) {
        const bool came = rig.runUntil(
            [&] { return rig.live(hexid) != nullptr && rig.live(hexid)->simState == AcSimState::Active; }, limit);
        return came && rig.runUntil([&] { return rig.live(hexid) == nullptr; }, limit);
    }
    const std::vector<std::pair<std::uint32_t, AiPositionData>>& track(std::uint32_t hexid) {
        return checker.track(rig.sim.objectOf.at(hexid));
    }
};

double pathLength(const std::vector<LatLon>& path) {
    double m = 0.0;
    for (std::size_t i = 1; i < path.size(); ++i) m += metresBetween(path[i - 1], path[i]);
    return m;
}

double trackLength(const std::vector<std::pair<std::uint32_t, AiPositionData>>& track) {
    double m = 0.0;
    for (std::size_t i = 1; i < track.size(); ++i)
        m += gf_distanceNm(track[i - 1].second.latitude, track[i - 1].second.longitude, track[i].second.latitude,
                           track[i].second.longitude) *
             kMetresPerNm;
    return m;
}

// The longest time (ticks) the aircraft stood still within `metres` of `place`.
std::uint32_t longestStandNear(const std::vector<std::pair<std::uint32_t, AiPositionData>>& track, LatLon place,
                               double metres) {
    std::uint32_t best = 0;
    std::size_t runStart = 0;
    for (std::size_t i = 1; i <= track.size(); ++i) {
        const bool same = i < track.size() && track[i].second.latitude == track[i - 1].second.latitude &&
                          track[i].second.longitude == track[i - 1].second.longitude;
        if (same) continue;
        const AiPositionData& p = track[runStart].second;
        if (metresBetween(LatLon{p.latitude, p.longitude}, place) <= metres)
            best = std::max(best, track[i - 1].first - track[runStart].first);
        runStart = i;
    }
    return best;
}

// A movement that jumps and flips: the checker must see it.
class JumpyMovement : public LiveMovement {
public:
    void moveTick(TrafficEngine& engine, LiveAc& ac) override {
        LiveMovement::moveTick(engine, ac);
        if (gf_tickNow() % 1000 == 0) {
            ac.simPosition.latitude += 0.001;
            ac.simPosition.trueHeading = std::fmod(ac.simPosition.trueHeading + kPi, kTwoPi);
        }
    }
};

TEST(TrajectoryChecker, SeesJumpsAndFlips) {
    GroundRig g;
    JumpyMovement jumpy;
    g.rig.engine.ports.movement = &jumpy;
    Driver d{g.rig.feed, 40001, "SWR12"};
    d.report(15, 90, d.at);
    d.drive(offset(kHome, 90, 300), 15, 3);
    g.rig.run(6000);
    EXPECT_GT(g.checker.blocksChecked(), 1000u);
    ASSERT_GE(g.checker.faults().size(), 2u);
    const std::string all = fmt::format("{}", fmt::join(g.checker.faults(), "\n"));
    EXPECT_NE(all.find("moved"), std::string::npos) << all;
    EXPECT_NE(all.find("heading changed"), std::string::npos) << all;
}

TEST(GroundScenario, TaxiWithWobbleAndStopsStandsStillOnlyWhereItReallyStopped) {
    GroundRig g;
    MAX_HOLDING_MINUTES.value = 1;
    Driver d{g.rig.feed, 40001, "SWR12"};
    d.report(15, 90, d.at);
    d.drive(offset(kHome, 90, 300), 15, 3);
    const LatLon stop1 = d.at;
    d.stand(10, 5, 0.00004, 90);
    d.drive(offset(stop1, 0, 200), 15, 3);
    const LatLon stop2 = d.at;
    d.stand(20, 5, 0.00004, 0);
    d.drive(offset(stop2, 90, 200), 20, 3);
    ASSERT_TRUE(g.runUntilGone(40001, 40000));

    g.expectClean();
    EXPECT_GT(g.checker.blocksChecked(), 5000u);
    EXPECT_GE(g.checker.samplesReached(), 15u);
    const auto& track = g.track(40001);
    // No jitter: the path driven is the scripted one, not longer.
    EXPECT_LT(trackLength(track), pathLength(d.path) * 1.03 + 5.0);
    EXPECT_GT(trackLength(track), pathLength(d.path) * 0.9);
    // The 10 s stop was dropped; the 20 s one, followed by a move of more than 22 m, kept
    // (it stands shorter than the feed did: it arrives there slowing down from 15 kt to 0).
    EXPECT_LT(longestStandNear(track, stop1, 5.0), 200u);
    EXPECT_GE(longestStandNear(track, stop2, 5.0), 1000u);
}

// A stop in the feed stands as long on the screen, 30 s later: the hold lines
// wobble, and the first line after the stop lies only a few metres on.
TEST(GroundScenario, AStopStandsAsLongAsTheFeedStood) {
    for (const double stop : {20.0, 30.0, 60.0}) {
        SCOPED_TRACE(stop);
        GroundRig g;
        MAX_HOLDING_MINUTES.value = 1;
        Driver d{g.rig.feed, 40001, "SWR12"};
        d.report(15, 90, d.at);
        d.drive(offset(kHome, 90, 300), 15, 2);
        const LatLon stopAt = d.at;
        const std::uint32_t stopStart = d.tick;
        d.stand(stop, 2, 0.00002, 90);
        const std::uint32_t stopEnd = d.tick;
        // Away again from a standstill: 2 s lines, speeds from 2 to 14 kt.
        for (double knots = 2.0; knots <= 14.0; knots += 2.0) {
            d.advance(2.0);
            d.at = offset(d.at, 90, knots * kMetresPerNm / 3600.0 * 2.0);
            d.report(knots, 90, d.at);
        }
        d.drive(offset(d.at, 90, 200), 15, 2);
        ASSERT_TRUE(g.runUntilGone(40001, 40000));
        g.expectClean();

        // It stood at the stop from the feed's first hold line to its first move, 30 s later.
        const auto& track = g.track(40001);
        std::uint32_t from = 0, to = 0;
        for (std::size_t i = 1; i < track.size(); ++i) {
            const auto& [tick, b] = track[i];
            const bool still = b.latitude == track[i - 1].second.latitude &&
                               b.longitude == track[i - 1].second.longitude;
            if (still && metresBetween(LatLon{b.latitude, b.longitude}, stopAt) < 5.0) {
                if (from == 0) from = track[i - 1].first;
                to = tick;
            }
        }
        RecordProperty("stood_ticks", std::to_string(to - from));
        // A stop is known to within one line of the feed (2 s): where its first and
        // last lines fall.
        EXPECT_NEAR(static_cast<double>(to - from), stopEnd - stopStart, 200.0);
        EXPECT_NEAR(static_cast<double>(from), stopStart + kSampleDelayTicks, 200.0);
    }
}

// The wall clock of the playback lag for a Driver's stamps: 1000 s at tick 0.
double lf_driverLagClock() { return 1000.0 + static_cast<double>(currentTick()) / 100.0; }

struct DriverLagClock {
    DriverLagClock() {
        gf_setLagClock(lf_driverLagClock);
        gf_takePlaybackLag(g_playbackLagMeter);
    }
    ~DriverLagClock() { gf_setLagClock(nullptr); }
};

// An arrival as the load scenario sends it: in at 15 kt, then 90 s at its stand,
// every line on the stand's exact position or wobbling around it, and away again.
// Every line played is played at least the 30 s behind its stamp and, later only
// by the re-timing's max delay (30 s), at most 60 s.
TEST(GroundScenario, EveryLineOfAStopIsPlayedThirtySecondsBehindItsStamp) {
    for (const double wobble : {0.0, 0.00004}) {
        SCOPED_TRACE(wobble == 0.0 ? "the lines repeat the stand's position" : "the lines wobble around it");
        GroundRig g;
        MAX_HOLDING_MINUTES.value = 1;
        DriverLagClock clock;
        Driver d{g.rig.feed, 40001, "SWR12"};
        const double step = 15.0 * kMetresPerNm / 3600.0 * 2.0;  // metres per 2 s line
        d.report(15, 90, d.at);
        for (int i = 0; i < 20; ++i) {
            d.advance(2.0);
            d.at = offset(d.at, 90, step);
            d.report(15, 90, d.at);
        }
        d.stand(90, 2, wobble, 90);
        for (int i = 0; i < 10; ++i) {
            d.advance(2.0);
            d.at = offset(d.at, 90, step);
            d.report(15, 90, d.at);
        }
        ASSERT_TRUE(g.runUntilGone(40001, 40000));
        g.expectClean();
        const PlaybackLagMeter lag = gf_takePlaybackLag(g_playbackLagMeter);
        // The lines the intake keeps: those of the taxi 4 s apart, one of the stand
        // every 30 s or so.
        EXPECT_GE(lag.positions, 20u);
        EXPECT_GE(lag.minSeconds, 30.0 - 1e-6);
        EXPECT_LE(lag.maxSeconds, 60.0);
    }
}

// The demo's easyJet A320 as the feed tool sends it from the demo's points: a
// line every 2 s along the points, position and speed interpolated, so the speed
// falls to 0 during the wait while the position stands, and rises from 0 while
// the position already moves at 12 kt. At 12 kt two lines lie closer than the
// jitter limit. Played 30 s late as the feed has it: no dash, no creep, the wait
// as long as the feed's.
TEST(GroundScenario, TheDemosWaitOnATaxiwayIsPlayedAsTheFeedHasIt) {
    struct Point {
        double time, latitude, longitude, knots, track;
    };
    const std::vector<Point> points{{150, 47.45750, 8.55150, 12, 0}, {174, 47.45885, 8.55150, 12, 0},
                                    {199, 47.46020, 8.55150, 12, 0}, {259, 47.46020, 8.55150, 0, 0},
                                    {291, 47.46200, 8.55150, 12, 0}, {331, 47.46359, 8.55385, 12, 45}};
    const auto feedAt = [&](double t) {
        std::size_t i = 0;
        while (i + 2 < points.size() && t >= points[i + 1].time) ++i;
        const Point& a = points[i];
        const Point& b = points[i + 1];
        const double u = std::clamp((t - a.time) / (b.time - a.time), 0.0, 1.0);
        return Point{t, a.latitude + u * (b.latitude - a.latitude), a.longitude + u * (b.longitude - a.longitude),
                     a.knots + u * (b.knots - a.knots), a.track + u * (b.track - a.track)};
    };
    GroundRig g;
    MAX_HOLDING_MINUTES.value = 1;
    const double start = points.front().time;
    for (std::size_t i = 0; i < points.size(); ++i) {
        for (double t = points[i].time; i + 1 == points.size() ? t <= points[i].time : t < points[i + 1].time - 1e-9;
             t += 2.0) {
            const Point p = feedAt(t);
            g.rig.feed.at(static_cast<std::uint32_t>(std::lround((t - start) * 100.0)),
                          makeUpdate(4221150, "EZY39QF", "A320", p.latitude, p.longitude, 0.0, p.knots, p.track,
                                     1000.0 + t));
        }
    }
    ASSERT_TRUE(g.runUntilGone(4221150, 40000));
    g.expectClean();
    RecordProperty("faults", std::to_string(g.checker.faultCount()));

    // Where the feed was 30 s before, within a second of travel at 12.2 kt (the
    // speed its positions show), from 10 s after its first line to the last corner.
    const double oneSecond = 12.2 * kMetresPerNm / 3600.0;
    double worst = 0.0;
    std::uint32_t worstTick = 0;
    for (const auto& [tick, b] : g.track(4221150)) {
        const double t = start + (static_cast<double>(tick) - kSampleDelayTicks) / 100.0;
        if (t < start + 10.0 || t > points[4].time) continue;
        const Point p = feedAt(t);
        const double m = metresBetween(LatLon{p.latitude, p.longitude}, LatLon{b.latitude, b.longitude});
        if (m > worst) {
            worst = m;
            worstTick = tick;
        }
    }
    EXPECT_LE(worst, oneSecond) << "worst " << worst << " m at tick " << worstTick;
}

// The demo's aircraft that stay on the ground, as the feed tool sends them from the
// demo's script: a line every 2 s, position, speed and track interpolated, so
// speeds ramp through 0 at every stop while the position already moves. Standing,
// pushing back, stopping and taxiing on is the feed's own movement: one object
// from start to end, ending where the feed ended. A push back sized by the stand
// can end 50 m from where the feed's ended; the taxi that starts from there (its
// reported speed still near 0) is driven, not taken for a jump, and reaches the
// feed's lines in time: the checker finds nothing in any case.
TEST(GroundScenario, TheDemosGroundTracksAreDrivenAsOneObject) {
    struct DemoCase {
        const char* callsign;
        double pushBackMetres;  // the engine pushes back 2.5 stand radii
    };
    const DemoCase cases[] = {
        {"SWR282", 45.0},  // the feed's own push back
        {"SWR282", 93.0},  // a larger stand's: the first taxi leg starts 50 m behind the feed's
        {"EZY39QF", 45.0},
    };
    const FeedScript demo =
        gf_readTrackScript(readFile(std::filesystem::path(CLV_TESTS_SOURCE_DIR).parent_path() / "demo" / "traffic.trk"));
    for (const DemoCase& c : cases) {
        const std::string callsign = c.callsign;
        SCOPED_TRACE(fmt::format("{}, push back {} m", callsign, c.pushBackMetres));
        const auto found = std::find_if(demo.tracks.begin(), demo.tracks.end(),
                                        [&](const FeedTrack& t) { return t.identity.callsign == callsign; });
        ASSERT_NE(found, demo.tracks.end());
        const std::vector<FeedPoint>& points = found->points;
        const auto angle = [](double a, double b, double u) {
            const double d = std::remainder(b - a, 360.0);
            return std::fmod(a + u * d + 360.0, 360.0);
        };
        GroundRig g;
        MAX_HOLDING_MINUTES.value = 1;
        // One standing at its gate is placed there, as the airport's stands would.
        g.rig.parking.placement = StandPlacement::Placed;
        g.rig.parking.placementStand = 21;
        g.rig.parking.placementHeading = points.front().track.value_or(0.0);
        g.rig.parking.standRadius = c.pushBackMetres / 2.5 / kMetresPerNm;
        const std::uint32_t hexid = found->identity.hexid;
        const double start = points.front().time;
        for (std::size_t i = 0; i + 1 < points.size(); ++i) {
            const FeedPoint& a = points[i];
            const FeedPoint& b = points[i + 1];
            const bool last = i + 2 == points.size();
            for (double t = a.time; last ? t <= b.time + 1e-9 : t < b.time - 1e-9; t += 2.0) {
                const double u = (t - a.time) / (b.time - a.time);
                g.rig.feed.at(static_cast<std::uint32_t>(std::lround((t - start) * 100.0)),
                              makeUpdate(hexid, callsign, "A320",  // a type the rig's data knows
                                         a.latitude + u * (b.latitude - a.latitude),
                                         a.longitude + u * (b.longitude - a.longitude), 0.0,
                                         a.groundSpeed + u * (b.groundSpeed - a.groundSpeed),
                                         angle(a.track.value_or(0.0), b.track.value_or(0.0), u), 1000.0 + t));
            }
        }
        ASSERT_TRUE(g.runUntilGone(hexid, 60000));
        g.expectClean();
        EXPECT_EQ(g.rig.sim.creations.size(), 1u) << "one object from start to end";
        const LatLon end{points.back().latitude, points.back().longitude};
        double closest = 1e9;
        for (const auto& [tick, b] : g.track(hexid)) closest = std::min(closest, metresBetween(end, LatLon{b.latitude, b.longitude}));
        EXPECT_LT(closest, 1.0) << "never where the feed ended";
    }
}

// A noisy ground track as real feeds have it: every 20 s the position stays stale
// for 10 s (the lines repeat it, speed and all) and then jumps to where the aircraft
// is; now and then a line lies 60 m behind. The aircraft drives on east without
// standing, its heading along its way, one object from start to end.
TEST(GroundScenario, ANoisyTrackWithStalePositionsJumpsAndSpikesIsDrivenSmoothly) {
    for (const double knots : {15.0, 25.0}) {
        SCOPED_TRACE(knots);
        GroundRig g;
        MAX_HOLDING_MINUTES.value = 1;
        Driver d{g.rig.feed, 40001, "SWR12"};
        const double step = knots * kMetresPerNm / 3600.0 * 2.0;  // metres per 2 s line
        LatLon truth = kHome, reported = kHome;
        d.report(knots, 90, truth);
        for (int i = 1; i <= 60; ++i) {
            d.advance(2.0);
            truth = offset(truth, 90, step);
            if (i % 10 < 5) reported = truth;  // stale for 10 s of every 20
            const bool spike = i % 15 == 7;
            d.report(knots, 90, spike ? offset(reported, 270, 60) : reported);
        }
        ASSERT_TRUE(g.runUntilGone(40001, 40000));
        g.expectClean();

        EXPECT_EQ(g.rig.sim.creations.size(), 1u);
        const auto& track = g.track(40001);
        std::uint32_t still = 0, longestStill = 0;
        double worstHeading = 0.0;
        for (std::size_t i = 1; i < track.size(); ++i) {
            const AiPositionData& b = track[i].second;
            const AiPositionData& a = track[i - 1].second;
            if (track[i].first > kSampleDelayTicks + 11000) break;  // the stream's end: it holds
            still = a.latitude == b.latitude && a.longitude == b.longitude ? still + 1 : 0;
            longestStill = std::max(longestStill, still);
            worstHeading = std::max(worstHeading, gf_headingDiffDegrees(b.trueHeading, 90.0 * kDegToRad));
        }
        EXPECT_LE(longestStill, 100u) << "stood " << longestStill << " ticks";
        EXPECT_LE(worstHeading, 10.0);
    }
}

// A taxiing aircraft whose feed jumps farther than any taxi goes in the feed's own
// time between its lines (2-3 km, with the positions stale now and then and the
// speed not matching them): it leaves the simulator once when the jump is played
// and is created again once where the feed went on. A far line or three that the
// feed takes back is a spike: dropped, one object, never a turn towards it. A jump
// a late aircraft can catch up is driven.
TEST(GroundScenario, AJumpBeyondReachIsTakenOnceAndASpikeIsDropped) {
    struct JumpCase {
        const char* name;
        double bearing;         // of the jump, degrees
        double metres;          // of the jump
        int spikeLines;         // 0: the feed goes on from there; else it comes back after this many lines
        std::size_t objects;    // objects made in all
        bool wildFirst = false; // the first line after the jump lies as far the other way
    };
    const JumpCase cases[] = {
        {"3 km north, the feed goes on from there", 0.0, 3000.0, 0, 2},
        {"a line 3 km south, then the feed goes on 3 km north", 0.0, 3000.0, 0, 2, true},
        {"3 km back west, the feed goes on east from there", 270.0, 3000.0, 0, 2},
        {"2 km ahead", 90.0, 2000.0, 0, 2},
        {"one line 3 km north, then back", 0.0, 3000.0, 1, 1},
        // (the second line of three comes too soon after the first and is thinned out)
        {"three lines 3 km north, then back", 0.0, 3000.0, 3, 1},
        {"100 m ahead, the feed goes on from there: driven", 90.0, 100.0, 0, 1},
    };
    for (const JumpCase& c : cases) {
        SCOPED_TRACE(c.name);
        GroundRig g;
        MAX_HOLDING_MINUTES.value = 1;
        Driver d{g.rig.feed, 40001, "SWR12"};
        const double knots = 15.0;
        const double step = knots * kMetresPerNm / 3600.0 * 2.0;  // metres per 2 s line
        LatLon truth = kHome, reported = kHome;
        LatLon shift{0.0, 0.0};  // where the feed's track lies from the truth after the jump
        std::uint32_t jumpTick = 0;
        d.report(knots, 90, truth);
        for (int i = 1; i <= 80; ++i) {
            d.advance(2.0);
            truth = offset(truth, 90, step);
            if (i == 40) {
                jumpTick = d.tick;
                const LatLon to = offset(truth, c.bearing, c.metres);
                if (c.spikeLines == 0) shift = LatLon{to.lat - truth.lat, to.lon - truth.lon};
            }
            const LatLon on{truth.lat + shift.lat, truth.lon + shift.lon};
            if (i % 8 < 5 || i == 40) reported = on;  // stale for 6 s of every 16
            const bool spike = c.spikeLines > 0 && i >= 40 && i < 40 + c.spikeLines;
            const bool wild = c.wildFirst && i == 40;
            // The speed says 18 kt while the positions show 15.
            d.report(18.0, 90, spike ? offset(reported, c.bearing, c.metres)
                               : wild ? offset(truth, c.bearing + 180.0, c.metres)
                                      : reported);
        }
        const LatLon lastReported = reported;
        g.rig.run(d.tick + kSampleDelayTicks + 2000);  // before the end of its hold
        g.expectClean();

        ASSERT_EQ(g.rig.sim.creations.size(), c.objects);
        ASSERT_EQ(g.rig.sim.removals.size(), c.objects - 1) << "taken out once at most";
        if (c.objects == 2) {
            // Taken out when the jump is played, not when its line came in.
            const std::uint32_t out = g.rig.sim.removals[0].tick;
            EXPECT_GE(out, jumpTick + kSampleDelayTicks - 500);
            EXPECT_LE(out, jumpTick + kSampleDelayTicks + 1000);
            const auto& second = g.track(40001);
            ASSERT_FALSE(second.empty());
            const LatLon firstAt{second.front().second.latitude, second.front().second.longitude};
            EXPECT_LT(metresBetween(firstAt, offset(kHome, 90, 40 * step)), c.metres + 40 * step)
                << "created where the feed went on";
            EXPECT_GT(metresBetween(firstAt, offset(kHome, 90, 40 * step)), c.metres - 20.0);
            EXPECT_LE(second.front().first, out + 500) << "back within seconds";
        }
        // Every object drives along its line (never towards a spike) and the last one
        // ends where the feed ended.
        const double north = shift.lat * kCurveMetresPerDegree;
        const auto& last = g.track(40001);
        ASSERT_FALSE(last.empty());
        double worstAside = 0.0;
        for (const TickedPositions& p : g.rig.sim.sentPositions) {
            for (const AiPositionUpdate& b : p.blocks) {
                const double aside = (b.block.latitude - kHome.lat) * kCurveMetresPerDegree;
                worstAside = std::max(worstAside, std::min(std::fabs(aside), std::fabs(aside - north)));
            }
        }
        if (c.objects == 2 || c.spikeLines > 0) {
            EXPECT_LE(worstAside, 5.0);
        }
        EXPECT_LT(metresBetween(LatLon{last.back().second.latitude, last.back().second.longitude}, lastReported), 5.0);
    }
}

// Drives an aircraft 200 m east and lets its stream end there.
void taxiAndEnd(Driver& d) {
    d.report(12, 90, d.at);
    d.drive(offset(kHome, 90, 200), 12, 4);
}

TEST(GroundScenario, AStreamEndingOnATaxiwayHoldsThenGoes) {
    GroundRig g;
    MAX_HOLDING_MINUTES.value = 1;
    Driver d{g.rig.feed, 40001, "SWR12"};
    taxiAndEnd(d);
    const std::uint32_t lastDue = d.tick + kSampleDelayTicks;
    ASSERT_TRUE(g.rig.runUntil([&] { return !g.rig.sim.removals.empty(); }, 30000));
    g.expectClean();
    // Held a minute (in 3 s hold samples) after reaching its last sample.
    const std::uint32_t removal = g.rig.sim.removals[0].tick;
    EXPECT_GE(removal, lastDue + 6000 - 1000);
    EXPECT_LE(removal, lastDue + 6000 + 1000 + 300 + 10);
    const auto& track = g.track(40001);
    EXPECT_GE(longestStandNear(track, d.at, 1.0), 5500u);
}

TEST(GroundScenario, AHolderGoesAtOnceWhenAnotherAircraftTaxiesClose) {
    GroundRig g;
    Driver d{g.rig.feed, 40001, "SWR12"};
    taxiAndEnd(d);
    // The second one comes from the north, 40 s later, passing 20 m north of the holder.
    Driver other{g.rig.feed, 40002, "EZY34"};
    other.tick = d.tick + 4000;
    other.timestamp = 2000.0;
    other.at = offset(offset(d.at, 0, 20), 270, 300);
    other.report(15, 90, other.at);
    other.drive(offset(other.at, 90, 600), 15, 3);

    ASSERT_TRUE(g.rig.runUntil([&] { return !g.rig.sim.removals.empty(); }, 30000));
    const std::uint32_t removal = g.rig.sim.removals[0].tick;
    EXPECT_EQ(g.rig.sim.removals[0].id, g.rig.sim.objectOf.at(40001));
    // When the other came within 1.2 x the sum of both radii (43 m for two A320).
    const auto& holder = g.track(40001).back().second;
    const auto& otherTrack = g.track(40002);
    std::uint32_t close = 0;
    for (const auto& [tick, b] : otherTrack) {
        if (gf_distanceNm(b.latitude, b.longitude, holder.latitude, holder.longitude) <= 1.2 * 2 * 0.0097) {
            close = tick;
            break;
        }
    }
    ASSERT_NE(close, 0u);
    EXPECT_GE(removal, close);
    EXPECT_LE(removal, close + 300 + 10);
    g.rig.run(500);
    g.expectClean();
}

TEST(GroundScenario, PushBackWithASwingThenTaxiThroughTwoCorners) {
    GroundRig g;
    MAX_HOLDING_MINUTES.value = 1;
    g.rig.parking.placement = StandPlacement::Placed;
    g.rig.parking.placementStand = 21;
    g.rig.parking.placementHeading = 0.0;  // nose north
    g.rig.parking.standRadius = 0.02;
    Driver d{g.rig.feed, 40001, "SWR12"};
    // At the stand, then pushed back south with the tail swinging west (nose east).
    d.report(0, 0, d.at);
    d.stand(20, 5, 0.0, 0);
    d.advance(5);
    d.report(3, 10, offset(kHome, 180, 15));
    d.at = offset(kHome, 180, 15);
    d.drive(offset(kHome, 180, 45), 3, 5);
    // Then it taxies: east, a 30 degree corner, then a 90 degree corner.
    d.stand(15, 5, 0.0, 90);
    const LatLon start = d.at;
    d.drive(offset(start, 90, 200), 12, 3);
    d.drive(offset(d.at, 120, 200), 12, 3);
    d.drive(offset(d.at, 210, 200), 12, 3);
    ASSERT_TRUE(g.runUntilGone(40001, 60000));
    g.expectClean();

    const auto& track = g.track(40001);
    ASSERT_FALSE(track.empty());
    // The push back swung the nose 90 degrees, to the east, 2.5 stand radii behind the stand.
    bool turnedEast = false;
    for (const auto& [tick, b] : track) {
        if (gf_headingDiffDegrees(b.trueHeading, kPi / 2.0) < 1.0 &&
            metresBetween(kHome, LatLon{b.latitude, b.longitude}) > 2.5 * 0.02 * kMetresPerNm * 0.9) {
            turnedEast = true;
            break;
        }
    }
    EXPECT_TRUE(turnedEast);
    // It drove through both corners: its heading ended south-west.
    EXPECT_LT(gf_headingDiffDegrees(track.back().second.trueHeading, 210.0 * kDegToRad), 5.0);
    const auto pushBackIas = std::any_of(track.begin(), track.end(), [](const auto& e) { return e.second.trueAirspeed < 0.0; });
    EXPECT_TRUE(pushBackIas);
}

TEST(GroundScenario, TaxiOnASlopeFollowsTheTerrain) {
    // An airport at 5000 ft on a 1 % slope rising to the north.
    const auto terrain = [](double latitude, double) {
        return 5000.0 + 0.01 * (latitude - kHome.lat) * kCurveMetresPerDegree * kFeetPerMetre;
    };
    GroundRig g(terrain);
    MAX_HOLDING_MINUTES.value = 1;
    Driver d{g.rig.feed, 40001, "SWR12"};
    d.report(15, 0, d.at);
    d.drive(offset(kHome, 0, 600), 15, 3);
    ASSERT_TRUE(g.runUntilGone(40001, 30000));
    g.expectClean();

    const auto& track = g.track(40001);
    ASSERT_GT(track.size(), 1000u);
    // The creation was at altitude 0; the first block stands on the terrain.
    const AiPositionData& first = track.front().second;
    EXPECT_NEAR(first.altitude, terrain(first.latitude, first.longitude) + 6.0, 0.01);
    // The altitude changes only with a ground report (every 20 ticks) and rises with the slope.
    std::set<std::uint32_t> applied;
    for (const auto& r : g.rig.sim.groundReports) applied.insert(r.tick + 1);
    int changes = 0;
    for (std::size_t i = 1; i < track.size(); ++i) {
        if (track[i].second.altitude == track[i - 1].second.altitude) continue;
        ++changes;
        EXPECT_TRUE(applied.contains(track[i].first)) << "tick " << track[i].first;
    }
    EXPECT_GT(changes, 50);
    EXPECT_NEAR(track.back().second.altitude - first.altitude, 600.0 * 0.01 * kFeetPerMetre, 1.0);
}

}  // namespace
}  // namespace clv::test
