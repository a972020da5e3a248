// The stand-in's simulated world: the ground under the AI aircraft and the
// position history it keeps of each, drawn as a map.
#include "tools/simstandin/standin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "simstandin_fixture.h"
#include "tools/simstandin/track_map.h"

using namespace clv;
using namespace clv::test::simstandin;

TEST_F(StandIn, KeepsTheTrackOfEachAiAircraftOnASlopingGroundAndDrawsTheMap) {
    standin::Scenario scenario = baseScenario();
    // 5000 ft at the reference point, rising 1 % to the north.
    standin::gf_applyScenarioJson(
        json::parse(R"({"ground_elevation_ft": 5000, "ground_slope": {"lat": 50.0, "lon": 8.5, "north_percent": 1.0}})"),
        scenario);
    start(scenario);
    SimConnectHandle h = connect();
    registerProgram(h);
    // Created at altitude 0 and not "on ground", as the program does: it stands on the ground.
    const std::uint32_t id = createAi(h, "Boeing 737-800 Ryanair", "RYR1", ScInitPosition{50.0, 8.5, 0.0, 0, 0, 0, 0, 0});
    json o = object(id);
    EXPECT_NEAR(o["alt_ft"].get<double>(), 5005.0, 1e-9);  // 5 ft of static CG
    EXPECT_TRUE(o["on_ground"].get<bool>());

    // 100 m north the ground lies 1 m (3.28 ft) higher.
    const double north = 50.0 + 100.0 / 111132.95;
    const double rise = 1.0 / 0.3048;
    const double blocks[][8] = {{50.0, 8.5, 0, 0, 0.0, 5005.0, 0, 10},
                                {north, 8.5, 0, 0, 0.1, 5005.0 + rise, 0, 10},
                                {north, 8.5, 0, 0, 0.2, 4000.0, 0, 10}};  // below the ground
    for (const auto& b : blocks) SimConnect_SetDataOnSimObject(h, 402, id, 0, 0, sizeof b, b);
    ASSERT_TRUE(pumpUntil(h, [&] { return object(id)["position_updates"] == 3; }));
    o = object(id);
    EXPECT_NEAR(o["agl_ft"].get<double>(), 5.0, 1e-6);  // put back onto the ground
    EXPECT_TRUE(o["on_ground"].get<bool>());

    SimConnect_AIRemoveObject(h, id, 105);
    ASSERT_TRUE(pumpUntil(h, [&] { return sim.command({{"cmd", "status"}})["ai_objects"] == 0; }));
    const json history = sim.command({{"cmd", "history"}});
    ASSERT_EQ(history["tracks"].size(), 1u);
    const json& track = history["tracks"][0];
    EXPECT_EQ(track["atc_id"], "RYR1");
    EXPECT_TRUE(track["removed"].get<bool>());
    ASSERT_EQ(track["points"].size(), 3u);
    EXPECT_DOUBLE_EQ(track["points"][1]["lat"].get<double>(), north);
    EXPECT_NEAR(track["points"][1]["alt_ft"].get<double>(), 5005.0 + rise, 1e-6);
    EXPECT_NEAR(track["points"][1]["heading_deg"].get<double>(), 0.1 * 57.29577951308232, 1e-9);
    EXPECT_TRUE(track["points"][1]["on_ground"].get<bool>());
    EXPECT_NEAR(track["points"][2]["alt_ft"].get<double>(), 5005.0 + rise, 1e-6);
    EXPECT_LE(track["points"][0]["t"].get<double>(), track["points"][2]["t"].get<double>());
    EXPECT_FALSE(sim.command({{"cmd", "history"}, {"id", 4242}})["ok"].get<bool>());

    const std::string svg = standin::gf_trackMapSvg(history);
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("<polyline"), std::string::npos);
    EXPECT_NE(svg.find(">RYR1</text>"), std::string::npos);
    EXPECT_NE(svg.find(">you</text>"), std::string::npos);
    // The user lies 4 km away: the map reaches that far, with a scale bar of 1 nm.
    EXPECT_NE(svg.find(">1 nm</text>"), std::string::npos) << svg;
    // A given centre and radius: 500 m around the aircraft, a 200 m bar.
    const std::string near = standin::gf_trackMapSvg(history, standin::MapView{50.0, 8.5, 500.0 / 1852.0});
    EXPECT_NE(near.find(">200 m</text>"), std::string::npos) << near;
    SimConnect_Close(h);
}

// An AI aircraft that a position block puts on the ground touches down: replies by
// type say so, from the ground under it, as the simulator does.
TEST_F(StandIn, RepliesByTypeReportTheTouchDownOfAnAiAircraftFromTheTerrain) {
    standin::Scenario scenario = baseScenario();
    // 5000 ft at the reference point, rising 1 % to the north.
    standin::gf_applyScenarioJson(
        json::parse(R"({"ground_elevation_ft": 5000, "ground_slope": {"lat": 50.0, "lon": 8.5, "north_percent": 1.0}})"),
        scenario);
    start(scenario);
    SimConnectHandle h = connect();
    registerProgram(h);
    const double north = 50.0 + 300.0 / 111132.95;  // the ground 3 m higher
    const double ground = 5000.0 + 3.0 / 0.3048;
    const std::uint32_t id = createAi(h, "Boeing 737-800 Ryanair", "RYR1", ScInitPosition{north, 8.5, 5200.0, 0, 0, 0, 0, 140});
    struct Step {
        double aboveStanding;  // feet above its standing height (ground + 5 ft of static CG)
        std::int64_t onGround;
    };
    // In the flare, touch-down within 1 ft, a bounce of 3 ft, down again, and a block
    // below the ground that puts it onto the ground.
    const Step steps[] = {{30.0, 0}, {3.0, 0}, {0.5, 1}, {3.0, 0}, {0.9, 1}, {-20.0, 1}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.aboveStanding);
        const double block[8] = {north, 8.5, 0, 0, 0, ground + 5.0 + s.aboveStanding, -2, 130};
        const auto updates = object(id)["position_updates"].get<int>();
        SimConnect_SetDataOnSimObject(h, 402, id, 0, 0, sizeof block, block);
        ASSERT_TRUE(pumpUntil(h, [&] { return object(id)["position_updates"].get<int>() == updates + 1; }));
        in.data.clear();
        SimConnect_RequestDataOnSimObjectType(h, 101, 404, 20000, ScObjectType::Aircraft);
        ASSERT_TRUE(pumpUntil(h, [&] { return in.data.size() == 2; }));
        const Data& ai = in.data[0].objectId == id ? in.data[0] : in.data[1];
        EXPECT_NEAR(ai.at<double>(0), 5.0 + std::max(0.0, s.aboveStanding), 1e-6);  // height above ground
        EXPECT_NEAR(ai.at<double>(8), ground, 1e-6);
        EXPECT_EQ(ai.at<std::int64_t>(16), s.onGround);
    }
    SimConnect_Close(h);
}
