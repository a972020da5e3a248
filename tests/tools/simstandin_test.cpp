#include "tools/simstandin/standin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "link/sim_ids.h"
#include "platform/simconnect.h"
#include "platform/simconnect_wire.h"
#include "platform/sockets.h"
#include "support/temp_folder.h"
#include "tools/simstandin/scenario.h"
#include "tools/simstandin/track_map.h"

using namespace clv;
using clv::standin::SimStandIn;
using clv::test::ScopedEnv;
using clv::test::TempFolder;
using nlohmann::json;

namespace {

constexpr double kPi = 3.141592653589793;

struct Data {
    ScRecvId id = ScRecvId::Null;
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t entry = 0;
    std::uint32_t outOf = 0;
    std::string bytes;

    template <class T>
    T at(std::size_t offset) const {
        T v;
        std::memcpy(&v, bytes.data() + offset, sizeof v);
        return v;
    }
};

// Everything one connection received, in order per kind.
struct Inbox {
    std::vector<ScRecvId> ids;
    ScRecvOpen open;
    std::vector<ScRecvException> exceptions;
    std::vector<ScRecvEvent> events;
    std::vector<ScRecvEventObjectAddRemove> addRemove;
    std::vector<std::string> files;
    std::vector<ScRecvAssignedObjectId> assigned;
    std::vector<Data> data;
    int frames = 0;
    float frameRate = 0.0f;

    std::size_t count(ScRecvId id) const { return static_cast<std::size_t>(std::count(ids.begin(), ids.end(), id)); }
};

void collect(const ScRecv* m, std::uint32_t, void* context) {
    Inbox& in = *static_cast<Inbox*>(context);
    in.ids.push_back(m->id);
    switch (m->id) {
        case ScRecvId::Open: in.open = static_cast<const ScRecvOpen&>(*m); break;
        case ScRecvId::Exception: in.exceptions.push_back(static_cast<const ScRecvException&>(*m)); break;
        case ScRecvId::Event: in.events.push_back(static_cast<const ScRecvEvent&>(*m)); break;
        case ScRecvId::EventObjectAddRemove:
            in.addRemove.push_back(static_cast<const ScRecvEventObjectAddRemove&>(*m));
            break;
        case ScRecvId::EventFilename: in.files.push_back(static_cast<const ScRecvEventFilename&>(*m).fileName); break;
        case ScRecvId::EventFrame:
            ++in.frames;
            in.frameRate = static_cast<const ScRecvEventFrame&>(*m).frameRate;
            break;
        case ScRecvId::AssignedObjectId: in.assigned.push_back(static_cast<const ScRecvAssignedObjectId&>(*m)); break;
        case ScRecvId::SimObjectData:
        case ScRecvId::SimObjectDataByType: {
            const auto& d = static_cast<const ScRecvSimObjectData&>(*m);
            in.data.push_back(Data{m->id, d.requestId, d.objectId, d.defineId, d.entryNumber, d.outOf,
                                   std::string(reinterpret_cast<const char*>(d.data), d.dataSize)});
            break;
        }
        default: break;
    }
}

standin::Scenario baseScenario() {
    standin::Scenario s;
    standin::gf_applyScenarioJson(json::parse(R"({
        "simulator": "SunRise",
        "version": [1, 2, 3, 4],
        "frame_rate": 0,
        "zulu": "2024-03-01T12:34:56Z",
        "ground_elevation_ft": 360,
        "user": {"lat": 50.0333, "lon": 8.5706, "alt_ft": 364, "pitch_deg": -2, "heading_deg": 250,
                 "ground_speed_kt": 12, "on_ground": true, "lights": 3,
                 "title": "Cessna Skyhawk", "atc_model": "C172"},
        "installed_titles": [{"title": "Airbus A320 Neo Lufthansa", "static_cg_ft": 7.5, "static_pitch_deg": 1.5},
                             "Boeing 737-800 Ryanair"]
    })"),
                                      s);
    return s;
}

