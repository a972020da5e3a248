// The program as built, with its real simulator link, RealTraffic link, feed
// readers and livery data, against the stand-in simulator and the stand-in
// RealTraffic, each run as a process of its own on free ports.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <numbers>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "product_run_support.h"
#include "airports/parking/addon_reference.h"
#include "airports/parking/airport_data.h"
#include "airports/parking/apf_reader.h"
#include "airports/parking/learned_files.h"
#include "airports/parking/parking_hooks.h"
#include "shell/application.h"
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

// Every member of a hooks struct is a hook. The count of an aggregate's members:
// the most initialisers a brace initialisation takes.
struct AnyHook {
    template <class T>
    operator T() const;  // only named in unevaluated braces
};

template <class T, class... Given>
constexpr std::size_t lf_memberCount() {
    if constexpr (requires { T{Given{}..., AnyHook{}}; }) {
        return lf_memberCount<T, Given..., AnyHook>();
    } else {
        return sizeof...(Given);
    }
}

// One hook of a group and whether the product's wiring gave it.
struct HookWiring {
    std::string name;
    bool wired = false;
};

// The name is the member's own, so that one hook listed twice shows.
#define CLV_HOOK(group, member) HookWiring{#member, bool(group.member)}

// A group lists each of its struct's hooks once: a hook added to the struct and
// not here fails, as does one the product leaves empty.
template <class Hooks>
void lf_expectWired(const std::string& group, const std::vector<HookWiring>& hooks) {
    EXPECT_EQ(hooks.size(), lf_memberCount<Hooks>()) << group << ": a hook of the struct is not listed here";
    // The count itself is checked: each member is a function and nothing else.
    EXPECT_EQ(lf_memberCount<Hooks>() * sizeof(std::function<void()>), sizeof(Hooks)) << group;
    std::set<std::string> names;
    for (const HookWiring& hook : hooks) {
        EXPECT_TRUE(names.insert(hook.name).second) << group << "." << hook.name << " is listed twice";
        EXPECT_TRUE(hook.wired) << group << "." << hook.name << " is not wired";
    }
}

