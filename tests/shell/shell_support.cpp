#include "shell_support.h"

#include <condition_variable>
#include <filesystem>
#include <stop_token>
#include <thread>

#include <pugixml.hpp>

#include "core/clock.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/run_state.h"
#include "core/stop_flags.h"
#include "link/realtraffic_state.h"
#include "link/traffic_update.h"
#include "shell/main_window.h"
#include "shell/run_controller.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace clv::test {

// ---- RecordingServices --------------------------------------------------------------

RecordingServices::RecordingServices() {
    auto rec = [this](const char* name) {
        return [this, name] { record(name); };
    };
    SimLinkServices& sim = services.sim;
    sim.simClient = [this](std::stop_token token) {
        record("simClient");
        std::mutex m;
        std::condition_variable_any cv;
        std::unique_lock lock(m);
        cv.wait(lock, token, [] { return false; });
    };
    sim.reserveSimQueues = rec("reserveSimQueues");
    sim.simLinkUsable = [this] { return simUsable(); };
    sim.requestSimOnGround = [this] {
        record("requestSimOnGround");
        return true;
    };
    sim.simConnectRequestError = rec("simConnectRequestError");
    sim.requestUserAcData = [this] {
        record("requestUserAcData");
        return userPosition;
    };
    sim.requestUserAcTitleModel = rec("requestUserAcTitleModel");
    sim.consumeNewDataStep = [this] { return dataStep(); };
    sim.newDataStepPending = [] { return false; };
    sim.clearPositionBuffers = rec("clearPositionBuffers");
    sim.clearSimLinkMark = rec("clearSimLinkMark");
    sim.createPlnFolder = rec("createPlnFolder");
    sim.removeFlightPlanFolder = rec("removeFlightPlanFolder");
    sim.resetSimLink = rec("resetSimLink");

    FeedServices& feed = services.feed;
    feed.setupTcpServer = [this](const std::string&) { record("setupTcpServer"); };
    feed.connectRealTraffic = rec("connectRealTraffic");
    feed.sendQs121 = rec("sendQs121");
    feed.sendQs123 = rec("sendQs123");
    feed.startQnhReader = rec("startQnhReader");
    feed.startTrafficReader = [this] {
        record("startTrafficReader");
        trafficDataTimestamp = 1.0;  // the first traffic has come
    };
    feed.stopReaders = rec("stopReaders");
    feed.closeRealTrafficLink = rec("closeRealTrafficLink");
    feed.centreReaderRange = rec("centreReaderRange");
    feed.startCallsignCollection = rec("startCallsignCollection");
    feed.updateFeedLamps = rec("updateFeedLamps");
    feed.feedLampSilent = [] { return false; };
    feed.resetTrafficFeed = rec("resetTrafficFeed");

    EngineServices& engine = services.engine;
    engine.startTraffic = rec("startTraffic");
    engine.stopTraffic = rec("stopTraffic");
    engine.trafficTick = rec("trafficTick");
    engine.handleSimEvents = rec("handleSimEvents");
    engine.recountLive = rec("recountLive");
    engine.coupledCheckFront = [this]() -> std::optional<std::uint32_t> {
        std::lock_guard lock(mutex_);
        if (coupledList.empty()) return std::nullopt;
        return coupledList.front();
    };
    engine.coupledCheckPop = [this] {
        std::lock_guard lock(mutex_);
        if (!coupledList.empty()) coupledList.pop_front();
    };
    engine.checkCoupledCallsigns = [this](std::uint32_t hexid, Slot) {
        std::lock_guard lock(mutex_);
        coupledChecked_.push_back(hexid);
        return std::find(liveHexids.begin(), liveHexids.end(), hexid) != liveHexids.end();
    };
    engine.removeStaticDuplicate = [this](std::uint32_t) { record("removeStaticDuplicate"); };
    engine.callsign2ObjectId = rec("callsign2ObjectId");
    engine.removeAllStatic = rec("removeAllStatic");
    engine.avoidUserCollisions = rec("avoidUserCollisions");
    engine.avoidStaticCollisions = rec("avoidStaticCollisions");
    engine.removeBlockedCallsign = [this](const std::string&) { record("removeBlockedCallsign"); };
    engine.removeStaticDuplicatesOfLive = rec("removeStaticDuplicatesOfLive");
    engine.removeAcAtStand = rec("removeAcAtStand");
    engine.clearRememberedTitles = rec("clearRememberedTitles");
    engine.clearBlockedCallsigns = rec("clearBlockedCallsigns");

    LiveryServices& liveries = services.liveries;
    liveries.readDbase = rec("readDbase");
    liveries.scanLiveries = rec("scanLiveries");
    liveries.reserveLiveryLists = rec("reserveLiveryLists");
    liveries.livMatchingSummary = rec("livMatchingSummary");
    liveries.logNoMatchList = rec("logNoMatchList");
    liveries.clearNoMatchList = rec("clearNoMatchList");

    AirportServices& airports = services.airports;
    airports.readAirports = [this] {
        record("readAirports");
        return true;
    };
    airports.scanAddonAirports = rec("scanAddonAirports");
    airports.readMyParkAirports = [this] {
        record("readMyParkAirports");
        return true;
    };
    airports.findAirport = [this](const std::string&) -> std::optional<LatLon> {
        record("findAirport");
        return LatLon{47.46, 8.55};
    };
    airports.refreshParking = [this](bool atStart) { record(atStart ? "refreshParking(true)" : "refreshParking(false)"); };
    airports.parkingBusy = [] { return false; };
    airports.parkingActive = [this] { return parkingActive; };
    airports.parkAirportSet = [this] { return parkAirportSet; };
    airports.parkStandsEmpty = [] { return false; };
    airports.rereadParkAirports = [this](std::string& text) {
        record("rereadParkAirports");
        text = "park airports and stands are okay";
        return true;
    };
    airports.lockParkingControls = rec("lockParkingControls");
    airports.parkingAdjustments = rec("parkingAdjustments");
    airports.logParkedList = rec("logParkedList");
    airports.clearGroundTraffic = rec("clearGroundTraffic");
    airports.userStandText = [] { return std::string(); };

    services.window.newDestination = [this](const std::string&, double, double) { record("newDestination"); };
    services.window.updateRangeLimits = rec("updateRangeLimits");
    services.window.resetDisplay = rec("resetDisplay");

    services.update.checkNewVersion = rec("checkNewVersion");
    services.update.updateSimaddon = rec("updateSimaddon");
}