class StandIn : public ::testing::Test {
protected:
    void start(const standin::Scenario& scenario) {
        standin::StandInOptions options;
        options.scenario = scenario;
        sim.start(options);
        port.emplace(kSimConnectPortVariable, std::to_string(sim.simPort()).c_str());
    }

    SimConnectHandle connect() {
        SimConnectHandle h{};
        EXPECT_EQ(SimConnect_Open(&h, "Calvorinth", nullptr, 0, nullptr, 0), kScOk);
        pumpUntil(h, [&] { return in.count(ScRecvId::Open) > 0; });
        return h;
    }

    // Dispatches until the condition holds (at most 3 s); whether it held.
    template <class Done>
    bool pumpUntil(SimConnectHandle h, Done done, std::chrono::milliseconds limit = std::chrono::seconds(3)) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            if (SimConnect_CallDispatch(h, collect, &in) == kScConnectionLost) return done();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // Dispatches until the stand-in has logged this many calls of the name.
    void pumpUntilLogged(SimConnectHandle h, const std::string& call, std::size_t n) {
        EXPECT_TRUE(pumpUntil(h, [&] { return log(call).size() >= n; })) << call;
    }

    // The program's registration, waited for until the stand-in has taken all of it.
    void registerProgram(SimConnectHandle h) {
        gf_registerSimConnect(h);
        pumpUntilLogged(h, "SimConnect_SetNotificationGroupPriority", 1);
    }

    json log(const std::string& call) { return sim.command({{"cmd", "log"}, {"call", call}})["entries"]; }
    json object(std::uint32_t id) { return sim.command({{"cmd", "object"}, {"id", id}})["object"]; }

    std::uint32_t createAi(SimConnectHandle h, const char* title, const char* tail, ScInitPosition p) {
        const std::size_t before = in.assigned.size();
        EXPECT_EQ(SimConnect_AICreateNonATCAircraft(h, title, tail, p, 104), kScOk);
        EXPECT_TRUE(pumpUntil(h, [&] { return in.assigned.size() > before; }));
        return in.assigned.empty() ? 0 : in.assigned.back().objectId;
    }

    SimStandIn sim;
    std::optional<ScopedEnv> port;
    Inbox in;
};

ScInitPosition onGroundAt(double lat, double lon) { return ScInitPosition{lat, lon, 0.0, 0.0, 0.0, 90.0, 1, 0}; }

}  // namespace

TEST_F(StandIn, AnswersOpenWithItsSimulatorAndReportsSimStateOnSubscriptionAndChange) {
    standin::Scenario s = baseScenario();
    s.simulator = "KittyHawk";
    start(s);
    SimConnectHandle h = connect();
    EXPECT_EQ(in.open.applicationName, "KittyHawk");
    EXPECT_EQ(in.open.applicationVersionMajor, 1u);
    EXPECT_EQ(in.open.applicationBuildMinor, 4u);
    SimConnect_SubscribeToSystemEvent(h, 201, "Sim");
    ASSERT_TRUE(pumpUntil(h, [&] { return in.events.size() == 1; }));
    EXPECT_EQ(in.events[0].eventId, 201u);
    EXPECT_EQ(in.events[0].data, 1u);
    sim.command({{"cmd", "set_sim"}, {"running", false}});
    ASSERT_TRUE(pumpUntil(h, [&] { return in.events.size() == 2; }));
    EXPECT_EQ(in.events[1].data, 0u);
    SimConnect_SubscribeToSystemEvent(h, 299, "NoSuchEvent");
    ASSERT_TRUE(pumpUntil(h, [&] { return !in.exceptions.empty(); }));
    EXPECT_EQ(in.exceptions[0].exception, kScExceptionNameUnrecognized);
    SimConnect_Close(h);
}

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
    EXPECT_NEAR(d.at<double>(16), -2.0 * kPi / 180.0, 1e-12);
    EXPECT_NEAR(d.at<double>(32), 250.0 * kPi / 180.0, 1e-12);
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
    EXPECT_NEAR(in.data[2].at<double>(8), 1.5 * kPi / 180.0, 1e-12);

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
    const double block[8] = {50.1, 8.6, 0.05, -0.1, kPi / 2, 2360.0, -10.0, 160.0};
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

