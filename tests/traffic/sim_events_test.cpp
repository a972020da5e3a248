// The simulator's reports to the engine, the engine's light and engine settings of
// new objects, removal, livery respawn and ghosts, and the start and end of a run.
#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/ui_port.h"
#include "link/realtraffic_state.h"
#include "link/sim_ids.h"
#include "traffic_harness.h"

namespace clv::test {
namespace {

constexpr std::uint32_t kEventsHexid = 40001;
constexpr std::uint32_t kObject = 300;

using Events = std::vector<std::pair<std::uint32_t, std::uint32_t>>;  // event id, data

Events eventsOf(const FakeSimLink& sim, std::uint32_t objectId) {
    Events out;
    for (const TickedEvent& e : sim.eventsOf(objectId)) out.emplace_back(e.command.eventId, e.command.data);
    return out;
}

LiveAc& activeAc(EngineRig& rig, std::uint32_t hexid = kEventsHexid, std::uint32_t objectId = kObject,
                 const std::string& callsign = "DLH1") {
    LiveAc& ac = rig.addLive(hexid, callsign, "A320", {airSample(50, 8, 5000, 200, 90, 99999)}, AcSimState::Active);
    ac.objectId = objectId;
    return ac;
}

void handle(EngineRig& rig, const SimEvent& event) {
    rig.sim.post(event);
    gf_handleSimEvents(rig.engine);
}

TEST(SimEvents, StaticCgAndPitchAreTakenOnlyWhenPlausible) {
    struct Row {
        double cg;
        double pitch;
        double cgAfter;
        double pitchAfter;
    };
    constexpr double kDefaultPitch = 0.7 * kDegToRad;
    const Row rows[] = {
        {0.5, 0.01, 5.0, 0.01},
        {12.0, 0.01, 12.0, 0.01},
        {1.0, 0.0, 1.0, 0.0},
        {35.0, 0.0, 35.0, 0.0},
        {35.1, 0.0, 5.0, 0.0},
        {12.0, -1.0 * kDegToRad, 12.0, kDefaultPitch},
        {12.0, -0.99 * kDegToRad, 12.0, -0.99 * kDegToRad},
        {12.0, 2.5 * kDegToRad, 12.0, 2.5 * kDegToRad},
        {12.0, 2.51 * kDegToRad, 12.0, kDefaultPitch},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.cg << " ft, " << row.pitch << " rad");
        EngineRig rig;
        LiveAc& ac = activeAc(rig);
        ac.staticCgHeight = 5.0;
        handle(rig, SimEvent{kObject, 0, 0, SimEventKind::StaticCg, row.cg, row.pitch});
        EXPECT_DOUBLE_EQ(ac.staticCgHeight, row.cgAfter);
        EXPECT_DOUBLE_EQ(ac.staticPitch, row.pitchAfter);
    }
}

TEST(SimEvents, GroundReportTouchesALandingAircraftDown) {
    for (bool special : {false, true}) {
        EngineRig rig;
        LiveAc& ac = activeAc(rig);
        ac.landing = true;
        ac.specialLivery = special;
        ac.staticCgHeight = 8.0;
        ac.staticPitch = 0.01;
        ac.simPosition.pitch = -0.06;
        ac.simPosition.bank = 0.035;
        ac.simPosition.trueHeading = 1.2;
        ac.altitudeStep = -3.0;
        handle(rig, SimEvent{kObject, 1, 0, SimEventKind::GroundData, 350.0, 4.0});
        EXPECT_TRUE(ac.onGround);
        EXPECT_TRUE(ac.deRotating);
        EXPECT_TRUE(ac.rollingOut);
        EXPECT_TRUE(ac.landed);
        EXPECT_FALSE(ac.landing);
        EXPECT_DOUBLE_EQ(ac.touchDownHeading, 1.2);
        EXPECT_DOUBLE_EQ(ac.altitudeStep, 0.0);
        EXPECT_DOUBLE_EQ(ac.heightAboveGround, 4.0);
        EXPECT_DOUBLE_EQ(ac.simPosition.altitude, 358.0);  // CG height above the ground's altitude
        // Within its 350 de-rotation ticks (Large) to the static pitch, wings level.
        EXPECT_NEAR(ac.pitchStep, 0.07 / 350.0, 1e-15);
        EXPECT_NEAR(ac.bankStep, -0.035 / 350.0, 1e-15);
        EXPECT_EQ(eventsOf(rig.sim, kObject), (Events{{SPOILERS_SET, 16383}}));
        ASSERT_EQ(rig.sim.aiControls.size(), 1u);
        EXPECT_DOUBLE_EQ(rig.sim.aiControls[0].second.spoilersHandle, 100.0);
        EXPECT_DOUBLE_EQ(rig.sim.aiControls[0].second.throttle1, special ? -100.0 : 100.0);
    }
}

TEST(SimEvents, GroundReportInTheAirOnlyRecordsTheHeight) {
    EngineRig rig;
    LiveAc& ac = activeAc(rig);
    ac.simPosition.altitude = 5000.0;
    handle(rig, SimEvent{kObject, 0, 0, SimEventKind::GroundData, 350.0, 4650.0});
    EXPECT_FALSE(ac.onGround);
    EXPECT_DOUBLE_EQ(ac.heightAboveGround, 4650.0);
    EXPECT_DOUBLE_EQ(ac.simPosition.altitude, 5000.0);
    // During the take-off rotation the ground keeps the altitude.
    ac.rotationCountdown = 2;
    ac.moveState = AcMoveState::TakeOff;
    handle(rig, SimEvent{kObject, 1, 0, SimEventKind::GroundData, 350.0, 0.0});
    EXPECT_FALSE(ac.onGround);
    EXPECT_DOUBLE_EQ(ac.simPosition.altitude, 350.0);
}

TEST(SimEvents, BlockedCallsignLeavesBufferOrSimulator) {
    EngineRig rig;
    rig.addLive(kEventsHexid, "DLH1", "A320", {airSample(50, 8, 5000, 200, 90, 99999)});
    activeAc(rig, kEventsHexid + 1, kObject, "DLH2");
    rig.addLive(kEventsHexid + 2, "DLH3", "A320", {airSample(50, 8, 5000, 200, 90, 99999)}, AcSimState::LiveryRespawn);
    for (std::uint32_t h : {kEventsHexid, kEventsHexid + 1, kEventsHexid + 2})
        rig.sim.post(SimEvent{0, h, 0, SimEventKind::BlockedCallsign, 0, 0});
    gf_handleSimEvents(rig.engine);
    EXPECT_TRUE(rig.live(kEventsHexid)->eraseFromBuffer);
    EXPECT_EQ(rig.live(kEventsHexid + 1)->simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{kObject});
    EXPECT_EQ(rig.live(kEventsHexid + 2)->simState, AcSimState::LiveryRespawn);
}

TEST(SimEvents, ObjectRemoved) {
    EngineRig rig;
    LiveAc& respawning = activeAc(rig, kEventsHexid, 301);
    respawning.simState = AcSimState::LiveryRespawn;
    respawning.throttleStage = 0;
    respawning.flapsStage = 1;
    activeAc(rig, kEventsHexid + 1, 302).flightPlanGiven = true;
    activeAc(rig, kEventsHexid + 2, 303);
    AcData d = rig.data.acData(AcIdentity{});
    d.hexid = 5;
    rig.engine.staticAc.emplace_back(std::move(d), 4, 50, 8, 0, false).objectId = 304;

    for (std::uint32_t id : {301u, 302u, 304u}) rig.sim.post(SimEvent{id, 0, 0, SimEventKind::ObjectRemoved, 0, 0});
    gf_handleSimEvents(rig.engine);

    // The respawning one is back in the buffer, without object and stages.
    const LiveAc* back = rig.live(kEventsHexid);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->simState, AcSimState::Buffer);
    EXPECT_EQ(back->objectId, 0u);
    EXPECT_EQ(back->throttleStage, kNoThrottleStage);
    EXPECT_EQ(back->flapsStage, kNoFlapsStage);
    // The other is erased; the last record took its place.
    EXPECT_EQ(rig.live(kEventsHexid + 1), nullptr);
    ASSERT_EQ(rig.engine.liveAc.size(), 2u);
    EXPECT_EQ(rig.engine.liveAc[1].hexid, kEventsHexid + 2);
    ASSERT_EQ(rig.sim.flightPlansDeleted.size(), 1u);
    EXPECT_EQ(rig.sim.flightPlansDeleted[0].id, 302u);
    EXPECT_TRUE(rig.engine.staticAc.empty());
}

