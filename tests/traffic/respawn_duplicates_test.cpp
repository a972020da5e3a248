// The livery respawn from removal to the new object, the removal of static
// aircraft that duplicate live ones or stand in the way, and the parked counts.
#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/geodesy.h"
#include "traffic_harness.h"

namespace clv::test {
namespace {

constexpr std::uint32_t kRespawnHexid = 40001;

StaticAc& addStatic(EngineRig& rig, std::uint32_t hexid, const std::string& callsign, std::uint32_t standId,
                    AcSimState state, const std::string& registration = {}) {
    AcIdentity id;
    id.callsign = callsign;
    id.callsignCopy = callsign;
    id.registration = registration;
    id.type = "A320";
    AcData d = rig.data.acData(id);
    d.hexid = hexid;
    StaticAc& s = rig.engine.staticAc.emplace_back(std::move(d), standId, 47.45, 8.56, 0.0, false);
    s.simState = state;
    if (state == AcSimState::Active) s.objectId = 600 + hexid;
    return s;
}

std::vector<std::uint32_t> staticHexids(const EngineRig& rig) {
    std::vector<std::uint32_t> out;
    for (const StaticAc& s : rig.engine.staticAc) out.push_back(s.hexid);
    return out;
}

// ---- livery respawn from removal to the new object ----------------------------------------

struct RespawnRun {
    EngineRig rig;
    std::uint32_t oldObject = 0;

    // An active aircraft goes through its livery respawn against the responding simulator.
    explicit RespawnRun(AcMoveState state, bool selected) {
        rig.sim.responder.on = true;
        trafficTickCount = 1000;
        std::vector<PosSample> samples = {groundSample(47.45, 8.56, 0, 90, 900), groundSample(47.45, 8.56, 0, 90, 4000),
                                          groundSample(47.4501, 8.5612, 12, 90, 7000)};
        LiveAc& ac = rig.addLive(kRespawnHexid, "SWR12", "A320", samples, AcSimState::Active);
        ac.objectId = oldObject = 77;
        ac.onGround = true;
        ac.moveState = state;
        ac.standId = state == AcMoveState::Parked ? 5 : 0;
        ac.simPosition.latitude = 47.45;
        ac.simPosition.longitude = 8.56;
        ac.simPosition.trueHeading = 250.0 * kDegToRad;
        if (selected) {
            rig.engine.selectedObjectId = oldObject;
            rig.engine.setShownObjectIdText("= 77");
            CALLSIGN_2_OBJECTID.value = "SWR12";
        }
        liveryRespawn(rig.engine, ac);
    }

