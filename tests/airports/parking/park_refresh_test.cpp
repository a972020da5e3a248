// The park-airport refresh: finding, keeping and leaving the park airport as the
// user aircraft moves, and taking the ground traffic out.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "exact_distance.h"
#include "link/traffic_receiver.h"
#include "parking_world.h"

namespace clv::test {
namespace {

// A point `nm` nautical miles north of the airport (one minute of arc each).
LatLon refreshNorthOf(const ParkSite& a, double nm) { return LatLon{a.lat + nm / 60.0, a.lon}; }

struct RefreshWorld : ParkingWorld {
    RefreshWorld() {
        addAirport("LSZH", 47.45, 8.55);
        user.position = LatLon{47.45, 8.55};
    }
    void refresh(bool first = false) { gf_refreshParking(engine, first); }
    void inAir(LatLon p, double height) {
        user.onGround = false;
        user.onGroundKnown = true;
        user.position = p;
        user.heightAboveGround = height;
    }
};

TEST(ParkRefresh, NoSearchWhileThePositionIsUnknown) {
    // Not known yet: latitude 0 to 0.0009 and longitude 0 to 0.05, bounds included.
    struct Case {
        double lat;
        double lon;
        bool searched;
    };
    for (const Case& c : {Case{0.0005, 0.01, false}, Case{-0.0001, 0.01, true}, Case{0.0, 0.0, false},
                          Case{0.0009, 0.05, false}, Case{0.00091, 0.01, true}, Case{0.0005, 0.0501, true},
                          Case{0.0005, -0.0001, true}}) {
        RefreshWorld w;
        w.inAir(LatLon{c.lat, c.lon}, 1000);
        w.parkList[0].lat = c.lat;  // in sight of the position
        w.parkList[0].lon = c.lon;
        w.airports["LSZH"] = w.parkList[0];
        gf_lockParkingControls();  // a placing that has just ended
        w.refresh();
        const std::string what = fmt::format("{}/{}", c.lat, c.lon);
        EXPECT_FALSE(parkingBusy.load() && !c.searched) << "the end of the placing is seen first, " << what;
        EXPECT_EQ(gf_parkAirport().code == "LSZH", c.searched) << what;
        EXPECT_EQ(w.sorts, c.searched ? 1 : 0) << what;
    }
}

TEST(ParkRefresh, InTheAirTheFirstParkAirportIsTakenWithinRangeAndHeight) {
    struct Case {
        double nm;
        double height;
        bool taken;
    };
    for (const Case& c : {Case{19.999, 18000, true}, Case{20.1, 18000, false}, Case{10, 18001, false},
                          Case{10, 18000, true}}) {
        RefreshWorld w;
        w.inAir(refreshNorthOf(w.parkList[0], c.nm), c.height);
        w.refresh();
        EXPECT_EQ(gf_parkAirport().code == "LSZH", c.taken) << c.nm << " nm, " << c.height << " ft";
        EXPECT_EQ(parkFileReload, c.taken);
        EXPECT_EQ(parkingBusy.load(), c.taken);
        EXPECT_EQ(w.callsignCollections, c.taken ? 1 : 0);
        const auto lines = gf_nullUiPort().statusLines();
        const bool shown = std::find(lines.begin(), lines.end(), fmt::format("LSZH in sight at {:.1f} nm", c.nm)) !=
                           lines.end();
        EXPECT_EQ(shown, c.taken);
    }
    // The exact limits, as the distance comes out of the position.
    RefreshWorld w;
    const LatLon p = refreshNorthOf(w.parkList[0], 20.0);
    w.inAir(p, 18000);
    AIRPORT_RANGE.value = 20;
    const double d = gf_distanceNm(p, LatLon{w.parkList[0].lat, w.parkList[0].lon});
    w.refresh();
    EXPECT_EQ(gf_parkAirport().code == "LSZH", d <= 20.0);

    // A position within a nanomile of 20 nm and not beyond it, at the default
    // range and height: the limits themselves are in sight.
    RefreshWorld edge;
    const LatLon airport{edge.parkList[0].lat, edge.parkList[0].lon};
    LatLon q = refreshNorthOf(edge.parkList[0], 20.0);
    for (int i = 0; i < 64 && gf_distanceNm(q, airport) > 20.0; ++i) q.lat = std::nextafter(q.lat, 0.0);
    ASSERT_LE(gf_distanceNm(q, airport), 20.0);
    ASSERT_NEAR(gf_distanceNm(q, airport), 20.0, 1e-9);
    edge.inAir(q, 18000);
    ASSERT_EQ(AIRPORT_RANGE.value.get(), 20);
    ASSERT_EQ(AIRPORT_HEIGHT.value.get(), 18000);
    edge.refresh();
    EXPECT_EQ(gf_parkAirport().code, "LSZH");
}

// The range edge itself, reached exactly: at 20.0 nm the first park airport is
// taken and the current one kept; one step further neither.
TEST(ParkRefresh, TheRangeEdgeItselfIsInSightAndTheNextStepBeyondIsNot) {
    RefreshWorld base;
    const LatLon airport{base.parkList[0].lat, base.parkList[0].lon};
    const std::optional<LatLon> edge = exactlyNmFrom(airport, 20.0);
    ASSERT_TRUE(edge.has_value());
    LatLon beyond = *edge;
    while (gf_distanceNm(beyond, airport) <= 20.0) beyond.lon = std::nextafter(beyond.lon, 180.0);
    struct Case {
        const char* what;
        LatLon position;
        bool current;  // a park airport is set already
        bool inSight;
    };
    for (const Case& c : {Case{"at the edge, entering", *edge, false, true},
                          Case{"beyond, entering", beyond, false, false},
                          Case{"at the edge, staying", *edge, true, true},
                          Case{"beyond, staying", beyond, true, false}}) {
        RefreshWorld w;
        ASSERT_EQ(AIRPORT_RANGE.value.get(), 20);
        if (c.current) lf_announceParkAirport("LSZH");
        w.inAir(c.position, 3000);
        w.refresh();
        EXPECT_EQ(gf_parkAirport().code == "LSZH", c.inSight) << c.what;
    }
}

TEST(ParkRefresh, OnTheGroundTheNearestAirportWithAFileIsTaken) {
    struct Case {
        const char* what;
        bool nearest;
        bool file;
        std::string status;
    };
    const std::vector<Case> cases{
        {"no airport", false, false, "User aircraft on the ground, no airport in sight"},
        {"no file", true, false, "User aircraft on the ground at LSZH, no airport file found"},
        {"file", true, true, "Calculating static parked aircraft ..."},
    };
    for (const Case& c : cases) {
        RefreshWorld w;
        w.user.onGround = true;
        w.user.onGroundKnown = true;
        if (c.nearest) w.nearest = w.airports["LSZH"];
        if (c.file) w.apfPaths["LSZH"] = "airports/my_thirdparty/LSZH.xml";
        w.refresh(true);
        EXPECT_EQ(gf_nullUiPort().statusLines().back(), c.status) << c.what;
        EXPECT_EQ(gf_parkAirport().code == "LSZH", c.file) << c.what;
        EXPECT_EQ(parkFileReload, c.file) << c.what;
    }
}

TEST(ParkRefresh, AFileThatCannotBeReadLeavesTheAirport) {
    RefreshWorld w;
    w.user.onGround = true;
    w.nearest = w.airports["LSZH"];
    w.apfPaths["LSZH"] = "airports/my_thirdparty/LSZH.xml";  // not there
    w.refresh(true);
    ASSERT_TRUE(parkFileReload);
    w.refresh();
    EXPECT_FALSE(parkFileReload);
    w.finishParkRead();
    EXPECT_EQ(gf_parkAirport().code, "");
    EXPECT_NE(gf_nullUiPort().statusLines().back().find("could not be loaded"), std::string::npos)
        << gf_nullUiPort().statusLines().back();
    EXPECT_TRUE(gf_nullUiPort().control(DESTINATION.handle.load()).enabled);
}

TEST(ParkRefresh, TheParkAirportIsKeptOnTheGroundAndLeftOutOfSightInTheAir) {
    RefreshWorld w;
    lf_announceParkAirport("LSZH");
    w.addStand("A", {});
    w.addStatic(1, "SWR1*", "SWR", "A320");
    w.user.onGround = true;
    w.user.position = refreshNorthOf(w.parkList[0], 80);
    w.refresh();
    EXPECT_EQ(gf_parkAirport().code, "LSZH");
    EXPECT_EQ(w.engine.staticAc[0].simState, AcSimState::Active);
    ASSERT_TRUE(gf_feedParkAirport().has_value()) << "its ground traffic comes in";
    EXPECT_DOUBLE_EQ(gf_feedParkAirport()->lat, 47.45);

    AirportLog log;
    w.inAir(refreshNorthOf(w.parkList[0], 80), 3000);
    w.refresh();
    EXPECT_EQ(gf_parkAirport().code, "");
    EXPECT_EQ(w.engine.staticAc[0].simState, AcSimState::RemovingFromSim);
    EXPECT_TRUE(standList.empty());
    EXPECT_FALSE(gf_feedParkAirport().has_value());
    const auto lines = log.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("LSZH is out of sight (80.0 nm), parked aircraft will be removed") != std::string::npos;
    }));
}