TEST(SimEvents, ObjectGoneUnaskedFreesItsStand) {
    EngineRig rig;
    activeAc(rig, kEventsHexid, 301).standId = 7;
    LiveAc& leaving = activeAc(rig, kEventsHexid + 1, 302);
    leaving.standId = 8;
    removeAircraftFromSim(rig.engine, leaving);  // frees 8 now
    rig.parking.freedStands.clear();
    rig.sim.post(SimEvent{301, 0, 0, SimEventKind::ObjectRemoved, 0, 0});
    rig.sim.post(SimEvent{302, 0, 0, SimEventKind::ObjectRemoved, 0, 0});
    gf_handleSimEvents(rig.engine);
    EXPECT_EQ(rig.parking.freedStands, std::vector<std::uint32_t>{7});
    EXPECT_TRUE(rig.engine.liveAc.empty());
}

TEST(SimEvents, BindingIsRefusedForTheUserAndUnknownAircraft) {
    EngineRig rig;
    rig.addLive(kEventsHexid, "DLH1", "A320", {airSample(50, 8, 5000, 200, 90, 99999)}, AcSimState::Adding2Sim);
    handle(rig, SimEvent{2, kEventsHexid, 0, SimEventKind::LiveObjectBound, 0, 0});
    handle(rig, SimEvent{400, kEventsHexid + 9, 0, SimEventKind::LiveObjectBound, 0, 0});
    EXPECT_EQ(rig.live(kEventsHexid)->objectId, 0u);
    EXPECT_TRUE(rig.engine.newObjectList.empty());
    EXPECT_TRUE(rig.sim.staticCgRequests.empty());
}

