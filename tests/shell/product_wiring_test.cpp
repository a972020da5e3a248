// The program as built, with its real simulator link, RealTraffic link, feed
// readers and livery data, against the stand-in simulator and the stand-in
// RealTraffic, each run as a process of its own on free ports.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

#include <cstdint>
#include <numbers>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "product_run_support.h"
#include "shell/product_services.h"
#include "shell/window_services.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;

// The positions of the lines in the text, in the order given; npos for one not found.
std::vector<std::size_t> lf_positions(const std::string& text, const std::vector<std::string>& lines) {
    std::vector<std::size_t> at;
    for (const auto& line : lines) at.push_back(text.find(line));
    return at;
}

// The first "Qs121=" line the stand-in RealTraffic received.
std::optional<std::string> lf_firstQs121(const std::string& received) {
    std::istringstream in(received);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("Qs121=")) return line;
    }
    return std::nullopt;
}

std::vector<double> lf_numbers(const std::string& fields) {
    std::vector<double> numbers;
    std::istringstream in(fields);
    for (std::string field; std::getline(in, field, ';');) numbers.push_back(std::stod(field));
    return numbers;
}

TEST_F(ProductRun, RunsTheTrafficEngineAgainstTheStandInsAndClosesEverythingOnRequest) {
    // The user aircraft stands at Zurich; its model is a type the reference data knows.
    constexpr double kUserLat = kZurichUserLat;
    constexpr double kUserLon = kZurichUserLon;
    ChildProcess sim;
    startSimStandIn(sim, {"--scenario", writeZurichScenario().string()});
    ASSERT_FALSE(HasFatalFailure());

    const std::uint16_t tcpPort = gf_freePort(SOCK_STREAM);
    const std::uint16_t trafficPort = gf_freePort(SOCK_DGRAM);
    const std::uint16_t qnhPort = gf_freePort(SOCK_DGRAM);
    ASSERT_TRUE(tcpPort != 0 && trafficPort != 0 && qnhPort != 0);
    folder.write("feed.txt", R"(
aircraft hexid=4921362 callsign=SWR100 type=A320 reg=HB-JLT from=LSGG to=LSZH category=A3
  0  47.4800 8.5000  3000 160 270 -700 air
  1  47.4790 8.5030  2990 160 270 -700 air
  2  47.4780 8.5060  2980 160 270 -700 air
)");
    ChildProcess feed;
    feed.start(gf_toolPath("feedstandin"),
               {"--script", (folder / "feed.txt").string(), "--loop", "--traffic-port", std::to_string(trafficPort),
                "--qnh", "1009", "--qnh-every", "1", "--qnh-port", std::to_string(qnhPort), "--tcp",
                std::to_string(tcpPort), "--once"},
               folder.path(), {}, folder / "logs" / "feedstandin.txt");

    // The demo's add-on airport package, for the add-on airport scan of the run.
    const fs::path demoAirport = fs::path(__FILE__).parent_path().parent_path().parent_path() / "demo" /
                                 "Community" / "demo-airport-lsmd";
    fs::copy(demoAirport, folder / "sim" / "Community" / "demo-airport-lsmd", fs::copy_options::recursive);
    writeParameters({{"MSFS_2020", "true"},
                     {"MSFS_INSTALL_PATH", (folder / "sim").string()},
                     {"PORT_NUMBER", std::to_string(tcpPort)},
                     {"SCAN_LIVERIES", "true"},
                     {"LIG_AUTOMATIC", "true"},
                     {"SCAN_AIRPORTS", "true"}});
    ChildProcess program;
    startProgram(program, trafficPort, qnhPort);

    // The engine's tick runs once the flight runs: every 20th tick it asks the
    // simulator for the aircraft within the range, which the stand-in logs.
    const auto engineAsked = [&] {
        const nlohmann::json calls = simCommand(R"({"cmd":"log","call":"SimConnect_RequestDataOnSimObjectType"})");
        return calls.dump().find("SimConnect_RequestDataOnSimObjectType") != std::string::npos;
    };
    ASSERT_TRUE(gf_waitUntil(
        [&] { return engineAsked() || !program.running() || !feed.running() || !sim.running(); }, kStepLimit))
        << log() << "\n---- feedstandin:\n" << feed.output() << "\n---- simstandin:\n" << sim.output();
    ASSERT_TRUE(engineAsked()) << log() << program.output() << "\n---- feedstandin:\n" << feed.output();
    EXPECT_TRUE(fs::is_directory(folder / "config" / "Calvorinth" / "orig_dest"));
    EXPECT_TRUE(fs::exists(work / "output" / "LiveriesScanned.xml"));
    EXPECT_TRUE(fs::exists(work / "airports" / "my_thirdparty" / "LSMD.xml"));
    EXPECT_NE(gf_readIfThere(work / "output" / "info" / "AirportsScanLog.txt").find("Generated LSMD.xml: 12 positions"),
              std::string::npos);

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(kExitLimit), std::optional<int>(0)) << program.output();

    const std::string text = log();
    // Each step once, in the order of a run.
    const std::vector<std::string> steps{
        "RealTraffic detected at this PC",
        "liveries scan automatic starts",
        "liveries scan ends",
        "Airports scan successful",
        "airports scan ends",
        "MSFS 2020 (11.0.282174.999) connected",
        "RealTraffic connected",
        "QNH Reader connected",
        "Traffic Reader connected",
        // The close button stores no reason.
        "Exiting: NOT YET SET",
        "SimConnect closed ok",
    };
    const auto at = lf_positions(text, steps);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        ASSERT_NE(at[i], std::string::npos) << "missing: " << steps[i] << "\n" << text;
        if (i > 0) {
            EXPECT_LT(at[i - 1], at[i]) << steps[i - 1] << " / " << steps[i];
        }
    }
    // The simulator link took the type's half wing span and category from the reference data.
    // The SimConnect thread writes this line, so it follows the connection but has no
    // fixed place among the run thread's lines.
    const auto model = text.find("SimConnect: User aircraft model: A320, half wing span: 17.9 meter, category: Large");
    ASSERT_NE(model, std::string::npos) << text;
    EXPECT_LT(at[4], model) << "the model line comes after the connection";
    EXPECT_EQ(text.find("No traffic in this region?"), std::string::npos) << "the traffic reader received nothing";
    EXPECT_EQ(text.find("not available in this build", at.back()), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "config" / "Calvorinth" / "orig_dest"));

    // The stand-in RealTraffic: asked for its version, told where the user aircraft is, told to exit.
    const std::string received = feed.output();
    const auto versionAt = received.find("\nQs999=version\n");
    const auto exitAt = received.find("\nexit\n");
    ASSERT_NE(versionAt, std::string::npos) << received;
    const auto qs121 = lf_firstQs121(received);
    ASSERT_TRUE(qs121.has_value()) << received;
    EXPECT_LT(versionAt, received.find(*qs121));
    EXPECT_LT(received.find(*qs121), exitAt);
    // pitch, bank, heading, altitude, speed, latitude and longitude in radians (6 decimals).
    const std::vector<double> fields = lf_numbers(qs121->substr(6));
    ASSERT_EQ(fields.size(), 7u) << *qs121;
    EXPECT_NEAR(fields[5], kUserLat * std::numbers::pi / 180.0, 1e-6);
    EXPECT_NEAR(fields[6], kUserLon * std::numbers::pi / 180.0, 1e-6);
    EXPECT_NEAR(fields[2], 280.0 * std::numbers::pi / 180.0, 1e-6);

    // The stand-in simulator saw the program's connection end.
    const nlohmann::json status = simCommand(R"({"cmd":"status"})");
    ASSERT_TRUE(status.is_object()) << status;
    EXPECT_EQ(status.value("clients", -1), 0) << status;
    const nlohmann::json closes = simCommand(R"({"cmd":"log","call":"SimConnect_Close"})");
    EXPECT_NE(closes.dump().find("SimConnect_Close"), std::string::npos) << closes;

    for (ChildProcess* standIn : {&feed, &sim}) {
        standIn->signal(SIGTERM);
        EXPECT_EQ(standIn->waitForExit(kExitLimit), std::optional<int>(0));
    }
}