TEST(ParkRefresh, InTheAirTheParkAirportIsLeftBeyondRangeOrHeightOnly) {
    struct Case {
        double nm;
        double height;
        bool onGround;
        bool kept;
    };
    for (const Case& c : {Case{19.9, 18000, false, true}, Case{20.1, 18000, false, false},
                          Case{10, 18001, false, false}, Case{25, 0, true, true}}) {
        RefreshWorld w;
        lf_announceParkAirport("LSZH");
        if (c.onGround) {
            w.user.onGround = true;
            w.user.onGroundKnown = true;
            w.user.position = refreshNorthOf(w.parkList[0], c.nm);
        } else {
            w.inAir(refreshNorthOf(w.parkList[0], c.nm), c.height);
        }
        w.refresh();
        EXPECT_EQ(gf_parkAirport().code == "LSZH", c.kept)
            << c.nm << " nm, " << c.height << " ft" << (c.onGround ? ", on the ground" : "");
    }
}

TEST(ParkRefresh, ACloserOrEquallyCloseParkAirportOvertakesTheCurrentOne) {
    struct Case {
        double toCurrent;
        double toOther;
        bool switched;
    };
    for (const Case& c : {Case{12, 12, true}, Case{11, 12, false}, Case{12, 11, true}, Case{5, 25, false}}) {
        RefreshWorld w;
        // Two airports on a meridian, the user aircraft between them.
        w.parkList[0].lat = 47.0;
        w.parkList[0].lon = 8.0;
        w.airports["LSZH"] = w.parkList[0];
        w.addAirport("LSGG", 47.0 + (c.toCurrent + c.toOther) / 60.0, 8.0);
        lf_announceParkAirport("LSZH");
        w.inAir(LatLon{47.0 + c.toCurrent / 60.0, 8.0}, 3000);
        w.refresh();
        EXPECT_EQ(gf_parkAirport().code.empty(), c.switched) << c.toCurrent << " vs " << c.toOther;
        if (c.switched) {
            w.refresh();
            EXPECT_EQ(gf_parkAirport().code, "LSGG");
        }
    }
    // Equal to the last bit: the two airports mirrored west and east of the user
    // aircraft by a quarter degree, which every step of the arithmetic keeps exact.
    // The other airport heads the list, and the sort by distance keeps it there.
    for (const bool mirrored : {true, false}) {
        RefreshWorld w;
        w.parkList[0].lat = 47.0;
        w.parkList[0].lon = 8.0 - 0.25;
        w.airports["LSZH"] = w.parkList[0];
        w.addAirport("LSGG", 47.0, mirrored ? 8.0 + 0.25 : 8.0 + 0.26, false);
        w.parkList.insert(w.parkList.begin(), w.airports["LSGG"]);
        const LatLon user{47.0, 8.0};
        const double toCurrent = gf_distanceNm(user, LatLon{47.0, 7.75});
        const double toOther = gf_distanceNm(user, LatLon{47.0, mirrored ? 8.25 : 8.26});
        ASSERT_EQ(toCurrent == toOther, mirrored);
        lf_announceParkAirport("LSZH");
        w.inAir(user, 3000);
        w.refresh();
        EXPECT_EQ(gf_parkAirport().code.empty(), mirrored) << toCurrent << " vs " << toOther;
    }
}

