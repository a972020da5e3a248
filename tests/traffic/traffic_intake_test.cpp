// The intake of the feed's updates: which updates a known aircraft takes, which
// new aircraft are admitted, and what a changed identity of an active aircraft does.
#include <gtest/gtest.h>

#include "traffic_harness.h"

namespace clv::test {
namespace {

constexpr std::uint32_t kIntakeHexid = 30001;
constexpr double kIntakeT0 = 1000.0;

// One update after the newest sample of a buffered aircraft: taken or dropped.
struct SampleCase {
    const char* name;
    bool airborne0;
    double gs0;
    double track0;
    double dt;
    bool airborne;
    double gs;
    double track;
    std::int32_t extensionCount;
    bool taken;
};

const SampleCase kSampleCases[] = {
    {"same time stamp", false, 40, 90, 0.0, false, 40, 90, 0, false},
    {"1.0 s after the newest", false, 40, 90, 1.0, false, 40, 90, 0, false},
    {"1.01 s after the newest", false, 40, 90, 1.01, false, 40, 90, 0, true},
    {"4 kt to 85 kt", false, 4, 90, 5, false, 85, 90, 0, false},
    {"4 kt to 79 kt", false, 4, 90, 5, false, 79, 90, 0, true},
    {"6 kt to 59 kt", false, 6, 90, 5, false, 59, 90, 0, true},
    {"6 kt to 60 kt", false, 6, 90, 5, false, 60, 90, 0, false},
    {"60 kt to 6 kt", false, 60, 90, 5, false, 6, 90, 0, false},
    {"85 kt to 4 kt", false, 85, 90, 5, false, 4, 90, 0, false},
    {"200 kt straight after 2 s", true, 200, 90, 2, true, 200, 90, 0, false},
    {"200 kt straight after 4.3 s", true, 200, 90, 4.3, true, 200, 90, 0, false},
    {"200 kt straight after 4.5 s", true, 200, 90, 4.5, true, 200, 90, 0, true},
    {"200 kt turning 1.5 deg after 2 s", true, 200, 90, 2, true, 200, 91.5, 0, true},
    {"200 kt straight across north after 2 s", true, 200, 359.6, 2, true, 200, 0.4, 0, false},
    {"120 kt straight after 2 s", true, 120, 90, 2, true, 120, 90, 0, true},
    {"200 kt straight, stream being extended", true, 200, 90, 2, true, 200, 90, 3, true},
    {"10 kt taxi straight after 3.8 s", false, 10, 90, 3.8, false, 10, 90, 0, false},
    {"10 kt taxi straight after 4.0 s", false, 10, 90, 4.0, false, 10, 90, 0, true},
    {"10 kt taxi turning 3 deg after 2 s", false, 10, 90, 2, false, 10, 93, 0, true},
    {"standing after 14.9 s", false, 0, 90, 14.9, false, 0, 90, 0, false},
    {"standing after 15.1 s", false, 0, 90, 15.1, false, 0, 90, 0, true},
    {"1 kt after 14.9 s (capped at 15 s)", false, 1, 90, 14.9, false, 1, 90, 0, false},
    {"1 kt after 16 s", false, 1, 90, 16, false, 1, 90, 0, true},
    {"31 kt straight after 2 s", false, 31, 90, 2, false, 31, 90, 0, true},
};

TEST(TrafficIntake, KnownAircraftTakesOnlyFreshPlausibleSamples) {
    for (const SampleCase& c : kSampleCases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        const double alt0 = c.airborne0 ? 20000.0 : 0.0;
        LiveAc& ac = rig.addLive(kIntakeHexid, "DLH1", "A320", {airSample(50, 8, alt0, c.gs0, c.track0, 3000)},
                                 AcSimState::Buffer, kIntakeT0);
        ac.extensionCount = c.extensionCount;
        rig.pushUpdate(
            makeUpdate(kIntakeHexid, "DLH1", "A320", 50.01, 8, c.airborne ? 20000.0 : 0.0, c.gs, c.track, kIntakeT0 + c.dt));
        {
            std::lock_guard lock(runMutex);
            EXPECT_TRUE(lf_takeTrafficUpdate(rig.engine));
        }
        EXPECT_TRUE(trafficUpdateQueue.empty());
        ASSERT_EQ(rig.engine.liveAc.size(), 1u);
        const LiveAc& after = rig.engine.liveAc[0];
        EXPECT_EQ(after.samples.size(), c.taken ? 2u : 1u);
        EXPECT_DOUBLE_EQ(after.timeOfNewestSample, c.taken ? kIntakeT0 + c.dt : kIntakeT0);
    }
}

TEST(TrafficIntake, AircraftLeavingTheSimulatorTakesNothing) {
    for (AcSimState state : {AcSimState::LiveryRespawn, AcSimState::RemovingFromSim}) {
        EngineRig rig;
        rig.addLive(kIntakeHexid, "DLH1", "A320", {airSample(50, 8, 20000, 300, 90, 3000)}, state, kIntakeT0);
        rig.pushUpdate(makeUpdate(kIntakeHexid, "DLH1", "A320", 50.1, 8, 20000, 300, 120, kIntakeT0 + 10));
        rig.tick();
        EXPECT_EQ(rig.live(kIntakeHexid)->samples.size(), 1u) << simStateName(state);
        EXPECT_EQ(rig.engine.liveAc.size(), 1u);
    }
}

// An update for an unknown hexid: a new buffered aircraft, or nothing.
struct NewCase {
    const char* name;
    std::string callsign;
    std::string type;
    std::string registration;
    double altitude;
    bool lightOn = true;
    bool highPerfOn = true;
    bool helicoptersOn = true;
    std::optional<double> parkElevation;
    bool created = true;
    std::string createdType = {};
};

TEST(TrafficIntake, NewAircraftPassesTheFilters) {
    const NewCase cases[] = {
        {"same callsign and type as a live aircraft", "DLH1", "A320", "", 20000, true, true, true, {}, false},
        {"same callsign, other type", "DLH1", "B738", "", 20000, true, true, true, {}, true, "B738"},
        {"no callsign", "", "A320", "", 20000, true, true, true, {}, true, "A320"},
        {"type completed from the registration", "BAW9", "", "G-EUPA", 20000, true, true, true, {}, true, "A319"},
        {"unknown type replaced by the registration's",
         "BAW9",
         "XXXX",
         "G-EUPA",
         20000,
         true,
         true,
         true,
         {},
         true,
         "A319"},
        {"unknown type, unknown registration", "BAW9", "XXXX", "G-ZZZZ", 20000, true, true, true, {}, false},
        {"no type, no registration", "BAW9", "", "", 20000, true, true, true, {}, false},
        {"Light while LIGHT_AIRCRAFT is off", "N123", "C172", "", 3000, false, true, true, {}, false},
        {"Light while LIGHT_AIRCRAFT is on", "N123", "C172", "", 3000, true, true, true, {}, true, "C172"},
        {"HighPerf while HIGH_PERF_AIRCRAFT is off", "VIPER1", "F16", "", 3000, true, false, true, {}, false},
        {"Rotorcraft while HELICOPTERS is off", "CHX1", "EC35", "", 3000, true, true, false, {}, false},
        {"5000 ft, park airport at 4950 ft", "BAW9", "A320", "", 5000, true, true, true, 4950.0, false},
        {"4830 ft, park airport at 4950 ft", "BAW9", "A320", "", 4830, true, true, true, 4950.0, false},
        {"5100 ft, park airport at 4950 ft", "BAW9", "A320", "", 5100, true, true, true, 4950.0, true, "A320"},
        {"200 ft without a park airport", "BAW9", "A320", "", 200, true, true, true, {}, true, "A320"},
        {"on the ground at a park airport at sea level", "BAW9", "A320", "", 0, true, true, true, 0.0, true, "A320"},
    };
    for (const NewCase& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        LIGHT_AIRCRAFT.value = c.lightOn;
        HIGH_PERF_AIRCRAFT.value = c.highPerfOn;
        HELICOPTERS.value = c.helicoptersOn;
        rig.parking.elevation = c.parkElevation;
        rig.addLive(kIntakeHexid, "DLH1", "A320", {airSample(51, 9, 20000, 300, 90, 3000)});
        rig.pushUpdate(makeUpdate(kIntakeHexid + 1, c.callsign, c.type, 50, 8, c.altitude, 200, 90, kIntakeT0, c.registration));
        rig.tick();
        const LiveAc* made = rig.live(kIntakeHexid + 1);
        ASSERT_EQ(made != nullptr, c.created);
        if (made == nullptr) continue;
        EXPECT_EQ(made->type, c.createdType);
        EXPECT_EQ(made->simState, AcSimState::Buffer);
        EXPECT_EQ(made->moveState, AcMoveState::Birth);
    }
}

TEST(TrafficIntake, NewAircraftRecordStartsFromTheUpdate) {
    EngineRig rig;
    TrafficUpdate u = makeUpdate(kIntakeHexid, "BAW9", "A320", 50, 8, 20000, 300, 90, 1234.5, "G-EUPA");
    u.identity.furtherText = "left over";
    u.identity.searchDone = true;
    rig.pushUpdate(u);
    rig.tick();
    const LiveAc* ac = rig.live(kIntakeHexid);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->callsignCopy, "BAW9");
    EXPECT_TRUE(ac->furtherText.empty());
    EXPECT_FALSE(ac->searchDone);
    EXPECT_EQ(ac->hexid, kIntakeHexid);
    EXPECT_EQ(ac->category, AcCategory::Large);
    EXPECT_DOUBLE_EQ(ac->acAngleStep, ac->angleStep);
    EXPECT_DOUBLE_EQ(ac->groundValueA, 0.6);  // the Large column
    EXPECT_DOUBLE_EQ(ac->groundValueB, 4.0);
    EXPECT_DOUBLE_EQ(ac->timeOfNewestSample, 1234.5);
    ASSERT_EQ(ac->samples.size(), 1u);
    EXPECT_EQ(ac->samples[0].dueTick, kSampleDelayTicks);  // pushed at tick 0
}

TEST(TrafficIntake, BufferedAircraftFollowsTheIdentityOfItsUpdates) {
    EngineRig rig;
    rig.addLive(kIntakeHexid, "DLH1", "A320", {airSample(50, 8, 20000, 300, 90, 3000)}, AcSimState::Buffer, kIntakeT0);
    TrafficUpdate u = makeUpdate(kIntakeHexid, "DLH1X", "A320", 50.1, 8, 20000, 300, 95, kIntakeT0 + 10, "D-AIAB");
    u.identity.destination = "EDDF";
    rig.pushUpdate(u);
    // An update that carries no texts changes none.
    rig.pushUpdate(makeUpdate(kIntakeHexid, "", "A320", 50.2, 8, 20000, 300, 100, kIntakeT0 + 20));
    rig.tick();
    const LiveAc* ac = rig.live(kIntakeHexid);
    EXPECT_EQ(ac->callsign, "DLH1X");
    EXPECT_EQ(ac->registration, "D-AIAB");
    EXPECT_EQ(ac->destination, "EDDF");
    EXPECT_TRUE(ac->origin.empty());
    EXPECT_EQ(ac->samples.size(), 3u);
}

// An active aircraft whose update brings another callsign, route or registration.
class ActiveChange : public ::testing::Test {
protected:
    EngineRig rig;
    void SetUp() override {
        LiveAc& ac =
            rig.addLive(kIntakeHexid, "BAW12", "A319", {airSample(50, 8, 20000, 300, 90, 3000)}, AcSimState::Active, kIntakeT0);
        ac.airline = "BAW";
        ac.registration = "G-EUPA";
        ac.objectId = 300;
        ac.liveryTitle = "British Airways A319";
        ac.moveState = AcMoveState::Flying;
        rig.engine.liveryMemory[kIntakeHexid] = ac.liveryTitle;
    }
    void apply(TrafficUpdate u) {
        u.sample.dueTick = 4000;
        std::lock_guard lock(runMutex);
        trafficUpdateQueue.push_back(u);
        lf_takeTrafficUpdate(rig.engine);
    }
    TrafficUpdate update(const std::string& callsign, const std::string& registration = "G-EUPA") {
        return makeUpdate(kIntakeHexid, callsign, "A319", 50.1, 8, 20000, 300, 100, kIntakeT0 + 10, registration);
    }
    LiveAc& ac() { return *rig.live(kIntakeHexid); }
};

TEST_F(ActiveChange, UnchangedIdentityOnlyAddsTheSample) {
    apply(update("BAW12"));
    EXPECT_EQ(ac().samples.size(), 2u);
    EXPECT_EQ(ac().simState, AcSimState::Active);
    EXPECT_TRUE(rig.engine.removalQueue.empty());
}

TEST_F(ActiveChange, NewCallsignRespawnsWhileGuidChangesIsOn) {
    apply(update("BAW12A"));
    EXPECT_EQ(ac().callsign, "BAW12A");
    EXPECT_EQ(ac().callsignCopy, "BAW12A");
    EXPECT_EQ(ac().simState, AcSimState::LiveryRespawn);
    EXPECT_EQ(rig.engine.removalQueue, std::deque<std::uint32_t>{300});
    // The update itself is dropped; the respawn sample leads the queue.
    ASSERT_EQ(ac().samples.size(), 2u);
    EXPECT_EQ(ac().samples.front().dueTick, 1u);
}

TEST_F(ActiveChange, NewCallsignIsTakenQuietlyWhileGuidChangesIsOff) {
    GUID_CHANGES.value = false;
    apply(update("BAW12A"));
    EXPECT_EQ(ac().callsign, "BAW12A");
    EXPECT_EQ(ac().simState, AcSimState::Active);
    EXPECT_EQ(ac().samples.size(), 2u);
}

TEST_F(ActiveChange, CallsignOfAGhostOfAnotherAircraftIsDropped) {
    rig.addLive(kIntakeHexid + 1, "EZY5", "A320", {airSample(51, 8, 20000, 300, 90, 3000)}, AcSimState::Active);
    apply(update("EZY5_"));
    EXPECT_EQ(ac().callsign, "BAW12");
    EXPECT_EQ(ac().samples.size(), 1u);
    EXPECT_EQ(ac().simState, AcSimState::Active);
}

TEST_F(ActiveChange, RouteChanges) {
    struct Row {
        const char* name;
        std::string origin0, destination0, iata;
        std::string origin, destination;
        bool respawns;
        std::string originAfter, destinationAfter;
    };
    const Row rows[] = {
        {"route filled in", "", "", "", "LHR", "JFK", true, "LHR", "JFK"},
        {"both ends differ", "LHR", "JFK", "", "LHR2", "BOS", true, "LHR2", "BOS"},
        {"one end differs", "LHR", "JFK", "", "LHR", "BOS", false, "LHR", "JFK"},
        {"no route in the update", "LHR", "JFK", "", "", "", false, "LHR", "JFK"},
        {"return flight to the park airport", "FRA", "JFK", "FRA", "JFK", "FRA", false, "FRA", "JFK"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EngineRig local;
        LiveAc& a =
            local.addLive(kIntakeHexid, "BAW12", "A319", {airSample(50, 8, 20000, 300, 90, 3000)}, AcSimState::Active, kIntakeT0);
        a.origin = r.origin0;
        a.destination = r.destination0;
        a.objectId = 300;
        local.parking.iata = r.iata;
        TrafficUpdate u = makeUpdate(kIntakeHexid, "BAW12", "A319", 50.1, 8, 20000, 300, 100, kIntakeT0 + 10);
        u.identity.origin = r.origin;
        u.identity.destination = r.destination;
        local.pushUpdate(u);
        local.tick();
        const LiveAc& after = *local.live(kIntakeHexid);
        EXPECT_EQ(after.origin, r.originAfter);
        EXPECT_EQ(after.destination, r.destinationAfter);
        EXPECT_EQ(after.simState, r.respawns ? AcSimState::LiveryRespawn : AcSimState::Active);
    }
}

TEST_F(ActiveChange, RegistrationOfAnotherTypeClearsTheLiveryAndTheTypeValues) {
    rig.data.registrations["G-CIVA"] = RegRecord{"BAW", "B744", "", false};
    apply(update("BAW12", "G-CIVA"));
    const LiveAc& a = ac();
    EXPECT_EQ(a.registration, "G-CIVA");
    EXPECT_EQ(a.type, "B744");
    EXPECT_EQ(a.category, AcCategory::Heavy);
    EXPECT_DOUBLE_EQ(a.radius, 0.0173);
    EXPECT_EQ(a.deRotationTicks, 450);  // the Heavy column
    EXPECT_DOUBLE_EQ(a.groundValueA, 0.5);
    EXPECT_TRUE(a.liveryTitle.empty());
    EXPECT_FALSE(rig.engine.liveryMemory.contains(kIntakeHexid));
    EXPECT_EQ(a.moveState, AcMoveState::Birth);
    EXPECT_EQ(a.simState, AcSimState::LiveryRespawn);
}

TEST_F(ActiveChange, RegistrationOfTheSameTypeWithoutOwnLiveryChangesNothing) {
    rig.data.registrations["G-EUPB"] = RegRecord{"BAW", "A319", "", false};
    apply(update("BAW12", "G-EUPB"));
    EXPECT_EQ(ac().registration, "G-EUPB");
    EXPECT_EQ(ac().liveryTitle, "British Airways A319");
    EXPECT_EQ(ac().simState, AcSimState::Active);
    EXPECT_EQ(ac().samples.size(), 2u);
}

}  // namespace
}  // namespace clv::test
