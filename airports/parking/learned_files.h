#pragma once
// Learned airport files: what the program learned at a park airport (stand
// options, radii, cargo kinds, manual stands, the parking settings), kept beside
// the airport's own file in airports/learned and merged into it on reading.
#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "airports/files/apf_file.h"

namespace pugi {
class xml_node;
class xml_document;
}  // namespace pugi

namespace clv {

// What the merge needs of the main window, which lives above it: the automatic
// lateral range worked out afresh (gf_updateRangeLimits). Empty: the next data
// step does it.
struct LearnedFileHooks {
    std::function<void()> updateRangeLimits;
};

// One learned "parkpos" as read, before it meets the stand list.
struct LearnedParkpos {
    std::string id;
    bool manual = false;
    bool incomplete = false;    // a manual stand without a position or a radius
    std::optional<Stand> stand;  // a manual stand as read
    bool radiusChange = false;
    double radius = 0.0;  // nm
    bool cargoChange = false;
    bool cargo = false;
    std::vector<StandOption> options;  // numbered when merged
    std::vector<std::size_t> keys;     // gf_optionKey of each
    std::vector<std::string> lines;    // logged by reading it: written when it is merged
};

// A learned file loaded and read, before anything of the run is touched: the part
// of the merge that may run on any thread.
struct LearnedLoad {
    std::filesystem::path path;
    std::shared_ptr<const pugi::xml_document> document;  // null: the file did not load
    std::string loadFailure;                            // then why
    std::optional<std::string> handmade;
    std::vector<Stand> stands;  // a handmade file's
    std::vector<std::string> standLines;
    std::vector<LearnedParkpos> parkpos;
    // Met while reading (also keeping an unloadable file aside): thrown after
    // what was read until then is merged.
    std::exception_ptr error;
    // Merged already into the main file's own stands (lf_premergeLearned); the
    // lines the merge logged wait here. Arranged: the stands are numbered too,
    // with their adjacency and quality.
    bool premerged = false;
    std::vector<std::string> mergeLines;
    bool arranged = false;
    QualityFactors quality;
};

}  // namespace clv

extern clv::LearnedFileHooks learnedFileHooks;

// A parking setting was changed at the park airport since its file was read.
extern std::atomic<bool> apfParamsChanged;
// Changes learning made since the park airport's file was read.
extern std::atomic<std::int32_t> learningUpdateCount;
// One more change made by learning; the parking panel shows the new count.
void gf_countLearnedUpdate();
// The count back to 0 (the file saved, or the park airport left); shown when it changes.
void gf_resetLearnedUpdates();

// The learned file of the airport file at `pathText` (a server path or a local
// path text) whose publisher is given: archive/... below airports/learned (an
// encoded blank decoded); a local file in its publisher's learned folder, where
// gf_saveApf writes it (thirdparty/<publisher>, or stock, or simaddon). Empty
// for an empty path.
std::filesystem::path gf_archivePath(const std::string& pathText, const std::string& publisher);

// The learned folder of a publisher: stock, simaddon, or thirdparty/<publisher>.
std::filesystem::path gf_learnedFolderOf(const std::string& publisher);

// A publisher text as one folder name: separators become '_', and "." or ".."
// become "_", so a file's publisher can never name a folder outside thirdparty.
std::string gf_publisherFolderName(std::string_view publisher);

// Merges the learned file into the stand list and restores the park airport's
// parking settings; a handmade learned file replaces the stands instead (and sets
// handmadeFile). Errors are logged; what was merged until then stays. A file that
// does not load is kept and copied to <name>0.xml.
void lf_readLearned(const std::filesystem::path& path, clv::ApfInfo& summary);

// lf_readLearned in two halves: loading and reading the file (any thread; an
// unloadable file is copied aside here), and merging it (run thread), where the
// log gets its lines in the order of the read in one go. A load merged already
// by lf_premergeLearned only has its settings restored and its lines written.
clv::LearnedLoad lf_loadLearned(const std::filesystem::path& path);
void lf_mergeLearned(clv::LearnedLoad&& load, clv::ApfInfo& summary);

// The merge of a loaded learned file into the main file's stands `stands`, read
// but not yet in the stand list (any thread): numbering, adjacency and quality
// follow, the log lines are held for lf_mergeLearned. Nothing for a handmade
// file, one that did not load or one with incomplete meta data. The result is
// that of lf_mergeLearned only when `stands` alone becomes the stand list.
void lf_premergeLearned(clv::LearnedLoad& load, std::vector<clv::Stand>& stands);

// A hash of what lf_sameOption compares for equality (all but the half-hours).
std::size_t gf_optionKey(const clv::StandOption& option);

// Same weekday, kind, registration, airline and type, and a half-hour in common.
bool lf_sameOption(const clv::StandOption& a, const clv::StandOption& b);

// Writes the park airport's learned (or handmade) file and reports it on the
// status line; the update count and apfParamsChanged start again either way.
void gf_saveApf();