TEST(StandInTitles, ReadsTheTitlesOfFltsimSectionsOnly) {
    const std::string cfg =
        "[VERSION]\r\ntitle=Not a livery\r\n"
        "[FLTSIM.0]\r\ntitle = \"Airbus A320 Neo Lufthansa\" ; quoted\r\nmodel=\r\n"
        "[fltsim.1]\ntitle=Airbus A320 Neo Condor ; with a comment\n"
        "[fltsim.2]\n; title=commented out\nTITLE=  Airbus A320 Neo Eurowings  \n"
        "[GENERAL]\ntitle=Also not\n";
    EXPECT_EQ(standin::gf_aircraftCfgTitles(cfg),
              (std::vector<std::string>{"Airbus A320 Neo Lufthansa", "Airbus A320 Neo Condor",
                                        "Airbus A320 Neo Eurowings"}));
}

TEST_F(StandIn, InstallsTheTitlesOfACommunityFolder) {
    TempFolder dir;
    dir.write("Community/pkg-a/SimObjects/Airplanes/a320/aircraft.cfg", "[FLTSIM.0]\ntitle=Community A320\n");
    dir.write("Community/pkg-b/deep/er/Aircraft.CFG", "[fltsim.0]\ntitle=Community B738\n");
    dir.write("Community/pkg-b/notes.txt", "[fltsim.0]\ntitle=Not a config\n");
    auto titles = standin::gf_scanCommunityTitles(dir / "Community");
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"Community A320", "Community B738"}));
    EXPECT_THROW(standin::gf_scanCommunityTitles(dir / "NoSuchFolder"), std::runtime_error);

    standin::Scenario s = baseScenario();
    s.communityFolder = (dir / "Community").string();
    start(s);
    SimConnectHandle h = connect();
    EXPECT_NE(createAi(h, "Community B738", "EWG1", onGroundAt(50.0, 8.5)), 0u);
    SimConnect_Close(h);
}

TEST_F(StandIn, ControlChannelChangesTheWorldAndReadsItBack) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint16_t control = sim.controlPort();

    json reply = standin::gf_standInCommand(control, {{"cmd", "add_object"}, {"title", "Heli"}, {"type", "helicopter"}});
    ASSERT_TRUE(reply["ok"].get<bool>());
    const auto heli = reply["id"].get<std::uint32_t>();
    ASSERT_TRUE(pumpUntil(h, [&] { return in.addRemove.size() == 1; }));
    EXPECT_EQ(in.addRemove[0].objectType, ScObjectType::Helicopter);
    EXPECT_EQ(in.addRemove[0].data, heli);
    EXPECT_TRUE(standin::gf_standInCommand(control, {{"cmd", "remove_object"}, {"id", heli}})["ok"].get<bool>());
    ASSERT_TRUE(pumpUntil(h, [&] { return in.addRemove.size() == 2; }));
    EXPECT_EQ(in.addRemove[1].eventId, 203u);

    standin::gf_standInCommand(control, {{"cmd", "flight_loaded"}});
    standin::gf_standInCommand(control, {{"cmd", "flight_loaded"}, {"as", "event"}});
    standin::gf_standInCommand(control, {{"cmd", "exception"}, {"code", 23}, {"send_id", 9}, {"index", 2}});
    ASSERT_TRUE(pumpUntil(h, [&] { return !in.exceptions.empty() && in.events.size() == 2; }))
        << in.exceptions.size() << " " << in.events.size() << " " << in.files.size();
    EXPECT_EQ(in.files, std::vector<std::string>{"flights\\custom.FLT"});
    EXPECT_EQ(in.events[1].eventId, 205u);  // the plain event form
    EXPECT_EQ(in.exceptions[0].exception, 23u);
    EXPECT_EQ(in.exceptions[0].sendId, 9u);
    EXPECT_EQ(in.exceptions[0].index, 2u);

    json bad = standin::gf_standInCommand(control, {{"cmd", "no_such_command"}});
    EXPECT_FALSE(bad["ok"].get<bool>());
    EXPECT_NE(bad["error"].get<std::string>().find("no_such_command"), std::string::npos);
    EXPECT_FALSE(standin::gf_standInCommand(control, {{"cmd", "set_user"}, {"altitude", 1}})["ok"].get<bool>());
    EXPECT_THROW(standin::gf_standInCommand(0, {{"cmd", "status"}}), std::runtime_error);
    SimConnect_Close(h);
}