TEST(SimEvents, FailedDirectRequestsAreReported) {
    EngineRig rig;
    rig.sim.refuseStaticCg = true;
    rig.sim.refuseLightToggle = true;
    rig.addLive(kEventsHexid, "DLH1", "A320", {airSample(50, 8, 5000, 200, 90, 99999)}, AcSimState::Adding2Sim);
    handle(rig, SimEvent{400, kEventsHexid, 0, SimEventKind::LiveObjectBound, 0, 3000});
    EXPECT_EQ(rig.sim.requestErrors, 1);
    for (int i = 0; i < 49; ++i) gf_handleSimEvents(rig.engine);
    EXPECT_EQ(rig.sim.requestErrors, 2);  // the toggle at step 50
    // A failed link makes no more direct calls.
    rig.sim.failed = true;
    for (int i = 0; i < 60; ++i) gf_handleSimEvents(rig.engine);
    EXPECT_EQ(rig.sim.lightToggles.size(), 1u);
}

// Engines and lights at the end of the warm-up, by phase.
TEST(StartEngines, ByPhase) {
    struct Row {
        const char* name;
        bool airborne;
        double altitude;
        double heightAboveGround;
        AcMoveState moveState;
        AcCategory category;
        bool navWhileParked;
        Events events;
        std::uint32_t throttleStage, flapsStage;
    };
    const Row rows[] = {
        {"cruise",
         true,
         30000,
         28000,
         AcMoveState::Flying,
         AcCategory::Large,
         true,
         {{ENGINE_AUTO_START, 0},
          {SPOILERS_SET, 0},
          {NAV_LIGHTS_SET, 1},
          {BEACON_LIGHTS_SET, 1},
          {LANDING_LIGHTS_SET, 0},
          {TAXI_LIGHTS_SET, 0},
          {STROBES_SET, 1},
          {LOGO_LIGHTS_SET, 0},
          {CABIN_LIGHTS_SET, 1}},
         kNoThrottleStage,
         kNoFlapsStage},
        {"approach",
         true,
         3000,
         1500,
         AcMoveState::Flying,
         AcCategory::Large,
         true,
         {{ENGINE_AUTO_START, 0},
          {SPOILERS_SET, 0},
          {NAV_LIGHTS_SET, 1},
          {BEACON_LIGHTS_SET, 1},
          {LANDING_LIGHTS_SET, 1},
          {TAXI_LIGHTS_SET, 0},
          {STROBES_SET, 1},
          {LOGO_LIGHTS_SET, 1},
          {CABIN_LIGHTS_SET, 0}},
         kNoThrottleStage,
         kNoFlapsStage},
        {"helicopter in the air",
         true,
         1000,
         900,
         AcMoveState::Flying,
         AcCategory::Rotorcraft,
         true,
         {{ENGINE_AUTO_START, 0},
          {NAV_LIGHTS_SET, 1},
          {BEACON_LIGHTS_SET, 1},
          {LANDING_LIGHTS_SET, 1},
          {TAXI_LIGHTS_SET, 0},
          {STROBES_SET, 1},
          {LOGO_LIGHTS_SET, 1},
          {CABIN_LIGHTS_SET, 0}},
         kNoThrottleStage,
         kNoFlapsStage},
        {"parked, nav lights off while parked",
         false,
         0,
         0,
         AcMoveState::Parked,
         AcCategory::Large,
         false,
         {{SPOILERS_SET, 0},
          {ENGINE_AUTO_SHUTDOWN, 0},
          {NAV_LIGHTS_SET, 0},
          {BEACON_LIGHTS_SET, 0},
          {LANDING_LIGHTS_SET, 0},
          {TAXI_LIGHTS_SET, 0},
          {STROBES_SET, 0},
          {LOGO_LIGHTS_SET, 1},
          {CABIN_LIGHTS_SET, 1},
          {THROTTLE_SET, 0},
          {FLAPS_SET, 0}},
         0,
         0},
        {"taxiing",
         false,
         0,
         0,
         AcMoveState::Taxi,
         AcCategory::Large,
         true,
         {{SPOILERS_SET, 0},
          {ENGINE_AUTO_START, 0},
          {NAV_LIGHTS_SET, 1},
          {BEACON_LIGHTS_SET, 1},
          {LANDING_LIGHTS_SET, 0},
          {TAXI_LIGHTS_SET, 1},
          {STROBES_SET, 0},
          {LOGO_LIGHTS_SET, 1},
          {CABIN_LIGHTS_SET, 1},
          {THROTTLE_SET, 0},
          {FLAPS_SET, 3072}},
         0,
         1},
        {"helicopter on the ground",
         false,
         0,
         0,
         AcMoveState::Taxi,
         AcCategory::Rotorcraft,
         true,
         {{ENGINE_AUTO_START, 0},
          {NAV_LIGHTS_SET, 1},
          {BEACON_LIGHTS_SET, 1},
          {LANDING_LIGHTS_SET, 0},
          {TAXI_LIGHTS_SET, 1},
          {STROBES_SET, 0},
          {LOGO_LIGHTS_SET, 1},
          {CABIN_LIGHTS_SET, 1},
          {THROTTLE_SET, 16383}},
         4,
         kNoFlapsStage},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineRig rig;
        NAV_LIGHTS_WHILE_PARKED.value = row.navWhileParked;
        LiveAc& ac = rig.addLive(
            kEventsHexid, "DLH1", "A320",
            {row.airborne ? airSample(50, 8, row.altitude, 200, 90, 99999) : groundSample(50, 8, 0, 90, 99999)},
            AcSimState::Adding2Sim);
        ac.objectId = kObject;
        ac.category = row.category;
        ac.moveState = row.moveState;
        ac.simPosition.altitude = row.altitude;
        ac.heightAboveGround = row.heightAboveGround;
        lf_startEngines(rig.engine, ac);
        EXPECT_EQ(eventsOf(rig.sim, kObject), row.events);
        EXPECT_EQ(ac.throttleStage, row.throttleStage);
        EXPECT_EQ(ac.flapsStage, row.flapsStage);
        EXPECT_EQ(ac.simState, AcSimState::Active);
    }
}