void RecordingServices::record(const std::string& hook) {
    {
        std::lock_guard lock(mutex_);
        calls_[hook].push_back(dataStepCounter.load());
    }
    if (onCall) onCall(hook);
}

int RecordingServices::count(const std::string& hook) const {
    std::lock_guard lock(mutex_);
    auto found = calls_.find(hook);
    return found == calls_.end() ? 0 : static_cast<int>(found->second.size());
}

std::vector<std::int32_t> RecordingServices::steps(const std::string& hook) const {
    std::lock_guard lock(mutex_);
    auto found = calls_.find(hook);
    return found == calls_.end() ? std::vector<std::int32_t>{} : found->second;
}

std::vector<std::uint32_t> RecordingServices::coupledChecked() const {
    std::lock_guard lock(mutex_);
    return coupledChecked_;
}

// ---- FakeTiming -----------------------------------------------------------------------

RunTiming FakeTiming::timing() {
    return RunTiming{
        [this](std::chrono::milliseconds d) {
            {
                std::lock_guard lock(mutex_);
                sleeps_.push_back(d);
            }
            changed_.notify_all();
            if (onSleep) onSleep(d);
            std::this_thread::yield();
        },
        [](std::chrono::steady_clock::time_point) {},
    };
}

std::chrono::milliseconds FakeTiming::total() const {
    std::lock_guard lock(mutex_);
    std::chrono::milliseconds sum{0};
    for (auto d : sleeps_) sum += d;
    return sum;
}

int FakeTiming::count(std::chrono::milliseconds length) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(sleeps_.begin(), sleeps_.end(), length));
}

void FakeTiming::waitFor(std::chrono::milliseconds length, int n) {
    std::unique_lock lock(mutex_);
    const bool reached = changed_.wait_for(lock, 60s, [&] {
        return std::count(sleeps_.begin(), sleeps_.end(), length) >= n;
    });
    ASSERT_TRUE(reached) << "the run never made " << n << " sleeps of " << length.count() << " ms";
}

// ---- TestWindow -----------------------------------------------------------------------

ShellWindow TestWindow::hooks() {
    ShellWindow w;
    w.post = [this](std::function<void()> call) {
        {
            std::lock_guard lock(mutex_);
            if (auto* handler = call.target<void (*)()>()) handlers_.push_back(*handler);
            queue_.push_back(std::move(call));
        }
        posted_.notify_all();
    };
    w.repaint = [] {};
    w.position = []() -> std::optional<std::pair<int, int>> { return std::pair{120, 240}; };
    w.setOnTop = [this](bool onTop) {
        std::lock_guard lock(mutex_);
        onTop_ = onTop;
    };
    w.quit = [this](int code) {
        std::lock_guard lock(mutex_);
        quitCode_ = code;
    };
    return w;
}

int TestWindow::pumpUntilQuit() {
    for (;;) {
        std::function<void()> call;
        {
            std::unique_lock lock(mutex_);
            if (quitCode_) return *quitCode_;
            const bool any = posted_.wait_for(lock, 60s, [this] { return !queue_.empty(); });
            if (!any) {
                ADD_FAILURE() << "nothing was posted to the UI thread";
                return -1000;
            }
            call = std::move(queue_.front());
            queue_.pop_front();
        }
        if (call) call();
    }
}

