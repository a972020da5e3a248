#pragma once
// Learned airport files: what the program learned at a park airport (stand
// options, radii, cargo kinds, manual stands, the parking settings), kept beside
// the airport's own file in airports/learned and merged into it on reading.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "airports/apf_file.h"

namespace pugi {
class xml_node;
}

namespace clv {

// What the merge needs of the main window, which lives above it: the automatic
// lateral range worked out afresh (gf_updateRangeLimits). Empty: the next data
// step does it.
struct LearnedFileHooks {
    std::function<void()> updateRangeLimits;
};

}  // namespace clv

extern clv::LearnedFileHooks learnedFileHooks;

// A parking setting was changed at the park airport since its file was read.
extern std::atomic<bool> apfParamsChanged;
// Changes learning made since the park airport's file was read.
extern std::atomic<std::int32_t> learningUpdateCount;

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

// Applies one learned "parkpos" to the stand when its name is `id`: a learned
// radius or cargo kind, and the options that the stand has no equal of.
bool lf_readLearnedParkpos(const std::string& id, const pugi::xml_node& parkpos, clv::Stand& stand);

// Same weekday, kind, registration, airline and type, and a half-hour in common.
bool lf_sameOption(const clv::StandOption& a, const clv::StandOption& b);

// Writes the park airport's learned (or handmade) file and reports it on the
// status line; the update count and apfParamsChanged start again either way.
void gf_saveApf();
