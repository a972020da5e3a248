#include "liveries/regcodes.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <sstream>
#include <unordered_set>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/files.h"
#include "core/log.h"
#include "core/text.h"
#include "core/download_unzip.h"
#include "liveries/dbase_codec.h"

clv::RegcodeMap regcodeMap;
clv::SpecialTitles specialTitles;
clv::DontUseTitles dontUseTitles;
std::vector<std::string> regcodeReport;

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMinRegcodeLength = 3;
constexpr std::size_t kMaxRegcodeLength = 12;
constexpr const char* kSpecialMarker = "#";
constexpr const char* kTextExtension = ".TXT";

// Installed titles, views of the livery index's texts.
std::unordered_set<std::string_view> g_installedTitles;


// Appends the titles of entries without registrations; returns how many.
int lf_appendDontUseTitles(const std::vector<clv::RegcodeEntry>& entries) {
    int count = 0;
    for (const auto& entry : entries) {
        if (!entry.registrations.empty()) continue;
        dontUseTitles.push_back(entry.title);
        ++count;
    }
    return count;
}

void lf_readFileLines(const fs::path& file, std::vector<std::string>& lines) {
    const auto encoding = gf_detectEncoding(file);
    std::string text;
    if (encoding == clv::TextEncoding::CannotOpen || !gf_readTextFile(encoding, file, text))
        throw std::runtime_error("the file cannot be read");
    std::istringstream in(text);
    gf_readLines(in, lines);
}

}  // namespace

bool gf_readRegcodeFile(std::string_view file, std::string_view line, std::vector<clv::RegcodeEntry>& entries) {
    if (line.empty()) return true;
    auto fields = gf_split(line, ';');
    if (fields.size() == 1) {
        if (!fields[0].empty()) entries.push_back({std::move(fields[0]), {}, false});
        return true;
    }
    if (fields.size() > 3) {
        gf_logMarked("{}: wrong format \"{}\"", file, line);
        return false;
    }
    if (fields[1].empty()) return true;  // no registration: nothing to bind
    const auto listed = gf_commaListToSet(fields[1]);
    const bool special = listed.size() == 1 || (fields.size() == 3 && fields[2] == kSpecialMarker);
    bool ok = true;
    std::vector<std::string> registrations;
    for (const auto& registration : listed) {
        if (registration.size() < kMinRegcodeLength || registration.size() > kMaxRegcodeLength) {
            gf_logMarked("wrong regcode length \"{}\" in {}", registration, file);
            ok = false;
            continue;
        }
        registrations.push_back(registration);
    }
    if (registrations.empty()) {
        gf_log("{} ; regs empty? ", file);
        return ok;
    }
    entries.push_back({std::move(fields[0]), std::move(registrations), special});
    return ok;
}

bool gf_readRegcodeFolder(const fs::path& folder, std::vector<clv::RegcodeEntry>& entries) {
    bool ok = true;
    fs::path current = folder;
    try {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (gf_upperText(entry.path().extension().string()) == kTextExtension) files.push_back(entry.path());
        }
        // A later file overrides an earlier one, so the order must not depend on the disk.
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            current = file;
            gf_log("Processing regcodes file \"{}\"", file.string());
            std::vector<std::string> lines;
            lf_readFileLines(file, lines);
            const std::string name = file.string();
            for (const auto& line : lines) {
                if (!gf_readRegcodeFile(name, line, entries)) ok = false;
            }
        }
    } catch (const std::exception& e) {
        gf_log("Error in reading regcode file {}, what: {}", current.string(), e.what());
        ok = false;
    }
    gf_log("{} liverie{} read", entries.size(), gf_plural(entries.size()));
    return ok;
}

bool gf_readAigRegcodes(const fs::path& path, std::vector<clv::RegcodeEntry>& entries) {
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) {
        gf_log("Failed to load {}", path.string());
        return false;
    }
    for (const pugi::xml_node livery : doc.child("AIG-regcodes").children("livery")) {
        clv::RegcodeEntry entry;
        entry.title = livery.attribute("title").value();
        if (entry.title.empty()) continue;
        const char* stored = livery.attribute("reg").value();
        if (stored[0] != '\0') {
            for (const auto& registration : gf_commaListToSet(stored))
                entry.registrations.push_back(gf_decodeRegcode(registration));
            // Sorted by their plain form, as the entries of the user's files.
            std::sort(entry.registrations.begin(), entry.registrations.end());
            entry.registrations.erase(std::unique(entry.registrations.begin(), entry.registrations.end()),
                                      entry.registrations.end());
        }
        entry.special = gf_xmlFlag(livery.attribute("special").value());
        entries.push_back(std::move(entry));
    }
    gf_log("{} liverie{} read from {}", entries.size(), gf_plural(entries.size()), path.string());
    return true;
}

void gf_setInstalledTitles(const std::vector<std::string_view>& titles) {
    g_installedTitles.clear();
    g_installedTitles.reserve(titles.size());
    g_installedTitles.insert(titles.begin(), titles.end());
}

std::string_view gf_findInstalledTitle(std::string_view title) {
    const auto it = g_installedTitles.find(title);
    return it == g_installedTitles.end() ? std::string_view() : *it;
}

void gf_clearRegcodes() {
    regcodeMap.clear();
    specialTitles.clear();
    g_installedTitles.clear();
}

