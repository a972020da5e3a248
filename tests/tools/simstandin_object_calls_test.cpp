// The stand-in's answers to the calls on objects: data requests, data set on
// objects, client events, AI aircraft created and removed, flight plans.
#include "tools/simstandin/standin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "simstandin_fixture.h"
#include "support/temp_folder.h"

using namespace clv;
using namespace clv::test::simstandin;
using clv::test::TempFolder;

TEST_F(StandIn, AcceptsTheProgramsRegistrationAndAnswersTheUserBlockInTheRequestedUnits) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    SimConnect_RequestDataOnSimObject(h, 109, 403, kScObjectIdUser, ScPeriod::Once);
    ASSERT_TRUE(pumpUntil(h, [&] { return !in.data.empty(); }));
    EXPECT_TRUE(in.exceptions.empty()) << "exception " << in.exceptions[0].exception << " index "
                                       << in.exceptions[0].index;
    const Data& d = in.data[0];
    EXPECT_EQ(d.requestId, 109u);
    EXPECT_EQ(d.objectId, 1u);  // the user aircraft's own id, though asked as 0
    ASSERT_EQ(d.bytes.size(), 96u);
    EXPECT_DOUBLE_EQ(d.at<double>(0), 50.0333);
    EXPECT_DOUBLE_EQ(d.at<double>(8), 8.5706);
    EXPECT_NEAR(d.at<double>(16), -2.0 * clv::test::simstandin::kPi / 180.0, 1e-12);
    EXPECT_NEAR(d.at<double>(32), 250.0 * clv::test::simstandin::kPi / 180.0, 1e-12);
    EXPECT_DOUBLE_EQ(d.at<double>(40), 364.0);
    EXPECT_DOUBLE_EQ(d.at<double>(48), 4.0);  // above the ground elevation of 360 ft
    EXPECT_DOUBLE_EQ(d.at<double>(56), 12.0);
    EXPECT_EQ(d.at<std::int64_t>(64), 12 * 3600 + 34 * 60 + 56);
    EXPECT_EQ(d.at<std::int64_t>(72), 31 + 29 + 1);  // 1 March of a leap year
    EXPECT_EQ(d.at<std::int64_t>(80), 2024);
    EXPECT_EQ(d.at<std::int64_t>(88), 3);

    SimConnect_RequestDataOnSimObject(h, 106, 407, kScObjectIdUser, ScPeriod::Once);
    SimConnect_RequestDataOnSimObject(h, 107, 408, kScObjectIdUser, ScPeriod::Once);
    ASSERT_TRUE(pumpUntil(h, [&] { return in.data.size() == 3; }));
    EXPECT_EQ(in.data[1].bytes, std::string("Cessna Skyhawk") + '\0');
    ASSERT_EQ(in.data[2].bytes.size(), 32u);
    EXPECT_STREQ(in.data[2].bytes.c_str(), "C172");
    SimConnect_Close(h);
}

TEST_F(StandIn, PeriodSecondRepeatsWithTheCurrentStateUntilPeriodNever) {
    standin::Scenario s = baseScenario();
    s.dataPeriodMs = 20;
    start(s);
    SimConnectHandle h = connect();
    SimConnect_AddToDataDefinition(h, 409, "SIM ON GROUND", "Bool", ScDataType::Int64);
    SimConnect_RequestDataOnSimObject(h, 108, 409, kScObjectIdUser, ScPeriod::Second);
    ASSERT_TRUE(pumpUntil(h, [&] { return in.data.size() >= 3; }));
    EXPECT_EQ(in.data[0].at<std::int64_t>(0), 1);
    sim.command({{"cmd", "set_user"}, {"on_ground", false}, {"agl_ft", 3000}});
    const std::size_t before = in.data.size();
    ASSERT_TRUE(pumpUntil(h, [&] { return in.data.size() >= before + 2; }));
    EXPECT_EQ(in.data.back().at<std::int64_t>(0), 0);
    SimConnect_RequestDataOnSimObject(h, 108, 409, kScObjectIdUser, ScPeriod::Never);
    pumpUntilLogged(h, "SimConnect_RequestDataOnSimObject", 2);
    const std::size_t stopped = in.data.size();
    pumpUntil(h, [] { return false; }, std::chrono::milliseconds(200));  // ten periods
    EXPECT_LE(in.data.size(), stopped + 1);  // at most one reply was already on its way
    SimConnect_Close(h);
}

