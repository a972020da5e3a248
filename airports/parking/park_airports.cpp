#include "airports/parking/park_airports.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>

#include <fmt/format.h>

#include "airports/parking/airport_data.h"
#include "airports/parking/apf_locate.h"
#include "airports/parking/park_state.h"
#include "airports/parking/static_parking.h"
#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "link/sim_client.h"
#include "link/sim_hooks.h"
#include "stands/stand.h"

namespace fs = std::filesystem;

std::vector<clv::ParkAirport> parkAirports;
std::mutex parkAirportsMutex;

namespace {

constexpr std::size_t kMaxLineItems = 2;

std::vector<std::string> lf_lineItems(const std::string& line) {
    // A blank line has no items (a split would give one empty item).
    if (gf_trim(line).empty()) return {};
    return gf_split(line, ',');
}

std::string lf_entryLine(const clv::ParkAirport& entry) {
    return entry.reservedStand.empty() ? entry.code : fmt::format("{},{}", entry.code, entry.reservedStand);
}

// The caller holds parkAirportsMutex.
void lf_writeMyParkAirportsLocked() {
    const clv::ParkAirport& first = parkAirports.front();
    const std::string newLine = lf_entryLine(first);
    std::vector<std::string> lines;
    std::ifstream in(g_myParkAirportsFile, std::ios::binary);
    if (!in) {
        lines.push_back(newLine);
        gf_log("{} created with {}", kMyParkAirportsName, newLine);
    } else {
        gf_readLines(in, lines);
        in.close();
        bool updated = false;
        for (std::string& line : lines) {
            if ((updated = lf_updateReservedStand(line, first))) break;
        }
        if (!updated) {
            lines.insert(lines.begin(), newLine);
            gf_log("{}:{} new entry", kMyParkAirportsName, newLine);
        }
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    // The whole file replaced at once, so a failed write never costs the user's list.
    if (const std::string failure = gf_replaceLines(lines, g_myParkAirportsFile); !failure.empty()) {
        gf_logMarked("{} could not be written ({})", gf_pathText(g_myParkAirportsFile), failure);
    }
}

}  // namespace

bool lf_isParkAirport(const std::string& code) {
    return std::any_of(parkAirports.begin(), parkAirports.end(),
                       [&](const clv::ParkAirport& entry) { return entry.code == code; });
}

void lf_parseParkAirportLine(bool& result, const std::string& line) {
    const std::vector<std::string> items = lf_lineItems(line);
    if (items.empty()) return;
    if (items.size() > kMaxLineItems) {
        gf_logMarked("{}:{} wrong syntax, skipped", kMyParkAirportsName, line);
        return;
    }
    const auto airport = gf_findAirport(items[0]);
    if (!airport) {
        gf_setStatusLine(fmt::format("airport {} is unknown", items[0]), true);
        result = false;
        return;
    }
    if (lf_isParkAirport(items[0])) {
        gf_logMarked("{}:{} double, skipped", kMyParkAirportsName, items[0]);
        return;
    }
    parkAirports.push_back(
        clv::ParkAirport{items[0], items.size() > 1 ? items[1] : std::string(), airport->lat, airport->lon, 0.0});
}

void lf_addThirdpartyParkAirports() {
    int added = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(g_myThirdpartyFolder)) {
        if (!entry.is_directory()) continue;
        const std::string code = entry.path().filename().string();
        if (lf_isParkAirport(code)) continue;
        const auto airport = gf_findAirport(code);
        if (!airport) continue;
        parkAirports.push_back(clv::ParkAirport{code, {}, airport->lat, airport->lon, 0.0});
        ++added;
    }
    if (added > 0) gf_log("{} park airport{} added from my_thirdparty folder(-s) ", added, gf_plural(added));
}

