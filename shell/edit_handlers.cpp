#include "shell/edit_handlers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <variant>

#include <fmt/format.h>

#include "core/log.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/run_state.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "shell/main_window.h"
#include "shell/run_controller.h"
#include "shell/status_lines.h"

namespace fs = std::filesystem;

namespace {

constexpr double kNoParkAirportNm = 10000.0;
constexpr std::int32_t kStepsPerRenewalCheck = 15;
constexpr std::int32_t kNewSimPathDelay = 3;
constexpr std::string_view kCommunity = "Community";




// ---- int and float edits ----------------------------------------------------------

void lf_intEditEnter(ControlParameter<int>& p, const std::string& text) {
    const std::int32_t before = p.value;
    if (!gf_processTbInt(p, text)) return;
    if (&p == &CUSTOM_MAX_PARK || &p == &parking_percentage) {
        gf_requestParkingRenewal();
    } else if (&p == &LATERAL_RANGE) {
        mainWindow.parkingChanged = true;
        gf_refreshLateralRangeCopies();
    } else if (&p == &MAX_LIVE) {
        if (mainWindow.parkingActive) {
            mainWindow.parkingChanged = true;
        } else {
            maxLiveInUse = MAX_LIVE.value.get();
        }
        // The live aircraft belong to the run thread: it removes those above the maximum.
        if (const auto& enforce = gf_windowHooks().enforceMaxLive) enforce();
    } else if (&p == &MATCHING_DEPTH) {
        if (p.value > before) clearNoMatchRequested = true;
    }
}

void lf_floatEditEnter(const std::string& text) {
    if (!mainWindow.parkingActive) return;
    if (gf_processTbFloat(text)) gf_requestParkingRenewal();
}

// ---- text edits -------------------------------------------------------------------

void lf_blockCallsign(const std::string& text) {
    if (text.empty()) {
        gf_unblockCallsign();
        return;
    }
    if (text.size() < 4 || text.size() > 8) {
        gf_setStatusLine(fmt::format("callsign \"{}\" is not valid", text), true);
        return;
    }
    const std::string callsign = gf_upperText(text);
    if (BLOCK_CALLSIGN.value == callsign) {
        gf_setStatusLine(fmt::format("callsign \"{}\" was already set ...", callsign), true);
        gf_setStringEdit(BLOCK_CALLSIGN);
        return;
    }
    BLOCK_CALLSIGN.set(callsign);
    gf_setStringEdit(BLOCK_CALLSIGN);
    gf_enableControl(UNBLOCK_BUTTON, true);
    gf_setStatusLine(fmt::format("live aircraft with callsign \"{}\" will be blocked", callsign), true);
    blockCallsignRequested = true;
}

void lf_processDestination(const std::string& text) {
    if (text.empty()) {
        DESTINATION.value = "";  // in memory only
        gf_enableControl(REREAD_BUTTON, true);
        gf_setStatusLine("destination set to empty", true);
        return;
    }
    if (text.size() != 4) {
        gf_setStatusLine(fmt::format("destination \"{}\" is not valid", text), true);
        gf_setStringEdit(DESTINATION);
        return;
    }
    const std::string code = gf_upperText(text);
    if (DESTINATION.value == code) {
        gf_setStatusLine(fmt::format("destination \"{}\" was already set ...", code), true);
        gf_setStringEdit(DESTINATION);
        return;
    }
    const auto& find = gf_windowHooks().findAirport;
    const std::optional<clv::LatLon> airport = find ? find(code) : std::nullopt;
    if (!airport) {
        gf_setStatusLine(fmt::format("destination \"{}\" is unknown ...", code), true);
        gf_setStringEdit(DESTINATION);
        return;
    }
    gf_newDestination(code, airport->lat, airport->lon);
}

void lf_callsign2ObjectId(const std::string& text) {
    if (text.empty()) {
        if (CALLSIGN_2_OBJECTID.value.empty()) return;
        CALLSIGN_2_OBJECTID.value = "";
        gf_setStringEdit(CALLSIGN_2_OBJECTID);
        return;
    }
    CALLSIGN_2_OBJECTID.value = gf_upperText(text);  // in memory only
    gf_setStringEdit(CALLSIGN_2_OBJECTID);
    callsign2ObjectIdRequested = true;
}

// The folder without the separators a user may have typed after it.
std::string lf_withoutTrailingSeparators(std::string text) {
    while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
    return text;
}

// Whether `folder` holds a folder "Community"; an error when that cannot be told.
bool lf_holdsCommunity(const fs::path& folder, std::error_code& ec) {
    const fs::file_status status = fs::status(folder / kCommunity, ec);
    if (ec && status.type() == fs::file_type::not_found) ec.clear();
    return !ec && fs::is_directory(status);
}

void lf_restartForNewSimPath() {
    gf_setStatusLine(fmt::format("Community path found, {} will restart ...", clv::kProductName), true);
    gf_requestStop(clv::ExitReason::NewSettings, kNewSimPathDelay);
}

void lf_cannotCheckPath(const std::string& path, const std::error_code& ec) {
    gf_setStatusLine(fmt::format("This install path cannot be checked: {} ({})", path, ec.message()), true);
}

void lf_newSimPath(const std::string& typed) {
    Parameter<std::string>& installPath = MSFS_2020.value ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH;
    gf_clearErrorText();
    gf_clearStatusLine();
    if (typed.empty()) {
        if (!installPath.value.empty()) installPath.set("");
        return;
    }
    const std::string text = lf_withoutTrailingSeparators(typed);
    const fs::path path(text);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec && status.type() != fs::file_type::not_found) {
        lf_cannotCheckPath(typed, ec);
        return;
    }
    if (!fs::exists(status)) {
        gf_setStatusLine(fmt::format("This install path does not exist: {}", typed), true);
        return;
    }
    // The typed folder is either the one that holds "Community", or "Community" itself.
    const fs::path folder = path.stem() == kCommunity ? path.parent_path() : path;
    const bool found = lf_holdsCommunity(folder, ec);
    if (ec) {
        lf_cannotCheckPath(typed, ec);
        return;
    }
    if (!found) {
        gf_setStatusLine("This path exists but is not a path to Community ...", true);
        return;
    }
    installPath.set(folder.string());
    lf_restartForNewSimPath();
}

