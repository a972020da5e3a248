#pragma once
// The add-on airport scan: once at the start of a run it walks the simulator's
// package folders, hands every BGL file that holds an airport to a scan worker
// (at most the hardware thread count at once), writes the scan report to
// output/info/AirportsScanLog.txt and then hands the user's airport files that
// still need offline learning over to the TBLO folder.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace clv {

// What the walk has done so far, for the status line; read on the run thread.
struct AddonScanProgress {
    std::int64_t folders = 0;       // folders entered
    std::int64_t airportFiles = 0;  // BGL files handed to a worker
};

}  // namespace clv

// The body of one scan worker (lf_toParkingPositions); tests put an observer in
// its place that keeps the worker's contract (lowers runningTasks once at its end).
extern std::function<void(const std::filesystem::path& path)> g_addonScanWorker;
// The support address the user mails the TBLO folder to.
extern const char* const kTbloSupportAddress;
inline const std::filesystem::path g_tbloFolder{"TBLO"};

// The run thread's entry: walks, reports, hands over and switches SCAN_AIRPORTS off.
void gf_scanAddonAirports();
// Any thread (the simulator switch): what an earlier scan of this process found
// is forgotten, so the next scan reports only its own airports.
void gf_resetAddonScan();

// Walks the folders in order; g_addonAirportFound at its end.
bool lf_scanAirports(const std::vector<std::string>& folders);
void lf_checkScanFolder(const std::string& folder);
// Returns once every worker it started has ended, also after a walk failure.
void lf_searchAirportsInFolder(const std::filesystem::path& folder);
// Paths of 250 characters or more, and paths holding a word of aircraft, traffic
// and tool packages, are not entered.
bool lf_isSkippedScanPath(std::string_view path);
// Exactly ".BGL" or ".bgl".
bool lf_isBglExtension(std::string_view extension);

// The stems of the airport files directly in airports/my_thirdparty: a four-
// character stem with an extension that reads ".XML" in upper case. Throws the
// listing's filesystem error.
std::vector<std::string> gf_listMyThirdpartyXml();
// Copies the my_thirdparty files fit for offline learning into TBLO; the number
// copied is added to g_tbloCount.
void lf_handOverToTblo();

// The figures of the running (or last) scan.
clv::AddonScanProgress gf_addonScanProgress();