void lf_loadAigRegcodes() {
    const fs::path& aigFile = g_aigRegcodesFile;
    if (gf_downloadAndUnzip(kAigRegcodesArchive, aigFile)) {
        std::vector<clv::RegcodeEntry> entries;
        if (!gf_readAigRegcodes(aigFile, entries))
            regcodeReport.push_back(
                fmt::format("There were errors in processing the file \"{}\", see the Log.txt", aigFile.string()));
        const int count = lf_appendDontUseTitles(entries);
        gf_log("{} don't use title{} read", count, gf_plural(count));
        gf_removeFile(aigFile);
    } else {
        gf_logMarked("reading {} failed?", aigFile.string());
    }

    const fs::path& folder = g_myRegcodesFolder;
    if (fs::exists(folder)) {
        std::vector<clv::RegcodeEntry> entries;
        if (!gf_readRegcodeFolder(folder, entries))
            regcodeReport.push_back(
                fmt::format("There were errors in processing the regcode files in folder \"{}\", see the Log.txt",
                            folder.string()));
        const int count = lf_appendDontUseTitles(entries);
        gf_log("{} don't use title{} read from files in {}", count, gf_plural(count), folder.string());
    }
}

void lf_inlineRegcodeClashes(const std::vector<clv::InlineRegcode>& liveries) {
    std::vector<std::string> clashes;
    for (const auto& livery : liveries) {
        if (livery.atcid.empty()) continue;
        const std::string_view title = gf_findInstalledTitle(livery.title);
        if (title.empty()) {
            clashes.push_back(fmt::format("==> [{}] {} \"{}\" not available, system error, should not happen?",
                                          fmt::format("{:3} {:4}", livery.airline, livery.type), livery.atcid,
                                          livery.title));
            continue;
        }
        const auto [it, bound] = regcodeMap.try_emplace(std::string(livery.atcid), title);
        if (!bound && it->second != title)
            clashes.push_back(
                fmt::format("{} \"{}\" => already in use by \"{}\"", livery.atcid, livery.title, it->second));
    }
    if (clashes.empty()) return;
    fs::create_directories(g_outputErrorsFolder);
    if (!gf_writeLines(clashes, g_inlineRegcodesFile))
        gf_logMarked("could not write {}", g_inlineRegcodesFile.string());
    gf_log("{} in-line regcode clashes, see \"{}\"", clashes.size(), g_inlineRegcodesFile.string());
}

void lf_applyRegcodes(const std::vector<clv::RegcodeEntry>& entries) {
    int added = 0;
    int replaced = 0;
    int special = 0;
    for (const auto& entry : entries) {
        const std::string_view title = gf_findInstalledTitle(entry.title);
        if (title.empty()) continue;
        for (const auto& registration : entry.registrations) {
            const auto it = regcodeMap.find(registration);
            if (it == regcodeMap.end()) {
                regcodeMap.emplace(registration, title);
                ++added;
            } else if (it->second != title) {
                regcodeReport.push_back(fmt::format("   regcode {} for \"{}\", instead of the same for \"{}\"",
                                                    registration, entry.title, it->second));
                it->second = title;
                ++replaced;
            }
        }
        if (entry.special) {
            specialTitles.push_back(title);
            ++special;
        }
    }
    std::string summary = fmt::format("{} new regcode{} added", added, gf_plural(added));
    if (replaced > 0) summary += fmt::format(", {} regcode{} replaced", replaced, gf_plural(replaced));
    if (special > 0) summary += fmt::format(", {} regcode{} defined as special", special, gf_plural(special));
    regcodeReport.push_back(std::move(summary));
}

void lf_processRegcodeFiles() {
    regcodeReport.clear();
    const fs::path& aigFile = g_aigRegcodesFile;
    if (gf_downloadAndUnzip(kAigRegcodesArchive, aigFile)) {
        regcodeReport.push_back("Processing file " + aigFile.string());
        std::vector<clv::RegcodeEntry> entries;
        if (!gf_readAigRegcodes(aigFile, entries))
            regcodeReport.push_back(fmt::format(
                "There were errors in processing the AIG-regcode file \"{}\", see the Log.txt", aigFile.string()));
        lf_applyRegcodes(entries);
        gf_removeFile(aigFile);
    } else {
        gf_logMarked("reading AIG-regcodes failed?");
    }

    const fs::path& folder = g_myRegcodesFolder;
    if (fs::exists(folder)) {
        regcodeReport.push_back("Processing files in " + folder.string());
        std::vector<clv::RegcodeEntry> entries;
        if (!gf_readRegcodeFolder(folder, entries))
            regcodeReport.push_back(
                fmt::format("There were errors in processing the regcode files in folder \"{}\", see the Log.txt",
                            folder.string()));
        lf_applyRegcodes(entries);
    }

    const fs::path& report = g_offlineRegcodesFile;
    gf_removeFile(report);
    if (!regcodeReport.empty()) {
        fs::create_directories(report.parent_path());
        if (!gf_writeLines(regcodeReport, report)) gf_logMarked("could not write {}", report.string());
        gf_log("Offline regcode files processed, results can be found in \"{}\"", report.string());
    }
    gf_log("{} special liveries", specialTitles.size());
}