// The X server ends under a running program (a virtual display closed with its
// terminal, a session that crashed): the program closes as after the close
// button, in order, and leaves nothing behind. Ctrl-C in xvfb-run's terminal
// ends both at once: the interrupt and the lost display race.
class LostDisplay : public ProductRun {
protected:
    void closesInOrder(bool interrupted);
};

TEST_F(LostDisplay, EndsTheProgramLikeAClose) { closesInOrder(false); }

TEST_F(LostDisplay, TogetherWithAnInterruptEndsTheProgramLikeAClose) { closesInOrder(true); }

void LostDisplay::closesInOrder(bool interrupted) {
    if (!displayServer || !displayServer->running()) GTEST_SKIP() << "needs a display of the test's own (Xvfb)";
    ChildProcess sim;
    startSimStandIn(sim, {"--scenario", writeZurichScenario().string()});
    ASSERT_FALSE(HasFatalFailure());
    const std::uint16_t tcpPort = gf_freePort(SOCK_STREAM);
    const std::uint16_t trafficPort = gf_freePort(SOCK_DGRAM);
    const std::uint16_t qnhPort = gf_freePort(SOCK_DGRAM);
    ASSERT_TRUE(tcpPort != 0 && trafficPort != 0 && qnhPort != 0);
    writeParameters({{"MSFS_2020", "true"},
                     {"MSFS_INSTALL_PATH", (folder / "sim").string()},
                     {"PORT_NUMBER", std::to_string(tcpPort)}});
    ChildProcess program;
    startProgram(program, trafficPort, qnhPort);

    // The run is connected to the simulator and has made its flight-plan folder;
    // it waits for RealTraffic.
    const fs::path planFolder = folder / "config" / "Calvorinth" / "orig_dest";
    ASSERT_TRUE(gf_waitUntil([&] { return (fs::is_directory(planFolder) && logHas("connected")) || !program.running(); },
                             kStepLimit))
        << log() << program.output();
    ASSERT_TRUE(program.running()) << log() << program.output();

    if (interrupted) program.signal(SIGINT);
    displayServer->kill();
    EXPECT_EQ(program.waitForExit(kExitLimit), std::optional<int>(0)) << log() << program.output();

    const std::string text = log();
    const auto exiting = text.find("Exiting: NOT YET SET");
    ASSERT_NE(exiting, std::string::npos) << text;
    if (!interrupted) {
        const auto lost = text.find("The display was lost; Calvorinth closes");
        ASSERT_NE(lost, std::string::npos) << text;
        EXPECT_LT(lost, exiting);
    }
    EXPECT_NE(text.find("SimConnect closed ok", exiting), std::string::npos) << text;
    // The log ends with its closing line, the date and time of the end.
    ASSERT_FALSE(text.empty());
    const auto lastLineStart = text.rfind('\n', text.size() - 2);
    const std::string lastLine = text.substr(lastLineStart + 1);
    EXPECT_TRUE(std::regex_match(lastLine, std::regex(R"([A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4}\n)")))
        << lastLine;
    EXPECT_FALSE(fs::exists(planFolder));
    EXPECT_EQ(program.output().find("X I/O error"), std::string::npos) << program.output();

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.waitForExit(kExitLimit), std::optional<int>(0));
}