TEST(StaticWarmUp, ParkedAircraftIsShutDownAfterTwoHundredSteps) {
    for (bool cargo : {false, true}) {
        EngineRig rig;
        RANDOM.value = false;
        AcData d = rig.data.acData(AcIdentity{});
        d.hexid = 5;
        d.callsign = "KLM9";
        StaticAc& s = rig.engine.staticAc.emplace_back(std::move(d), 4, 50, 8, 0, cargo);
        s.simState = AcSimState::Adding2Sim;
        handle(rig, SimEvent{kObject, 5, 0, SimEventKind::StaticObjectBound, 0, 0});
        for (int i = 0; i < 198; ++i) gf_handleSimEvents(rig.engine);
        EXPECT_EQ(rig.engine.staticAc[0].simState, AcSimState::Adding2Sim);
        gf_handleSimEvents(rig.engine);
        EXPECT_EQ(rig.engine.staticAc[0].simState, AcSimState::Active);
        EXPECT_EQ(rig.engine.staticAc[0].objectId, kObject);
        EXPECT_TRUE(rig.engine.newObjectList.empty());
        EXPECT_TRUE(rig.sim.lightToggles.empty());  // static objects get no toggles
        const Events expected{{THROTTLE_SET, 0},         {FLAPS_SET, 0},
                              {ENGINE_AUTO_SHUTDOWN, 0}, {NAV_LIGHTS_SET, 1},
                              {BEACON_LIGHTS_SET, 0},    {LANDING_LIGHTS_SET, 0},
                              {TAXI_LIGHTS_SET, 0},      {STROBES_SET, 0},
                              {LOGO_LIGHTS_SET, 1},      {CABIN_LIGHTS_SET, cargo ? 0u : 1u}};
        EXPECT_EQ(eventsOf(rig.sim, kObject), expected);
    }
}

