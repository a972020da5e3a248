// The SimConnect thread against the stand-in simulator running as its own program.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "core/folders.h"
#include "link/sim_client.h"
#include "link/sim_events.h"
#include "link/sim_flight_plan.h"
#include "link/sim_hooks.h"
#include "link/sim_ids.h"
#include "link/sim_queues.h"
#include "platform/simconnect_wire.h"
#include "sim_test_support.h"
#include "support/loopback.h"

using namespace clv;
using clv::test::ScopedEnv;
using clv::test::SimLinkTest;
using clv::test::StandInProcess;
using clv::test::TempFolder;
using clv::test::waitFor;
using nlohmann::json;

namespace {

constexpr const char* kInstalled = "Airbus A320 Neo Lufthansa";

json scenario(const std::string& simulator = "SunRise") {
    return json{{"simulator", simulator},
                {"frame_rate", 60},
                {"data_period_ms", 100},
                {"ground_elevation_ft", 360},
                {"user", {{"lat", 50.0333}, {"lon", 8.5706}, {"alt_ft", 366}, {"on_ground", true}}},
                {"installed_titles", {kInstalled}}};
}

class SimClientThread : public SimLinkTest {
protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        SimLinkHooks hooks;
        hooks.reserveUserStand = [this] { ++reservedStands; };
        gf_setSimLinkHooks(hooks);
    }
    void TearDown() override {
        stopClient();
        standIn.reset();
        SimLinkTest::TearDown();
    }