TEST_F(StandIn, FailCommandMakesTheClientsNextCallOfThatFunctionFail) {
    start(baseScenario());
    SimConnectHandle h = connect();
    EXPECT_EQ(sim.command({{"cmd", "fail"}, {"function", "SimConnect_AIRemoveObject"}})["armed_clients"], 1);
    EXPECT_EQ(SimConnect_AIRemoveObject(h, 1000, 105), kScFail);
    EXPECT_EQ(SimConnect_AIRemoveObject(h, 1000, 105), kScOk);
    EXPECT_FALSE(sim.command({{"cmd", "fail"}, {"function", "remove"}})["ok"].get<bool>());
    EXPECT_FALSE(sim.command({{"cmd", "fail"}, {"function", "SimConnect_CallDispatch"}})["ok"].get<bool>());
    SimConnect_Close(h);
}

TEST_F(StandIn, QuitAndStopSayQuitBeforeTheConnectionEnds) {
    start(baseScenario());
    SimConnectHandle h = connect();
    sim.command({{"cmd", "quit"}});
    EXPECT_TRUE(pumpUntil(h, [&] { return SimConnect_CallDispatch(h, collect, &in) == kScConnectionLost; }));
    EXPECT_EQ(in.count(ScRecvId::Quit), 1u);
    SimConnect_Close(h);

    in = Inbox{};
    SimConnectHandle second = connect();
    sim.stop();
    EXPECT_TRUE(pumpUntil(second, [&] { return SimConnect_CallDispatch(second, collect, &in) == kScConnectionLost; }));
    EXPECT_EQ(in.count(ScRecvId::Quit), 1u);
    SimConnect_Close(second);
}

TEST_F(StandIn, FramesComeAtTheSetRateWithTheirFrameRate) {
    standin::Scenario s = baseScenario();
    s.frameRate = 200.0;
    start(s);
    SimConnectHandle h = connect();
    SimConnect_SubscribeToSystemEvent(h, 204, "Frame");
    ASSERT_TRUE(pumpUntil(h, [&] { return in.frames >= 5; }));
    EXPECT_EQ(in.frameRate, 200.0f);
    SimConnect_Close(h);
}