TEST(ParkRefresh, ADestinationKeepsTheListsOrder) {
    for (const bool destination : {false, true}) {
        RefreshWorld w;
        w.addAirport("LSGG", 46.24, 6.11);
        std::swap(w.parkList[0], w.parkList[1]);  // LSGG first, far away
        DESTINATION.value = destination ? "LSGG" : "";
        w.inAir(LatLon{47.46, 8.55}, 3000);
        w.refresh();
        EXPECT_EQ(w.parkList[0].code, destination ? "LSGG" : "LSZH");
        EXPECT_EQ(gf_parkAirport().code, destination ? "" : "LSZH");
    }
}

TEST(ParkRefresh, ClearingTheGroundTrafficLeavesFlyingAndLandingAircraft) {
    struct Case {
        AcMoveState state;
        AcSimState sim;
        bool kept;  // still a record
        AcSimState after;
    };
    const std::vector<Case> cases{
        {AcMoveState::PushingBack, AcSimState::Active, true, AcSimState::RemovingFromSim},
        {AcMoveState::PushedBack, AcSimState::Active, true, AcSimState::RemovingFromSim},
        {AcMoveState::Taxi, AcSimState::Active, true, AcSimState::RemovingFromSim},
        {AcMoveState::TakeOff, AcSimState::Active, true, AcSimState::RemovingFromSim},
        {AcMoveState::Parked, AcSimState::Active, true, AcSimState::RemovingFromSim},
        {AcMoveState::Flying, AcSimState::Active, true, AcSimState::Active},
        {AcMoveState::Parking, AcSimState::Active, true, AcSimState::Active},
        {AcMoveState::Birth, AcSimState::Active, true, AcSimState::Active},
        {AcMoveState::Parked, AcSimState::Adding2Sim, false, AcSimState::Adding2Sim},
    };
    for (const Case& c : cases) {
        RefreshWorld w;
        lf_announceParkAirport("LSZH");
        w.addStand("A", {});
        LiveAc& ac = w.addLive(50001, "DLH1", "A320", c.state, 1);
        ac.simState = c.sim;
        ac.standLatitude = 47.45;
        if (c.sim == AcSimState::Adding2Sim) {
            AcCreateRequest r;
            r.hexid = 50001;
            w.engine.liveCreationQueue.push_back(r);
        }
        w.addStatic(1, "SWR1*", "SWR", "A320");
        parkPlan = {ParkPlanEntry{1, 0, "SWR", "A320", "SWR2", "", "", true}};
        gf_clearGroundTraffic(w.engine);
        const std::string what{moveStateName(c.state)};
        EXPECT_TRUE(parkPlan.empty());
        EXPECT_EQ(w.engine.staticAc[0].simState, AcSimState::RemovingFromSim);
        EXPECT_EQ(gf_parkAirport().code, "");
        ASSERT_EQ(w.engine.liveAc.size(), c.kept ? 1u : 0u) << what;
        if (c.kept) {
            EXPECT_EQ(w.engine.liveAc[0].simState, c.after) << what;
            EXPECT_EQ(w.engine.liveAc[0].standId == 0, c.after != AcSimState::Active) << what;
        } else {
            EXPECT_TRUE(w.engine.liveCreationQueue.empty());
        }
    }
}

