#include "liveries/liveries_scanned.h"

#include <algorithm>
#include <tuple>

#include <pugixml.hpp>

#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/meta.h"
#include "core/user_error.h"

std::vector<clv::LiveryData> liveryList;

namespace {

constexpr const char* kLiveriesElement = "liveries";
constexpr const char* kLiveryElement = "liv";
constexpr const char* kAirlineAttribute = "airl";
constexpr const char* kTypeAttribute = "type";
constexpr const char* kCargoAttribute = "cargo";
constexpr const char* kTitleAttribute = "title";
constexpr const char* kRegistrationAttribute = "atcid";

constexpr int kErrorNotFound = 51;
constexpr int kErrorNoSection = 52;
constexpr int kErrorNoLiveries = 533;

}  // namespace

bool lf_sameLivery(const clv::LiveryData& a, const clv::LiveryData& b) {
    return a.title == b.title && a.airl == b.airl && a.type == b.type && a.atcid == b.atcid && a.cargo == b.cargo;
}

bool gf_liveryOrderLess(const clv::LiveryData& a, const clv::LiveryData& b) {
    // std::string compares its bytes as unsigned characters, shorter first on a common prefix.
    return std::tie(a.airl, a.type, a.title) < std::tie(b.airl, b.type, b.title);
}

void lf_writeLivery(pugi::xml_node liveries, const clv::LiveryData& livery) {
    pugi::xml_node liv = liveries.append_child(kLiveryElement);
    liv.append_attribute(kAirlineAttribute).set_value(livery.airl.c_str());
    liv.append_attribute(kTypeAttribute).set_value(livery.type.c_str());
    if (livery.cargo) liv.append_attribute(kCargoAttribute).set_value("true");
    liv.append_attribute(kTitleAttribute).set_value(livery.title.c_str());
    if (!livery.atcid.empty()) liv.append_attribute(kRegistrationAttribute).set_value(livery.atcid.c_str());
}

void lf_writeLiveriesScanned() {
    if (liveryList.empty()) return;
    pugi::xml_document document;
    gf_writeMeta(document);
    pugi::xml_node liveries = document.append_child(kLiveriesElement);
    for (const auto& livery : liveryList) lf_writeLivery(liveries, livery);
    gf_saveXml(document, g_liveriesScannedFile);
    gf_log("{} liveries in {}", liveryList.size(), g_liveriesScannedFile.string());
}

void lf_readLiveriesScanned() {
    liveryList.clear();
    const std::string path = g_liveriesScannedFile.string();
    pugi::xml_document document;
    if (!document.load_file(g_liveriesScannedFile.c_str())) {
        throw clv::UserErrorException(kErrorNotFound, fmt::format("File {} not found", path));
    }
    pugi::xml_node liveries;
    try {
        gf_readMeta(document);
        liveries = document.child(kLiveriesElement);
    } catch (const pugi::xpath_exception& e) {
        const char* description = e.result().description();
        gf_log(description != nullptr && *description != '\0' ? description : "No error");
        return;
    }
    if (!liveries) {
        throw clv::UserErrorException(kErrorNoSection, fmt::format("{} does not contain a <liveries> section", path));
    }
    for (pugi::xml_node liv = liveries.child(kLiveryElement); liv; liv = liv.next_sibling(kLiveryElement)) {
        clv::LiveryData livery;
        livery.airl = liv.attribute(kAirlineAttribute).as_string();
        livery.type = liv.attribute(kTypeAttribute).as_string();
        livery.title = liv.attribute(kTitleAttribute).as_string();
        livery.atcid = liv.attribute(kRegistrationAttribute).as_string();
        // Present and beginning with 1, t, T, y or Y.
        livery.cargo = liv.attribute(kCargoAttribute).as_bool(false);
        liveryList.push_back(std::move(livery));
    }
    if (liveryList.empty()) {
        throw clv::UserErrorException(kErrorNoLiveries, path + " does not contain liveries");
    }
    gf_log("{} liveries read from {}", liveryList.size(), path);
    std::stable_sort(liveryList.begin(), liveryList.end(), gf_liveryOrderLess);
}
