// A parked live aircraft whose feed goes stale and then jumps, as real ground
// tracks do: the jump is driven, or beyond the far limit the aircraft is taken
// out once and comes back once; it never flickers.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "airports/parking/stand_holders.h"
#include "parking_world.h"
#include "traffic/movement_support.h"
#include "traffic/trajectory_checker.h"

namespace clv::test {
namespace {

constexpr double kNoisyElevation = 1416.0;  // the file's altitude
constexpr std::uint32_t kHexid = 0x4B1802;

struct NoisyCase {
    const char* name;
    std::vector<double> jumps;  // metres south of the stand, across its heading
    bool staleAtStand;          // between jumps the feed repeats the stand's position
    std::size_t objects;        // objects made in all
};

TEST(NoisyStand, AParkedAircraftWhoseFeedJumpsAwayIsDrivenOrReplacedOnceNeverFlickers) {
    const NoisyCase cases[] = {
        {"jumps of 150 to 700 m, stale for 10 s: driven", {150, 250, 400, 550, 700}, false, 1},
        {"first jump beyond the far limit: out once, in once", {250, 400, 550, 700}, false, 2},
        {"stale lines back on the stand between jumps: out once, in once", {250, 400, 550, 700}, true, 2},
    };
    for (const NoisyCase& c : cases) {
        SCOPED_TRACE(c.name);
        FileWorld w;
        w.parkAt(3, 80);
        ASSERT_EQ(lf_readParkedFile(), "");
        parkPlan.clear();  // no static aircraft: the stand is free
        w.engine.staticAc.clear();
        learnedOptionList.clear();
        EngineRig& rig = w.rig;
        rig.useLiveMovement();
        rig.sim.responder.on = true;
        rig.sim.responder.staticCg = 6.0;
        rig.sim.responder.terrain = [](double, double) { return kNoisyElevation; };
        TrajectoryChecker checker{rig};

        const Stand& s1 = standList.at(0);  // heading 90, radius 20 m
        const LatLon standPos{s1.latitude, s1.longitude};
        // A line every 2 s: a minute on the stand, then the position stays stale
        // for 10 s at a time and jumps on to the south, then stays at the last.
        std::uint32_t tick = 0;
        double timestamp = 1000.0;
        auto report = [&](LatLon at, double knots) {
            rig.feed.at(tick, makeUpdate(kHexid, "SWR21", "A320", at.lat, at.lon, 0.0, knots, 180.0, timestamp,
                                         "HB-JXB"));
            tick += 200;
            timestamp += 2.0;
        };
        for (int i = 0; i < 30; ++i) report(standPos, 0.0);
        LatLon at = standPos;
        for (double metres : c.jumps) {
            for (int i = 0; i < 5; ++i) report(c.staleAtStand ? standPos : at, 15.0);
            at = offset(standPos, 180.0, metres);
            report(at, 15.0);
        }
        for (int i = 0; i < 10; ++i) report(at, 15.0);
        rig.run(tick + 2 * kSampleDelayTicks);

        ASSERT_EQ(rig.sim.creations.size(), c.objects);
        EXPECT_EQ(rig.sim.removals.size(), c.objects - 1) << "taken out once at most";
        // Every object lives on for more than a second, and the last one ends
        // where the feed ends.
        std::map<std::uint32_t, std::uint32_t> firstBlock, lastBlock;
        for (const TickedPositions& p : rig.sim.sentPositions) {
            for (const AiPositionUpdate& b : p.blocks) {
                if (!firstBlock.count(b.objectId)) firstBlock[b.objectId] = p.tick;
                lastBlock[b.objectId] = p.tick;
            }
        }
        for (const TickedId& r : rig.sim.removals) {
            ASSERT_TRUE(firstBlock.count(r.id)) << "object " << r.id << " was never shown";
            EXPECT_GT(r.tick - firstBlock[r.id], 100u) << "object " << r.id << " lived under a second";
        }
        const auto& last = checker.track(rig.sim.objectOf.at(kHexid));
        ASSERT_FALSE(last.empty());
        EXPECT_LT(metresBetween(LatLon{last.back().second.latitude, last.back().second.longitude}, at), 5.0);
        learnedOptionList.clear();
    }
}

}  // namespace
}  // namespace clv::test