// A hook left empty stops a run with "... not available in this build" at the
// first step that needs it, and the hooks of the simulator link, the parking
// planner, the file reader and the window do nothing or answer "unknown" when
// left empty: the product leaves none empty, so no setting can lead a run to one
// and no figure stays unshown.
TEST(ProductServices, EveryHookIsWired) {
    // What other tests installed must not pass for the product's wiring.
    apfReadHooks = {};
    learnedFileHooks = {};
    gf_setParkingHooks({});
    const ParkingHooks defaults = gf_parkingHooks();

    const RunServices services = gf_productRunServices();
    const auto& sim = services.sim;
    lf_expectWired<SimLinkServices>(
        "sim", {CLV_HOOK(sim, simClient), CLV_HOOK(sim, reserveSimQueues), CLV_HOOK(sim, simLinkUsable),
                CLV_HOOK(sim, requestSimOnGround), CLV_HOOK(sim, simConnectRequestError),
                CLV_HOOK(sim, requestUserAcData), CLV_HOOK(sim, requestUserAcTitleModel),
                CLV_HOOK(sim, consumeNewDataStep), CLV_HOOK(sim, newDataStepPending),
                CLV_HOOK(sim, clearPositionBuffers), CLV_HOOK(sim, clearSimLinkMark), CLV_HOOK(sim, createPlnFolder),
                CLV_HOOK(sim, removeFlightPlanFolder), CLV_HOOK(sim, resetSimLink)});
    const auto& feed = services.feed;
    lf_expectWired<FeedServices>(
        "feed", {CLV_HOOK(feed, setupTcpServer), CLV_HOOK(feed, connectRealTraffic), CLV_HOOK(feed, sendQs121),
                 CLV_HOOK(feed, sendQs123), CLV_HOOK(feed, startQnhReader), CLV_HOOK(feed, startTrafficReader),
                 CLV_HOOK(feed, stopReaders), CLV_HOOK(feed, closeRealTrafficLink), CLV_HOOK(feed, centreReaderRange),
                 CLV_HOOK(feed, startCallsignCollection), CLV_HOOK(feed, updateFeedLamps),
                 CLV_HOOK(feed, feedLampSilent), CLV_HOOK(feed, resetTrafficFeed)});
    const auto& engine = services.engine;
    lf_expectWired<EngineServices>(
        "engine",
        {CLV_HOOK(engine, startTraffic), CLV_HOOK(engine, stopTraffic), CLV_HOOK(engine, trafficTick),
         CLV_HOOK(engine, handleSimEvents), CLV_HOOK(engine, recountLive), CLV_HOOK(engine, coupledCheckFront),
         CLV_HOOK(engine, coupledCheckPop), CLV_HOOK(engine, checkCoupledCallsigns),
         CLV_HOOK(engine, removeStaticDuplicate), CLV_HOOK(engine, callsign2ObjectId),
         CLV_HOOK(engine, removeAllStatic), CLV_HOOK(engine, avoidUserCollisions),
         CLV_HOOK(engine, avoidStaticCollisions), CLV_HOOK(engine, removeBlockedCallsign),
         CLV_HOOK(engine, removeStaticDuplicatesOfLive), CLV_HOOK(engine, removeAcAtStand),
         CLV_HOOK(engine, clearRememberedTitles), CLV_HOOK(engine, clearBlockedCallsigns)});
    const auto& liveries = services.liveries;
    lf_expectWired<LiveryServices>(
        "liveries", {CLV_HOOK(liveries, readDbase), CLV_HOOK(liveries, scanLiveries),
                     CLV_HOOK(liveries, reserveLiveryLists), CLV_HOOK(liveries, livMatchingSummary),
                     CLV_HOOK(liveries, logNoMatchList), CLV_HOOK(liveries, clearNoMatchList)});
    const auto& airports = services.airports;
    lf_expectWired<AirportServices>(
        "airports",
        {CLV_HOOK(airports, readAirports), CLV_HOOK(airports, scanAddonAirports),
         CLV_HOOK(airports, readMyParkAirports), CLV_HOOK(airports, findAirport), CLV_HOOK(airports, refreshParking),
         CLV_HOOK(airports, continueParkRead), CLV_HOOK(airports, parkingBusy), CLV_HOOK(airports, parkingActive),
         CLV_HOOK(airports, parkAirportSet), CLV_HOOK(airports, parkStandsEmpty),
         CLV_HOOK(airports, rereadParkAirports), CLV_HOOK(airports, lockParkingControls),
         CLV_HOOK(airports, parkingAdjustments), CLV_HOOK(airports, logParkedList),
         CLV_HOOK(airports, clearGroundTraffic), CLV_HOOK(airports, userStandText)});
    const auto& window = services.window;
    lf_expectWired<WindowServices>("window", {CLV_HOOK(window, newDestination), CLV_HOOK(window, updateRangeLimits),
                                              CLV_HOOK(window, resetDisplay)});
    const auto& update = services.update;
    lf_expectWired<UpdateServices>("update", {CLV_HOOK(update, checkNewVersion), CLV_HOOK(update, updateSimaddon)});
    EXPECT_EQ(lf_memberCount<RunServices>(), 7u) << "a group of the run services is not listed here";

    const WindowHooks w = gf_productWindowHooks();
    lf_expectWired<WindowHooks>(
        "window hook", {CLV_HOOK(w, findAirport), CLV_HOOK(w, setParkAirport), CLV_HOOK(w, firstParkAirport),
                        CLV_HOOK(w, enforceMaxLive), CLV_HOOK(w, parkedNavLights), CLV_HOOK(w, clearLiveryIndex),
                        CLV_HOOK(w, resetAddonScan), CLV_HOOK(w, userAircraft), CLV_HOOK(w, setOnTop)});

    const SimLinkHooks link = gf_productSimLinkHooks();
    lf_expectWired<SimLinkHooks>(
        "simulator link hook",
        {CLV_HOOK(link, reserveUserStand), CLV_HOOK(link, standNameAtPosition), CLV_HOOK(link, halfWingspan),
         CLV_HOOK(link, maxHalfWingspan), CLV_HOOK(link, type2Category)});

    // The parking planner fills each hook the product leaves empty with a default:
    // the program's own for the reference data, the park airports, the learned
    // file, the simulator link and the clocks, nothing at all for the window and
    // the feed's callsigns. Those the product must wire differ from the default
    // (each default is a lambda of its own type).
    const ParkingHooks p = gf_parkingHooks();
    const auto byProduct = [](const std::string& name, const auto& wired, const auto& fallback) {
        return HookWiring{name, bool(wired) && wired.target_type() != fallback.target_type()};
    };
#define CLV_PRODUCT_HOOK(member) byProduct(#member, p.member, defaults.member)
    lf_expectWired<ParkingHooks>(
        "parking hook",
        {CLV_HOOK(p, findAirport), CLV_HOOK(p, nearestAirport), CLV_HOOK(p, airportDisplayName),
         CLV_HOOK(p, apfExists), CLV_HOOK(p, apfPath), CLV_HOOK(p, firstParkAirport), CLV_HOOK(p, parkAirportListEmpty),
         CLV_HOOK(p, sortParkAirports), CLV_HOOK(p, putParkAirportFirst), CLV_HOOK(p, reserveStandOfFirst),
         CLV_HOOK(p, currentParkAirport), CLV_HOOK(p, setCurrentParkAirport),
         CLV_PRODUCT_HOOK(startCallsignCollection), CLV_PRODUCT_HOOK(takeLiveCallsigns), CLV_HOOK(p, learnedUpdates),
         CLV_HOOK(p, resetLearnedUpdates), CLV_HOOK(p, saveLearnedFile), CLV_HOOK(p, unsetReferenceElevation),
         CLV_HOOK(p, userAircraft), CLV_HOOK(p, userStandName), CLV_HOOK(p, halfWingspan),
         CLV_HOOK(p, matchStaticLivery), CLV_PRODUCT_HOOK(showFigures), CLV_PRODUCT_HOOK(showStaticAverageFit),
         CLV_PRODUCT_HOOK(showLiveAverageFit), CLV_PRODUCT_HOOK(showMinutesToNext),
         CLV_PRODUCT_HOOK(showParkingBusy), CLV_PRODUCT_HOOK(showLearnedUpdates), CLV_PRODUCT_HOOK(clearStatusLine),
         CLV_HOOK(p, clearAdjustmentLists), CLV_HOOK(p, savedMaxLive), CLV_HOOK(p, now), CLV_HOOK(p, systemTime100ns),
         CLV_HOOK(p, drawPercent)});
#undef CLV_PRODUCT_HOOK

    const ApfReadHooks& r = apfReadHooks;
    lf_expectWired<ApfReadHooks>(
        "file reader hook",
        {CLV_HOOK(r, parkAirportCode), CLV_HOOK(r, setParkAirportAltitude), CLV_HOOK(r, downloadApf),
         CLV_HOOK(r, archivePath), CLV_HOOK(r, readLearned), CLV_HOOK(r, loadLearned), CLV_HOOK(r, mergeLearned),
         CLV_HOOK(r, premergeLearned), CLV_HOOK(r, fileRead)});
    lf_expectWired<LearnedFileHooks>("learned file hook", {CLV_HOOK(learnedFileHooks, updateRangeLimits)});
    // What the shell asks of the window and of the clock.
    const ShellWindow shell = gf_desktopShellWindow();
    lf_expectWired<ShellWindow>("shell window", {CLV_HOOK(shell, post), CLV_HOOK(shell, repaint),
                                                 CLV_HOOK(shell, position), CLV_HOOK(shell, setOnTop),
                                                 CLV_HOOK(shell, quit)});
    const RunTiming timing = gf_realTiming();
    lf_expectWired<RunTiming>("run timing", {CLV_HOOK(timing, sleep), CLV_HOOK(timing, sleepUntil)});
    const AddonReference reference = gf_airportReference();
    lf_expectWired<AddonReference>("add-on scan reference", {CLV_HOOK(reference, airportName),
                                                             CLV_HOOK(reference, altitudeFt),
                                                             CLV_HOOK(reference, firstCode)});
}

#undef CLV_HOOK

}  // namespace
}  // namespace clv::test
