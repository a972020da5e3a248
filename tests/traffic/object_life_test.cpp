// The life of a live aircraft from the feed to an active simulator object and back
// out, with the simulator played by the recording link's auto-responder.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>

#include "core/clock.h"
#include "core/geodesy.h"
#include "link/sim_ids.h"
#include "support/log_capture.h"
#include "traffic_harness.h"

namespace clv::test {
namespace {

constexpr std::uint32_t kHexid = 40001;

using Events = std::vector<std::pair<std::uint32_t, std::uint32_t>>;  // event id, data

Events eventsAt(const FakeSimLink& sim, std::uint32_t objectId, std::uint32_t tick) {
    Events out;
    for (const TickedEvent& e : sim.eventsOf(objectId))
        if (e.tick == tick) out.emplace_back(e.command.eventId, e.command.data);
    return out;
}

// An aircraft reported every 5 s (500 ticks), flying east at 20000 ft.
void scriptFlight(ScriptedFeed& feed, std::uint32_t hexid, const std::string& callsign, const std::string& type,
                  const std::string& registration = {}, int reports = 12) {
    for (int i = 0; i < reports; ++i) {
        feed.at(static_cast<std::uint32_t>(i) * 500, makeUpdate(hexid, callsign, type, 50.0, 8.0 + 0.03 * i, 20000, 300,
                                                                90, 1000.0 + 5.0 * i, registration));
    }
}

bool stateIs(EngineRig& rig, std::uint32_t hexid, AcSimState state) {
    const LiveAc* ac = rig.live(hexid);
    return ac != nullptr && ac->simState == state;
}

// Ticks until the aircraft has an object; returns the tick in which it was bound.
std::uint32_t runUntilBound(EngineRig& rig, std::uint32_t hexid, std::uint32_t limit = 5000) {
    for (std::uint32_t i = 0; i < limit; ++i) {
        const std::uint32_t t = currentTick();
        rig.tick();
        const LiveAc* ac = rig.live(hexid);
        if (ac != nullptr && ac->objectId != 0) return t;
    }
    ADD_FAILURE() << "never bound";
    return 0;
}

TEST(ObjectLife, FromTheFeedToActiveAndOut) {
    EngineRig rig;
    rig.sim.responder.on = true;
    rig.sim.responder.heightAboveGround = 19000.0;
    scriptFlight(rig.feed, kHexid, "DLH400", "A320");

    // Spawned once the oldest sample (due at 3000) is 100 ticks away.
    ASSERT_TRUE(rig.runUntil([&] { return stateIs(rig, kHexid, AcSimState::Adding2Sim); }, 4000));
    EXPECT_EQ(currentTick(), 2901u);
    // Its creation goes out on the next 50th tick.
    ASSERT_TRUE(rig.runUntil([&] { return !rig.sim.creations.empty(); }, 100));
    const TickedCreation& created = rig.sim.creations.front();
    EXPECT_EQ(created.tick, 2950u);
    EXPECT_EQ(created.request.callsign, "DLH400");
    EXPECT_EQ(created.request.title, "Lufthansa A320");
    EXPECT_EQ(created.request.hexid, kHexid);

    const std::uint32_t b = runUntilBound(rig, kHexid);
    const std::uint32_t id = rig.sim.objectOf.at(kHexid);
    const LiveAc* ac = rig.live(kHexid);
    EXPECT_EQ(ac->objectId, id);
    EXPECT_DOUBLE_EQ(ac->heightAboveGround, 19000.0);
    EXPECT_EQ(ac->rotationCountdown, 1);
    EXPECT_FALSE(ac->onGround);
    ASSERT_EQ(rig.sim.staticCgRequests.size(), 1u);
    EXPECT_EQ(rig.sim.staticCgRequests[0].id, id);
    EXPECT_TRUE(rig.sim.flightPlansHanded.empty());  // no route

    // The warm-up counts the binding tick as step 1: all lights toggled at steps 50
    // and 100, engines and lights set at step 200, and only then active.
    rig.run(198);
    EXPECT_EQ(rig.live(kHexid)->simState, AcSimState::Adding2Sim);
    rig.tick();
    EXPECT_EQ(rig.live(kHexid)->simState, AcSimState::Active);
    const std::vector<TickedId> toggles{{b + 49, id}, {b + 99, id}};
    ASSERT_EQ(rig.sim.lightToggles.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(rig.sim.lightToggles[i].tick, toggles[i].tick);
        EXPECT_EQ(rig.sim.lightToggles[i].id, id);
    }
    const Events start{{ENGINE_AUTO_START, 0}, {SPOILERS_SET, 0},       {NAV_LIGHTS_SET, 1},
                       {BEACON_LIGHTS_SET, 1}, {LANDING_LIGHTS_SET, 0}, {TAXI_LIGHTS_SET, 0},
                       {STROBES_SET, 1},       {LOGO_LIGHTS_SET, 0},    {CABIN_LIGHTS_SET, 1}};
    EXPECT_EQ(eventsAt(rig.sim, id, b + 199), start);
    EXPECT_EQ(rig.sim.eventsOf(id).size(), start.size());  // nothing before the warm-up ended

    // Active: its position block goes out every tick.
    rig.run(3);
    const TickedPositions& last = rig.sim.sentPositions.back();
    ASSERT_EQ(last.blocks.size(), 1u);
    EXPECT_EQ(last.blocks[0].objectId, id);

    // Removal: handed over on the next 10th tick, erased once the simulator reports it gone.
    removeAircraftFromSim(rig.engine, *rig.live(kHexid));
    EXPECT_EQ(rig.live(kHexid)->simState, AcSimState::RemovingFromSim);
    ASSERT_TRUE(rig.runUntil([&] { return rig.live(kHexid) == nullptr; }, 100));
    ASSERT_EQ(rig.sim.removals.size(), 1u);
    EXPECT_EQ(rig.sim.removals[0].id, id);
    EXPECT_EQ(rig.sim.removals[0].tick % 10, 0u);
}

TEST(ObjectLife, GroundAircraftWithARouteGetsItsFlightPlanAndGear) {
    for (bool msfs2020 : {true, false}) {
        SCOPED_TRACE(msfs2020);
        EngineRig rig;
        MSFS_2020.value = msfs2020;
        rig.sim.responder.on = true;
        for (int i = 0; i < 8; ++i) {
            TrafficUpdate u = makeUpdate(kHexid, "DLH9", "A320", 50.0, 8.0 + 0.0005 * i, 0, 15, 90, 1000.0 + 5.0 * i);
            u.identity.origin = "FRA";
            u.identity.destination = "MUC";
            rig.feed.at(static_cast<std::uint32_t>(i) * 500, u);
        }
        runUntilBound(rig, kHexid);
        const LiveAc* ac = rig.live(kHexid);
        EXPECT_TRUE(ac->onGround);
        EXPECT_TRUE(ac->flightPlanGiven);
        EXPECT_EQ(rig.sim.flightPlansHanded.size(), msfs2020 ? 1u : 0u);  // MSFS 2024 only gets the file
        const auto events = rig.sim.eventsOf(ac->objectId);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].command.eventId, GEAR_SET);
        EXPECT_EQ(events[0].command.data, 1u);