    void startStandIn(const json& s, std::vector<std::string> args = {}) {
        args.push_back("--scenario");
        args.push_back(clv::test::writeScenario(dir, s));
        if (std::find(args.begin(), args.end(), "--port") == args.end()) {
            args.push_back("--port");
            args.push_back("0");
        }
        standIn.emplace(args);
        port.emplace(kSimConnectPortVariable, std::to_string(standIn->simPort()).c_str());
    }
    void startClient() { client = std::jthread(SimClient); }
    void stopClient() {
        if (client.joinable()) {
            client.request_stop();
            client.join();
        }
    }
    // Connected and told that the flight runs, as the run thread waits for it.
    void waitUntilRunning() {
        ASSERT_TRUE(waitFor([] { return simConnected && simRunning; })) << logText();
    }
    // The user aircraft is known: the run thread asks until its data has come.
    void waitForUserData() {
        ASSERT_TRUE(waitFor([] {
            gf_requestUserAcData();
            return waitFor([] { return userAcDataReceived.load(); }, std::chrono::milliseconds(100));
        }));
    }
    // The engine's by-type request of every tick, until the condition holds.
    template <class Condition>
    bool tickUntil(Condition condition) {
        return waitFor([&] {
            {
                std::lock_guard lock(simQueueMutex);
                SimConnect_RequestDataOnSimObjectType(simConnectHandle, REQUEST_AC_IN_RANGE, DEF_AC_IN_RANGE, 20000,
                                                      ScObjectType::Aircraft);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return condition();
        });
    }

    TempFolder dir;
    std::optional<StandInProcess> standIn;
    std::optional<ScopedEnv> port;
    std::jthread client;
    std::atomic<int> reservedStands{0};
    std::vector<SimEvent> events;

    // How often the log holds exactly this line.
    long timesLogged(const std::string& line) const {
        const auto all = clv::test::lines(logText());
        return std::count(all.begin(), all.end(), line);
    }

    // Collects the inbox; the first event of the kind (and hexid when given).
    std::optional<SimEvent> event(SimEventKind kind, std::uint32_t hexid = 0) {
        gf_takeSimEvents(events);
        for (const auto& e : events) {
            if (e.kind == kind && (hexid == 0 || e.hexidOrFlag == hexid)) return e;
        }
        return std::nullopt;
    }
};

// What the program registers, in order, as the simulator sees it.
std::vector<std::string> expectedRegistration() {
    std::vector<std::string> r{
        "Subscribe 201 Sim",
        "Subscribe 202 ObjectAdded",
        "Subscribe 203 ObjectRemoved",
        "Subscribe 205 FlightLoaded",
        "Subscribe 204 Frame",
        "Define 407 TITLE [] 11",
        "Define 408 ATC MODEL [] 6",
        "Define 409 SIM ON GROUND [Bool] 2",
    };
    for (const char* v : {"Plane Latitude [degree]", "Plane Longitude [degree]", "Plane Pitch degrees [radians]",
                          "Plane Bank degrees [radians]", "Plane Heading degrees true [radians]", "Plane Altitude [feet]",
                          "Vertical Speed [feet per second]", "Airspeed True [knots]"}) {
        r.push_back(std::string("Define 402 ") + v + " 4");
    }
    for (const char* v : {"Plane Latitude [degree] 4", "Plane Longitude [degree] 4", "Plane Pitch degrees [radians] 4",
                          "Plane Bank degrees [radians] 4", "Plane Heading degrees true [radians] 4",
                          "Plane Altitude [feet] 4", "Plane Alt Above Ground [feet] 4", "Ground Velocity [knots] 4",
                          "ZULU TIME [Seconds] 2", "ZULU DAY OF YEAR [Number] 2", "ZULU YEAR [Number] 2",
                          "LIGHT STATES [Mask] 2"}) {
        r.push_back(std::string("Define 403 ") + v);
    }
    r.push_back("Define 405 Static CG to Ground [feet] 4");
    r.push_back("Define 405 Static Pitch [radians] 4");
    r.push_back("Define 406 Light On States [Mask] 2");
    r.push_back("Define 404 Plane Alt Above Ground [feet] 4");
    r.push_back("Define 404 Ground Altitude [feet] 4");
    r.push_back("Define 404 SIM ON GROUND [Bool] 2");
    r.push_back("Define 404 ATC ID [] 6");
    r.push_back("Define 401 SPOILERS HANDLE POSITION [percent] 4");
    r.push_back("Define 401 GENERAL ENG THROTTLE LEVER POSITION:1 [percent] 4");
    r.push_back("Define 401 GENERAL ENG THROTTLE LEVER POSITION:2 [percent] 4");
    for (const char* m : {"219 GEAR_SET", "220 ENGINE_AUTO_START", "221 ENGINE_AUTO_SHUTDOWN", "222 THROTTLE_SET",
                          "217 FLAPS_SET", "218 SPOILERS_SET", "207 NAV_LIGHTS_SET", "206 BEACON_LIGHTS_SET",
                          "210 LANDING_LIGHTS_SET", "208 TAXI_LIGHTS_SET", "209 STROBES_SET", "212 LOGO_LIGHTS_SET",
                          "211 CABIN_LIGHTS_SET", "213 ALL_LIGHTS_TOGGLE", "214 FREEZE_LATITUDE_LONGITUDE_SET",
                          "215 FREEZE_ALTITUDE_SET", "216 FREEZE_ATTITUDE_SET"}) {
        r.push_back(std::string("Map ") + m);
    }
    for (int e : {207, 206, 210, 208, 209, 212, 211, 213, 217, 218, 219, 221, 222, 214, 215, 216}) {
        r.push_back("Group 301 " + std::to_string(e) + " maskable");
    }
    r.push_back("Priority 301 1");
    return r;
}

std::vector<std::string> registration(const json& log) {
    std::vector<std::string> out;
    for (const auto& e : log) {
        const std::string call = e["call"];
        if (call == "SimConnect_SubscribeToSystemEvent") {
            out.push_back(fmt::format("Subscribe {} {}", e["event_id"].get<int>(), e["name"].get<std::string>()));
        } else if (call == "SimConnect_AddToDataDefinition") {
            EXPECT_EQ(e["epsilon"], 0.0);
            EXPECT_EQ(e["datum_id"], -1);
            out.push_back(fmt::format("Define {} {} [{}] {}", e["define_id"].get<int>(), e["datum"].get<std::string>(),
                                      e["units"].get<std::string>(), e["type"].get<int>()));
        } else if (call == "SimConnect_MapClientEventToSimEvent") {
            out.push_back(fmt::format("Map {} {}", e["event_id"].get<int>(), e["name"].get<std::string>()));
        } else if (call == "SimConnect_AddClientEventToNotificationGroup") {
            out.push_back(fmt::format("Group {} {}{}", e["group_id"].get<int>(), e["event_id"].get<int>(),
                                      e["maskable"].get<bool>() ? " maskable" : ""));
        } else if (call == "SimConnect_SetNotificationGroupPriority") {
            out.push_back(fmt::format("Priority {} {}", e["group_id"].get<int>(), e["priority"].get<int>()));
        }
    }
    return out;
}

}  // namespace

