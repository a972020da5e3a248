// The whole road of static parking on the engine: the user aircraft parked at an
// airport with a file, the refresh that takes it, the read and the plan, the
// placing through the traffic tick, the unlock, and leaving the airport.
#include <gtest/gtest.h>

#include "parking_world.h"

namespace clv::test {
namespace {

TEST(StaticParkingRoad, TheAirportFillsWithStaticAircraftAndEmptiesWhenTheUserLeaves) {
    FileWorld w;
    w.writeFile(20, 60);
    w.rig.data.addLivery("SWR", "A320", "Swiss A320");
    w.nearest = w.airports["TEST"];
    w.user = UserAcView{LatLon{47.4, 8.55}, 0.0, true, true};
    CUSTOM_PARKING_PERCENTAGE.value = 50;  // the file without a learned file sets parking_percentage

    gf_refreshParking(w.engine, true);
    EXPECT_EQ(gf_parkAirport().code, "TEST");
    EXPECT_TRUE(parkingBusy.load());
    EXPECT_EQ(w.callsignCollections, 1);

    gf_refreshParking(w.engine, false);  // begins the read; the ticks take it over and plan
    w.finishParkRead();
    EXPECT_EQ(standList.size(), 20u);
    EXPECT_EQ(parkPlan.size(), 10u);
    EXPECT_TRUE(parkingBusy.load());
    EXPECT_EQ(w.parkList.size(), 1u) << "the airport the user stood at is a park airport now";

    // One placement per 50 ticks, each handed to the simulator 50 ticks later.
    w.rig.run(50 * 12);
    EXPECT_TRUE(parkPlan.empty());
    ASSERT_EQ(w.rig.sim.creations.size(), 10u);
    for (const TickedCreation& c : w.rig.sim.creations) {
        const StaticAc* s = nullptr;
        for (const StaticAc& a : w.engine.staticAc)
            if (a.hexid == c.request.hexid) s = &a;
        ASSERT_NE(s, nullptr);
        const Stand& stand = standList[s->standId - 1];
        EXPECT_DOUBLE_EQ(c.request.position.latitude, stand.latitude);
        EXPECT_NEAR(c.request.position.heading, 90.0, 1e-9);
        EXPECT_EQ(c.request.title, "Swiss A320");
        EXPECT_EQ(c.tick % 50, 0u);
    }
    gf_refreshParking(w.engine, false);
    EXPECT_FALSE(parkingBusy.load());

    // Bound by the simulator, then the user aircraft flies off.
    for (StaticAc& s : w.engine.staticAc) {
        s.simState = AcSimState::Active;
        s.objectId = 1000 + s.hexid;
    }
    w.user = UserAcView{LatLon{47.4 + 100.0 / 60.0, 8.55}, 3000.0, false, true};
    gf_refreshParking(w.engine, false);
    EXPECT_EQ(gf_parkAirport().code, "");
    EXPECT_EQ(w.engine.removalQueue.size(), 10u);
    w.rig.run(200);
    EXPECT_EQ(w.rig.sim.removals.size(), 10u);
}

}  // namespace
}  // namespace clv::test