        // Its removal deletes the flight plan file.
        rig.run(200);
        removeAircraftFromSim(rig.engine, *rig.live(kHexid));
        ASSERT_TRUE(rig.runUntil([&] { return rig.live(kHexid) == nullptr; }, 100));
        ASSERT_EQ(rig.sim.flightPlansDeleted.size(), 1u);
    }
}

TEST(ObjectLife, FlightPlanFailureIsLoggedAndRemembered) {
    for (bool writable : {false, true}) {
        EngineRig rig;
        rig.sim.planWritable = writable;
        rig.sim.planAccepted = false;
        LiveAc& ac =
            rig.addLive(kHexid, "DLH9", "A320", {airSample(50, 8, 5000, 200, 90, 99999)}, AcSimState::Adding2Sim);
        ac.origin = "FRA";
        ac.destination = "MUC";
        ac.objectId = 300;
        lf_giveFlightPlan(rig.engine, ac);
        EXPECT_FALSE(ac.flightPlanGiven);
        EXPECT_EQ(rig.sim.flightPlansHanded.size(), writable ? 1u : 0u);
    }
}

TEST(ObjectLife, RemovalWhileTheCreationIsQueuedOrSent) {
    EngineRig rig;
    rig.sim.responder.on = true;
    scriptFlight(rig.feed, kHexid, "DLH400", "A320");
    ASSERT_TRUE(rig.runUntil([&] { return !rig.engine.liveCreationQueue.empty(); }, 4000));

    // Still queued: withdrawn, and the aircraft never reaches the simulator.
    removeAircraftFromSim(rig.engine, *rig.live(kHexid));
    EXPECT_TRUE(rig.engine.liveCreationQueue.empty());
    rig.tick();
    EXPECT_EQ(rig.live(kHexid), nullptr);
    rig.run(100);
    EXPECT_TRUE(rig.sim.creations.empty());

    // Sent already: it waits for its warm-up, then leaves.
    EngineRig second;
    second.sim.responder.on = true;
    scriptFlight(second.feed, kHexid, "DLH400", "A320");
    ASSERT_TRUE(second.runUntil([&] { return !second.sim.creations.empty(); }, 4000));
    removeAircraftFromSim(second.engine, *second.live(kHexid));
    EXPECT_TRUE(second.live(kHexid)->removalPending);
    const std::uint32_t b = runUntilBound(second, kHexid);
    second.run(198);
    EXPECT_TRUE(second.sim.removals.empty());
    second.tick();  // step 200
    EXPECT_EQ(second.live(kHexid)->simState, AcSimState::RemovingFromSim);
    EXPECT_FALSE(second.live(kHexid)->removalPending);
    ASSERT_TRUE(second.runUntil([&] { return second.live(kHexid) == nullptr; }, 100));
    ASSERT_EQ(second.sim.removals.size(), 1u);
    EXPECT_GE(second.sim.removals[0].tick, b + 199);
}

