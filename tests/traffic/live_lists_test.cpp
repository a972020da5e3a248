// What the window's live count and the object-id listing make of the live aircraft.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "traffic_harness.h"

namespace clv::test {
namespace {

struct Entry {
    std::string callsign;
    std::string airline;
    std::string type;
    AcSimState simState;
    AcMoveState moveState;
    bool onGround;
    std::uint32_t objectId;
    std::uint32_t standId;
};

void lf_add(TrafficEngine& engine, const Entry& e) {
    AcData data;
    data.callsign = e.callsign;
    data.airline = e.airline;
    data.type = e.type;
    LiveAc ac(PosSample{}, std::move(data), 0.0);
    ac.simState = e.simState;
    ac.moveState = e.moveState;
    ac.onGround = e.onGround;
    ac.objectId = e.objectId;
    ac.standId = e.standId;
    engine.liveAc.push_back(std::move(ac));
}

TEST(LiveLists, CountAndListingTakeTheActiveAircraftOnly) {
    EngineRig rig;
    EXPECT_EQ(gf_countLiveNotParked(rig.engine), 0u);
    EXPECT_TRUE(gf_parkedListLines(rig.engine).empty());

    // Flying, taxiing, parked, and three that are not (or no longer) in the simulator.
    const std::vector<Entry> entries{
        {"SWR100", "SWR", "A320", AcSimState::Active, AcMoveState::Flying, false, 11, 0},
        {"DLH4", "DLH", "A321", AcSimState::Active, AcMoveState::Parked, true, 12, 7},
        {"EZY85", "EZY", "A319", AcSimState::Active, AcMoveState::Taxi, true, 13, 0},
        {"BAW1", "BAW", "B772", AcSimState::Buffer, AcMoveState::Birth, false, 0, 0},
        {"AFR2", "AFR", "A318", AcSimState::Adding2Sim, AcMoveState::Birth, false, 0, 0},
        {"KLM3", "KLM", "B738", AcSimState::RemovingFromSim, AcMoveState::Flying, false, 14, 0},
    };
    for (const Entry& e : entries) lf_add(rig.engine, e);

    EXPECT_EQ(gf_countLiveNotParked(rig.engine), 2u);  // SWR100 and EZY85
    const std::vector<std::string> expected{
        "Air SWR100    SWR A320: 11 ",
        "Gnd DLH4      DLH A321: 12 Parked at S7",
        "Gnd EZY85     EZY A319: 13 ",
    };
    EXPECT_EQ(gf_parkedListLines(rig.engine), expected);
}

}  // namespace
}  // namespace clv::test
