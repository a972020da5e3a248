// An arrival through the whole engine with the airport's parking port: it lands,
// taxies in, stops near a free stand, is driven onto it and shut down; later its
// feed moves off and it leaves the stand again. The simulator is the recording
// link, every tick watched by the trajectory checker.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "airports/parking/stand_holders.h"
#include "link/sim_ids.h"
#include "parking_world.h"
#include "traffic/movement_support.h"
#include "traffic/trajectory_checker.h"

namespace clv::test {
namespace {

constexpr double kElevation = 1416.0;  // the file's altitude
constexpr double kCg = 6.0;

// The feed's reports of one aircraft, a report every few seconds.
struct Reporter {
    ScriptedFeed& feed;
    std::uint32_t hexid;
    std::string callsign;
    LatLon at;
    double altitude = 0.0;
    std::uint32_t tick = 0;
    double timestamp = 1000.0;

    void report(double knots, double track, double vs) {
        TrafficUpdate u = makeUpdate(hexid, callsign, "A320", at.lat, at.lon, altitude, knots, track, timestamp,
                                     "HB-JXA");
        u.sample.verticalSpeed = vs;
        feed.at(tick, u);
    }
    // `seconds` along `track` at `knots` (changing by `accel` a second), descending
    // at `vs` while airborne, a report every `every` seconds.
    void move(double seconds, double knots, double track, double vs, int every, double accel = 0.0) {
        const int steps = static_cast<int>(std::lround(seconds));
        for (int i = 1; i <= steps; ++i) {
            at = offset(at, track, (knots + accel / 2.0) * kMetresPerNm / 3600.0);
            knots += accel;
            if (altitude > 0.0) altitude = std::max(0.0, altitude + vs / 60.0);
            tick += 100;
            timestamp += 1.0;
            if (i % every == 0) report(knots, track, altitude > 0.0 ? vs : 0.0);
        }
    }
    // To `to` at `knots`, a report every `every` seconds, the last one there.
    void taxi(LatLon to, double knots, int every) {
        const double track = gf_bearing(at, to) * kRadToDeg;
        move(metresBetween(at, to) / (knots * kMetresPerNm / 3600.0), knots, track, 0.0, every);
        at = to;
        report(knots, track, 0.0);
    }
    void stand(double seconds, int every, double track) {
        for (int i = every; i <= seconds; i += every) {
            tick += 100 * static_cast<std::uint32_t>(every);
            timestamp += every;
            report(0.0, track, 0.0);
        }
    }
};

TEST(LiveParkingRoad, AnArrivalTaxiesInParksOnAFreeStandShutsDownAndLeavesWhenItsFeedMoves) {
    FileWorld w;
    w.parkAt(3, 80);
    ASSERT_EQ(lf_readParkedFile(), "");
    ASSERT_TRUE(parkingActive.load());
    parkPlan.clear();  // no static aircraft: the stand is free
    w.engine.staticAc.clear();
    learnedOptionList.clear();
    LOG.value = true;
    MAX_HOLDING_MINUTES.value = 5;
    EngineRig& rig = w.rig;
    rig.useLiveMovement();
    rig.sim.responder.on = true;
    rig.sim.responder.staticCg = kCg;
    rig.sim.responder.terrain = [](double, double) { return kElevation; };
    TrajectoryChecker checker{rig};

    const Stand& s1 = standList.at(0);  // heading 90, radius 20 m
    const LatLon standPos{s1.latitude, s1.longitude};
    const double standHeading = s1.heading;
    const std::uint32_t standId = s1.id;
    // Runway 090 800 m south of the stand; the aircraft turns off and taxies
    // north, stopping 8 m short of the stand.
    const LatLon touchDown = offset(offset(standPos, 180.0, 800.0), 270.0, 2500.0);
    const LatLon stop = offset(standPos, 180.0, 8.0);

    Reporter a{rig.feed, 0x4B1801, "SWR20", offset(touchDown, 270.0, 5.0 * 140.0 / 60.0 * kMetresPerNm)};
    a.altitude = kElevation + 700.0 * 5.0;
    a.report(140, 90, -700);
    a.move(300, 140, 90, -700, 2);
    a.altitude = 0.0;
    a.move(50, 130, 90, 0, 2, -2.2);  // rolls out to 20 kt
    a.move(15, 20, 90, 0, 3);
    const LatLon taxiCorner{offset(standPos, 180.0, 800.0).lat, stop.lon};
    a.taxi(taxiCorner, 15, 3);
    a.taxi(stop, 12, 3);
    a.stand(600, 10, 0);
    // Then it goes: backwards to the south-west, and on along the taxiway.
    const std::uint32_t leaveTick = a.tick;
    a.taxi(offset(stop, 200.0, 40.0), 3, 3);
    a.stand(20, 5, 90);
    a.taxi(offset(a.at, 90.0, 300.0), 12, 3);

    std::uint32_t parkedTick = 0;
    LatLon parkedAt{};
    double parkedHeading = 0.0;
    bool leftBackwards = false;
    bool pulledOut = false;
    rig.afterTick = [&, checking = rig.afterTick] {
        checking();
        const LiveAc* ac = rig.live(0x4B1801);
        if (ac == nullptr) return;
        if (parkedTick == 0 && ac->moveState == AcMoveState::Parked) {
            parkedTick = currentTick();
            parkedAt = LatLon{ac->simPosition.latitude, ac->simPosition.longitude};
            parkedHeading = ac->simPosition.trueHeading;
        }
        if (parkedTick != 0 && ac->moveState == AcMoveState::PushingBack) leftBackwards = true;
        if (parkedTick != 0 && ac->moveState == AcMoveState::Taxi && ac->previousMoveState == AcMoveState::Parked)
            pulledOut = true;
    };
    ASSERT_TRUE(rig.runUntil([&] { return parkedTick != 0; }, a.tick + kSampleDelayTicks));
    EXPECT_LT(parkedTick, leaveTick + kSampleDelayTicks);
    const LiveAc* ac = rig.live(0x4B1801);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->standId, standId);
    EXPECT_LT(metresBetween(parkedAt, standPos), 2.0);
    EXPECT_LT(gf_headingDiffDegrees(parkedHeading, standHeading), 5.0);
    EXPECT_TRUE(w.log.contains("S1      : SWR20    arrived at stand"));
    // Shut down at the stand: ENGINE_AUTO_SHUTDOWN and the parked lights.
    const std::uint32_t object = rig.sim.objectOf.at(0x4B1801);
    const auto events = rig.sim.eventsOf(object);
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const TickedEvent& e) {
        return e.command.eventId == ENGINE_AUTO_SHUTDOWN && e.tick + 1 >= parkedTick && e.tick <= parkedTick;
    }));
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const TickedEvent& e) {
        return e.command.eventId == BEACON_LIGHTS_SET && e.command.data == 0 && e.tick + 1 >= parkedTick &&
               e.tick <= parkedTick;
    }));
    // The hexid went to the data step at the landing start and again at the stand.
    EXPECT_EQ(std::count(rig.engine.arrivalsList.begin(), rig.engine.arrivalsList.end(), 0x4B1801u), 2);

    // The feed moves off: it pushes back or pulls out, and the stand is free again.
    ASSERT_TRUE(rig.runUntil([&] { return leftBackwards || pulledOut; }, leaveTick + 2 * kSampleDelayTicks - currentTick()));
    EXPECT_TRUE(leftBackwards) << "the feed went backwards";
    EXPECT_FALSE(standList.at(0).occupied);
    // Until the feed's last line is played: its taxiway passes by the stand, so
    // where it is at a fixed time says little about whether it went.
    rig.run(a.tick + kSampleDelayTicks - currentTick());
    const auto& track = checker.track(object);
    ASSERT_FALSE(track.empty());
    EXPECT_GT(metresBetween(LatLon{track.back().second.latitude, track.back().second.longitude}, standPos), 30.0)
        << "it went";
    EXPECT_EQ(checker.faultCount(), 0u);
    for (const std::string& f : checker.faults()) ADD_FAILURE() << f;
    EXPECT_GT(checker.blocksChecked(), 1000u);
    learnedOptionList.clear();
}

}  // namespace
}  // namespace clv::test