// Two flights under one callsign (the feed does not keep callsigns unique): taking
// one out must withdraw its own request, not the other's.
TEST(ObjectLife, WithdrawnCreationIsTheAircraftsOwn) {
    EngineRig rig;
    rig.sim.responder.on = true;
    for (std::uint32_t hexid : {50001u, 50002u}) {
        LiveAc& ac = rig.addLive(hexid, "SAME1", "A320",
                                 {airSample(50, 8, 20000, 300, 90, 400), airSample(50, 8.05, 20000, 300, 90, 900)},
                                 AcSimState::Adding2Sim);
        ac.liveryTitle = "Lufthansa A320";
        AcCreateRequest r;
        r.hexid = hexid;
        r.callsign = "SAME1";
        r.title = "Lufthansa A320";
        rig.engine.liveCreationQueue.push_back(r);
    }
    AcCreateRequest staticRequest;
    staticRequest.hexid = 3;
    staticRequest.callsign = "SAME1";
    rig.engine.staticCreationQueue.push_back(staticRequest);

    removeAircraftFromSim(rig.engine, *rig.live(50002));
    ASSERT_EQ(rig.engine.liveCreationQueue.size(), 1u);
    EXPECT_EQ(rig.engine.liveCreationQueue.front().hexid, 50001u);
    EXPECT_EQ(rig.engine.staticCreationQueue.size(), 1u);
    EXPECT_TRUE(rig.live(50002)->erase);
    EXPECT_FALSE(rig.live(50001)->erase);

    // The other one is created and becomes active.
    ASSERT_TRUE(rig.runUntil(
        [&] {
            const LiveAc* a = rig.live(50001);
            return a != nullptr && a->simState == AcSimState::Active;
        },
        600));
    EXPECT_EQ(rig.live(50002), nullptr);
    ASSERT_EQ(rig.sim.creations.size(), 2u);  // 50001, then the static one
    EXPECT_EQ(rig.sim.creations[0].request.hexid, 50001u);
}

TEST(ObjectLife, SpawnedAircraftWithoutRequestYetIsWithdrawnToo) {
    EngineRig rig;
    LiveAc& ac = rig.addLive(kHexid, "DLH1", "A320", {airSample(50, 8, 20000, 300, 90, 400)}, AcSimState::Adding2Sim);
    ac.objectId = 0;
    rig.engine.hexidQueue = {kHexid};
    removeAircraftFromSim(rig.engine, ac);
    EXPECT_TRUE(rig.engine.hexidQueue.empty());
    EXPECT_TRUE(ac.erase);
    EXPECT_FALSE(ac.removalPending);
}

