#include "shell/run_support.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <fmt/format.h>

#include "core/folders.h"
#include "core/log.h"
#include "core/parameter_store.h"
#include "core/run_state.h"
#include "core/sim_detect.h"
#include "core/stop_flags.h"
#include "core/user_error.h"
#include "core/version.h"
#include "link/realtraffic_state.h"
#include "shell/self_update.h"
#include "shell/status_lines.h"


#include "shell/run_controller.h"

namespace fs = std::filesystem;

namespace {

const clv::RunServices& S = g_runServices;

constexpr const char* kInstallerFile = "install_new_version.exe";
constexpr const char* kRealTrafficJar = "RealTraffic.jar";

void lf_versionUpdateStep() {
    const std::string running = g_programVersion.toString();
    if (PROGRAM_VERSION.value.empty()) {
        PROGRAM_VERSION.set(running);
        return;
    }
    const clv::Version stored(PROGRAM_VERSION.value.get());
    if (stored != g_programVersion) PROGRAM_VERSION.set(running);
    if (!(g_programVersion > stored)) return;
    gf_log("This is a version update from {} -> {}", stored.toString(), running);
    fs::remove(kInstallerFile);  // throws a filesystem error when it cannot
    gf_switchOnAndSave(SCAN_LIVERIES);
    gf_switchOnAndSave(SCAN_AIRPORTS);
}

void lf_loadParameters() {
    gf_readParametersXml();
    lf_versionUpdateStep();
    LATERAL_RANGE.value = gf_clampToLimits(LATERAL_RANGE.value.get(), LATERAL_RANGE);
    gf_refreshLateralRangeCopies();
}

void lf_checkAirportsFolder() {
    for (const Path* folder : gf_foldersCreatedAtStart()) {
        std::error_code ec;
        const fs::file_status status = fs::status(*folder, ec);
        if (ec && status.type() != fs::file_type::not_found) throw fs::filesystem_error("status", *folder, ec);
        if (fs::exists(status)) continue;
        // With its parents: a working folder that lacks "input" still gets input/my_regcodes.
        if (!fs::create_directories(*folder, ec) && ec) throw fs::filesystem_error("create_directory", *folder, ec);
    }
}

void lf_enableControls() {
    const ParameterControl* enabled[] = {
        &LOG,           &ALWAYS_ON_TOP,      &NAV_LIGHTS_WHILE_PARKED, &GUID_CHANGES,       &SCAN_LIVERIES,
        &LIG_AUTOMATIC, &LIG_PRIORITIZE,     &SCAN_AIRPORTS,           &LIGHT_AIRCRAFT,     &HELICOPTERS,
        &HIGH_PERF_AIRCRAFT, &AUTO_RANGE,    &COLLISION_USER_GND,      &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND,
        &STRAIGHT_PBS_ONLY,  &MSFS_2020,     &PARK_FAKE,               &PARK_SOFT,          &WEEK,
        &INITIAL_LOAD_ONLY,  &MATCHING_DEPTH, &BLOCK_CALLSIGN,         &CUSTOM_MAX_PARK,    &MAX_LIVE,
        &AIRPORT_RANGE,      &AIRPORT_HEIGHT,
    };
    for (const ParameterControl* c : enabled) gf_enableControl(*c, true);
    gf_enableControl(CALLSIGN_OBJECTIDS, MSFS_2020.value);
    gf_enableControl(LATERAL_RANGE, !AUTO_RANGE.value);
    gf_enableControl(AUTO_RANGE_ABOVE_HEIGHT, AUTO_RANGE.value);
    gf_enableControl(AI_PACKAGE_ORDER, LIG_AUTOMATIC.value);
    gf_enableControl(UNBLOCK_BUTTON, !BLOCK_CALLSIGN.value.empty());
    const ParameterControl* disabled[] = {
        &LEARN_SOFT, &CALLSIGN_2_OBJECTID, &DESTINATION, &parking_percentage, &MAX_FIT_FL, &REREAD_BUTTON,
        &FLUSH_STATIC_BUTTON,
    };
    for (const ParameterControl* c : disabled) gf_enableControl(*c, false);
    parking_percentage.value = 30;
    gf_setIntEdit(parking_percentage);
    MAX_FIT_FL.value = static_cast<float>(MAX_FIT.value) * 0.5f + 0.5f;
    gf_setFloatEdit(MAX_FIT_FL);
}

Parameter<std::string>& lf_selectedInstallPath() { return MSFS_2020.value ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH; }

}  // namespace

void gf_installChecks() {
    lf_loadParameters();
    gf_repaint();
    gf_checkCommunityPath(lf_selectedInstallPath());
    lf_checkAirportsFolder();
    maxLiveInUse = MAX_LIVE.value;
    if (!restartPending) {
        if (S.update.checkNewVersion) S.update.checkNewVersion();
        else gf_log("Program update check not available in this build");
    }
    if (!MSFS_2020.value) {
        if (S.update.updateSimaddon) {
            // The folder check above leaves an empty folder behind, so an empty
            // folder is a missing package too.
            if (gf_simaddonFolderMissing()) S.update.updateSimaddon();
            if (!restartPending) S.update.updateSimaddon();
        } else {
            gf_log("Data package update not available in this build");
        }
    }
    lf_enableControls();
    PROGRAM_INSTALL_PATH.set(fs::current_path().string());
    currentSlot.store(gf_dayAndHalfHour());
    if (!firstRunDone) {
        gf_need(S.liveries.readDbase, kLiveriesMissing)();
        firstRunDone = true;
    }
    Parameter<std::string>& installPath = lf_selectedInstallPath();
    ALL_INSTALL_PATH.value = installPath.value.get();
    gf_enableControl(ALL_INSTALL_PATH, true);
    gf_setStringEdit(ALL_INSTALL_PATH);
    if (ALL_INSTALL_PATH.value.empty()) {
        const fs::path found = gf_findPackagesPath();
        if (found.empty()) {
            throw clv::UserErrorException(
                150, "No install path detected, type full path to your Community folder above, and press Enter");
        }
        installPath.set(found.string());
        ALL_INSTALL_PATH.value = found.string();
        gf_setStringEdit(ALL_INSTALL_PATH);
    }
    gf_repaint();
    const fs::path appData = gf_appDataPath();
    std::error_code ec;
    realTrafficOnThisPc = !appData.empty() && fs::exists(appData / kInsideSystemsName / kRealTrafficJar, ec);
    gf_setStatusLine(fmt::format("RealTraffic {}detected at this PC", realTrafficOnThisPc ? "" : "not "), true);
    lateralRangeInUse = LATERAL_RANGE.value;
    gf_need(S.airports.readAirports, kAirportsMissing)();
}


void gf_checkCommunityPath(Parameter<std::string>& path) {
    constexpr std::string_view kTail = "Community";
    const std::string value = path.value.get();
    if (value.size() < 10 || !value.ends_with(kTail)) return;
    // Only a last folder named "Community" goes; a folder of that name
    // further up the path, or a name that merely ends so, stays.
    const char separator = value[value.size() - kTail.size() - 1];
    if (separator != '/' && separator != '\\') return;
    path.set(value.substr(0, value.size() - kTail.size() - 1));
}
