#include "shell/parking_wiring.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "airports/parking/airport_data.h"
#include "airports/parking/apf_locate.h"
#include "airports/parking/apf_reader.h"
#include "airports/parking/learned_files.h"
#include "airports/parking/park_airports.h"
#include "airports/parking/park_state.h"
#include "airports/parking/parking_adjustments.h"
#include "airports/parking/parking_port.h"
#include "airports/parking/static_parking.h"
#include "core/ui_port.h"
#include "link/traffic_receiver.h"
#include "shell/edit_handlers.h"
#include "shell/main_window.h"
#include "shell/status_lines.h"
#include "traffic/traffic_service.h"

namespace {

clv::AirportParkingPort g_parkingPort;

// The panel's figures: what the planner and the file reader set.
std::mutex g_panelMutex;
clv::ParkingFigures g_figures;
clv::ApfReadReport g_report;
std::int32_t g_learnedUpdates = 0;

void lf_showPanel() {
    clv::ParkingPanel panel;
    {
        std::lock_guard lock(g_panelMutex);
        const clv::ParkSite park = gf_parkAirport();
        panel.airportName = park.code.empty() ? std::string() : gf_parkingHooks().airportDisplayName(park);
        panel.text1 = g_figures.airportName;
        panel.text2 = g_report.publisher;
        panel.quality = g_report.qualityText;
        panel.handmade = g_report.handmade;
        panel.standCount = g_report.standCount;
        panel.ready = g_figures.fileRead;
        panel.staticPlanMark = g_figures.softParking;
        panel.reservedStand = g_figures.reservedStand;
        panel.reservedStandValid = g_figures.reservedStandShown;
        panel.maxPark = g_figures.maxPark;
        panel.maxParkPercentage = g_figures.maxParkPercentage;
        panel.fileUpdateCount = g_learnedUpdates;
        panel.weekNumber = rtTrafficWeek.load();
    }
    gf_setParkingPanel(panel);
}

clv::ParkingHooks lf_programHooks() {
    clv::ParkingHooks h;
    h.startCallsignCollection = [] { trafficReceiver.startCollectingCallsigns(); };
    h.takeLiveCallsigns = [] { return trafficReceiver.takeSeenCallsigns(); };
    h.showFigures = [](const clv::ParkingFigures& figures) {
        {
            std::lock_guard lock(g_panelMutex);
            g_figures = figures;
        }
        lf_showPanel();
    };
    h.showStaticAverageFit = [](float hours) { gf_setStaticAverageFit(hours); };
    h.showLiveAverageFit = [](float hours) { gf_setLiveAverageFit(hours); };
    h.showMinutesToNext = [](std::int32_t minutes) {
        mainWindow.minutesToNext = minutes;
        gf_uiPort().requestRepaint();
    };
    h.showParkingBusy = [](bool busy) { gf_setParkingBusy(busy ? 1 : 0); };
    h.showLearnedUpdates = [](std::int32_t updates) {
        {
            std::lock_guard lock(g_panelMutex);
            g_learnedUpdates = updates;
        }
        lf_showPanel();
    };
    h.clearStatusLine = [] { gf_clearStatusLine(); };
    return h;
}

}  // namespace

void gf_wireParking(clv::RunServices& services) {
    gf_setParkingPort(&g_parkingPort);
    gf_setParkingHooks(lf_programHooks());
    // The Re-read runs on the run thread, which owns the engine's containers.
    gf_setRemoveAcAtStand([](const std::string& standName) { gf_removeAcAtStand(gf_trafficEngine(), standName); });
    apfReadHooks.parkAirportCode = [] { return gf_parkAirport().code; };
    apfReadHooks.setParkAirportAltitude = [](std::int32_t feet) { trafficReceiver.setRefElevation(feet); };
    apfReadHooks.fileRead = [](const clv::ApfReadReport& report) {
        {
            std::lock_guard lock(g_panelMutex);
            g_report = report;
        }
        gf_setParkingActive(true);
        lf_showPanel();
    };

    apfReadHooks.downloadApf = [](const std::string& name) { return lf_downloadApf(name, g_parkAirportFile); };
    apfReadHooks.archivePath = [](const std::string& name, const std::string& publisher) {
        return gf_archivePath(name, publisher);
    };
    apfReadHooks.readLearned = [](const std::filesystem::path& path, clv::ApfInfo& summary) {
        lf_readLearned(path, summary);
    };
    apfReadHooks.loadLearned = [](const std::filesystem::path& path) { return lf_loadLearned(path); };
    apfReadHooks.mergeLearned = [](clv::LearnedLoad&& load, clv::ApfInfo& summary) {
        lf_mergeLearned(std::move(load), summary);
    };
    // The read's worker merges the learned file, so the run thread only takes the stands over.
    apfReadHooks.premergeLearned = [](clv::LearnedLoad& load, std::vector<clv::Stand>& stands) {
        lf_premergeLearned(load, stands);
    };
    // A learned file that turns the automatic range on has it worked out at once (run thread).
    learnedFileHooks.updateRangeLimits = [] { gf_updateRangeLimits(); };

    clv::AirportServices& a = services.airports;
    a.readAirports = [] { return gf_readAirports(); };
    a.readMyParkAirports = [] { return lf_readMyParkAirports(); };
    a.findAirport = [](const std::string& code) -> std::optional<clv::LatLon> {
        const auto airport = gf_findAirport(code);
        if (!airport) return std::nullopt;
        return clv::LatLon{airport->lat, airport->lon};
    };
    a.rereadParkAirports = [](std::string& message) { return gf_rereadParkAirports(true, message); };
    a.refreshParking = [](bool first) { gf_refreshParking(gf_trafficEngine(), first); };
    a.continueParkRead = [] { gf_continueParkRead(gf_trafficEngine()); };
    a.parkingBusy = [] { return parkingBusy.load(); };
    a.parkingActive = [] { return parkingActive.load(); };
    a.parkAirportSet = [] { return !gf_parkAirport().code.empty(); };
    a.parkStandsEmpty = [] { return standList.empty(); };
    a.lockParkingControls = [] { gf_lockParkingControls(); };
    a.parkingAdjustments = [] { gf_parkingAdjustments(gf_trafficEngine()); };
    a.logParkedList = [] { gf_logParkedList(gf_trafficEngine()); };
    a.clearGroundTraffic = [] {
        gf_clearGroundTraffic(gf_trafficEngine());
        gf_setParkingActive(false);
        lf_showPanel();
    };

    clv::EngineServices& e = services.engine;
    e.removeAllStatic = [] { gf_removeAllStatic(gf_trafficEngine()); };
    e.recountLive = [] {
        const clv::TrafficEngine& engine = gf_trafficEngine();
        const std::uint64_t live = gf_countLiveNotParked(engine);
        float mean = 0.0f;
        const auto parkedLive = static_cast<std::uint64_t>(gf_countParkedLive(engine, currentSlot.load(), &mean));
        const auto parkedStatic = static_cast<std::uint64_t>(gf_countStaticAc(engine, false));
        gf_setLiveCounts(live, parkedLive, parkedStatic);
        gf_setLiveAverageFit(mean);
    };
    // The data step gives a newly spawned live aircraft its coupled callsigns once.
    e.checkCoupledCallsigns = [](std::uint32_t hexid, clv::Slot now) {
        clv::LiveAc* ac = gf_findLiveByHexid(gf_trafficEngine(), hexid);
        if (ac == nullptr) return false;
        if (!ac->searchDone) {
            lf_searchForCoupledCsAroundThisTime(now, *ac);
            ac->searchDone = true;
        }
        return true;
    };
}