TEST_F(SimClientThread, WaitsForTheSimulatorThenRegistersAsTheSimulatorExpects) {
    const std::uint16_t simPort = clv::test::freeLoopbackPort();
    port.emplace(kSimConnectPortVariable, std::to_string(simPort).c_str());
    startClient();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // a few attempts into nothing
    EXPECT_FALSE(simConnected);
    const std::string endpoint = "127.0.0.1:" + std::to_string(simPort);
    EXPECT_EQ(statusLines(), std::vector<std::string>{"Waiting for MSFS 2024 at " + endpoint + " ..."});
    // Where it connects, said once for all the attempts.
    const std::string endpointLine = "SimConnect endpoint " + endpoint +
                                     " (the default address, the port from $CLV_SIMCONNECT_PORT: there is no " +
                                     (std::filesystem::current_path() / "SimConnect.cfg").string() + ")";
    EXPECT_EQ(timesLogged(endpointLine), 1) << logText();

    startStandIn(scenario(), {"--port", std::to_string(simPort)});
    waitUntilRunning();
    ASSERT_TRUE(waitFor([&] { return !standIn->log("SimConnect_SetNotificationGroupPriority").empty(); }));
    const json log = standIn->log();
    EXPECT_EQ(log[0]["call"], "SimConnect_Open");
    EXPECT_EQ(log[0]["name"], "Calvorinth");
    EXPECT_EQ(log[0]["protocol"], kScProtocol2024);
    EXPECT_EQ(registration(log), expectedRegistration());
    for (const auto& e : log) EXPECT_FALSE(e.contains("exception")) << e.dump();
    EXPECT_EQ(gf_simDisplayTexts().simulator, "MSFS 2024");
    EXPECT_TRUE(logged("MSFS 2024 connected"));
    EXPECT_EQ(timesLogged(endpointLine), 1);

    stopClient();
    EXPECT_TRUE(logged("SimConnect closed ok"));
    EXPECT_EQ(reservedStands, 1);
    EXPECT_FALSE(simConnected);
    EXPECT_EQ(simConnectHandle.load(), SimConnectHandle{});
    EXPECT_FALSE(simConnectFailed);  // a requested stop is no failure
    EXPECT_TRUE(waitFor([&] { return !standIn->log("SimConnect_Close").empty(); }));
}

TEST_F(SimClientThread, AStopWhileWaitingEndsTheThreadWithoutAConnection) {
    port.emplace(kSimConnectPortVariable, std::to_string(clv::test::freeLoopbackPort()).c_str());
    startClient();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    gf_requestStop(ExitReason::NewSettings, 3);
    client.join();  // ends on the run's stop without a stop request of its own
    EXPECT_EQ(reservedStands, 1);
    EXPECT_FALSE(logged("SimConnect closed ok"));
}