TEST(StandInScenario, RefusesUnknownKeysAndValuesOfTheWrongKindByName) {
    struct Case {
        const char* json;
        const char* named;
    };
    for (const Case& c : {Case{R"({"simulatr": "SunRise"})", "simulatr"},
                          Case{R"({"frame_rate": "fast"})", "frame_rate"},
                          Case{R"({"user": {"heading": 3}})", "heading"},
                          Case{R"({"zulu": "yesterday"})", "zulu"},
                          Case{R"({"version": [1, 2]})", "version"},
                          Case{R"({"installed_titles": [{"name": "x"}]})", "name"},
                          Case{R"({"flight_loaded_as": "pigeon"})", "flight_loaded_as"}}) {
        standin::Scenario s;
        try {
            standin::gf_applyScenarioJson(json::parse(c.json), s);
            ADD_FAILURE() << c.json << " was accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
    }
    TempFolder dir;
    EXPECT_THROW(standin::gf_readScenarioFile(dir / "missing.json"), std::runtime_error);
    dir.write("bad.json", "{ not json");
    EXPECT_THROW(standin::gf_readScenarioFile(dir / "bad.json"), std::runtime_error);
}

TEST_F(StandIn, DumpListsWhatTheProgramCreated) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint32_t id = createAi(h, "Boeing 737-800 Ryanair", "RYR42", onGroundAt(50.5, 8.25));
    SimConnect_TransmitClientEvent(h, id, 207, 1, 301, 0);
    pumpUntilLogged(h, "SimConnect_TransmitClientEvent", 1);
    sim.command({{"cmd", "add_object"}, {"title", "Someone else's"}});
    const std::string dump = standin::gf_formatObjectDump(sim.command({{"cmd", "objects"}})["objects"]);
    EXPECT_NE(dump.find(std::to_string(id) + "  RYR42"), std::string::npos) << dump;
    EXPECT_NE(dump.find("50.50000"), std::string::npos);
    EXPECT_NE(dump.find("yes  nav"), std::string::npos);
    EXPECT_NE(dump.find("Boeing 737-800 Ryanair"), std::string::npos);
    EXPECT_EQ(dump.find("Someone else's"), std::string::npos);
    EXPECT_NE(dump.find("1 AI object\n"), std::string::npos);
    SimConnect_Close(h);
}

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

// The map command draws the aircraft the program created and never moved (the
// static parked ones) as well as those it moved.
TEST_F(StandIn, TheMapCommandDrawsAircraftThatNeverMoved) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint32_t parked = createAi(h, "Boeing 737-800 Ryanair", "EI-DCL*", onGroundAt(50.034, 8.571));
    const std::uint32_t moved = createAi(h, "Airbus A320 Neo Lufthansa", "DLH4AB", onGroundAt(50.03, 8.56));
    ASSERT_NE(parked, 0u);
    const double block[8] = {50.031, 8.56, 0, 0, 0.0, 400.0, 0, 10};
    SimConnect_SetDataOnSimObject(h, 402, moved, 0, 0, sizeof block, block);
    ASSERT_TRUE(pumpUntil(h, [&] { return object(moved)["position_updates"] == 1; }));

    TempFolder folder;
    const std::string line = fmt::format("'{}' map --out '{}' --control-port {} >'{}' 2>&1", CLV_SIMSTANDIN_PATH,
                                         (folder / "map.svg").string(), sim.controlPort(), (folder / "out.txt").string());
    ASSERT_EQ(std::system(line.c_str()), 0) << folder.read("out.txt");
    EXPECT_NE(folder.read("out.txt").find("map of 2 aircraft"), std::string::npos) << folder.read("out.txt");
    const std::string svg = folder.read("map.svg");
    EXPECT_NE(svg.find(">EI-DCL*</text>"), std::string::npos) << svg;
    EXPECT_NE(svg.find(">DLH4AB</text>"), std::string::npos) << svg;
    SimConnect_Close(h);
}

