#include "liveries/match_summary.h"

#include <algorithm>

#include <fmt/format.h>

#include "core/log.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "liveries/livery_match.h"

std::vector<std::string> excludedTitles;
std::deque<std::string> failedLiveryKeys;
std::set<std::string> noMatchList;

namespace {

constexpr std::int32_t kTooManyRefusalsError = 81;
constexpr const char* kSimulatorName = "MSFS";
constexpr std::size_t kSummaryLinesReserve = 256;

// Banner widths: 100 characters in all, the title's 36 included.
constexpr int kBannerWidth = 64;
constexpr int kBannerTitleLength = 36;
constexpr const char* kSummaryTitle = "live traffic livery matching summary";

}  // namespace

bool gf_isExcludedTitle(std::string_view title) {
    return std::find(excludedTitles.begin(), excludedTitles.end(), title) != excludedTitles.end();
}

void gf_liveryNotCreated(const clv::AcData& ac) {
    if (stopRequested.load() || userClosedWindow.load()) return;
    gf_setStatusLine(fmt::format("{} \"{}\" could not be created by your Sim!", ac.callsign, ac.liveryTitle), true);
    excludedTitles.emplace_back(ac.liveryTitle);
    failedLiveryKeys.push_front(ac.type + " " + ac.airline);
    if (excludedTitles.size() < kMaxExcludedTitles) return;
    const std::string message =
        fmt::format("there are too many liveries that could not be created by {}!", kSimulatorName);
    gf_log(fmt::format("\n{}Error 81, {}\n", "===> ", message));
    throw clv::UserErrorException(kTooManyRefusalsError, fmt::format("{}, see Log.txt", message));
}

void lf_addFailedLine(std::vector<std::string>& lines, const std::string& key) { lines.push_back("  " + key); }

std::vector<std::string> lf_failedLiveryLines() {
    std::sort(failedLiveryKeys.begin(), failedLiveryKeys.end());
    failedLiveryKeys.erase(std::unique(failedLiveryKeys.begin(), failedLiveryKeys.end()), failedLiveryKeys.end());
    std::vector<std::string> lines;
    lines.reserve(failedLiveryKeys.size());
    for (const auto& key : failedLiveryKeys) lf_addFailedLine(lines, key);
    return lines;
}

void gf_livMatchingSummary() {
    std::vector<std::string> lines;
    lines.reserve(kSummaryLinesReserve);
    lines.push_back(gf_banner(kBannerWidth, 0, true, false, kSummaryTitle));
    lines.emplace_back("Matches at step: ");
    for (std::size_t step = 1; step <= clv::kLivMatchSteps; ++step)
        lines.push_back(fmt::format("  {}: {}", step, livMatchCounters[step - 1]));
    if (!failedLiveryKeys.empty()) {
        lines.push_back(fmt::format("\nCould not be created by {}:", kSimulatorName));
        for (auto& line : lf_failedLiveryLines()) lines.push_back(std::move(line));
    }
    lines.push_back(gf_banner(kBannerWidth, kBannerTitleLength, false, true, ""));
    for (const auto& line : lines) gf_log(line);
}

void gf_logNoMatchList() {
    if (noMatchList.empty() || !LOG.value) return;
    gf_log("\nNo match found for: ");
    for (const auto& entry : noMatchList) gf_log(entry);
    gf_log("");
}

void gf_clearNoMatchList() { noMatchList.clear(); }
