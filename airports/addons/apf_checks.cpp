#include "airports/addons/apf_checks.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/files/apf_parameters.h"
#include "airports/parking/apf_locate.h"
#include "core/download_unzip.h"
#include "core/downloader.h"
#include "core/log.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kStockArchive = "archive/stock/";
constexpr const char* kQfReal = "Qf_real";
constexpr const char* kQfSoft = "Qf_soft";
constexpr const char* kTrafficWeek = "RT_traffic_week";
constexpr const char* kPublisher = "publisher";
constexpr const char* kUnknownPublisher = "unknown";
constexpr const char* kManufacturer = "manufacturer";
constexpr const char* kCreator = "creator";
constexpr std::int32_t kNoFactor = -1;

// The check's answer from a loaded stock file.
bool lf_suitable(const pugi::xml_document& document) {
    const std::int32_t real = lf_readIntParameter(document, kQfReal).value_or(kNoFactor);
    const std::int32_t soft = lf_readIntParameter(document, kQfSoft).value_or(kNoFactor);
    if (real < 0 && soft < 0) return false;
    const auto weeks = lf_readIntParameter(document, kTrafficWeek);
    return weeks.has_value() && *weeks >= clv::kOfflineLearningWeeks;
}

bool lf_usable(const std::optional<std::string>& text) { return text && text->size() >= clv::kMinPublisherInfo; }

}  // namespace

bool gf_offlineLearningCheck(const std::string& code) {
    if (gf_isSafeAirportCode(code) && gf_airportFileServer()) {
        const std::string url = gf_downloadUrl(true) + kStockArchive + gf_xmlFileName(code);
        gf_log(url);
        const fs::path local = gf_xmlFilePath(code);
        bool downloaded = false;
        {
            clv::Downloader downloader;
            downloaded = downloader.download(url, local, false);
        }
        if (!downloaded) {
            gf_logMarked("Failed to download {}", local.string());
        } else {
            pugi::xml_document document;
            if (!document.load_file(local.c_str())) {
                gf_logMarked("Failed to load {}", local.string());
            } else {
                fs::remove(local);
                return lf_suitable(document);
            }
        }
        if (fs::exists(local)) fs::remove(local);
    }
    gf_logMarked("{} Not suitable for offline learning", code);
    return false;
}

std::string gf_readApfPublisher(const fs::path& path) {
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) return {};
    return lf_readTextParameter(document, kPublisher).value_or(std::string());
}

std::string gf_checkApfPublisherInfo(const fs::path& path) {
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) return fmt::format("\"{}\" not found", gf_pathText(path));
    const auto publisher = lf_readTextParameter(document, kPublisher);
    if (!publisher || *publisher != kUnknownPublisher) return {};
    const auto manufacturer = lf_readTextParameter(document, kManufacturer);
    const auto creator = lf_readTextParameter(document, kCreator);
    if (lf_usable(manufacturer) || lf_usable(creator)) return {};
    return fmt::format("{}={}, {}={}", kManufacturer, manufacturer.value_or(std::string()), kCreator,
                       creator.value_or(std::string()));
}