// The simulator refuses a title: the aircraft is forgotten, its stand freed, and
// when it comes back from the feed it gets another title.
TEST(ObjectLife, RefusedTitleIsNotUsedAgain) {
    EngineRig rig;
    rig.sim.responder.on = true;
    rig.sim.refusedTitles = {"Lufthansa A320"};
    scriptFlight(rig.feed, kHexid, "DLH400", "A320", {}, 20);
    ASSERT_TRUE(rig.runUntil([&] { return rig.sim.creations.size() == 1; }, 4000));
    ASSERT_TRUE(rig.runUntil([&] { return rig.live(kHexid) == nullptr; }, 10));
    ASSERT_EQ(rig.data.refusedAircraft.size(), 1u);
    EXPECT_EQ(rig.data.refusedAircraft[0].liveryTitle, "Lufthansa A320");

    // The next report of the same hexid makes a new aircraft, which is created
    // with another title although its hexid remembers the refused one.
    EXPECT_EQ(rig.engine.liveryMemory.at(kHexid), "Lufthansa A320");
    ASSERT_TRUE(rig.runUntil([&] { return rig.sim.creations.size() == 2; }, 6000));
    EXPECT_EQ(rig.sim.creations[1].request.title, "Lufthansa A320 Star Alliance");
    EXPECT_EQ(rig.engine.liveryMemory.at(kHexid), "Lufthansa A320 Star Alliance");
}

TEST(ObjectLife, CreationFailureFreesTheStand) {
    EngineRig rig;
    LiveAc& live = rig.addLive(kHexid, "DLH1", "A320", {groundSample(50, 8, 0, 90, 400)}, AcSimState::Adding2Sim);
    live.standId = 7;
    live.liveryTitle = "Lufthansa A320";
    rig.addLive(kHexid + 1, "DLH2", "A320", {groundSample(50, 8, 0, 90, 400)}, AcSimState::Adding2Sim);
    AcData d = rig.data.acData(AcIdentity{});
    d.hexid = 9;
    d.liveryTitle = "KLM B744";
    StaticAc& parked = rig.engine.staticAc.emplace_back(std::move(d), 11, 50.0, 8.0, 0.0, false);
    parked.simState = AcSimState::Adding2Sim;

    rig.sim.post(SimEvent{0, kHexid, 0, SimEventKind::CreationFailed, 0.0, 0.0});
    rig.sim.post(SimEvent{0, 9, 0, SimEventKind::CreationFailed, 0.0, 0.0});
    gf_handleSimEvents(rig.engine);

    EXPECT_EQ(rig.parking.freedStands, (std::vector<std::uint32_t>{7, 11}));
    EXPECT_EQ(rig.live(kHexid), nullptr);
    ASSERT_EQ(rig.engine.liveAc.size(), 1u);
    EXPECT_EQ(rig.engine.liveAc[0].hexid, kHexid + 1);
    EXPECT_TRUE(rig.engine.staticAc.empty());
    EXPECT_TRUE(rig.data.excluded.contains("Lufthansa A320"));
    EXPECT_TRUE(rig.data.excluded.contains("KLM B744"));
}

// A new registration of another type: the aircraft comes back with the livery
// of its new registration and the values of its new type.
TEST(ObjectLife, RegistrationChangeRespawnsWithTheNewLivery) {
    EngineRig rig;
    rig.sim.responder.on = true;
    rig.data.registrations["G-NEWR"] = RegRecord{"BAW", "B744", "", false};
    rig.data.regTitles["G-NEWR"] = "British Airways B744 G-NEWR";
    for (int i = 0; i < 30; ++i) {
        rig.feed.at(static_cast<std::uint32_t>(i) * 500,
                    makeUpdate(kHexid, "BAW12", "A319", 50.0, 8.0 + 0.03 * i, 20000, 300, 90, 1000.0 + 5.0 * i,
                               i < 8 ? "G-EUPA" : "G-NEWR"));
    }
    ASSERT_TRUE(rig.runUntil([&] { return stateIs(rig, kHexid, AcSimState::Active); }, 4000));
    ASSERT_EQ(rig.sim.creations.size(), 1u);
    EXPECT_EQ(rig.sim.creations[0].request.title, "British Airways A319");
    const std::uint32_t firstObject = rig.live(kHexid)->objectId;

    // The report with the new registration (pushed at tick 4000) starts the respawn.
    ASSERT_TRUE(rig.runUntil([&] { return stateIs(rig, kHexid, AcSimState::LiveryRespawn); }, 1000));
    ASSERT_TRUE(rig.runUntil([&] { return rig.sim.creations.size() == 2; }, 1000));
    EXPECT_EQ(rig.sim.removals.back().id, firstObject);
    const AcCreateRequest& again = rig.sim.creations[1].request;
    EXPECT_EQ(again.title, "British Airways B744 G-NEWR");
    EXPECT_EQ(again.hexid, kHexid);
    const LiveAc& ac = *rig.live(kHexid);
    EXPECT_EQ(ac.type, "B744");
    EXPECT_EQ(ac.category, AcCategory::Heavy);
    EXPECT_EQ(ac.flareTicks, 450);
    EXPECT_EQ(ac.registration, "G-NEWR");
    EXPECT_EQ(rig.engine.liveryMemory.at(kHexid), "British Airways B744 G-NEWR");
    ASSERT_TRUE(rig.runUntil([&] { return stateIs(rig, kHexid, AcSimState::Active); }, 1000));
    EXPECT_NE(rig.live(kHexid)->objectId, firstObject);
}