void lf_textEditEnter(ControlParameter<std::string>& p, const std::string& text) {
    if (&p == &BLOCK_CALLSIGN) {
        lf_blockCallsign(text);
    } else if (&p == &DESTINATION) {
        lf_processDestination(text);
    } else if (&p == &CALLSIGN_2_OBJECTID) {
        lf_callsign2ObjectId(text);
    } else if (&p == &ALL_INSTALL_PATH) {
        lf_newSimPath(text);
    }
}

}  // namespace

bool gf_processTbInt(ControlParameter<int>& p, const std::string& text) {
    const bool inMemoryOnly = &p == &parking_percentage;
    bool changed = false;
    if (!text.empty()) {
        int number = 0;
        try {
            number = std::stoi(text);
        } catch (const std::out_of_range& e) {
            gf_logMarked("{}: {}, h={} ", "lf_processTbInt", e.what(), text);
            gf_setIntEdit(p);
            return false;
        } catch (const std::invalid_argument&) {
            gf_setStatusLine(fmt::format("invalid input: {}", text), true);
            gf_setIntEdit(p);
            return false;
        }
        if (number == p.value) {
            gf_setStatusLine(fmt::format("Same {} value {}, no changes made", p.name, number), true);
        } else {
            p.value = gf_clampToLimits(number, p);
            if (!inMemoryOnly) p.save();
            changed = true;
        }
    } else {
        p.value = inMemoryOnly ? 0 : gf_clampToLimits(p.def, p);
        if (!inMemoryOnly) p.save();
        changed = true;
    }
    if (changed) gf_setStatusLine(fmt::format("The new {} is {}", p.name, p.value.get()), false);
    gf_setIntEdit(p);
    return changed;
}

bool gf_processTbFloat(const std::string& text) {
    ControlParameter<float>& p = MAX_FIT_FL;
    bool changed = false;
    if (!text.empty()) {
        float number = 0.0f;
        try {
            number = std::stof(text);
            // "nan" and "inf" parse, but are no number of hours.
            if (!std::isfinite(number)) throw std::invalid_argument("not a finite number");
        } catch (const std::exception& e) {
            gf_logMarked("{}: {}, h={} ", "lf_processTbFloat", e.what(), text);
            gf_setFloatEdit(p);
            return false;
        }
        if (number == p.value) {
            gf_setStatusLine(fmt::format("Same {} value {}, no changes made", p.name, number), true);
        } else {
            p.value = gf_clampToLimits(number, p);
            const int halfHours = static_cast<int>(std::lround(2.0f * p.value.get())) - 1;
            MAX_FIT.value = gf_clampToLimits(halfHours, MAX_FIT);
            MAX_FIT.save();
            p.value = gf_clampToLimits(static_cast<float>(MAX_FIT.value) * 0.5f + 0.5f, p);
            changed = true;
        }
    } else {
        p.value = p.def;
        MAX_FIT.value = MAX_FIT.def;
        MAX_FIT.save();
        changed = true;
    }
    if (changed) gf_setStatusLine(fmt::format("The new {} is {:.1F}", p.name, p.value.get()), false);
    gf_setFloatEdit(p);
    return changed;
}

