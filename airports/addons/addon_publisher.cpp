#include "airports/addons/addon_publisher.h"

#include <exception>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "airports/addons/airport_scan_report.h"
#include "core/files.h"
#include "core/folders.h"
#include "liveries/dbase_queries.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMarker = "===> ";
constexpr const char* kUnknown = "unknown";
constexpr const char* kSimaddon = "simaddon";

// Both separators: package paths come from the simulator's settings as they were typed.
std::size_t lf_findSeparator(std::string_view text, std::size_t from) {
    return from >= text.size() ? std::string_view::npos : text.find_first_of("/\\", from);
}

// The folder directly below "Community", or empty when the path has none.
fs::path lf_packageFolder(std::string_view path) {
    const std::size_t community = path.find(kCommunityFolderName);
    if (community == std::string_view::npos) return {};
    const std::size_t first = lf_findSeparator(path, community);
    if (first == std::string_view::npos) return {};
    const std::size_t second = lf_findSeparator(path, first + 1);
    if (second == std::string_view::npos) return {};
    return fs::path(std::string(path.substr(0, second)));
}

std::optional<clv::ManifestInfo> lf_searchManifestUnguarded(std::string_view path) {
    const fs::path package = lf_packageFolder(path);
    if (!package.empty() && fs::is_directory(package)) {
        const fs::path manifest = lf_findManifestJson(package);
        if (!manifest.empty()) {
            gf_addScanReport(manifest.string() + " found");
            return lf_readManifestJson(manifest);
        }
    }
    // Outward from the file's own folder, up to and with the root.
    for (fs::path folder = fs::path(std::string(path)).parent_path(); !folder.empty(); folder = folder.parent_path()) {
        const fs::path manifest = lf_findManifestJson(folder);
        if (!manifest.empty()) {
            gf_addScanReport(manifest.string() + " found");
            if (auto info = lf_readManifestJson(manifest)) return info;
        }
        if (folder == folder.parent_path()) break;
    }
    return std::nullopt;
}

}  // namespace

clv::PublisherInfo gf_findPublisher(std::string_view path) {
    gf_addScanReport(fmt::format("\nTry find publisher in: {}", path));
    clv::PublisherInfo info;
    info.publisher = kUnknown;
    if (gf_patternMatch(path, "microsoft-airport") || gf_patternMatch(path, "asobo-airport")) {
        info.publisher = kSimaddon;
        gf_addScanReport(fmt::format("from filename => publisher {}", kSimaddon));
        return info;
    }
    if (std::string p = gf_publisherOf(path); p != kUnknown) {
        gf_addScanReport(fmt::format("publisher \"{}\" found", p));
        info.publisher = std::move(p);
        return info;
    }
    const std::optional<clv::ManifestInfo> manifest = lf_searchManifest(path);
    if (!manifest) {
        gf_addScanReport(fmt::format("{}No publisher found", kMarker));
        return info;
    }
    // The manifest's texts go with every answer it gave, so a file of an unknown
    // publisher still says who made it.
    info.manufacturer = manifest->manufacturer;
    info.creator = manifest->creator;
    info.title = manifest->title;
    if (!manifest->manufacturer.empty()) {
        if (std::string p = gf_publisherOf(manifest->manufacturer); p != kUnknown) {
            gf_addScanReport(
                fmt::format("from manifest.json: manufacturer \"{}\" => publisher \"{}\"", manifest->manufacturer, p));
            info.publisher = std::move(p);
            return info;
        }
    }
    if (!manifest->creator.empty()) {
        if (std::string p = gf_publisherOf(manifest->creator); p != kUnknown) {
            gf_addScanReport(fmt::format("from manifest.json creator \"{}\" => publisher \"{}\"", manifest->creator, p));
            info.publisher = std::move(p);
            return info;
        }
    }
    gf_addScanReport(fmt::format("no valid info found in manifest about publisher, manufacturer:\"{}\", creator:\"{}\" {}",
                                 manifest->manufacturer, manifest->creator, path));
    return info;
}

std::optional<clv::ManifestInfo> lf_searchManifest(std::string_view path) {
    try {
        return lf_searchManifestUnguarded(path);
    } catch (const std::exception& e) {
        gf_addScanReport(fmt::format("exception in lf_searchManifest: {}", e.what()));
        return std::nullopt;
    }
}

fs::path lf_findManifestJson(const fs::path& folder) {
    if (!fs::is_directory(folder)) return {};
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename() == "manifest.json") return entry.path();
    }
    return {};
}

std::optional<clv::ManifestInfo> lf_readManifestJson(const fs::path& file) {
    clv::TextFile text{file, {}};
    const std::optional<std::string> content = text.read();
    if (!content || content->empty()) return std::nullopt;
    const nlohmann::json value = nlohmann::json::parse(*content);
    if (!value.is_object()) return std::nullopt;
    return clv::ManifestInfo{lf_jsonText(value, "manufacturer"), lf_jsonText(value, "creator"),
                             lf_jsonText(value, "title")};
}

std::string lf_jsonText(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->empty()) return {};
    return it->get<std::string>();
}
