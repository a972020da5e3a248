#include "link/sim_flight_plan.h"

#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/folders.h"
#include "core/log.h"

std::filesystem::path flightPlanFolder;

namespace {

namespace fs = std::filesystem;

constexpr const char* kFlightPlanFolderName = "orig_dest";
constexpr std::uint32_t kBuzjets = 1;
constexpr std::uint32_t kHeavy = 3;

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