TEST(ObjectLife, ParkedAircraftIsBoundOnItsStand) {
    EngineRig rig;
    rig.sim.responder.on = true;
    rig.parking.placement = StandPlacement::Placed;
    rig.parking.placementStand = 7;
    currentSlot.store(Slot{3, 21});
    for (int i = 0; i < 8; ++i) {
        rig.feed.at(static_cast<std::uint32_t>(i) * 500,
                    makeUpdate(kHexid, "DLH9", "A320", 50.0, 8.0, 0, 0, 90, 1000.0 + 20.0 * i));
    }
    const std::uint32_t b = runUntilBound(rig, kHexid);
    const LiveAc* ac = rig.live(kHexid);
    EXPECT_EQ(ac->moveState, AcMoveState::Parked);
    EXPECT_EQ(ac->parkedAt, (Slot{3, 21}.toBits()));
    EXPECT_EQ(rig.parking.parkedOnStands, std::vector<std::uint32_t>{7});
    rig.run(199);
    const Events start{{GEAR_SET, 1}};
    EXPECT_EQ(eventsAt(rig.sim, ac->objectId, b), start);
    currentSlot.store(Slot{});
}

// The demo's fault: an arrival taken in while the range was 40 nm, whose creation
// came after the range shrank to 10 nm (the user landed). The simulator reports, and
// so binds, only objects within the range: created outside, it would stand frozen.
TEST(ObjectLife, AnArrivalBufferedBeforeTheRangeShrankIsCreatedOnlyInsideIt) {
    EngineRig rig;
    LogCapture log;
    rig.sim.responder.on = true;
    rig.sim.responder.heightAboveGround = 3000.0;
    rig.data.addLivery("UAE", "B744", "Emirates B744");
    const LatLon user{47.4647, 8.5492};
    rig.sim.user.latitude = user.lat;
    rig.sim.user.longitude = user.lon;
    rig.sim.user.altitude = 1400.0;
    rig.sim.user.altAboveGround = 0.0;
    rig.sim.userOnGroundValue = true;
    rig.engine.userAcData = rig.sim.user;

    // From the east at 180 kt and 4000 ft, reported every 6 s; the range shrinks at
    // 10 s. The reader passes only lines within the range of their moment.
    constexpr std::uint32_t kShrinkTick = 1000;
    auto distanceAt = [](int second) { return 16.1 - 0.05 * second; };
    for (int t = 0; t <= 240; t += 6) {
        const double d = distanceAt(t);
        const std::uint32_t tick = static_cast<std::uint32_t>(t) * 100;
        if (tick >= kShrinkTick && d > 10.0) continue;
        const LatLon p = gf_destination(user, 90.0 * kDegToRad, d * kFeetPerNm);
        rig.feed.at(tick, makeUpdate(kHexid, "UAE87", "B744", p.lat, p.lon, 4000, 180, 270, 1000.0 + t));
    }
    rig.run(kShrinkTick);
    LATERAL_RANGE.value = 10;
    gf_refreshLateralRangeCopies();

    // Its turn to be created comes at 16.1 nm: refused, and nothing reaches the simulator.
    ASSERT_TRUE(rig.runUntil([&] { return rig.live(kHexid) == nullptr; }, 3000));
    EXPECT_TRUE(rig.sim.creations.empty());
    const std::vector<std::string> lines = log.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("not created: 16.1 nm away, outside the range of 10 nm") != std::string::npos;
    }));

    // Its lines inside the range make it anew; it is created there, once, and bound.
    runUntilBound(rig, kHexid, 20000);
    ASSERT_EQ(rig.sim.creations.size(), 1u);
    const ScInitPosition& at = rig.sim.creations[0].request.position;
    EXPECT_LE(gf_distanceNm(user.lat, user.lon, at.latitude, at.longitude), 10.0);
    const std::uint32_t id = rig.sim.objectOf.at(kHexid);
    EXPECT_EQ(rig.live(kHexid)->objectId, id);
    EXPECT_EQ(rig.sim.simObjects, std::set<std::uint32_t>{id});
    EXPECT_TRUE(rig.sim.removals.empty());
}