TEST(ParkRefresh, LeavingRestoresTheUsersMaxLiveAndSavesWhatWasLearned) {
    RefreshWorld w;
    lf_announceParkAirport("LSZH");
    parkingActive = true;
    apfParamsChanged = true;
    MAX_LIVE.value = 2;  // from the airport's learned file
    w.savedMaxLive = 1;
    for (int i = 0; i < 2; ++i) {
        w.addLive(50001 + i, fmt::format("A{}", i), "A320", AcMoveState::Flying).simPosition.latitude = 47.0 + i;
    }
    gf_clearGroundTraffic(w.engine);
    EXPECT_EQ(MAX_LIVE.value.get(), 1);
    EXPECT_EQ(w.saves, 1);
    EXPECT_FALSE(parkingActive.load());
    EXPECT_EQ(w.engine.liveAc[1].simState, AcSimState::RemovingFromSim);
    EXPECT_FALSE(gf_nullUiPort().control(FLUSH_STATIC_BUTTON.handle.load()).enabled);
}

TEST(ParkRefresh, TheControlsUnlockOnceThePlanIsPlaced) {
    RefreshWorld w;
    w.inAir(LatLon{10.0, 10.0}, 30000);  // far from everything
    gf_lockParkingControls();
    for (ParameterControl* c : std::vector<ParameterControl*>{&parking_percentage, &WEEK, &REREAD_BUTTON}) {
        EXPECT_FALSE(gf_nullUiPort().control(c->handle.load()).enabled);
    }
    parkPlan = {ParkPlanEntry{}};
    w.refresh();
    EXPECT_TRUE(parkingBusy.load());
    parkPlan.clear();
    w.refresh();
    EXPECT_FALSE(parkingBusy.load());
    EXPECT_EQ(w.minutesShown.back(), 19);
    for (ParameterControl* c : std::vector<ParameterControl*>{&parking_percentage, &WEEK, &REREAD_BUTTON}) {
        EXPECT_TRUE(gf_nullUiPort().control(c->handle.load()).enabled);
    }
    EXPECT_FALSE(w.staticFits.empty());
    EXPECT_FALSE(w.liveFits.empty());
}

}  // namespace
}  // namespace clv::test
