#pragma once
// The livery scan step of a run: finds the folders holding AI liveries, walks them
// for aircraft.cfg files, filters and sorts what was found, writes
// LiveriesScanned.xml and the scan reports, and switches SCAN_LIVERIES off.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace clv {

// How the scan step ended.
enum class LiveryScanResult {
    NotRequested,  // SCAN_LIVERIES off: the index was built from the earlier LiveriesScanned.xml
    Scanned,       // LiveriesScanned.xml written, SCAN_LIVERIES off and saved, the index built
    Stopped,       // a stop came during the walks: nothing written, no index, SCAN_LIVERIES stays on
};

// What lf_scanAllFolders found.
enum class ScanOutcome : std::uint32_t {
    NothingFound = 0,
    Found = 1,
    Stopped = 2,
};

// Kept while the folders of one scan are walked.
struct ScanContext {
    std::int32_t priority = 0;  // of the next existing folder; 1 best, at most 10
    std::uint32_t total = 0;    // liveries found so far
    std::uint32_t previous = 0; // size of liveryList after the previous folder
};

}  // namespace clv

using LiveryFolderList = std::vector<std::string>;

// The scan step, on the run thread: a scan when SCAN_LIVERIES is on, then the
// livery index (lf_processScannedLiveries) unless the scan was stopped. Throws
// clv::UserErrorException 48 (manual mode without folders), 43 (automatic) or 53
// (manual) when no livery was found, SCAN_LIVERIES then staying on, and what the
// index build throws (51, 52, 533 for LiveriesScanned.xml).
clv::LiveryScanResult gf_scanLiveries();

// Walks every folder of the list into liveryList, then filters, sorts, writes
// LiveriesScanned.xml and the reports.
clv::ScanOutcome lf_scanAllFolders(const LiveryFolderList& folders);

// Walks one folder with the next priority; a missing folder is logged and skipped.
void lf_scanFolder(clv::ScanContext& context, const std::string& folder);

// The traffic package finders: each appends at most the first entry of the
// Community folder whose path holds one of its package names (compared without
// regard to case; never an entry holding "_CVT_").
void lf_findAigFolders(const std::filesystem::path& community, LiveryFolderList& folders);
void lf_findFsltlFolders(const std::filesystem::path& community, LiveryFolderList& folders);
void lf_findJustFlightFolders(const std::filesystem::path& community, LiveryFolderList& folders);
void lf_findUserTrafficFolders(const std::filesystem::path& community, LiveryFolderList& folders);

// The automatic folder list: the package finders in the order AI_PACKAGE_ORDER
// gives (none for a value outside 1..6), then the user finder.
LiveryFolderList gf_automaticLiveryFolders(const std::filesystem::path& community);

// Empties the parsers' report lists, the conversion lines, the scanned titles and
// the don't-use titles.
void lf_clearScanLists();