// A creation that never binds (here the simulator never reports the object, as when
// it left the range before the first report) is given up after 60 s, and the object
// the simulator named for it goes with it instead of standing frozen.
TEST(ObjectLife, AGivenUpCreationTakesItsObjectOutOfTheSimulator) {
    EngineRig rig;
    rig.sim.responder.on = true;
    rig.sim.responder.bindCreations = false;
    scriptFlight(rig.feed, kHexid, "DLH400", "A320");
    ASSERT_TRUE(rig.runUntil([&] { return !rig.sim.creations.empty(); }, 4000));
    const std::uint32_t id = rig.sim.objectOf.at(kHexid);
    rig.run(5);
    EXPECT_EQ(rig.live(kHexid)->assignedObjectId, id);
    EXPECT_EQ(rig.sim.simObjects, std::set<std::uint32_t>{id});

    ASSERT_TRUE(rig.runUntil([&] { return rig.live(kHexid) == nullptr; }, kSimStateBoundTicks + 100));
    rig.run(20);
    ASSERT_EQ(rig.sim.removals.size(), 1u);
    EXPECT_EQ(rig.sim.removals[0].id, id);
    EXPECT_TRUE(rig.sim.simObjects.empty());
}

// An object named or bound for a hexid whose aircraft does not wait for it: the
// record is gone, was made anew and waits in the buffer, or already has another
// object. The object is removed and the record is left as it was.
TEST(ObjectLife, AnObjectNoAircraftWaitsForIsRemoved) {
    constexpr std::uint32_t kObject = 500;
    struct Row {
        const char* name;
        std::optional<AcSimState> record;  // none: no record of the hexid
        std::uint32_t recordObject;        // bound (Active) or named (Adding2Sim) already
        SimEventKind kind;
        bool removed;
    };
    const Row rows[] = {
        {"named, record gone", std::nullopt, 0, SimEventKind::ObjectAssigned, true},
        {"bound, record gone", std::nullopt, 0, SimEventKind::LiveObjectBound, true},
        {"named, record anew in the buffer", AcSimState::Buffer, 0, SimEventKind::ObjectAssigned, true},
        {"bound, record anew in the buffer", AcSimState::Buffer, 0, SimEventKind::LiveObjectBound, true},
        {"bound, record has another object", AcSimState::Active, 400, SimEventKind::LiveObjectBound, true},
        {"bound, record named another object", AcSimState::Adding2Sim, 400, SimEventKind::LiveObjectBound, true},
        {"named, record waits", AcSimState::Adding2Sim, 0, SimEventKind::ObjectAssigned, false},
        {"bound, record waits", AcSimState::Adding2Sim, 0, SimEventKind::LiveObjectBound, false},
        {"bound, record named it", AcSimState::Adding2Sim, kObject, SimEventKind::LiveObjectBound, false},
        {"bound again, record active with it", AcSimState::Active, kObject, SimEventKind::LiveObjectBound, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineRig rig;
        LiveAc* ac = nullptr;
        if (row.record) {
            ac = &rig.addLive(kHexid, "DLH1", "A320", {airSample(50, 8, 5000, 200, 90, 99999)}, *row.record);
            if (*row.record == AcSimState::Active) ac->objectId = row.recordObject;
            else ac->assignedObjectId = row.recordObject;
        }
        rig.sim.post(SimEvent{kObject, kHexid, 0, row.kind, 0.0, 0.0});
        gf_handleSimEvents(rig.engine);
        const bool queued = std::find(rig.engine.removalQueue.begin(), rig.engine.removalQueue.end(), kObject) !=
                            rig.engine.removalQueue.end();
        EXPECT_EQ(queued, row.removed);
        if (ac == nullptr) continue;
        if (row.removed) {
            EXPECT_EQ(ac->objectId, *row.record == AcSimState::Active ? row.recordObject : 0u);
            EXPECT_TRUE(rig.engine.newObjectList.empty());
        } else if (row.kind == SimEventKind::LiveObjectBound) {
            EXPECT_EQ(ac->objectId, kObject);
        } else {
            EXPECT_EQ(ac->assignedObjectId, kObject);
        }
    }
}

}  // namespace
}  // namespace clv::test