TEST_F(StandIn, CreatesInstalledTitlesOnlyAndReportsThemInRepliesByType) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint32_t id = createAi(h, "airbus a320 neo lufthansa", "DLH4AB", onGroundAt(50.034, 8.571));
    ASSERT_GE(id, 1000u);
    ASSERT_EQ(in.addRemove.size(), 1u);
    EXPECT_EQ(in.addRemove[0].eventId, 202u);
    EXPECT_EQ(in.addRemove[0].data, id);
    EXPECT_EQ(in.addRemove[0].objectType, ScObjectType::Aircraft);
    EXPECT_EQ(in.assigned.back().requestId, 104u);

    SimConnect_RequestDataOnSimObjectType(h, 101, 404, 5000, ScObjectType::Aircraft);
    ASSERT_TRUE(pumpUntil(h, [&] { return in.data.size() == 2; }));
    const Data& ai = in.data[0].objectId == id ? in.data[0] : in.data[1];
    EXPECT_EQ(ai.id, ScRecvId::SimObjectDataByType);
    EXPECT_EQ(ai.outOf, 2u);
    ASSERT_EQ(ai.bytes.size(), 56u);
    EXPECT_DOUBLE_EQ(ai.at<double>(0), 7.5);    // standing on the ground at its static CG height
    EXPECT_DOUBLE_EQ(ai.at<double>(8), 360.0);  // ground altitude
    EXPECT_EQ(ai.at<std::int64_t>(16), 1);
    EXPECT_STREQ(ai.bytes.c_str() + 24, "DLH4AB");

    SimConnect_RequestDataOnSimObject(h, 102, 405, id, ScPeriod::Once);
    ASSERT_TRUE(pumpUntil(h, [&] { return in.data.size() == 3; }));
    EXPECT_DOUBLE_EQ(in.data[2].at<double>(0), 7.5);
    EXPECT_NEAR(in.data[2].at<double>(8), 1.5 * clv::test::simstandin::kPi / 180.0, 1e-12);

    // Far away: outside a radius of 5 km.
    createAi(h, "Boeing 737-800 Ryanair", "RYR1", onGroundAt(51.0, 8.571));
    SimConnect_RequestDataOnSimObjectType(h, 101, 404, 5000, ScObjectType::Aircraft);
    ASSERT_TRUE(pumpUntil(h, [&] { return in.data.size() == 5; }));
    EXPECT_EQ(in.data[4].outOf, 2u);
    SimConnect_Close(h);
}

TEST_F(StandIn, RefusesAnUnknownTitleWithExceptionTwentyTwoNamingTheCall) {
    start(baseScenario());
    SimConnectHandle h = connect();
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Not Installed 747", "BAW1", onGroundAt(50.0, 8.5), 104), kScOk);
    std::uint32_t packet = 0;
    ASSERT_EQ(SimConnect_GetLastSentPacketID(h, &packet), kScOk);
    ASSERT_TRUE(pumpUntil(h, [&] { return !in.exceptions.empty(); }));
    EXPECT_EQ(in.exceptions[0].exception, kScExceptionCreateObjectFailed);
    EXPECT_EQ(in.exceptions[0].sendId, packet);
    EXPECT_TRUE(in.addRemove.empty());
    EXPECT_EQ(sim.command({{"cmd", "status"}})["ai_objects"], 0);
    SimConnect_Close(h);
}

TEST_F(StandIn, PositionBlocksMoveAiObjectsAndBlocksOfAnotherSizeAreRefused) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint32_t id = createAi(h, "Boeing 737-800 Ryanair", "RYR1", onGroundAt(50.0, 8.5));
    const double block[8] = {50.1, 8.6, 0.05, -0.1, clv::test::simstandin::kPi / 2, 2360.0, -10.0, 160.0};
    SimConnect_SetDataOnSimObject(h, 402, id, 0, 0, sizeof block, block);
    SimConnect_SetDataOnSimObject(h, 402, id, 0, 0, 60, block);
    SimConnect_SetDataOnSimObject(h, 402, 4242, 0, 0, sizeof block, block);
    ASSERT_TRUE(pumpUntil(h, [&] { return in.exceptions.size() == 2; }));
    EXPECT_EQ(in.exceptions[0].exception, kScExceptionInvalidDataSize);
    EXPECT_EQ(in.exceptions[1].exception, kScExceptionUnrecognizedId);
    json o = object(id);
    EXPECT_DOUBLE_EQ(o["lat"].get<double>(), 50.1);
    EXPECT_DOUBLE_EQ(o["lon"].get<double>(), 8.6);
    EXPECT_NEAR(o["heading_deg"].get<double>(), 90.0, 1e-9);
    EXPECT_DOUBLE_EQ(o["alt_ft"].get<double>(), 2360.0);
    EXPECT_DOUBLE_EQ(o["agl_ft"].get<double>(), 2000.0);
    EXPECT_FALSE(o["on_ground"].get<bool>());
    EXPECT_DOUBLE_EQ(o["true_airspeed_kt"].get<double>(), 160.0);
    EXPECT_EQ(o["position_updates"], 1);
    SimConnect_Close(h);
}