// A hook left empty stops a run with "... not available in this build" at the
// first step that needs it; the product leaves none empty, so no setting can
// lead a run to one.
TEST(ProductServices, EveryHookIsWired) {
    const RunServices services = gf_productRunServices();
    const auto& sim = services.sim;
    const auto& feed = services.feed;
    const auto& engine = services.engine;
    const auto& liveries = services.liveries;
    const auto& airports = services.airports;
    const auto& window = services.window;
    const auto& update = services.update;
    const std::vector<std::pair<const char*, bool>> hooks{
        {"sim.simClient", bool(sim.simClient)},
        {"sim.reserveSimQueues", bool(sim.reserveSimQueues)},
        {"sim.simLinkUsable", bool(sim.simLinkUsable)},
        {"sim.requestSimOnGround", bool(sim.requestSimOnGround)},
        {"sim.simConnectRequestError", bool(sim.simConnectRequestError)},
        {"sim.requestUserAcData", bool(sim.requestUserAcData)},
        {"sim.requestUserAcTitleModel", bool(sim.requestUserAcTitleModel)},
        {"sim.consumeNewDataStep", bool(sim.consumeNewDataStep)},
        {"sim.newDataStepPending", bool(sim.newDataStepPending)},
        {"sim.clearPositionBuffers", bool(sim.clearPositionBuffers)},
        {"sim.clearSimLinkMark", bool(sim.clearSimLinkMark)},
        {"sim.createPlnFolder", bool(sim.createPlnFolder)},
        {"sim.removeFlightPlanFolder", bool(sim.removeFlightPlanFolder)},
        {"sim.resetSimLink", bool(sim.resetSimLink)},
        {"feed.setupTcpServer", bool(feed.setupTcpServer)},
        {"feed.connectRealTraffic", bool(feed.connectRealTraffic)},
        {"feed.sendQs121", bool(feed.sendQs121)},
        {"feed.sendQs123", bool(feed.sendQs123)},
        {"feed.startQnhReader", bool(feed.startQnhReader)},
        {"feed.startTrafficReader", bool(feed.startTrafficReader)},
        {"feed.stopReaders", bool(feed.stopReaders)},
        {"feed.closeRealTrafficLink", bool(feed.closeRealTrafficLink)},
        {"feed.centreReaderRange", bool(feed.centreReaderRange)},
        {"feed.startCallsignCollection", bool(feed.startCallsignCollection)},
        {"feed.updateFeedLamps", bool(feed.updateFeedLamps)},
        {"feed.feedLampSilent", bool(feed.feedLampSilent)},
        {"feed.resetTrafficFeed", bool(feed.resetTrafficFeed)},
        {"engine.startTraffic", bool(engine.startTraffic)},
        {"engine.stopTraffic", bool(engine.stopTraffic)},
        {"engine.trafficTick", bool(engine.trafficTick)},
        {"engine.handleSimEvents", bool(engine.handleSimEvents)},
        {"engine.recountLive", bool(engine.recountLive)},
        {"engine.coupledCheckFront", bool(engine.coupledCheckFront)},
        {"engine.coupledCheckPop", bool(engine.coupledCheckPop)},
        {"engine.checkCoupledCallsigns", bool(engine.checkCoupledCallsigns)},
        {"engine.callsign2ObjectId", bool(engine.callsign2ObjectId)},
        {"engine.removeAllStatic", bool(engine.removeAllStatic)},
        {"engine.avoidUserCollisions", bool(engine.avoidUserCollisions)},
        {"engine.avoidStaticCollisions", bool(engine.avoidStaticCollisions)},
        {"engine.removeBlockedCallsign", bool(engine.removeBlockedCallsign)},
        {"engine.removeStaticDuplicatesOfLive", bool(engine.removeStaticDuplicatesOfLive)},
        {"engine.removeAcAtStand", bool(engine.removeAcAtStand)},
        {"engine.clearRememberedTitles", bool(engine.clearRememberedTitles)},
        {"engine.clearBlockedCallsigns", bool(engine.clearBlockedCallsigns)},
        {"liveries.readDbase", bool(liveries.readDbase)},
        {"liveries.scanLiveries", bool(liveries.scanLiveries)},
        {"liveries.reserveLiveryLists", bool(liveries.reserveLiveryLists)},
        {"liveries.livMatchingSummary", bool(liveries.livMatchingSummary)},
        {"liveries.logNoMatchList", bool(liveries.logNoMatchList)},
        {"liveries.clearNoMatchList", bool(liveries.clearNoMatchList)},
        {"airports.readAirports", bool(airports.readAirports)},
        {"airports.scanAddonAirports", bool(airports.scanAddonAirports)},
        {"airports.readMyParkAirports", bool(airports.readMyParkAirports)},
        {"airports.findAirport", bool(airports.findAirport)},
        {"airports.refreshParking", bool(airports.refreshParking)},
        {"airports.continueParkRead", bool(airports.continueParkRead)},
        {"airports.parkingBusy", bool(airports.parkingBusy)},
        {"airports.parkingActive", bool(airports.parkingActive)},
        {"airports.parkAirportSet", bool(airports.parkAirportSet)},
        {"airports.parkStandsEmpty", bool(airports.parkStandsEmpty)},
        {"airports.rereadParkAirports", bool(airports.rereadParkAirports)},
        {"airports.lockParkingControls", bool(airports.lockParkingControls)},
        {"airports.parkingAdjustments", bool(airports.parkingAdjustments)},
        {"airports.logParkedList", bool(airports.logParkedList)},
        {"airports.clearGroundTraffic", bool(airports.clearGroundTraffic)},
        {"airports.userStandText", bool(airports.userStandText)},
        {"window.newDestination", bool(window.newDestination)},
        {"window.updateRangeLimits", bool(window.updateRangeLimits)},
        {"window.resetDisplay", bool(window.resetDisplay)},
        {"update.checkNewVersion", bool(update.checkNewVersion)},
        {"update.updateSimaddon", bool(update.updateSimaddon)},
    };
    for (const auto& [name, wired] : hooks) EXPECT_TRUE(wired) << name;

    const WindowHooks w = gf_productWindowHooks();
    const std::vector<std::pair<const char*, bool>> windowHooks{
        {"findAirport", bool(w.findAirport)},
        {"setParkAirport", bool(w.setParkAirport)},
        {"firstParkAirport", bool(w.firstParkAirport)},
        {"enforceMaxLive", bool(w.enforceMaxLive)},
        {"parkedNavLights", bool(w.parkedNavLights)},
        {"clearLiveryIndex", bool(w.clearLiveryIndex)},
        {"resetAddonScan", bool(w.resetAddonScan)},
        {"userAircraft", bool(w.userAircraft)},
        {"setOnTop", bool(w.setOnTop)},
    };
    for (const auto& [name, wired] : windowHooks) EXPECT_TRUE(wired) << "window hook " << name;

    // The simulator link fills an empty hook with a no-op: an unwired hook passes silently.
    const SimLinkHooks link = gf_productSimLinkHooks();
    const std::vector<std::pair<const char*, bool>> linkHooks{
        {"reserveUserStand", bool(link.reserveUserStand)},
        {"standNameAtPosition", bool(link.standNameAtPosition)},
        {"halfWingspan", bool(link.halfWingspan)},
        {"maxHalfWingspan", bool(link.maxHalfWingspan)},
        {"type2Category", bool(link.type2Category)},
    };
    for (const auto& [name, wired] : linkHooks) EXPECT_TRUE(wired) << "simulator link hook " << name;
}

}  // namespace
}  // namespace clv::test