bool lf_readMyParkAirports() {
    std::lock_guard lock(parkAirportsMutex);
    parkAirports.clear();
    bool result = true;
    try {
        std::ifstream in(g_myParkAirportsFile, std::ios::binary);
        if (!in) {
            gf_log("{} not found", gf_pathText(g_myParkAirportsFile));
        } else {
            std::vector<std::string> lines;
            gf_readLines(in, lines);
            for (const std::string& line : lines) lf_parseParkAirportLine(result, line);
            if (!parkAirports.empty()) {
                gf_log("{} park airport{} read from \"{}\"", parkAirports.size(), gf_plural(parkAirports.size()),
                       kMyParkAirportsName);
            }
            if (parkAirports.size() > clv::kManyParkAirports) {
                gf_setStatusLine(fmt::format("Warning: There are a lot of airports ({}) in {}, that will cost CLVR "
                                             "much cpu time, and may give stutters",
                                             parkAirports.size(), kMyParkAirportsName),
                                 true);
            }
        }
        lf_addThirdpartyParkAirports();
    } catch (const std::exception& e) {
        gf_logMarked("{}: {}", "lf_readMyParkAirports", e.what());
        result = false;
    }
    return result;
}

bool lf_updateReservedStand(std::string& line, const clv::ParkAirport& first) {
    const std::vector<std::string> items = lf_lineItems(line);
    if (items.empty() || items[0] != first.code) return false;
    line = fmt::format("{},{}", first.code, first.reservedStand);
    gf_log("{}:{},{} updated stand", kMyParkAirportsName, first.code, first.reservedStand);
    return true;
}

void gf_writeMyParkAirports() {
    std::lock_guard lock(parkAirportsMutex);
    if (parkAirports.empty()) return;
    lf_writeMyParkAirportsLocked();
}

void gf_setParkAirport(const std::string& code, clv::LatLon position) {
    std::lock_guard lock(parkAirportsMutex);
    auto found = std::find_if(parkAirports.begin(), parkAirports.end(),
                              [&](const clv::ParkAirport& entry) { return entry.code == code; });
    if (found != parkAirports.end()) {
        std::rotate(parkAirports.begin(), found, found + 1);
        return;
    }
    parkAirports.insert(parkAirports.begin(), clv::ParkAirport{code, {}, position.lat, position.lon, 0.0});
    lf_writeMyParkAirportsLocked();
}

void gf_reserveUserStand() {
    if (!userOnGroundKnown.load()) return;
    const clv::UserAcData user = gf_lastUserAcData();
    if (user.groundVelocity > clv::kReserveMaxGroundSpeedKt) return;
    const std::string stand = gf_simLinkHooks().standNameAtPosition(user.latitude, user.longitude);
    if (stand.empty()) return;
    std::lock_guard lock(parkAirportsMutex);
    if (parkAirports.empty()) return;
    clv::ParkAirport& first = parkAirports.front();
    if (first.code != gf_currentParkAirportCode() || first.reservedStand == stand) return;
    // reservedStand itself takes the new stand at the next Re-read or reading of the stands.
    first.reservedStand = stand;
    lf_writeMyParkAirportsLocked();
}

namespace {

clv::Stand* lf_standNamed(const std::string& name) {
    for (clv::Stand& stand : standList) {
        if (stand.name == name) return &stand;
    }
    return nullptr;
}

}  // namespace

bool gf_rereadParkAirports(bool checkStand, std::string& message) {
    if (!lf_readMyParkAirports()) return false;
    std::optional<clv::ParkAirport> first;
    {
        std::lock_guard lock(parkAirportsMutex);
        if (!parkAirports.empty()) first = parkAirports.front();
    }
    if (checkStand && userOnGroundKnown.load() && !parkingBusy.load() && first &&
        first->code == gf_currentParkAirportCode() && gf_userStandName().empty() && !first->reservedStand.empty() &&
        first->reservedStand != reservedStand) {
        message = fmt::format("reserved stand changed from \"{}\" to \"{}\"", reservedStand, first->reservedStand);
        if (!reservedStand.empty()) {
            if (clv::Stand* old = lf_standNamed(reservedStand)) old->excluded = false;
        }
        reservedStand = first->reservedStand;
        gf_removeAcAtStandHook(reservedStand);
        clv::Stand* reserved = lf_standNamed(reservedStand);
        if (reserved != nullptr) reserved->excluded = true;
        // The panel's figures follow now, not at the next plan; a name this
        // airport has no stand of shows as not valid.
        clv::ParkingFigures figures = gf_parkingFigures();
        figures.reservedStand = reservedStand;
        figures.reservedStandShown = reserved != nullptr;
        gf_showParkingFigures(figures);
        gf_uiPort().requestRepaint();
    }
    if (message.empty()) message = "park airports and stands are okay";
    return true;
}
