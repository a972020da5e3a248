#include "link/sim_flight_plan.h"

#include <atomic>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "link/sim_client.h"
#include "link/sim_ids.h"
#include "platform/simconnect.h"

std::filesystem::path flightPlanFolder;

namespace {

namespace fs = std::filesystem;

constexpr const char* kFlightPlanFolderName = "orig_dest";
constexpr std::uint32_t kBuzjets = 1;
constexpr std::uint32_t kHeavy = 3;

// The simulator of this run runs on another PC; false (this PC) until a connection says otherwise.
std::atomic<bool> g_simOnOtherPc{false};
// This run has said that flight plans need SIM_PC_FLIGHT_PLAN_FOLDER.
std::atomic<bool> g_noFolderSaid{false};

// Said once per run: the simulator cannot open our files and no share is named.
void lf_sayFolderMissing() {
    if (g_noFolderSaid.exchange(true)) return;
    gf_logMarked(
        "AI flight plans need {} in {}: the simulator runs on another PC and cannot open {}. Share that folder "
        "and set the key to the folder as the simulator PC sees it (like \\\\MYPC\\calvorinth\\orig_dest); "
        "until then AI aircraft fly without flight plans",
        SIM_PC_FLIGHT_PLAN_FOLDER.name, g_parametersXmlPath, flightPlanFolder.string());
    gf_setStatusLine(fmt::format("AI flight plans need {} in parameters.xml (the simulator runs on another PC)",
                                 SIM_PC_FLIGHT_PLAN_FOLDER.name));
}

// Creates one folder when it is missing; "not found" while looking counts as missing.
void lf_ensureFolder(const fs::path& folder) {
    std::error_code ec;
    const bool exists = fs::exists(folder, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("exists", folder, ec);
    if (exists) return;
    fs::create_directory(folder, ec);
    if (ec) throw fs::filesystem_error("create_directory", folder, ec);
}

}  // namespace

bool gf_createPlnFolder() {
    flightPlanFolder = g_programDataFolder / kFlightPlanFolderName;
    lf_ensureFolder(g_programDataFolder);
    lf_ensureFolder(flightPlanFolder);
    std::error_code ec;
    return fs::is_directory(flightPlanFolder, ec);
}

std::string gf_plnPath(std::uint32_t objectId) { return fmt::format("{}.pln", objectId); }

const char* gf_flightRules(std::uint32_t category) {
    return category >= kBuzjets && category <= kHeavy ? "IFR" : "VFR";
}

bool gf_writePln(const fs::path& path, std::uint32_t category, const std::string& origin,
                 const std::string& destination) {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = document.append_child("SimBase.Document");
    root.append_attribute("Type") = "AceXML";
    root.append_attribute("version") = "4,3";
    pugi::xml_node plan = root.append_child("FlightPlan.FlightPlan");
    plan.append_child("FPType").text() = gf_flightRules(category);
    plan.append_child("DepartureID").text() = origin.c_str();
    plan.append_child("DestinationID").text() = destination.c_str();
    // One element per line, without indentation; the writer escapes what XML needs.
    return document.save_file(path.c_str(), "", pugi::format_indent, pugi::encoding_utf8);
}

bool gf_removeFlightPlanFolder() {
    std::error_code ec;
    if (flightPlanFolder.empty()) return true;
    try {
        if (fs::exists(flightPlanFolder)) fs::remove_all(flightPlanFolder);
    } catch (const std::exception& e) {
        gf_log("gf_removeFlightPlanFolder: {}", e.what());
    }
    return !fs::exists(flightPlanFolder, ec);
}

bool gf_isLocalSimAddress(std::string_view address) {
    // SimConnect.cfg gives dotted IPv4 only; the default address is loopback too.
    return address.empty() || address.starts_with("127.") || address == "::1" || gf_equalsUpper("LOCALHOST", address);
}

void gf_setSimAddress(std::string_view address) {
    g_simOnOtherPc = !gf_isLocalSimAddress(address);
    g_noFolderSaid = false;
}

bool gf_simOnOtherPc() { return g_simOnOtherPc.load(); }

clv::SimPlanPath gf_simPlanPath(std::uint32_t objectId, const std::string& localPath, bool simOnOtherPc,
                                std::string_view simFolder) {
    using clv::SimPlanPath;
    if (!simOnOtherPc) return SimPlanPath{SimPlanPath::Outcome::Send, localPath};
    std::string path = gf_trim(simFolder);
    if (path.empty()) return SimPlanPath{SimPlanPath::Outcome::NoFolder, {}};
    // A Windows path takes backslashes; a folder written with forward slashes only keeps to them.
    const bool forward = path.find('\\') == std::string::npos && path.find('/') != std::string::npos;
    if (path.back() != '\\' && path.back() != '/') path += forward ? '/' : '\\';
    path += gf_plnPath(objectId);
    const auto outcome = path.size() > clv::kScPathMax ? SimPlanPath::Outcome::TooLong : SimPlanPath::Outcome::Send;
    return SimPlanPath{outcome, std::move(path)};
}

bool gf_setFlightPlanLocked(std::uint32_t objectId, const std::string& localPath) {
    using clv::SimPlanPath;
    const SimPlanPath plan =
        gf_simPlanPath(objectId, localPath, g_simOnOtherPc.load(), SIM_PC_FLIGHT_PLAN_FOLDER.value.get());
    switch (plan.outcome) {
        case SimPlanPath::Outcome::NoFolder:
            lf_sayFolderMissing();
            return true;
        case SimPlanPath::Outcome::TooLong:
            gf_logMarked("Flight plan path {} is {} bytes long, the simulator takes at most {}: not handed over",
                         plan.path, plan.path.size(), clv::kScPathMax);
            return false;
        case SimPlanPath::Outcome::Send: break;
    }
    return SimConnect_AISetAircraftFlightPlan(simConnectHandle.load(), objectId, plan.path.c_str(),
                                              clv::REQUEST_FLIGHT_PLAN) == clv::kScOk;
}