    // Ticks until the aircraft is active in a new object.
    bool runUntilActiveAgain() {
        return rig.runUntil(
            [&] {
                const LiveAc* ac = rig.live(kRespawnHexid);
                return ac != nullptr && ac->simState == AcSimState::Active && ac->objectId != oldObject &&
                       ac->objectId != 0;
            },
            2000);
    }
};

TEST(RespawnRoad, RemovedThenCreatedAgainWhereItStoodWithTheHeadingOverride) {
    for (AcMoveState state : {AcMoveState::Parked, AcMoveState::Taxi}) {
        SCOPED_TRACE(moveStateName(state));
        RespawnRun run(state, false);
        ASSERT_TRUE(run.runUntilActiveAgain());
        // The old object went, and came back as ObjectRemoved before the new creation.
        ASSERT_EQ(run.rig.sim.removals.size(), 1u);
        EXPECT_EQ(run.rig.sim.removals[0].id, run.oldObject);
        ASSERT_EQ(run.rig.sim.creations.size(), 1u);
        EXPECT_GT(run.rig.sim.creations[0].tick, run.rig.sim.removals[0].tick);
        const ScInitPosition& p = run.rig.sim.creations[0].request.position;
        EXPECT_NEAR(p.latitude, 47.45, 1e-12);
        EXPECT_NEAR(p.longitude, 8.56, 1e-12);
        EXPECT_NEAR(p.heading, 250.0, 1e-9);
        const LiveAc& ac = *run.rig.live(kRespawnHexid);
        // A parked aircraft comes back parked at once, on its stand, with its parked time.
        EXPECT_EQ(ac.moveState, state);
        if (state == AcMoveState::Parked) {
            EXPECT_EQ(ac.standId, 5u);
            EXPECT_EQ(run.rig.parking.parkedOnStands, std::vector<std::uint32_t>{5});
        }
    }
}

TEST(RespawnRoad, SelectedAircraftKeepsItsCallsignAndIsSelectedAgain) {
    RespawnRun run(AcMoveState::Parked, true);
    EXPECT_EQ(run.rig.engine.selectedObjectId, 0u);
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value.get(), "SWR12");
    ASSERT_TRUE(run.runUntilActiveAgain());
    const std::uint32_t newObject = run.rig.live(kRespawnHexid)->objectId;
    EXPECT_EQ(run.rig.engine.selectedObjectId, newObject);
    EXPECT_EQ(run.rig.engine.shownObjectIdText(), "= " + std::to_string(newObject));
}

TEST(RespawnRoad, AnotherCallsignTypedMeanwhileIsNotOverruled) {
    RespawnRun run(AcMoveState::Parked, true);
    CALLSIGN_2_OBJECTID.value = "EZY1";
    ASSERT_TRUE(run.runUntilActiveAgain());
    EXPECT_EQ(run.rig.engine.selectedObjectId, 0u);
    EXPECT_EQ(run.rig.engine.reselectHexid, 0u);
}

// ---- duplicates ------------------------------------------------------------------------------

TEST(Duplicates, TableOfLiveAndStaticIdentities) {
    struct Row {
        const char* what;
        std::string liveCallsign, liveFurther, liveRegistration;
        std::string staticCopy, staticFurther, staticRegistration;
        AcSimState staticState;
        bool duplicate;
    };
    const Row rows[] = {
        {"same registration", "DLH4", "", "D-AIAB", "DLH9", "", "D-AIAB", AcSimState::Active, true},
        {"empty registrations never match", "DLH4", "", "", "DLH9", "", "", AcSimState::Active, false},
        {"other registration", "DLH4", "", "D-AIAB", "DLH9", "", "D-AIXX", AcSimState::Active, false},
        {"callsign is the static's copy", "DLH4", "", "", "DLH4", "", "", AcSimState::Active, true},
        {"callsign is the static's further text", "LH4", "", "", "DLH9", "LH4", "", AcSimState::Active, true},
        {"further text is the static's copy", "X1", "DLH4", "", "DLH4", "", "", AcSimState::Active, true},
        {"empty further texts never match", "X1", "", "", "DLH9", "", "", AcSimState::Active, false},
        {"ghost: callsign without _ is the copy", "DLH4_", "", "", "DLH4", "", "", AcSimState::Active, true},
        {"not a ghost: no _ to drop", "DLH4X", "", "", "DLH4", "", "", AcSimState::Active, false},
        {"ghost of nothing: lone _", "_", "", "", "", "", "", AcSimState::Active, false},
        {"static not active", "DLH4", "", "D-AIAB", "DLH4", "", "D-AIAB", AcSimState::Adding2Sim, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EngineRig rig;
        LiveAc& live = rig.addLive(kRespawnHexid, row.liveCallsign, "A320", {groundSample(47, 8, 0, 0, 0)},
                                   AcSimState::Active);
        live.furtherText = row.liveFurther;
        live.registration = row.liveRegistration;
        live.onGround = true;
        StaticAc& s = addStatic(rig, 7, "ST7", 3, row.staticState, row.staticRegistration);
        s.callsignCopy = row.staticCopy;
        s.furtherText = row.staticFurther;
        std::string contextCallsign = row.liveCallsign;
        if (gf_endsWithUnderscore(contextCallsign)) contextCallsign.pop_back();
        EXPECT_EQ(gf_removeDuplicateAc(rig.engine, DuplicateContext{live, contextCallsign, true}, s), row.duplicate);
    }
}

TEST(Duplicates, DataStepRemovesOnlyTheFirstActiveDuplicate) {
    EngineRig rig;
    LiveAc& live = rig.addLive(kRespawnHexid, "DLH4", "A320", {groundSample(47, 8, 0, 0, 0)}, AcSimState::Active);
    live.registration = "D-AIAB";
    addStatic(rig, 1, "DLH4", 1, AcSimState::Adding2Sim, "D-AIAB");  // not in the simulator yet: passed over
    addStatic(rig, 2, "OTHER", 2, AcSimState::Active, "D-AIXX");
    addStatic(rig, 3, "DLH4", 3, AcSimState::Active);
    addStatic(rig, 4, "X", 4, AcSimState::Active, "D-AIAB");
    EXPECT_TRUE(gf_removeStaticDuplicateOf(rig.engine, kRespawnHexid));
    EXPECT_EQ(rig.engine.staticAc[2].simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(rig.engine.staticAc[3].simState, AcSimState::Active);
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{603});
    EXPECT_FALSE(gf_removeStaticDuplicateOf(rig.engine, 99999));  // gone
}

TEST(Duplicates, EverySixtyFirstStepStarredCallsignOrRegistration) {
    EngineRig rig;
    LiveAc& onGround = rig.addLive(kRespawnHexid, "SWR8", "A320", {groundSample(47, 8, 0, 0, 0)}, AcSimState::Active);
    onGround.onGround = true;
    LiveAc& flying = rig.addLive(kRespawnHexid + 1, "EZY2", "A320", {airSample(47, 8, 3000, 160, 0, 0)}, AcSimState::Active);
    flying.registration = "D-AIXX";
    addStatic(rig, 1, "SWR8*", 1, AcSimState::Adding2Sim);
    addStatic(rig, 2, "SWR8*", 2, AcSimState::Active);
    addStatic(rig, 3, "EZY2*", 3, AcSimState::Active, "D-AIXX");  // its live twin is in the air
    gf_removeStaticDuplicatesOfLive(rig.engine);
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{602});
}

// ---- static aircraft removed in bulk or by stand ----------------------------------------------

TEST(StaticRemoval, RemoveAllOverActiveQueuedAndSent) {
    EngineRig rig;
    addStatic(rig, 1, "A", 1, AcSimState::Active);
    StaticAc& queued = addStatic(rig, 2, "B", 2, AcSimState::Adding2Sim);
    AcCreateRequest r;
    r.hexid = queued.hexid;
    rig.engine.staticCreationQueue.push_back(r);
    addStatic(rig, 3, "C", 3, AcSimState::Adding2Sim);  // its creation went to the simulator
    addStatic(rig, 4, "D", 4, AcSimState::RemovingFromSim);
    addStatic(rig, 5, "E", 5, AcSimState::Active);
    gf_removeAllStatic(rig.engine);
    // The queued one is withdrawn and dropped; the order of the others is kept.
    EXPECT_EQ(staticHexids(rig), (std::vector<std::uint32_t>{1, 3, 4, 5}));
    EXPECT_TRUE(rig.engine.staticCreationQueue.empty());
    EXPECT_EQ(rig.engine.staticAc[0].simState, AcSimState::RemovingFromSim);
    EXPECT_TRUE(rig.engine.staticAc[1].removalPending);
    EXPECT_EQ(rig.engine.staticAc[3].simState, AcSimState::RemovingFromSim);
    EXPECT_EQ(rig.engine.removalQueue, (std::deque<std::uint32_t>{601, 605}));
    EXPECT_EQ(rig.parking.freedStands, (std::vector<std::uint32_t>{1, 5}));
}

TEST(StaticRemoval, AtStandStaticFirstThenParkedLive) {
    EngineRig rig;
    Stand a12;
    a12.name = "A12";
    a12.id = 12;
    rig.parking.stands = {a12};
    LiveAc& live = rig.addLive(kRespawnHexid, "SWR1", "A320", {groundSample(47, 8, 0, 0, 0)}, AcSimState::Active);
    live.objectId = 500;
    live.moveState = AcMoveState::Parked;
    live.standId = 12;
    addStatic(rig, 1, "S1", 12, AcSimState::Adding2Sim);
    addStatic(rig, 2, "S2", 12, AcSimState::Active);
    gf_removeAcAtStand(rig.engine, "A12");
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{602});
    gf_removeAcAtStand(rig.engine, "A12");  // the static one is on its way out: the live one goes
    EXPECT_EQ(rig.engine.removalQueue, (std::deque<std::uint32_t>{602, 500}));
}