void gf_requestParkingRenewal() {
    if (!mainWindow.parkingActive) return;
    mainWindow.parkingChanged = true;
    if (INITIAL_LOAD_ONLY.value) {
        gf_clearStatusLine();
        return;
    }
    const std::int32_t n = dataStepCounter;
    const std::int32_t wait = kStepsPerRenewalCheck * (n / kStepsPerRenewalCheck + 1) - n;
    if (wait > 0) {
        gf_setStatusLine(
            fmt::format("{} will respond in {} second{} ...", clv::kProductName, wait, gf_plural(wait)), false);
    }
    renewalRequested = true;
}

void gf_unblockCallsign() {
    const std::string blocked = BLOCK_CALLSIGN.value.get();
    if (blocked.empty()) return;
    BLOCK_CALLSIGN.set("");
    gf_setStringEdit(BLOCK_CALLSIGN);
    gf_enableControl(UNBLOCK_BUTTON, false);
    gf_setStatusLine(fmt::format("no more blocking of live aircraft \"{}\"", blocked), true);
    blockCallsignRequested = true;
}

void gf_newDestination(const std::string& code, double latitude, double longitude) {
    DESTINATION.set(code);
    gf_setStringEdit(DESTINATION);
    gf_setStatusLine(fmt::format("New destination: {}", code), true);
    if (const auto& setParkAirport = gf_windowHooks().setParkAirport) {
        setParkAirport(code, clv::LatLon{latitude, longitude});
    } else {
        gf_log("New destination {}: park airports are not part of this build", code);
    }
    gf_enableControl(REREAD_BUTTON, false);
}

int gf_autoLateralRange(const clv::UserAcFix& user, std::optional<clv::LatLon> parkAirport) {
    if (user.onGround) return 10;
    if (user.altitudeFt > AUTO_RANGE_ABOVE_HEIGHT.value) return 100;
    if (user.altitudeFt > AIRPORT_HEIGHT.value) return 40;
    const double d = parkAirport ? gf_distanceNm(user.position, *parkAirport) : kNoParkAirportNm;
    if (d <= 7.0) return 10;
    if (d < 37.0) return static_cast<int>(std::lround(d)) + 3;
    return 40;
}

void gf_updateRangeLimits() {
    const clv::WindowHooks& hooks = gf_windowHooks();
    const clv::UserAcFix user = hooks.userAircraft ? hooks.userAircraft() : clv::UserAcFix{};
    const std::optional<clv::LatLon> park = hooks.firstParkAirport ? hooks.firstParkAirport() : std::nullopt;
    const std::int32_t range = gf_clampToLimits(gf_autoLateralRange(user, park), LATERAL_RANGE);
    const bool changed = LATERAL_RANGE.value != range;
    LATERAL_RANGE.value = range;  // not saved: the automatic range changes with the flight
    gf_refreshLateralRangeCopies();
    if (changed) gf_setIntEdit(LATERAL_RANGE);
}

void gf_setLateralRangeNm(double nm) {
    lateralRangeNm = nm;
    lateralRangeMeters = static_cast<std::int32_t>(nm * clv::kMetresPerNm);
    const double limited = std::clamp(nm, static_cast<double>(LATERAL_RANGE.min), static_cast<double>(LATERAL_RANGE.max));
    LATERAL_RANGE.value = static_cast<std::int32_t>(limited);
}

void gf_editEnter(std::uint16_t controlId) {
    const clv::ControlPlacement* placement = gf_controlPlacement(controlId);
    if (placement == nullptr) return;
    std::string text;
    try {
        text = gf_uiPort().getText(placement->control().handle.load());
    } catch (const std::exception& e) {
        gf_log("{} {}", "lf_getTextFromId", e.what());
        return;
    }
    gf_editEnter(controlId, text);
}

void gf_editEnter(std::uint16_t controlId, const std::string& text) {
    const clv::ControlPlacement* placement = gf_controlPlacement(controlId);
    if (placement == nullptr) return;
    try {
        if (auto* p = std::get_if<ControlParameter<int>*>(&placement->target)) {
            gf_clearStatusLine();
            lf_intEditEnter(**p, text);
        } else if (std::holds_alternative<ControlParameter<float>*>(placement->target)) {
            gf_clearStatusLine();
            lf_floatEditEnter(text);
        } else if (auto* s = std::get_if<ControlParameter<std::string>*>(&placement->target)) {
            gf_clearStatusLine();
            lf_textEditEnter(**s, text);
        }
    } catch (const std::exception& e) {
        // Nothing may leave a handler of the window.
        gf_logMarked("{} exception {}", "lf_editEnter", e.what());
    }
}