// Whatever a client sends, the stand-in keeps serving: a tail number that is no
// UTF-8 and a control line of broken bytes are answered, never fatal.
TEST_F(StandIn, BytesThatAreNoUtf8NeverEndTheStandIn) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint32_t id = createAi(h, "Boeing 737-800 Ryanair", "RYR\xFF\xFE\n", onGroundAt(50.5, 8.25));
    ASSERT_GE(id, 1000u);
    const json objects = sim.command({{"cmd", "objects"}});
    EXPECT_EQ(objects.value("ok", false), true) << objects;
    EXPECT_FALSE(log("SimConnect_AICreateNonATCAircraft").empty());

    // A control line of broken bytes, as anything on this PC could send.
    platform::ResolvedAddress address;
    ASSERT_EQ(platform::resolveTcp("127.0.0.1", std::to_string(sim.controlPort()), address), 0);
    platform::Socket raw(platform::connectTo(address));
    ASSERT_TRUE(raw.isOpen());
    ASSERT_TRUE(platform::sendAll(raw.handle(), "{\"cmd\":\"\xFF\xC0\x1B\"}\n\xFE\xFF\n"));
    std::string replies;
    char buffer[4096];
    while (std::count(replies.begin(), replies.end(), '\n') < 2 &&
           platform::waitReadable(raw.handle(), {}, 3000) == platform::WaitResult::Ready) {
        const long n = platform::receiveSome(raw.handle(), buffer, sizeof buffer);
        if (n <= 0) break;
        replies.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(std::count(replies.begin(), replies.end(), '\n'), 2) << replies;
    EXPECT_NE(replies.find("\"ok\":false"), std::string::npos) << replies;
    // Still serving both its channels.
    EXPECT_EQ(sim.command({{"cmd", "objects"}}).value("ok", false), true);
    SimConnect_RequestDataOnSimObject(h, 102, 405, id, ScPeriod::Once);
    EXPECT_TRUE(pumpUntil(h, [&] { return !in.data.empty(); }));
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

namespace {

std::string callBytes(std::uint32_t protocol, ScCallKind function, std::uint32_t sendId, const auto& record) {
    std::string out;
    EXPECT_TRUE(ScWriter(out).call(protocol, function, sendId, record));
    return out;
}

std::string openBytes(std::uint32_t protocol) {
    ScOpenCall open;
    EXPECT_TRUE(gf_scOpenCallFor(protocol, "Hostile", open));
    return callBytes(protocol, ScCallKind::Open, 1, open);
}

// The replies in a byte stream: (id, size) in order; a stream that does not split
// into whole replies fails the test.
std::vector<std::pair<std::uint32_t, std::uint32_t>> replyKinds(std::string_view bytes) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    ScPacket p;
    while (!bytes.empty()) {
        EXPECT_EQ(gf_scNextReply(bytes, p), ScPacketStatus::Complete);
        if (p.size == 0 || p.size > bytes.size()) break;
        out.emplace_back(p.kind, p.size);
        bytes.remove_prefix(p.size);
    }
    return out;
}

}  // namespace