TEST(Removal, SelectedObjectIsDeselected) {
    EngineRig rig;
    activeAc(rig, kEventsHexid, kObject, "DLH1");
    CALLSIGN_2_OBJECTID.value = "DLH1";
    gf_callsign2ObjectId(rig.engine);
    EXPECT_EQ(rig.engine.selectedObjectId, kObject);
    EXPECT_EQ(rig.engine.shownObjectIdText(), "= 300");

    removeAircraftFromSim(rig.engine, *rig.live(kEventsHexid));
    EXPECT_EQ(rig.engine.selectedObjectId, 0u);
    EXPECT_EQ(rig.engine.shownObjectIdText(), "");
    EXPECT_TRUE(CALLSIGN_2_OBJECTID.value.empty());
    // Asking twice queues it once.
    removeAircraftFromSim(rig.engine, *rig.live(kEventsHexid));
    EXPECT_EQ(rig.engine.removalQueue.size(), 1u);
}

TEST(Removal, UnknownCallsignIsReported) {
    EngineRig rig;
    gf_nullUiPort().clear();
    CALLSIGN_2_OBJECTID.value = "XYZ9";
    rig.engine.setShownObjectIdText("= 12");
    gf_callsign2ObjectId(rig.engine);
    EXPECT_EQ(rig.engine.shownObjectIdText(), "");
    EXPECT_EQ(gf_nullUiPort().statusLines(), std::vector<std::string>{"callsign \"XYZ9\" is unknown"});
}

