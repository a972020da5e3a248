#include "shell/commands.h"

#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "core/folders.h"
#include "core/log.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/run_state.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "link/realtraffic_state.h"
#include "shell/edit_handlers.h"
#include "shell/main_window.h"
#include "shell/run_controller.h"
#include "shell/status_lines.h"
#include "shell/window_services.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kSimulatorSwitchDelay = 3;
constexpr std::int32_t kRescanDelay = 2;

void lf_enable(const ParameterControl& control, bool enabled) { gf_uiPort().setEnabled(control.handle.load(), enabled); }

// The box takes the state opposite to the one it had, and the setting follows (saved).
bool lf_toggle(ControlParameter<bool>& p) {
    clv::UiPort& port = gf_uiPort();
    const clv::ControlHandle box = p.handle.load();
    const bool before = box != 0 ? port.isChecked(box) : p.value.get();
    port.setChecked(box, !before);
    p.value = !before;
    p.save();
    return !before;
}

void lf_status(const std::string& text, bool log = false) { gf_setStatusLine(text, log); }

// A warning while the setting is off, nothing while it is on.
void lf_warnWhenOff(ControlParameter<bool>& p, const char* warning) {
    if (lf_toggle(p)) {
        gf_clearStatusLine();
    } else {
        lf_status(warning);
    }
}

// A note while the setting is on, nothing while it is off.
void lf_noteWhenOn(ControlParameter<bool>& p, const std::string& note) {
    if (lf_toggle(p)) {
        lf_status(note);
    } else {
        gf_clearStatusLine();
    }
}

void lf_setParkingChangedWhileActive() {
    if (mainWindow.parkingActive) mainWindow.parkingChanged = true;
}

void lf_switchOnAndSave(ControlParameter<bool>& p) {
    p.value = true;
    p.save();
    gf_uiPort().setChecked(p.handle.load(), true);
}

void lf_clearLiveryIndex() {
    if (const auto& clear = gf_windowHooks().clearLiveryIndex) clear();
}

void lf_unblock() {
    if (BLOCK_CALLSIGN.value.empty()) {
        lf_status("Nothing to block or unblock...");
    } else {
        gf_unblockCallsign();
    }
}

void lf_reread() {
    rereadRequested = true;
    lf_enable(REREAD_BUTTON, false);
    lf_enable(DESTINATION, false);
}

void lf_flushStatic() {
    lf_status("All static parked aircraft will be removed ...");
    flushStaticRequested = true;
    lf_enable(FLUSH_STATIC_BUTTON, false);
}

void lf_navLights() {
    const bool on = lf_toggle(NAV_LIGHTS_WHILE_PARKED);
    // The parked aircraft belong to the run thread: it switches their lights.
    if (const auto& lights = gf_windowHooks().parkedNavLights) lights(on);
}

void lf_autoRange() {
    const bool on = lf_toggle(AUTO_RANGE);
    mainWindow.parkingChanged = true;
    lf_enable(LATERAL_RANGE, !on);
    lf_enable(AUTO_RANGE_ABOVE_HEIGHT, on);
    if (on) {
        lateralRangeInUse = LATERAL_RANGE.value.get();
        gf_updateRangeLimits();
    } else {
        gf_setLateralRangeNm(lateralRangeInUse.load());
        gf_setIntEdit(LATERAL_RANGE);
        gf_clearStatusLine();
    }
}

void lf_switchSimulator() {
    const bool msfs2020 = lf_toggle(MSFS_2020);
    if (fs::exists(g_liveriesScannedFile)) fs::remove(g_liveriesScannedFile);  // a failure throws
    // The run thread may still match with the index and scan airports: both are
    // emptied when it next reaches them, not here.
    lf_clearLiveryIndex();
    if (const auto& reset = gf_windowHooks().resetAddonScan) reset();
    lf_switchOnAndSave(SCAN_AIRPORTS);
    lf_switchOnAndSave(SCAN_LIVERIES);
    lf_status(fmt::format("Switching Simulator to {}", msfs2020 ? "MSFS 2020" : "MSFS 2024"), true);
    ALL_INSTALL_PATH.value = "";  // in memory only
    gf_setStringEdit(ALL_INSTALL_PATH);
    if (!msfs2020) RAVUDOVODO24_VERSION.set("");
    gf_requestStop(clv::ExitReason::NewSettings, kSimulatorSwitchDelay);
}

void lf_scanLiveries() {
    if (!lf_toggle(SCAN_LIVERIES)) {
        gf_clearStatusLine();
    } else if (awaitingRealTraffic) {
        lf_clearLiveryIndex();
        lf_status("Your liveries will be scanned", true);
        gf_requestStop(clv::ExitReason::NewSettings, kRescanDelay);
    } else {
        lf_status(fmt::format("Your liveries will be scanned at the next start of {}, recommended after you have "
                              "add/removed AI aircraft models/liveries",
                              clv::kProductName));
    }
}

void lf_scanAirports() {
    if (!lf_toggle(SCAN_AIRPORTS)) {
        gf_clearStatusLine();
    } else if (awaitingRealTraffic) {
        lf_status("Your airports will be scanned", true);
        gf_requestStop(clv::ExitReason::NewSettings, kRescanDelay);
    } else {
        lf_status(fmt::format(
            "Your airports will be scanned at the next start of {}, recommended after you have add/removed airports",
            clv::kProductName));
    }
}