TEST_F(SimClientThread, TheSimulatorOfTheSettingsChoosesTheProtocol) {
    struct Case {
        bool msfs2020;
        const char* simulator;
        std::uint32_t protocol;
        std::uint32_t clientMajor;
    };
    for (const Case& c : {Case{true, "KittyHawk", 5, 11}, Case{false, "SunRise", 6, 12}}) {
        SCOPED_TRACE(c.simulator);
        gf_resetSimLink();
        MSFS_2020.value = c.msfs2020;
        startStandIn(scenario(c.simulator));
        startClient();
        waitUntilRunning();
        const json open = standIn->log("SimConnect_Open");
        ASSERT_EQ(open.size(), 1u);
        EXPECT_EQ(open[0]["protocol"], c.protocol);
        EXPECT_EQ(open[0]["version"][0], c.clientMajor);
        EXPECT_FALSE(simConnectFailed);
        stopClient();
        standIn.reset();
    }
}

TEST_F(SimClientThread, ABadSimConnectCfgIsNamedOnTheStatusLineAndNothingConnects) {
    TempFolder here;
    clv::test::CurrentFolder current(here.path());
    here.write("SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=192.168.1.20\nPort=fifty\n");
    startStandIn(scenario());
    startClient();
    const std::string problem = "SimConnect.cfg: Port=fifty is not a port number from 1 to 65535";
    ASSERT_TRUE(waitFor([&] { return statusLines().size() >= 2; })) << logText();
    EXPECT_EQ(statusLines(), (std::vector<std::string>{"Waiting for MSFS 2024 ...", problem}));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // more attempts: said once
    EXPECT_EQ(statusLines().size(), 2u);
    EXPECT_TRUE(logged("===> " + problem)) << logText();
    EXPECT_FALSE(simConnected);
    EXPECT_TRUE(standIn->log("SimConnect_Open").empty());
    // Mended, the next attempt connects, and says where.
    const std::string endpoint = "127.0.0.1:" + std::to_string(standIn->simPort());
    here.write("SimConnect.cfg",
               "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(standIn->simPort()) + "\n");
    waitUntilRunning();
    EXPECT_EQ(statusLines().at(2), "Waiting for MSFS 2024 at " + endpoint + " ...");
    const std::string file = (std::filesystem::current_path() / "SimConnect.cfg").string();
    EXPECT_TRUE(logged("SimConnect endpoint " + endpoint + " (" + file +
                       " [SimConnect]; $CLV_SIMCONNECT_PORT is not used with a SimConnect.cfg)"))
        << logText();
}

TEST_F(SimClientThread, ASimConnectCfgWrittenTheSdksWayWinsOverThePortVariableAndTheLogNamesIt) {
    TempFolder here;
    clv::test::CurrentFolder current(here.path());
    startStandIn(scenario());
    // The variable points where nothing listens: only the file's port can connect.
    port.emplace(kSimConnectPortVariable, std::to_string(clv::test::freeLoopbackPort()).c_str());
    const std::string simPort = std::to_string(standIn->simPort());
    here.write("SimConnect.cfg", "\xEF\xBB\xBF; the simulator on this PC\r\n[SimConnect.0]\r\nProtocol=Ipv4\r\n"
                                 "address = 127.0.0.1\r\nPORT = " +
                                     simPort + "\r\nMaxReceiveSize=41088\r\nDisableNagle=1\r\n\r\n"
                                               "[SimConnect.1]\r\nProtocol=Pipe\r\n");
    startClient();
    waitUntilRunning();
    EXPECT_EQ(statusLines().at(0), "Waiting for MSFS 2024 at 127.0.0.1:" + simPort + " ...");
    const std::string file = (std::filesystem::current_path() / "SimConnect.cfg").string();
    EXPECT_EQ(timesLogged("SimConnect endpoint 127.0.0.1:" + simPort + " (" + file +
                          " [SimConnect.0]; $CLV_SIMCONNECT_PORT is not used with a SimConnect.cfg)"),
              1)
        << logText();
    EXPECT_EQ(standIn->log("SimConnect_Open").size(), 1u);
}

TEST_F(SimClientThread, SimOnGroundRepliesDriveTheDataSteps) {
    startStandIn(scenario());
    startClient();
    waitUntilRunning();
    waitForUserData();
    ASSERT_TRUE(gf_requestSimOnGround());
    for (int step = 0; step < 3; ++step) {
        ASSERT_TRUE(waitFor([] {
            bool expected = true;
            return newDataStep.compare_exchange_strong(expected, false);
        }));
    }
    EXPECT_TRUE(userOnGroundKnown);
    EXPECT_TRUE(userOnGround);
    standIn->command({{"cmd", "set_user"}, {"on_ground", false}, {"agl_ft", 1500}});
    EXPECT_TRUE(waitFor([] { return !userOnGround; }));
    EXPECT_EQ(userObjectId, 1u);
}

TEST_F(SimClientThread, ATeleportEndsTheRunWithNewFlight) {
    startStandIn(scenario());
    startClient();
    waitUntilRunning();
    waitForUserData();
    EXPECT_FALSE(stopRequested);
    standIn->command({{"cmd", "teleport"}, {"lat", 50.5}, {"lon", 8.5706}});  // 28 nm north
    ASSERT_TRUE(waitFor([] {
        gf_requestUserAcData();
        return waitFor([] { return stopRequested.load(); }, std::chrono::milliseconds(100));
    }));
    EXPECT_EQ(exitReason, ExitReason::NewFlight);
    EXPECT_EQ(restartDelay, 45);
    EXPECT_TRUE(logged("Teleport"));
}

TEST_F(SimClientThread, ALoadedFlightEndsTheRunWithNewFlightInEitherForm) {
    struct Case {
        const char* as;
        const char* logLine;
    };
    for (const Case& c : {Case{"filename", "===> SimConnect: New file event"},
                          Case{"event", "Simconnect: flight loaded event"}}) {
        SCOPED_TRACE(c.as);
        gf_resetSimLink();
        gf_clearStopFlags();
        reservedStands = 0;
        startStandIn(scenario());
        startClient();
        waitUntilRunning();
        ASSERT_TRUE(standIn->command({{"cmd", "flight_loaded"}, {"as", c.as}})["ok"].get<bool>());
        ASSERT_TRUE(waitFor([] { return stopRequested.load(); }));
        EXPECT_EQ(exitReason, ExitReason::NewFlight);
        EXPECT_EQ(restartDelay, 45);
        EXPECT_TRUE(logged(c.logLine));
        EXPECT_EQ(reservedStands, 1);
        stopClient();
        standIn.reset();
    }
}

TEST_F(SimClientThread, AnotherSimulatorIsRefusedOnTheErrorLineAndTheLinkIsClosedForTheRun) {
    struct Case {
        std::string simulator;
        bool msfs2020;
        std::string error;
    };
    for (const Case& c :
         {Case{"Prepar3D", false, "77: \"Prepar3D\" not being MSFS 2020 or MSFS 2024 connects ... ? "},
          Case{"KittyHawk", false,
               "71: MSFS 2020 is running ..., switch Sim or toggle the Install path checkbox of Calvorinth"}}) {
        SCOPED_TRACE(c.simulator);
        gf_resetSimLink();
        gf_nullUiPort().clear();
        MSFS_2020.value = c.msfs2020;
        startStandIn(scenario(c.simulator));
        startClient();
        // The thread ends by itself.
        ASSERT_TRUE(waitFor([] { return simConnectFailed.load(); }));
        gf_waitForSimClientEnd();
        EXPECT_EQ(errorLines(), std::vector<std::string>{c.error});
        EXPECT_EQ(simConnectHandle.load(), SimConnectHandle{});
        EXPECT_FALSE(stopRequested);
        EXPECT_EQ(exitReason, ExitReason::NotYetSet);
        EXPECT_TRUE(waitFor([&] { return !standIn->log("SimConnect_Close").empty(); }));
        // Nothing more is sent in this run: the run thread's requests stay home.
        gf_requestUserAcData();
        EXPECT_EQ(standIn->log("SimConnect_RequestDataOnSimObject").size(), 0u);
        stopClient();
        standIn.reset();
    }
}

TEST_F(SimClientThread, TheSimulatorsShutdownEndsTheRunWithSimWasClosed) {
    startStandIn(scenario());
    startClient();
    waitUntilRunning();
    EXPECT_EQ(standIn->stop(), 0);
    ASSERT_TRUE(waitFor([] { return stopRequested.load(); }));
    EXPECT_FALSE(simRunning);
    EXPECT_EQ(exitReason, ExitReason::SimWasClosed);
    EXPECT_EQ(restartDelay, 0);
    bool noticed = false;
    for (const auto& line : clv::test::lines(logText())) {
        noticed = noticed || line.ends_with(" Flight Simulator no longer connected, Calvorinth will stop ...");
    }
    EXPECT_TRUE(noticed);
    gf_waitForSimClientEnd();
    EXPECT_TRUE(simConnectFailed);
    EXPECT_EQ(simConnectHandle.load(), SimConnectHandle{});
}

TEST_F(SimClientThread, CreatesBindsAndRemovesAiAircraftThroughTheQueues) {
    startStandIn(scenario());
    startClient();
    waitUntilRunning();
    waitForUserData();
    auto request = [](std::string title, std::string callsign, std::uint32_t hexid) {
        AcCreateRequest r;
        r.position = ScInitPosition{50.034, 8.571, 0.0, 0.0, 0.0, 250.0, 1, 0};
        r.title = std::move(title);
        r.callsign = std::move(callsign);
        r.hexid = hexid;
        return r;
    };
    gf_queueCreateAc(request(kInstalled, "DLH4AB", 20001));
    gf_queueCreateAc(request("Not Installed 747", "BAW1", 20002));
    gf_queueCreateAc(request(kInstalled, "STAT1*", 500));

    ASSERT_TRUE(tickUntil([&] {
        return event(SimEventKind::LiveObjectBound, 20001) && event(SimEventKind::StaticObjectBound, 500) &&
               event(SimEventKind::CreationFailed, 20002);
    }));
    const SimEvent live = *event(SimEventKind::LiveObjectBound, 20001);
    EXPECT_EQ(event(SimEventKind::CreationFailed, 20002)->objectId, 0u);
    ASSERT_TRUE(waitFor([&] {
        const json o = standIn->command({{"cmd", "object"}, {"id", live.objectId}})["object"];
        return o["freeze"]["attitude"].get<bool>();
    }));
    const json o = standIn->command({{"cmd", "object"}, {"id", live.objectId}})["object"];
    EXPECT_EQ(o["atc_id"], "DLH4AB");
    EXPECT_TRUE(o["released"].get<bool>());
    EXPECT_EQ(o["freeze"], json({{"lat_lon", true}, {"altitude", true}, {"attitude", true}}));

    // What the user sees with the dump command.
    const std::string dumpCommand = fmt::format("{} dump --control-port {}", CLV_SIMSTANDIN_PATH, standIn->controlPort());
    std::string dump;
    if (FILE* p = ::popen(dumpCommand.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) dump.append(buffer, n);
        EXPECT_EQ(::pclose(p), 0);
    }
    EXPECT_NE(dump.find("DLH4AB"), std::string::npos) << dump;
    EXPECT_NE(dump.find("2 AI objects"), std::string::npos) << dump;

    gf_queueRemoveAc(live.objectId);
    ASSERT_TRUE(waitFor([&] {
        auto removed = event(SimEventKind::ObjectRemoved);
        return removed && removed->objectId == live.objectId;
    }));
    EXPECT_EQ(standIn->command({{"cmd", "status"}})["ai_objects"], 1);
}

TEST_F(SimClientThread, AHandedOverFlightPlanIsReadByTheSimulator) {
    // The simulator of SimConnect.cfg's default address runs on this PC, whatever
    // was thought before the connection: it gets the file's own path, not the share.
    gf_setSimAddress("192.168.1.20");
    const std::string previousShare = SIM_PC_FLIGHT_PLAN_FOLDER.value.get();
    SIM_PC_FLIGHT_PLAN_FOLDER.value = "\\\\MYPC\\calvorinth\\orig_dest";
    startStandIn(scenario());
    startClient();
    waitUntilRunning();
    EXPECT_FALSE(gf_simOnOtherPc());
    const json added = standIn->command({{"cmd", "add_object"}, {"title", kInstalled}, {"atc_id", "DLH9"}});
    const auto id = added["id"].get<std::uint32_t>();
    TempFolder data;
    const Path previousDataFolder = g_programDataFolder;
    g_programDataFolder = data / "Calvorinth";
    ASSERT_TRUE(gf_createPlnFolder());
    const auto path = flightPlanFolder / gf_plnPath(id);
    ASSERT_TRUE(gf_writePln(path, 3, "EG<LL", "K&JFK"));
    {
        std::lock_guard lock(simQueueMutex);
        ASSERT_TRUE(gf_setFlightPlanLocked(id, path.string()));
        ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(simConnectHandle, id, (flightPlanFolder / "1.pln").c_str(),
                                                     REQUEST_FLIGHT_PLAN),
                  kScOk);
    }
    ASSERT_TRUE(waitFor([&] { return logged("===> Simconnect exception: load flight plan failed"); }));
    const json plan = standIn->command({{"cmd", "object"}, {"id", id}})["object"]["flight_plan"];
    EXPECT_EQ(plan["type"], "IFR");
    EXPECT_EQ(plan["departure"], "EG<LL");
    EXPECT_EQ(plan["destination"], "K&JFK");
    EXPECT_EQ(standIn->log("SimConnect_AISetAircraftFlightPlan")[0]["path"], path.string());
    EXPECT_TRUE(gf_removeFlightPlanFolder());
    g_programDataFolder = previousDataFolder;
    SIM_PC_FLIGHT_PLAN_FOLDER.value = previousShare;
}