TEST(Removal, FarthestAircraftMakesRoom) {
    EngineRig rig;
    rig.engine.userAcData.latitude = 10.0;
    rig.engine.userAcData.longitude = 10.0;
    const double nm = 1.0 / 60.0;  // one nautical mile of latitude, in degrees
    for (auto [hexid, distance] : {std::pair{40001u, 10.05}, std::pair{40002u, 10.2}, std::pair{40003u, 3.0}}) {
        LiveAc& a = activeAc(rig, hexid, hexid - 40000 + 500);
        a.simPosition.latitude = 10.0 + distance * nm;
        a.simPosition.longitude = 10.0;
    }
    EXPECT_FALSE(gf_removeFarthestAc(rig.engine, 10.0));
    EXPECT_EQ(rig.live(40002)->simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(rig.live(40001)->simState, AcSimState::Active);
    // Nothing farther than 10.05 nm is left active.
    EXPECT_TRUE(gf_removeFarthestAc(rig.engine, 10.0));
}

TEST(Removal, RealTrafficGoneTakesEveryLiveAircraftOut) {
    EngineRig rig;
    activeAc(rig, 40001, 501);
    LiveAc& queued = rig.addLive(40002, "Q1", "A320", {airSample(50, 8, 5000, 200, 90, 99999)}, AcSimState::Adding2Sim);
    AcCreateRequest r;
    r.hexid = queued.hexid;
    rig.engine.liveCreationQueue.push_back(r);
    rig.addLive(40003, "S1", "A320", {airSample(50, 8, 5000, 200, 90, 99999)}, AcSimState::Adding2Sim);  // sent
    rig.addLive(40004, "B1", "A320", {airSample(50, 8, 5000, 200, 90, 99999)});
    gf_removeAllLiveFromSim(rig.engine);
    EXPECT_EQ(rig.live(40001)->simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(rig.live(40002), nullptr);
    EXPECT_TRUE(rig.engine.liveCreationQueue.empty());
    EXPECT_TRUE(rig.live(40003)->removalPending);
    EXPECT_EQ(rig.live(40004)->simState, AcSimState::Buffer);
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{501});
}

// ---- livery respawn and ghosts ----------------------------------------------------------

TEST(LiveryRespawn, MovingAircraftComesBackWhereItIs) {
    EngineRig rig;
    trafficTickCount = 700;
    LiveAc& ac = rig.addLive(kEventsHexid, "DLH1", "A320",
                             {airSample(50, 8, 5000, 200, 90, 800), airSample(50, 8.1, 5000, 200, 90, 1300)},
                             AcSimState::Active);
    ac.objectId = kObject;
    ac.moveState = AcMoveState::Flying;
    ac.simPosition.latitude = 49.9;
    ac.simPosition.longitude = 7.95;
    ac.simPosition.altitude = 4900;
    ac.simPosition.bank = 0.2;
    ac.simPosition.trueHeading = 1.5;
    liveryRespawn(rig.engine, ac);
    ASSERT_EQ(ac.samples.size(), 3u);
    const PosSample& n = ac.samples.front();
    EXPECT_EQ(n.dueTick, 701u);
    EXPECT_DOUBLE_EQ(n.latitude, 49.9);
    EXPECT_DOUBLE_EQ(n.longitude, 7.95);
    EXPECT_DOUBLE_EQ(n.altitude, 4900);
    EXPECT_TRUE(n.hasRoll);
    EXPECT_DOUBLE_EQ(n.roll, 0.2);
    EXPECT_FALSE(ac.samples[1].holdMark);  // not where the aircraft is
    EXPECT_EQ(ac.simState, AcSimState::LiveryRespawn);
    EXPECT_TRUE(ac.hasHeadingOverride);
    EXPECT_DOUBLE_EQ(ac.headingOverride, 1.5);
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{kObject});
}

TEST(LiveryRespawn, ParkedAircraftKeepsOnlyItsStandSampleAndItsSelection) {
    EngineRig rig;
    LiveAc& ac = rig.addLive(
        kEventsHexid, "DLH1", "A320",
        {groundSample(50, 8, 0, 90, 800), groundSample(50, 8, 0, 90, 1300), groundSample(50, 8.001, 5, 90, 1800)},
        AcSimState::Active);
    ac.objectId = kObject;
    ac.moveState = AcMoveState::Parked;
    ac.simPosition.trueHeading = kPi;
    rig.engine.selectedObjectId = kObject;
    rig.engine.setShownObjectIdText("= 300");
    liveryRespawn(rig.engine, ac);
    ASSERT_EQ(ac.samples.size(), 2u);
    EXPECT_TRUE(ac.samples[0].holdMark);
    EXPECT_TRUE(ac.samples[1].holdMark);
    EXPECT_NEAR(ac.samples[1].track, 180.0, 1e-12);
    EXPECT_EQ(rig.engine.selectedObjectId, 0u);
    EXPECT_EQ(rig.engine.shownObjectIdText(), "");
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value.get(), "DLH1");
}