void lf_ligAutomatic() {
    const bool on = lf_toggle(LIG_AUTOMATIC);
    if (on) {
        gf_clearStatusLine();
    } else {
        lf_status("The liveries defined by your lfolder parameters will be scanned");
    }
    lf_enable(AI_PACKAGE_ORDER, on);
}

void lf_initialLoadOnly() {
    lf_noteWhenOn(INITIAL_LOAD_ONLY,
                  "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes");
    lf_setParkingChangedWhileActive();
}

void lf_alwaysOnTop() {
    const bool on = lf_toggle(ALWAYS_ON_TOP);
    if (on) {
        lf_status(fmt::format("{}'s window will remain visible", clv::kProductName));
    } else {
        gf_clearStatusLine();
    }
    if (const auto& setOnTop = gf_windowHooks().setOnTop) setOnTop(on);
}

void lf_guidChanges() {
    gf_toggleCheckboxParameter(GUID_CHANGES.controlId, GUID_CHANGES);
    if (GUID_CHANGES.value) {
        gf_clearStatusLine();
    } else {
        lf_status("Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
    }
}

struct Command {
    const ParameterControl* control;
    void (*action)();
};

// In the order in which the ids are tested.
const Command kCommands[] = {
    {&UNBLOCK_BUTTON, lf_unblock},
    {&REREAD_BUTTON, lf_reread},
    {&FLUSH_STATIC_BUTTON, lf_flushStatic},
    {&NAV_LIGHTS_WHILE_PARKED, lf_navLights},
    {&AUTO_RANGE, lf_autoRange},
    {&MSFS_2020, lf_switchSimulator},
    {&CALLSIGN_OBJECTIDS, [] { lf_toggle(CALLSIGN_OBJECTIDS); }},
    {&SCAN_LIVERIES, lf_scanLiveries},
    {&SCAN_AIRPORTS, lf_scanAirports},
    {&LIG_AUTOMATIC, lf_ligAutomatic},
    {&LIG_PRIORITIZE,
     [] { lf_noteWhenOn(LIG_PRIORITIZE, "Liveries in lower lfolders that are already available will be skipped"); }},
    {&PARK_SOFT,
     [] {
         lf_toggle(PARK_SOFT);
         gf_requestParkingRenewal();
     }},
    {&PARK_FAKE,
     [] {
         lf_toggle(PARK_FAKE);
         gf_requestParkingRenewal();
     }},
    {&WEEK,
     [] {
         lf_toggle(WEEK);
         gf_requestParkingRenewal();
     }},
    {&INITIAL_LOAD_ONLY, lf_initialLoadOnly},
    {&COLLISION_LIVE_PARKED_GND,
     [] {
         lf_warnWhenOff(COLLISION_LIVE_PARKED_GND,
                        "Be aware, no collision avoidance with live aircraft vs parked static on the ground");
     }},
    {&COLLISION_USER_GND,
     [] { lf_warnWhenOff(COLLISION_USER_GND, "Be aware, no collision avoidance with user aircraft on the ground"); }},
    {&COLLISION_USER_AIR,
     [] { lf_warnWhenOff(COLLISION_USER_AIR, "Be aware, no collision avoidance with user aircraft in the air"); }},
    {&SUPPRESS_STUB, [] { lf_noteWhenOn(SUPPRESS_STUB, "Exclude FSLTL-liveries titles ending with _STUB from scan"); }},
    {&LOG, [] { lf_toggle(LOG); }},
    {&LIGHT_AIRCRAFT, [] { lf_toggle(LIGHT_AIRCRAFT); }},
    {&HELICOPTERS, [] { lf_toggle(HELICOPTERS); }},
    {&HIGH_PERF_AIRCRAFT, [] { lf_toggle(HIGH_PERF_AIRCRAFT); }},
    {&ALWAYS_ON_TOP, lf_alwaysOnTop},
    {&AEROWINX,
     [] {
         lf_noteWhenOn(AEROWINX,
                       fmt::format("Note: This mode is for Aerowinx PSX users only, please re-start {}",
                                   clv::kProductName));
     }},
    {&STRAIGHT_PBS_ONLY, [] { lf_toggle(STRAIGHT_PBS_ONLY); }},
    {&LEARN_SOFT,
     [] {
         lf_toggle(LEARN_SOFT);
         lf_setParkingChangedWhileActive();
     }},
    {&GUID_CHANGES, lf_guidChanges},
};

}  // namespace

bool gf_handleCommand(std::uint16_t controlId) {
    const Command* found = nullptr;
    for (const Command& command : kCommands) {
        if (command.control->controlId == controlId) {
            found = &command;
            break;
        }
    }
    if (found != nullptr) {
        try {
            found->action();
        } catch (const std::exception& e) {
            gf_logMarked("{} exception {}", "lf_HandleWMCOMMAND", e.what());
        }
    }
    // The options panel shows the new states.
    gf_uiPort().requestRepaint();
    return found == nullptr;
}