namespace {

// The simulator's side played by the test with bytes of its choosing: one
// loopback listener whose first connection it accepts.
class RawSimPeer {
public:
    RawSimPeer() {
        const test::LoopbackListener listener = test::gf_listenOnLoopback(4, 0, SOCK_CLOEXEC);
        EXPECT_GE(listener.fd, 0);
        listen_ = listener.fd;
        port_ = listener.port;
    }
    ~RawSimPeer() {
        if (peer_ >= 0) ::close(peer_);
        ::close(listen_);
    }
    RawSimPeer(const RawSimPeer&) = delete;
    RawSimPeer& operator=(const RawSimPeer&) = delete;

    std::uint16_t port() const { return port_; }
    bool accept() {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1) return false;
        peer_ = ::accept(listen_, nullptr, nullptr);
        return peer_ >= 0;
    }
    void send(const std::string& bytes) {
        ASSERT_EQ(::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    void closeSending() { ::shutdown(peer_, SHUT_WR); }

private:
    int listen_ = -1;
    int peer_ = -1;
    std::uint16_t port_ = 0;
};

// A reply as a newer simulator might send it: `extra` bytes after the fields we know.
template <class R>
std::string longerReply(ScRecvId id, const R& record, std::size_t extra) {
    std::string out;
    EXPECT_TRUE(ScWriter(out).reply(kScProtocol2024, id, record));
    out.append(extra, '\x5a');
    const auto size = static_cast<std::uint32_t>(out.size());
    std::memcpy(out.data(), &size, sizeof size);
    return out;
}

}  // namespace

TEST_F(SimClientThread, RepliesLongerThanWeKnowConnectAndKeepTheLink) {
    RawSimPeer sim;
    port.emplace(kSimConnectPortVariable, std::to_string(sim.port()).c_str());
    startClient();
    ASSERT_TRUE(sim.accept());
    ScRecvOpen open;
    open.applicationName = "SunRise";
    ScRecvEvent running;
    running.eventId = EVENT_SIM;
    running.data = 1;
    sim.send(longerReply(ScRecvId::Open, open, 8) + longerReply(ScRecvId::Event, running, 4));
    waitUntilRunning();
    EXPECT_TRUE(logged("MSFS 2024 connected")) << logText();
    ScRecvException refused;
    refused.exception = kScExceptionUnrecognizedId;
    ScRecvEvent stopped;
    stopped.eventId = EVENT_SIM;
    stopped.data = 0;
    sim.send(longerReply(ScRecvId::Exception, refused, 8) + longerReply(ScRecvId::Event, stopped, 8));
    ASSERT_TRUE(waitFor([] { return !simRunning; }));
    EXPECT_FALSE(stopRequested);
    EXPECT_TRUE(simConnected);
    EXPECT_EQ(logText().find("not understood"), std::string::npos) << logText();
}

TEST_F(SimClientThread, AStreamThatCannotBeFramedEndsTheRunNamingWhatWasRefused) {
    std::string hugeSize(12, '\0');
    const std::uint32_t twoGb = 0x80000000u;
    std::memcpy(hugeSize.data(), &twoGb, sizeof twoGb);
    hugeSize[8] = 1;
    ScRecvOpen open;
    open.applicationName = "SunRise";
    const std::string whole = longerReply(ScRecvId::Open, open, 0);
    struct Case {
        const char* name;
        std::string bytes;
        bool closeAfter;
        std::string why;
    };
    const Case cases[] = {
        {"an HTTP answer", "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n", false,
         "the reply (receive id 808465440) at byte 0 of the stream has the size 1347703880, above the largest packet "
         "taken (1048576 bytes); its bytes read as text: \"HTTP/1.1 400 Bad Request\""},
        {"a 2 GB size field", hugeSize, false,
         "the Exception reply (receive id 1) at byte 0 of the stream has the size 2147483648, above the largest "
         "packet taken (1048576 bytes)"},
        {"a reply cut by the close", whole + whole.substr(0, 100), true,
         "the connection closed 100 bytes into the Open reply (receive id 2) of 308 bytes at byte 308 of the stream"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gf_resetSimLink();
        gf_clearStopFlags();
        gf_nullUiPort().clear();
        gf_closeLog();
        std::filesystem::remove(logDir / "Log.txt");
        gf_openLog(logDir.path());
        RawSimPeer sim;
        port.emplace(kSimConnectPortVariable, std::to_string(sim.port()).c_str());
        startClient();
        ASSERT_TRUE(sim.accept());
        sim.send(c.bytes);
        if (c.closeAfter) sim.closeSending();
        ASSERT_TRUE(waitFor([] { return stopRequested.load(); })) << logText();
        EXPECT_EQ(exitReason, ExitReason::SimDataNotUnderstood);
        EXPECT_EQ(restartDelay, 0);
        gf_waitForSimClientEnd();
        const std::string prefix = "===> SimConnect: the simulator's data was not understood, the link ends: ";
        int refusals = 0;
        for (const auto& line : clv::test::lines(logText())) {
            if (!line.starts_with(prefix)) continue;
            ++refusals;
            EXPECT_EQ(line.substr(prefix.size()), c.why + " (from 127.0.0.1:" + std::to_string(sim.port()) + ")");
        }
        EXPECT_EQ(refusals, 1) << logText();
        EXPECT_EQ(logText().find("no longer connected"), std::string::npos) << logText();
        EXPECT_EQ(statusLines().back(),
                  "The simulator link's data was not understood (see Log.txt), Calvorinth will stop ...");
        EXPECT_TRUE(simConnectFailed);
        EXPECT_FALSE(simRunning);
        EXPECT_EQ(simConnectHandle.load(), SimConnectHandle{});
        stopClient();
    }
}