TEST(Ghosts, RecognisedByTheTrailingCharacter) {
    EngineRig rig;
    activeAc(rig, 40001, 501, "DLH1");
    activeAc(rig, 40002, 502, "DLH1_");
    EXPECT_TRUE(lf_originalOfGhostExists(rig.engine, "DLH1_"));
    EXPECT_TRUE(lf_originalOfGhostExists(rig.engine, "DLH1X"));  // any last character
    EXPECT_FALSE(lf_originalOfGhostExists(rig.engine, "DLH2_"));
    EXPECT_FALSE(lf_originalOfGhostExists(rig.engine, ""));

    lf_removeGhost(rig.engine, "DLH1");
    EXPECT_EQ(rig.live(40002)->simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(rig.engine.blockedCallsigns, std::vector<std::string>{"DLH1_"});
    // A ghost on its way out is no longer found, nor an original on its way out.
    lf_removeGhost(rig.engine, "DLH1");
    EXPECT_EQ(rig.engine.blockedCallsigns.size(), 1u);
    removeAircraftFromSim(rig.engine, *rig.live(40001));
    EXPECT_FALSE(lf_originalOfGhostExists(rig.engine, "DLH1_"));
}

// ---- start and end of a run, requests of other threads -----------------------------------

TEST(EngineRun, StopEmptiesEverything) {
    EngineRig rig;
    activeAc(rig);
    AcData d = rig.data.acData(AcIdentity{});
    rig.engine.staticAc.emplace_back(std::move(d), 4, 50, 8, 0, false);
    rig.engine.hexidQueue = {1};
    rig.engine.liveCreationQueue.resize(2);
    rig.engine.staticCreationQueue.resize(2);
    rig.engine.removalQueue = {9};
    rig.engine.spawnedList = {1};
    rig.engine.liveryMemory[1] = "x";
    rig.engine.unmatchedSet.insert("x");
    rig.engine.blockedCallsigns = {"x_"};
    rig.engine.newObjectList.push_back(NewSimObject{});
    rig.engine.selectedObjectId = 5;
    rig.sim.post(SimEvent{});
    rig.pushUpdate(makeUpdate(1, "A", "A320", 0, 0, 0, 0, 0, 0));
    currentQnh = 990;
    currentSlot.store(Slot{2, 7});

    gf_stopTraffic(rig.engine);
    EXPECT_TRUE(rig.engine.liveAc.empty());
    EXPECT_TRUE(rig.engine.staticAc.empty());
    EXPECT_TRUE(rig.engine.hexidQueue.empty());
    EXPECT_TRUE(rig.engine.liveCreationQueue.empty());
    EXPECT_TRUE(rig.engine.staticCreationQueue.empty());
    EXPECT_TRUE(rig.engine.removalQueue.empty());
    EXPECT_TRUE(rig.engine.spawnedList.empty());
    EXPECT_TRUE(rig.engine.liveryMemory.empty());
    EXPECT_TRUE(rig.engine.unmatchedSet.empty());
    EXPECT_TRUE(rig.engine.blockedCallsigns.empty());
    EXPECT_TRUE(rig.engine.newObjectList.empty());
    EXPECT_EQ(rig.engine.selectedObjectId, 0u);
    EXPECT_TRUE(trafficUpdateQueue.empty());
    std::vector<SimEvent> left;
    rig.sim.takeSimEvents(left);
    EXPECT_TRUE(left.empty());
    EXPECT_EQ(rig.parking.resets, 1);
    EXPECT_EQ(currentQnh.load(), kStandardQnh);
    EXPECT_EQ(currentSlot.load(), Slot{});
}

TEST(EngineRun, PostedRequestsRunOnTheNextTickOrInboxHandling) {
    EngineRig rig;
    LiveAc& parked = activeAc(rig, 40001, 501);
    parked.moveState = AcMoveState::Parked;
    activeAc(rig, 40002, 502).moveState = AcMoveState::Taxi;
    AcData d = rig.data.acData(AcIdentity{});
    StaticAc& s = rig.engine.staticAc.emplace_back(std::move(d), 4, 50, 8, 0, false);
    s.simState = AcSimState::Active;
    s.objectId = 503;

    rig.engine.post([](TrafficEngine& e) { gf_setParkedNavLights(e, false); });
    EXPECT_TRUE(rig.sim.clientEvents.empty());  // nothing until the run thread gets to it
    gf_handleSimEvents(rig.engine);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> got;
    for (const auto& e : rig.sim.clientEvents) got.emplace_back(e.command.objectId, e.command.eventId);
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected{{503, NAV_LIGHTS_SET}, {501, NAV_LIGHTS_SET}};
    EXPECT_EQ(got, expected);
    gf_handleSimEvents(rig.engine);
    EXPECT_EQ(rig.sim.clientEvents.size(), 2u);  // carried out once
}

}  // namespace
}  // namespace clv::test