TEST_F(StandIn, HostileCallsGetACleanAnswerOrDropTheClientAndTheLogSaysWhy) {
    const std::string subscribe = callBytes(5, ScCallKind::SubscribeToSystemEvent, 2, ScSubscribeCall{201, "Sim"});
    std::string unterminated = subscribe;
    std::fill(unterminated.begin() + 20, unterminated.end(), 'S');
    std::string huge = subscribe;
    const std::uint32_t hugeSize = 16u << 20;
    std::memcpy(huge.data(), &hugeSize, sizeof hugeSize);
    std::string shortSubscribe = subscribe.substr(0, 40);
    const std::uint32_t shortSize = 40;
    std::memcpy(shortSubscribe.data(), &shortSize, sizeof shortSize);
    auto resized = [](std::string packet, std::uint32_t size) {
        std::memcpy(packet.data(), &size, sizeof size);
        return packet;
    };
    std::string notAFunction = subscribe;
    const std::uint32_t bareId = 0x17;
    std::memcpy(notAFunction.data() + 8, &bareId, sizeof bareId);
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> replies;  // (receive id, size)
        const char* error;  // the logged protocol error, empty: none
    };
    const std::pair<std::uint32_t, std::uint32_t> open{2, 308}, event{4, 24}, exception{1, 24};
    const Case cases[] = {
        {"a call before Open", subscribe, {}, "function 0x17 before Open"},
        {"a 16 MB size field", openBytes(5) + huge, {open}, "a packet header no call can have"},
        {"a size field below the header", openBytes(5) + resized(subscribe, 8), {open},
         "a packet header no call can have"},
        {"a bare function number", openBytes(5) + notAFunction, {open}, "a packet header no call can have"},
        {"a payload short of its fields", openBytes(5) + shortSubscribe, {open},
         "malformed packet of function 0x17 (40 bytes)"},
        {"a payload longer than its fields", openBytes(5) + resized(subscribe + "abcd", 280), {open},
         "malformed packet of function 0x17 (280 bytes)"},
        {"a whole session", openBytes(5) + subscribe, {open, event}, ""},
        {"a name without its NUL", openBytes(5) + unterminated, {open}, "malformed packet of function 0x17 (276 bytes)"},
        {"another protocol after Open", openBytes(6) + subscribe, {open}, "protocol 5 after Open with 6"},
        {"a second Open", openBytes(5) + openBytes(5), {open}, "a second Open"},
        {"an unknown function", openBytes(5) + callBytes(5, ScCallKind::Open, 2, ScObjectCall{}).replace(8, 4,
                                                                                std::string("\x3F\0\0\xF0", 4)),
         {open, exception}, ""},
        {"Open in protocol 4", [] {
             std::string b = openBytes(5);
             const std::uint32_t four = 4;
             std::memcpy(b.data() + 4, &four, sizeof four);
             return b;
         }() + subscribe, {exception}, ""},
    };
    for (const Case& c : cases) {
        const std::uint64_t mark = sim.command({{"cmd", "log"}})["next_seq"].get<std::uint64_t>();
        const std::string replies = sim.consumeAsClient(c.bytes);
        EXPECT_EQ(replyKinds(replies), c.replies) << c.name;
        const json errors = sim.command({{"cmd", "log"}, {"call", "protocol error"}, {"since", mark}})["entries"];
        if (*c.error == '\0') {
            EXPECT_TRUE(errors.empty()) << c.name << " " << errors;
        } else {
            ASSERT_EQ(errors.size(), 1u) << c.name;
            EXPECT_EQ(errors[0]["error"], c.error) << c.name;
        }
    }
}

TEST_F(StandIn, ASlowSenderIsServedAndAHugeFrameEndsOnlyItsOwnConnection) {
    start(baseScenario());
    SimConnectHandle h = connect();
    platform::ResolvedAddress address;
    ASSERT_EQ(platform::resolveTcp("127.0.0.1", std::to_string(sim.simPort()), address), 0);
    auto receiveAll = [](platform::SocketHandle socket, std::size_t atLeast) {
        std::string got;
        char buffer[4096];
        while (got.size() < atLeast && platform::waitReadable(socket, {}, 3000) == platform::WaitResult::Ready) {
            const long n = platform::receiveSome(socket, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    };
    platform::Socket slow(platform::connectTo(address));
    ASSERT_TRUE(slow.isOpen());
    const std::string open = openBytes(6);
    for (std::size_t i = 0; i < open.size(); i += 37) {
        ASSERT_TRUE(platform::sendAll(slow.handle(), std::string_view(open).substr(i, 37)));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(replyKinds(receiveAll(slow.handle(), 308)), (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{2, 308}}));

    platform::Socket huge(platform::connectTo(address));
    ASSERT_TRUE(huge.isOpen());
    std::string header = openBytes(5);
    const std::uint32_t hugeSize = 16u << 20;
    std::memcpy(header.data(), &hugeSize, sizeof hugeSize);
    platform::sendAll(huge.handle(), header);
    // The stand-in hangs up at once rather than wait for 16 MB.
    EXPECT_TRUE(receiveAll(huge.handle(), 1).empty());
    const json errors = sim.command({{"cmd", "log"}, {"call", "protocol error"}})["entries"];
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]["error"], "a packet header no call can have");
    // The others are still served.
    SimConnect_SubscribeToSystemEvent(h, 201, "Sim");
    EXPECT_TRUE(pumpUntil(h, [&] { return !in.events.empty(); }));
    SimConnect_Close(h);
}