void TestWindow::runPending() {
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(mutex_);
        calls.swap(queue_);
    }
    for (auto& call : calls) {
        if (call) call();
    }
}

std::vector<void (*)()> TestWindow::handlersPosted() const {
    std::lock_guard lock(mutex_);
    return handlers_;
}

std::optional<int> TestWindow::quitCode() const {
    std::lock_guard lock(mutex_);
    return quitCode_;
}

std::optional<bool> TestWindow::onTop() const {
    std::lock_guard lock(mutex_);
    return onTop_;
}

// ---- RecordingPort --------------------------------------------------------------------

void RecordingPort::setStatusLine(const std::string& text, bool log) {
    inner_.setStatusLine(text, log);
    if (text.empty() || mainWindow.status() != text) return;
    std::lock_guard lock(mutex_);
    shown_.push_back(text);
}

void RecordingPort::showError(const std::string& text) {
    inner_.showError(text);
    std::lock_guard lock(mutex_);
    errors_.push_back(text);
}

std::vector<std::string> RecordingPort::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

std::vector<std::string> RecordingPort::shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

// ---- ShellTest --------------------------------------------------------------------------

void ShellTest::SetUp() {
    for (const char* sub : {"home", "config", "data", "runtime", "work/docs", "sim"}) {
        fs::create_directories(folder / sub);
    }
    env.push_back(std::make_unique<ScopedEnv>("HOME", (folder / "home").c_str()));
    env.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", (folder / "config").c_str()));
    env.push_back(std::make_unique<ScopedEnv>("XDG_DATA_HOME", (folder / "data").c_str()));
    env.push_back(std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", (folder / "runtime").c_str()));
    current = std::make_unique<CurrentFolder>(folder / "work");
    gf_openLog(folder / "work");
    gf_initProgramFolders();
    fs::create_directories(g_programDataFolder);
    writeParameters({});

    gf_clearStopFlags();
    closeButtonPressed = false;
    restartPending = false;
    readerError = false;
    firstRunDone = false;
    rtProfessional = false;
    realTrafficConnected = false;
    realTrafficOnThisPc = false;
    awaitingRealTraffic = true;
    trafficDataTimestamp = 0.0;
    flightPaused = false;
    dataStepCounter = 0;
    renewalPhase = 0;
    for (auto* request : {&renewalRequested, &rereadRequested, &flushStaticRequested, &callsign2ObjectIdRequested,
                          &blockCallsignRequested, &clearNoMatchRequested}) {
        *request = false;
    }
    {
        std::lock_guard lock(runMutex);
        flightRunning = false;
    }
    gf_resetMainWindowState();

    port = std::make_unique<RecordingPort>(window.hooks());
    gf_setUiPort(port.get());
    gf_installShellWindow(window.hooks());
    install();
}

void ShellTest::TearDown() {
    gf_stopRunThreads();
    gf_installRunServices({}, gf_realTiming());
    gf_installShellWindow({});
    gf_setUiPort(nullptr);
    gf_closeLog();
    gf_clearStopFlags();
    closeButtonPressed = false;
    current.reset();
    env.clear();
}

void ShellTest::install() { gf_installRunServices(doubles.services, fakeTiming.timing()); }

void ShellTest::writeParameters(const std::map<std::string, std::string>& settings) {
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("parameters");
    std::map<std::string, std::string> all{
        {"MSFS_INSTALL_PATH", (folder / "sim").string()},
        {"MSFS_2024_INSTALL_PATH", (folder / "sim").string()},
        {"PROGRAM_VERSION", "10.10.9"},
    };
    for (const auto& [key, value] : settings) all[key] = value;
    for (const auto& [key, value] : all) {
        pugi::xml_node p = root.append_child("parameter");
        p.append_attribute("name") = key.c_str();
        p.append_attribute("value") = value.c_str();
    }
    ASSERT_TRUE(document.save_file(g_parametersXmlPath.c_str()));
}

std::string ShellTest::log() const { return readFile(folder / "work" / "Log.txt"); }

int ShellTest::logLines(const std::string& text) const {
    const std::string all = log();
    int n = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size())) ++n;
    return n;
}

std::string ShellTest::storedValue(const std::string& key) const {
    pugi::xml_document document;
    if (!document.load_file(g_parametersXmlPath.c_str())) return "<no file>";
    const std::string xpath = "/parameters/parameter[@name='" + key + "']";
    const pugi::xpath_node node = document.select_node(xpath.c_str());
    return node ? node.node().attribute("value").value() : "<missing>";
}

}  // namespace clv::test
