#include "shell/product_services.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "airports/addons/addon_airports.h"
#include "airports/addons/addon_scan.h"
#include "airports/parking/live_stands.h"
#include "airports/parking/park_airports.h"
#include "core/log.h"
#include "core/ui_port.h"
#include "link/realtraffic_link.h"
#include "link/realtraffic_state.h"
#include "link/sim_client.h"
#include "link/sim_flight_plan.h"
#include "link/sim_hooks.h"
#include "link/sim_queues.h"
#include "link/traffic_receiver.h"
#include "link/udp_readers.h"
#include "link/udp_receiver.h"
#include "link/user_aircraft.h"
#include "liveries/dbase.h"
#include "liveries/dbase_queries.h"
#include "liveries/livery_index.h"
#include "liveries/livery_scan.h"
#include "liveries/match_summary.h"
#include "shell/engine_wiring.h"
#include "shell/main_window.h"
#include "shell/parking_wiring.h"
#include "shell/self_update.h"
#include "shell/window_services.h"
#include "traffic/traffic_service.h"

// Each subsystem plugs its functions into its group here as it is completed;
// until then its hooks stay empty and a run stops, with the group's text on
// the error line, at the first step that needs it.

namespace {

// Where the readers listen when the feed does not come on RealTraffic's own
// ports (a second feed on this machine, or a test).
constexpr const char* kTrafficPortVariable = "CLV_TRAFFIC_PORT";
constexpr const char* kQnhPortVariable = "CLV_QNH_PORT";

constexpr const char* kNoAirportsText = "Airports and parking not available in this build";

// The port a variable names; its default when it is unset, with a log line when
// its value is no port.
std::uint16_t lf_portFromEnvironment(const char* variable, std::uint16_t fallback) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') return fallback;
    const std::string_view s(text);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc{} || end != s.data() + s.size() || value == 0 || value > 65535) {
        gf_logMarked("{}={} is no port, {} is used", variable, s, fallback);
        return fallback;
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

clv::SimLinkHooks gf_productSimLinkHooks() {
    clv::SimLinkHooks hooks;
    // Called on the SimConnect thread; the park-airport list and its file are
    // guarded by parkAirportsMutex.
    hooks.reserveUserStand = gf_reserveUserStand;
    hooks.halfWingspan = [](const std::string& type) { return gf_wingspan(type); };
    hooks.maxHalfWingspan = [] { return dbase.maxHalfWingspanNm; };
    hooks.type2Category = [](const std::string& type) { return static_cast<std::uint32_t>(gf_type2Category(type)); };
    hooks.standNameAtPosition = [](double latitude, double longitude) {
        return gf_standNameAtPosition(latitude, longitude);
    };
    return hooks;
}

namespace {

void lf_wireSimLink(clv::SimLinkServices& sim) {
    sim.simClient = SimClient;
    sim.reserveSimQueues = gf_reserveSimQueues;
    sim.simLinkUsable = [] { return simRunning.load() && !simConnectFailed.load(); };
    sim.requestSimOnGround = gf_requestSimOnGround;
    sim.simConnectRequestError = gf_simConnectRequestError;
    sim.requestUserAcData = []() -> std::optional<clv::LatLon> {
        const clv::UserAcData user = gf_requestUserAcData();
        if (!userAcDataReceived.load()) return std::nullopt;
        return clv::LatLon{user.latitude, user.longitude};
    };
    sim.requestUserAcTitleModel = gf_requestUserAcTitleModel;
    sim.consumeNewDataStep = [] {
        bool pending = true;
        return newDataStep.compare_exchange_strong(pending, false);
    };
    sim.newDataStepPending = [] { return newDataStep.load(); };
    sim.clearPositionBuffers = gf_clearPositionBuffers;
    sim.clearSimLinkMark = [] { simConnected = false; };
    sim.createPlnFolder = [] {
        if (!gf_createPlnFolder()) gf_logMarked("Flight plan folder {} could not be created", flightPlanFolder.string());
    };
    sim.removeFlightPlanFolder = [] { gf_removeFlightPlanFolder(); };
    sim.resetSimLink = gf_resetSimLink;
}

void lf_wireFeed(clv::FeedServices& feed) {
    feed.setupTcpServer = gf_setupTcpServer;
    feed.connectRealTraffic = gf_connectRealTraffic;
    feed.sendQs121 = [] { gf_sendQs121(gf_lastUserAcData()); };
    feed.sendQs123 = [] { gf_sendQs123(simulatorTime.load()); };
    feed.startQnhReader = gf_startQnhReader;
    feed.startTrafficReader = gf_startTrafficReader;
    feed.stopReaders = gf_stopReaders;
    feed.closeRealTrafficLink = gf_closeRealTrafficLink;
    feed.centreReaderRange = [] {
        const clv::UserAcData user = gf_lastUserAcData();
        trafficReceiver.setRangeCentre(clv::LatLon{user.latitude, user.longitude});
    };
    feed.startCallsignCollection = [] { trafficReceiver.startCollectingCallsigns(); };
    feed.updateFeedLamps = gf_updateFeedLamps;
    feed.feedLampSilent = [] { return trafficLamp.load() == kLampSilent || weatherLamp.load() == kLampSilent; };
    feed.resetTrafficFeed = [] {
        gf_resetTrafficFeed();
        userAcDataReceived = false;
    };
}

void lf_wireLiveries(clv::LiveryServices& liveries) {
    liveries.readDbase = [] { gf_readDbase(); };
    // The scan step builds the livery index itself, once, after a scan or from LiveriesScanned.xml.
    liveries.scanLiveries = [] { gf_scanLiveries(); };
    liveries.reserveLiveryLists = gf_reserveLiveryLists;
    liveries.livMatchingSummary = gf_livMatchingSummary;
    liveries.logNoMatchList = gf_logNoMatchList;
    liveries.clearNoMatchList = gf_clearNoMatchList;
}

// What a run has far from every airport: no airport data, no park airport, no
// stands, parking inactive. Every hook the main loop or closing down reaches is
// answered as it is with no park airport, so that no setting can end a run; the
// parking wiring then replaces what the airports part provides.
void lf_wireNoParkAirport(clv::AirportServices& airports) {
    airports.readAirports = [] {
        gf_log("{}, the run goes on without a park airport", kNoAirportsText);
        return false;
    };
    airports.scanAddonAirports = [] {
        gf_scanAddonAirports();
        // The options panel shows how many airports wait in TBLO to be mailed.
        gf_setAddonAirports(static_cast<std::uint64_t>(std::max(0, g_tbloCount.load())), g_tbloFolder.string());
    };
    airports.readMyParkAirports = [] { return true; };
    airports.findAirport = [](const std::string& code) -> std::optional<clv::LatLon> {
        gf_log("Airport {} not found: {}", code, kNoAirportsText);
        return std::nullopt;
    };
    airports.refreshParking = [](bool) {};
    airports.parkingBusy = [] { return false; };
    airports.parkingActive = [] { return false; };
    airports.parkAirportSet = [] { return false; };
    airports.parkStandsEmpty = [] { return true; };
    airports.rereadParkAirports = [](std::string& text) {
        text = kNoAirportsText;
        return true;
    };
    // No parking controls to lock and no static aircraft to adjust or take out.
    airports.lockParkingControls = [] {};
    airports.parkingAdjustments = [] {};
    airports.clearGroundTraffic = [] {};
    // The listing of the live aircraft with their object ids; none is parked.
    airports.logParkedList = [] { gf_logParkedList(); };
    // The simulator link keeps the stand under the user aircraft (none without stands).
    airports.userStandText = gf_userStandName;
}

}  // namespace

clv::RunServices gf_productRunServices() {
    gf_setSimLinkHooks(gf_productSimLinkHooks());
    gf_setReaderPorts(lf_portFromEnvironment(kTrafficPortVariable, clv::kTrafficPort),
                      lf_portFromEnvironment(kQnhPortVariable, clv::kQnhPort));

    clv::RunServices services;
    lf_wireSimLink(services.sim);
    lf_wireFeed(services.feed);
    lf_wireLiveries(services.liveries);
    lf_wireNoParkAirport(services.airports);
    services.window = gf_windowServices();
    services.update.checkNewVersion = gf_checkNewVersion;
    services.update.updateSimaddon = [] { gf_updateSimaddon(); };
    gf_wireEngine(services);
    gf_wireParking(services);
    return services;
}