TEST_F(StandIn, RecordsClientEventsPerObjectWithTheirEffects) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint32_t id = createAi(h, "Boeing 737-800 Ryanair", "RYR1", onGroundAt(50.0, 8.5));
    SimConnect_AIReleaseControl(h, id, 103);
    for (std::uint32_t e : {214u, 215u, 216u}) SimConnect_TransmitClientEvent(h, id, e, 1, 301, 0);
    SimConnect_TransmitClientEvent(h, id, 207, 1, 301, 0);  // nav on
    SimConnect_TransmitClientEvent(h, id, 206, 1, 301, 0);  // beacon on
    SimConnect_TransmitClientEvent(h, id, 213, 0, 301, 0);  // all lights toggle
    SimConnect_TransmitClientEvent(h, id, 299, 1, 301, 0);  // never mapped
    SimConnect_AIReleaseControl(h, kScObjectIdUser, 103);
    ASSERT_TRUE(pumpUntil(h, [&] { return in.exceptions.size() == 2; }));
    EXPECT_EQ(in.exceptions[0].exception, kScExceptionUnrecognizedId);
    EXPECT_EQ(in.exceptions[0].index, 2u);
    EXPECT_EQ(in.exceptions[1].exception, kScExceptionOperationInvalidForObjectType);
    json o = object(id);
    EXPECT_TRUE(o["released"].get<bool>());
    EXPECT_EQ(o["freeze"], json({{"lat_lon", true}, {"altitude", true}, {"attitude", true}}));
    EXPECT_EQ(o["lights"].get<std::int64_t>(), 0x3FF & ~0x3);  // every light but nav and beacon
    ASSERT_EQ(o["events"].size(), 6u);
    EXPECT_EQ(o["events"][0], json({{"event", "FREEZE_LATITUDE_LONGITUDE_SET"}, {"data", 1}, {"group", 301}}));
    EXPECT_EQ(o["events"][5]["event"], "ALL_LIGHTS_TOGGLE");
    SimConnect_Close(h);
}

TEST_F(StandIn, RemovesAiObjectsWithObjectRemovedButNeverTheUser) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint32_t id = createAi(h, "Boeing 737-800 Ryanair", "RYR1", onGroundAt(50.0, 8.5));
    SimConnect_AIRemoveObject(h, id, 105);
    SimConnect_AIRemoveObject(h, kScObjectIdUser, 105);
    SimConnect_AIRemoveObject(h, 4242, 105);
    ASSERT_TRUE(pumpUntil(h, [&] { return in.exceptions.size() == 2 && in.addRemove.size() == 2; }));
    EXPECT_EQ(in.addRemove[1].eventId, 203u);
    EXPECT_EQ(in.addRemove[1].data, id);
    EXPECT_EQ(in.exceptions[0].exception, kScExceptionOperationInvalidForObjectType);
    EXPECT_EQ(in.exceptions[1].exception, kScExceptionUnrecognizedId);
    EXPECT_EQ(sim.command({{"cmd", "status"}})["ai_objects"], 0);
    SimConnect_Close(h);
}

TEST_F(StandIn, ParsesHandedOverFlightPlansAndRefusesMissingOrBrokenOnes) {
    TempFolder dir;
    dir.write("1000.pln",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
              "<FlightPlan.FlightPlan>\n<FPType>IFR</FPType>\n<DepartureID>E&amp;GL</DepartureID>\n"
              "<DestinationID>KJFK</DestinationID>\n</FlightPlan.FlightPlan>\n</SimBase.Document>\n");
    dir.write("broken.pln", "<SimBase.Document><FlightPlan.FlightPlan><FPType>");
    start(baseScenario());
    SimConnectHandle h = connect();
    const std::uint32_t id = createAi(h, "Boeing 737-800 Ryanair", "RYR1", onGroundAt(50.0, 8.5));
    SimConnect_AISetAircraftFlightPlan(h, id, (dir / "1000.pln").c_str(), 110);
    pumpUntilLogged(h, "SimConnect_AISetAircraftFlightPlan", 1);
    json plan = object(id)["flight_plan"];
    EXPECT_EQ(plan["type"], "IFR");
    EXPECT_EQ(plan["departure"], "E&GL");
    EXPECT_EQ(plan["destination"], "KJFK");

    sim.command({{"cmd", "clear_log"}});
    SimConnect_AISetAircraftFlightPlan(h, id, (dir / "1000").c_str(), 110);  // the extension may be left out
    SimConnect_AISetAircraftFlightPlan(h, id, (dir / "missing.pln").c_str(), 110);
    SimConnect_AISetAircraftFlightPlan(h, id, (dir / "broken.pln").c_str(), 110);
    ASSERT_TRUE(pumpUntil(h, [&] { return in.exceptions.size() == 2; }));
    EXPECT_EQ(in.exceptions[0].exception, kScExceptionLoadFlightplanFailed);
    EXPECT_EQ(in.exceptions[1].exception, kScExceptionLoadFlightplanFailed);
    json calls = log("SimConnect_AISetAircraftFlightPlan");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_FALSE(calls[0].contains("exception"));
    EXPECT_EQ(in.exceptions[0].sendId, calls[1]["packet"]);
    SimConnect_Close(h);
}
