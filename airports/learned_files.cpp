#include "airports/learned_files.h"

#include <algorithm>

#include "airports/apf_locate.h"
#include "core/folders.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kArchiveWord = "archive";
constexpr std::string_view kAirportsWord = "airports";
constexpr std::string_view kMyThirdparty2024 = "my_thirdparty2024";
constexpr std::string_view kMyThirdparty = "my_thirdparty";
constexpr std::string_view kThirdpartyWord = "thirdparty";
constexpr std::string_view kEncodedBlank = "%20";
constexpr const char* kStockPublisher = "stock";
constexpr const char* kSimaddonPublisher = "simaddon";

void lf_replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

std::string gf_publisherFolderName(std::string_view publisher) {
    std::string name(publisher);
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\\', '_');
    if (name == "." || name == "..") name = "_";
    return name;
}

fs::path gf_learnedFolderOf(const std::string& publisher) {
    if (publisher == kStockPublisher) return g_learnedStockFolder;
    if (publisher == kSimaddonPublisher) return g_learnedSimaddonFolder;
    return g_learnedThirdpartyFolder / gf_publisherFolderName(publisher);
}

fs::path gf_archivePath(const std::string& pathText, const std::string& publisher) {
    if (pathText.empty()) return {};
    const std::string learned = gf_pathText(g_learnedFolder);
    std::string text = pathText;
    if (const auto at = text.find(kArchiveWord); at != std::string::npos) {
        text.replace(at, kArchiveWord.size(), learned);
        std::replace(text.begin(), text.end(), '/', gf_pathSeparator());
        lf_replaceAll(text, kEncodedBlank, " ");
        return text;
    }
    if (!text.starts_with(kAirportsWord)) return text;
    // The scan's simaddon files lie in ra_vudovodo; their learning is saved by
    // publisher, so it is read back from there too.
    if (publisher == kSimaddonPublisher) return g_learnedSimaddonFolder / fs::path(text).filename();
    text.replace(0, kAirportsWord.size(), learned);
    const std::string thirdparty = std::string(kThirdpartyWord) + gf_pathSeparator() + gf_publisherFolderName(publisher);
    for (const std::string_view folder : {kMyThirdparty2024, kMyThirdparty}) {
        if (const auto at = text.find(folder); at != std::string::npos) {
            text.replace(at, folder.size(), thirdparty);
            break;
        }
    }
    return text;
}
