#include "liveries/scan_report.h"

#include <algorithm>
#include <array>
#include <exception>
#include <functional>

#include <fmt/format.h>

#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/text.h"
#include "liveries/dbase_queries.h"
#include "liveries/livery_check.h"

namespace fs = std::filesystem;

std::vector<std::string> conversionLines;

namespace {

constexpr int kTitleWidth = 80;

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

// One error report: its lines, whether they are sorted, its file and summary.
struct ErrorReport {
    std::function<std::vector<std::string>()> lines;
    bool sorted;
    const fs::path* file;
    std::function<std::string(std::size_t, const std::string&)> summary;
};

void lf_writeReport(std::vector<std::string> lines, bool sorted, const fs::path& file,
                    const std::string& summary) {
    if (sorted) std::sort(lines.begin(), lines.end());
    fs::create_directories(file.parent_path());
    gf_writeReportFile(lines, file);
    gf_log(summary);
}

}  // namespace

bool gf_writeReportFile(const std::vector<std::string>& lines, const fs::path& path) {
    return gf_writeLines(lines, path);
}

void lf_removeScanReports() {
    const std::array<const fs::path*, 10> files{
        &g_noFltsimSectionFile,       &g_liveriesScannedFile,    &g_skippedOnPriorityFile,
        &g_inlineRegcodesFile,        &g_invalidAirlineCodesFile, &g_invalidAircraftCodesFile,
        &g_fixesFile,                 &g_invalidAircraftCfgFilesFile, &g_incompleteFltsimFile,
        &g_unreadableFoldersFile};
    try {
        for (const fs::path* file : files) gf_removeFile(*file);
        if (fs::exists(g_outputErrorsFolder)) fs::remove(g_outputErrorsFolder);
    } catch (const std::exception& e) {
        gf_log("problems with removing previous files: {}", e.what());
    }
}

void lf_applyRegData(clv::LiveryData& livery) {
    if (livery.atcid.empty()) return;
    std::optional<clv::RegRecord> record = gf_regRecordOf(livery.atcid);
    if (!record) return;
    if (record->cargo != livery.cargo) {
        conversionLines.push_back(fmt::format("{:{}} {} cargo {} => {}", livery.title, kTitleWidth, livery.atcid,
                                              lf_boolText(livery.cargo), lf_boolText(record->cargo)));
        livery.cargo = record->cargo;
    }
    const std::string& airline = record->opr.empty() ? record->airl : record->opr;
    // An empty value in the record means "not known", not "none".
    if (!airline.empty() && livery.airl != airline) {
        conversionLines.push_back(
            fmt::format("{:{}} {} airl {} => {}", livery.title, kTitleWidth, livery.atcid, livery.airl, airline));
        livery.airl = airline;
    }
    if (!record->type.empty() && livery.type != record->type) {
        conversionLines.push_back(
            fmt::format("{:{}} {} model {} => {}", livery.title, kTitleWidth, livery.atcid, livery.type, record->type));
        livery.type = record->type;
    }
}

void lf_writeScanReports() {
    try {
        const bool noErrors = invalidAirlineList.empty() && invalidModelList.empty() && fixesList.empty() &&
                              invalidCfgList.empty() && incompleteSectionList.empty() && unreadableFolderList.empty();
        gf_log(noErrors ? "\nNo errors" : "\nErrors:");
        auto summaryPlural = [](const char* format) {
            return [format](std::size_t n, const std::string& path) {
                return fmt::format(fmt::runtime(format), n, gf_plural(n), path);
            };
        };
        auto summary = [](const char* format) {
            return [format](std::size_t n, const std::string& path) { return fmt::format(fmt::runtime(format), n, path); };
        };
        const std::array<ErrorReport, 6> reports{{
            {[] { return invalidAirlineList.lines(); }, true, &g_invalidAirlineCodesFile,
             summaryPlural("{} invalid airline code{}, see {}")},
            {[] { return invalidModelList.lines(); }, true, &g_invalidAircraftCodesFile,
             summaryPlural("{} invalid model code{}, see {}")},
            {[] { return fixesList.lines(); }, false, &g_fixesFile, summary("{} code fixes, see {}")},
            {[] { return invalidCfgList.lines(); }, true, &g_invalidAircraftCfgFilesFile,
             summary("{} invalid aircraft.cfg files, see {}")},
            {[] { return incompleteSectionList.lines(); }, true, &g_incompleteFltsimFile,
             summary("{} incomplete [fltsim.x] sections, see {}")},
            {[] { return unreadableFolderList.lines(); }, true, &g_unreadableFoldersFile,
             summaryPlural("{} unreadable folder{} skipped, see {}")},
        }};
        for (const auto& report : reports) {
            std::vector<std::string> lines = report.lines();
            if (lines.empty()) continue;
            const std::size_t count = lines.size();
            lf_writeReport(std::move(lines), report.sorted, *report.file, report.summary(count, report.file->string()));
        }
        gf_log("\nInformation:");
        if (!emptyCfgList.empty()) {
            std::vector<std::string> lines = emptyCfgList.lines();
            const std::size_t count = lines.size();
            lf_writeReport(std::move(lines), true, g_noFltsimSectionFile,
                           fmt::format("{} empty aircraft.cfg files, see {}", count, g_noFltsimSectionFile.string()));
        }
        if (!conversionLines.empty()) {
            lf_writeReport(conversionLines, false, g_airlineModelConversionsFile,
                           fmt::format("{} liveries updated with real live data from dbase, see {}",
                                       conversionLines.size(), g_airlineModelConversionsFile.string()));
        }
    } catch (const std::exception& e) {
        gf_logMarked("scan reports not written completely: {}", e.what());
    }
}
