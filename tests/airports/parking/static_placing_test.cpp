// Placing the planned static parked aircraft and counting them; the live parked
// aircraft's limits and listing.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/folders.h"
#include "parking_world.h"
#include "support/temp_folder.h"

namespace clv::test {
namespace {

ParkPlanEntry entry(std::uint32_t standId, std::string callsign, std::uint32_t fit = 0, std::string second = {},
                    bool stays = true) {
    return ParkPlanEntry{standId, fit, "DLH", "A320", std::move(callsign), std::move(second), "HB-IJA", stays};
}

TEST(StaticPlacing, CallsignsOfStaticAircraftEndInAStar) {
    struct Case {
        std::string callsign;
        std::string second;
        bool stays;
        std::string expected;
    };
    for (const Case& c : {Case{"SWR1", "SWR2", true, "SWR1*"}, Case{"SWR1", "SWR2", false, "SWR2*"},
                          Case{"SWR1", "", false, "SWR1*"}, Case{"", "SWR2", true, "SWR2*"},
                          Case{"X__", "", true, "X*"}, Case{"X*", "", true, "X*"}, Case{"X*_", "", true, "X*"}}) {
        EXPECT_EQ(lf_detcs(ParkPlanEntry{1, 0, "SWR", "A320", c.callsign, c.second, "", c.stays}), c.expected)
            << c.callsign << "/" << c.second;
    }
    AirportLog log;
    EXPECT_EQ(lf_detcs(ParkPlanEntry{}), "");
    EXPECT_TRUE(log.contains("===> lf_detcs callsign is empty.."));
}

TEST(StaticPlacing, AnEntryBecomesAStaticAircraftAndACreationRequest) {
    ParkingWorld w;
    w.now = Slot{1, 0};
    w.addStand("A", {}, 47.25, 8.5);
    parkPlan = {entry(1, "SWR1", 2, "SWR2")};
    gf_placeNextStaticAc(w.engine);
    EXPECT_TRUE(parkPlan.empty());
    ASSERT_EQ(w.engine.staticAc.size(), 1u);
    const StaticAc& s = w.engine.staticAc[0];
    EXPECT_EQ(s.callsign, "SWR1*");
    EXPECT_EQ(s.callsignCopy, "SWR1");
    EXPECT_EQ(s.furtherText, "SWR2");
    EXPECT_EQ(s.registration, "HB-IJA");
    EXPECT_EQ(s.hexid, 1u);
    EXPECT_EQ(s.standId, 1u);
    EXPECT_EQ(s.simState, AcSimState::Adding2Sim);
    EXPECT_EQ(Slot::fromBits(s.parkedAt), (Slot{7, 46}));
    ASSERT_EQ(w.engine.staticCreationQueue.size(), 1u);
    const AcCreateRequest& r = w.engine.staticCreationQueue[0];
    EXPECT_DOUBLE_EQ(r.position.latitude, 47.25);
    EXPECT_DOUBLE_EQ(r.position.longitude, 8.5);
    EXPECT_NEAR(r.position.heading, 0.5 * 180.0 / 3.141592653589793, 1e-9);
    EXPECT_EQ(r.position.onGround, 1u);
    EXPECT_EQ(r.position.bank, 0.0);
    EXPECT_EQ(r.title, "Lufthansa A320");
    EXPECT_EQ(r.hexid, 1u);
}

TEST(StaticPlacing, WithoutALiveryTheAircraftIsDropped) {
    ParkingWorld w;
    w.addStand("A", {});
    w.liveryFound = false;
    parkPlan = {entry(1, "SWR1")};
    gf_placeNextStaticAc(w.engine);
    EXPECT_TRUE(w.engine.staticAc.empty());
    EXPECT_TRUE(w.engine.staticCreationQueue.empty());
    EXPECT_TRUE(parkPlan.empty());
}

TEST(StaticPlacing, TheSerialWrapsToZeroAfter9999) {
    ParkingWorld w;
    w.addStand("A", {}, 47.0);
    w.addStand("B", {}, 47.1);
    staticSerial = 9998;
    parkPlan = {ParkPlanEntry{1, 0, "DLH", "A320", "", "", "", true}, ParkPlanEntry{2, 0, "DLH", "A320", "", "", "", true}};
    gf_placeNextStaticAc(w.engine);
    gf_placeNextStaticAc(w.engine);
    ASSERT_EQ(w.engine.staticAc.size(), 2u);
    EXPECT_EQ(w.engine.staticAc[0].callsign, "DLH9999*");
    EXPECT_EQ(w.engine.staticAc[1].callsign, "DLH0*");
    EXPECT_EQ(w.engine.staticAc[1].hexid, 0u);
    EXPECT_EQ(w.engine.staticAc[1].liveryTitle, "Lufthansa A320");
}

TEST(StaticPlacing, AircraftOnTheStandOrNextToItRefuseTheEntry) {
    struct Case {
        const char* what;
        AcMoveState state;
        std::uint32_t liveStand;  // 0: a static aircraft on stand 2 instead
        bool refused;
        std::string line;
    };
    const std::vector<Case> cases{
        {"live parked here", AcMoveState::Parked, 1, true,
         "A       : no static parking for SWR1, live aircraft DLH1 standing here"},
        {"live parking next door", AcMoveState::Parking, 2, true,
         "A       : no static parking for SWR1, live aircraft DLH1 is adjacent at B, possibly colliding"},
        {"live parking here", AcMoveState::Parking, 1, true,
         "A       : no static parking for SWR1, live aircraft DLH1 standing here"},
        {"live parked next door", AcMoveState::Parked, 2, true,
         "A       : no static parking for SWR1, live aircraft DLH1 is adjacent at B, possibly colliding"},
        {"live taxiing next door", AcMoveState::Taxi, 2, false, ""},
        {"live parked two stands away", AcMoveState::Parked, 3, false, ""},
        {"static next door", AcMoveState::Birth, 0, true,
         "A       : no static parking for SWR1, static aircraft KLM1* is adjacent at B, possibly colliding"},
    };
    for (const Case& c : cases) {
        ParkingWorld w;
        AirportLog log;
        LOG.value = true;
        w.addStand("A", {}, 47.0).adjacent = {2};
        w.addStand("B", {}, 47.0001).adjacent = {1, 3};
        w.addStand("C", {}, 47.0002).adjacent = {2};
        if (c.liveStand != 0) {
            w.addLive(50001, "DLH1", "A320", c.state, c.liveStand);
        } else {
            w.addStatic(2, "KLM1*", "KLM", "B744");
        }
        parkPlan = {entry(1, "SWR1")};
        gf_placeNextStaticAc(w.engine);
        EXPECT_TRUE(parkPlan.empty()) << c.what;
        const std::size_t statics = c.liveStand == 0 ? 1u : 0u;
        EXPECT_EQ(w.engine.staticAc.size(), statics + (c.refused ? 0u : 1u)) << c.what;
        if (!c.line.empty()) {
            EXPECT_TRUE(log.contains(c.line)) << c.what;
        }
    }
}

TEST(StaticPlacing, AnEntryForAStandThatIsGoneIsLogged) {
    ParkingWorld w;
    AirportLog log;
    w.addStand("A", {});
    parkPlan = {entry(7, "SWR1")};
    gf_placeNextStaticAc(w.engine);
    EXPECT_TRUE(w.engine.staticAc.empty());
    EXPECT_TRUE(log.contains("===> stand with id unknown not found"));
    EXPECT_EQ(staticSerial, 0u);
}

TEST(StaticPlacing, TheAverageFitIsShownInHours) {
    ParkingWorld w;
    w.now = Slot{3, 20};
    w.addStand("A", {});
    w.addStatic(1, "A*", "SWR", "A320", Slot{3, 20});
    w.addStatic(1, "B*", "SWR", "A320", Slot{3, 18});
    w.addStatic(1, "C*", "SWR", "A320", Slot{3, 16}).simState = AcSimState::RemovingFromSim;
    w.addStatic(1, "D*", "SWR", "A320", Slot{3, 0}).simState = AcSimState::Adding2Sim;
    EXPECT_EQ(gf_countStaticAc(w.engine, true), 3);
    ASSERT_FALSE(w.staticFits.empty());
    EXPECT_FLOAT_EQ(w.staticFits.back(), 1.5f);
    WEEK.value = true;
    w.staticFits.clear();
    EXPECT_EQ(gf_countStaticAc(w.engine, true), 3);
    EXPECT_TRUE(w.staticFits.empty());
}

TEST(StaticPlacing, TheTickHandsOverOneCreationPer50TicksLiveBeforeStatic) {
    ParkingWorld w;
    for (int i = 0; i < 3; ++i) w.addStand(fmt::format("S{}", i), {}, 47.0 + i * 0.01);
    parkPlan = {entry(1, "SWR1"), entry(2, "SWR2"), entry(3, "SWR3")};
    AcCreateRequest live;
    live.callsign = "LIVE1";
    live.hexid = 70000;
    w.engine.liveCreationQueue.push_back(live);
    w.rig.run(201);
    // Tick 50 places the first static aircraft, which goes out at tick 100.
    ASSERT_EQ(w.rig.sim.creations.size(), 4u);
    EXPECT_EQ(w.rig.sim.creations[0].request.callsign, "LIVE1");
    EXPECT_EQ(w.rig.sim.creations[0].tick, 0u);
    EXPECT_EQ(w.rig.sim.creations[1].request.callsign, "SWR3*");
    EXPECT_EQ(w.rig.sim.creations[1].tick, 100u);
    EXPECT_EQ(w.rig.sim.creations[2].request.callsign, "SWR2*");
    EXPECT_EQ(w.rig.sim.creations[2].tick, 150u);
    EXPECT_EQ(w.rig.sim.creations[3].request.callsign, "SWR1*");
    EXPECT_EQ(w.rig.sim.creations[3].tick, 200u);
    EXPECT_TRUE(parkPlan.empty());
    EXPECT_TRUE(w.engine.staticCreationQueue.empty());
}

// ---- live parked aircraft ------------------------------------------------------------------------

constexpr std::int64_t kPlacingMinute = 600'000'000;

TEST(LiveParked, LongParkedAircraftAreRemovedUnlessInitialLoadOnly) {
    struct Case {
        const char* what;
        std::string type;
        std::int64_t minutes;
        bool initialLoadOnly;
        bool departing;
        bool removed;
        std::int32_t listed;  // minutes listed, -1 not listed
    };
    const std::vector<Case> cases{
        {"heavy 120 min", "B744", 120, false, false, false, 120},
        {"heavy 181 min", "B744", 181, false, false, true, -1},
        {"large 90 min", "A320", 90, false, false, false, 90},
        {"large 91 min", "A320", 91, false, false, true, -1},
        {"large 91 min, initial load only", "A320", 91, true, false, false, 91},
        {"large 300 min leaving its stand", "A320", 300, false, true, false, 0},
    };
    for (const Case& c : cases) {
        ParkingWorld w;
        w.addStand("A", {});
        INITIAL_LOAD_ONLY.value = c.initialLoadOnly;
        w.systemTime = 1000 * kPlacingMinute;
        LiveAc& ac = w.addLive(50001, "DLH1", c.type, AcMoveState::Parked, 1);
        ac.category = c.type == "B744" ? AcCategory::Heavy : AcCategory::Large;
        ac.timeAtStand = w.systemTime - c.minutes * kPlacingMinute - kPlacingMinute / 2;
        ac.departureMark = c.departing;
        gf_collectParkedLive(w.engine);
        EXPECT_EQ(w.engine.liveAc[0].simState == AcSimState::RemovingFromSim, c.removed) << c.what;
        if (c.listed < 0) {
            EXPECT_TRUE(liveParkedList.empty()) << c.what;
        } else {
            ASSERT_EQ(liveParkedList.size(), 1u) << c.what;
            EXPECT_EQ(liveParkedList[0].minutes, c.listed) << c.what;
            EXPECT_EQ(liveParkedList[0].callsign, "DLH1");
        }
    }
}

TEST(LiveParked, TheParkMaximumRemovesTheLongestParked) {
    for (const int parked : {4, 5}) {
        ParkingWorld w;
        AirportLog log;
        w.addStand("A", {});
        shownMaxPark = 5;
        w.systemTime = 1000 * kPlacingMinute;
        for (int i = 0; i < parked; ++i) {
            LiveAc& ac = w.addLive(50001 + i, fmt::format("DLH{}", i), "A320", AcMoveState::Parked, 1);
            ac.timeAtStand = w.systemTime - (10 + i) * kPlacingMinute;
        }
        gf_limitLiveParked(w.engine, 1);
        int removed = 0;
        for (const LiveAc& ac : w.engine.liveAc) removed += ac.simState == AcSimState::RemovingFromSim;
        EXPECT_EQ(removed, parked == 5 ? 1 : 0) << parked;
        if (parked == 5) {
            EXPECT_EQ(w.engine.liveAc.back().simState, AcSimState::RemovingFromSim);
            EXPECT_TRUE(log.contains("A: DLH4     max park exceeded, removed"));
        }
    }
}

TEST(LiveParked, StaticAircraftOverTheParkMaximumGoEarliestPlannedFirst) {
    ParkingWorld w;
    w.addStand("A", {});
    shownMaxPark = 3;
    w.addStatic(1, "SUN*", "SWR", "A320", Slot{7, 40});
    w.addStatic(1, "MON*", "SWR", "A320", Slot{1, 2});
    w.addStatic(1, "SAT*", "SWR", "A320", Slot{6, 10});
    w.addLive(50001, "DLH1", "A320", AcMoveState::Parked, 1);
    gf_limitLiveParked(w.engine, 0);
    EXPECT_EQ(w.engine.staticAc[2].simState, AcSimState::RemovingFromSim) << "Saturday is the earliest";
    EXPECT_EQ(w.engine.staticAc[0].simState, AcSimState::Active);
    EXPECT_EQ(w.engine.staticAc[1].simState, AcSimState::Active) << "Monday comes after Sunday";
}

TEST(LiveParked, SurplusLiveParkedAreRemovedLongestFirst) {
    ParkingWorld w;
    AirportLog log;
    w.addStand("A", {});
    w.systemTime = 1000 * kPlacingMinute;
    for (int i = 0; i < 4; ++i) {
        w.addLive(50001 + i, fmt::format("DLH{}", i), "A320", AcMoveState::Parked, 1).timeAtStand =
            w.systemTime - (i == 2 ? 50 : 10 + i) * kPlacingMinute;
    }
    gf_removeSurplusLiveParked(w.engine, 2);
    std::vector<std::string> removed;
    for (const LiveAc& ac : w.engine.liveAc) {
        if (ac.simState == AcSimState::RemovingFromSim) removed.push_back(ac.callsign);
    }
    EXPECT_EQ(removed, (std::vector<std::string>{"DLH2", "DLH3"}));
}

TEST(LiveParked, MaxLiveRemovesTheFarthest) {
    for (const int maxLive : {-1, 45}) {
        ParkingWorld w;
        w.engine.userAcData.latitude = 47.0;
        w.engine.userAcData.longitude = 8.0;
        for (int i = 0; i < 50; ++i) {
            LiveAc& ac = w.addLive(50001 + i, fmt::format("A{}", i), "A320", AcMoveState::Flying);
            ac.simPosition.latitude = 47.0 + (i + 1) * 0.05;
            ac.simPosition.longitude = 8.0;
        }
        MAX_LIVE.value = maxLive;
        gf_enforceMaxLive(w.engine);
        std::vector<int> removed;
        for (int i = 0; i < 50; ++i) {
            if (w.engine.liveAc[i].simState == AcSimState::RemovingFromSim) removed.push_back(i);
        }
        const std::vector<int> expected = maxLive < 0 ? std::vector<int>{} : std::vector<int>{45, 46, 47, 48, 49};
        EXPECT_EQ(removed, expected) << maxLive;
    }
}

TEST(LiveParked, StandNamesAndTheObjectIdListing) {
    ParkingWorld w;
    TempFolder dir;
    CurrentFolder current(dir.path());
    w.addStand("E12", {});
    EXPECT_EQ(gf_standName(0), "sid==0?");
    EXPECT_EQ(gf_standName(1), "E12");
    EXPECT_EQ(gf_standName(9), "unknown");

    LiveAc& air = w.addLive(50002, "BAW12", "A320", AcMoveState::Flying);
    air.airline = "BAW";
    LiveAc& parked = w.addLive(50001, "DLH1", "A320", AcMoveState::Parked, 1);
    parked.airline = "DLH";
    parked.onGround = true;
    w.addLive(50003, "XXX", "A320", AcMoveState::Flying).simState = AcSimState::Adding2Sim;
    gf_logParkedList(w.engine);
    EXPECT_EQ(dir.read(g_callsign2ObjectIdFile.string()),
              "Air BAW12     BAW A320: 50002 \n"
              "Gnd DLH1      DLH A320: 50001 Parked at E12\n");
}

}  // namespace
}  // namespace clv::test