TEST(StaticRemoval, AStandNameThatNamesNoStandRemovesNothing) {
    EngineRig rig;
    // Aircraft without a stand carry stand id 0, the id an unknown name finds.
    LiveAc& live = rig.addLive(kRespawnHexid, "SWR1", "A320", {groundSample(47, 8, 0, 0, 0)}, AcSimState::Active);
    live.objectId = 500;
    live.moveState = AcMoveState::Parked;
    addStatic(rig, 1, "S1", 0, AcSimState::Active);
    gf_removeAcAtStand(rig.engine, "Z99");
    EXPECT_TRUE(rig.engine.removalQueue.empty());
}

// ---- parked counts ---------------------------------------------------------------------------

TEST(ParkedCount, CountAndMeanParkedTime) {
    EngineRig rig;
    float mean = -1.0f;
    EXPECT_EQ(gf_countParkedLive(rig.engine, Slot{3, 20}, &mean), 0);
    EXPECT_FLOAT_EQ(mean, 0.0f);  // nothing parked: 0, not a division by 0

    auto parked = [&](std::uint32_t hexid, AcSimState state, AcMoveState move, Slot since) {
        LiveAc& ac = rig.addLive(hexid, "P" + std::to_string(hexid), "A320", {groundSample(47, 8, 0, 0, 0)}, state);
        ac.moveState = move;
        ac.parkedAt = since.toBits();
    };
    parked(1 + kRespawnHexid, AcSimState::Active, AcMoveState::Parked, Slot{3, 18});  // 2 half-hours
    parked(2 + kRespawnHexid, AcSimState::Active, AcMoveState::Parked, Slot{2, 44});  // 24 half-hours
    parked(3 + kRespawnHexid, AcSimState::Active, AcMoveState::Taxi, Slot{1, 0});
    parked(4 + kRespawnHexid, AcSimState::RemovingFromSim, AcMoveState::Parked, Slot{1, 0});
    EXPECT_EQ(gf_countParkedLive(rig.engine, Slot{3, 20}, &mean), 2);
    // (2 + 24) half-hours over 2 aircraft = 6.5 hours, plus the half hour begun.
    EXPECT_FLOAT_EQ(mean, 7.0f);
    EXPECT_EQ(gf_countParkedLive(rig.engine, Slot{3, 20}, nullptr), 2);
}

}  // namespace
}  // namespace clv::test
