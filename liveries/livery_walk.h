#pragma once
// The walk of one livery folder: the aircraft.cfg files below it are parsed by
// tasks on a pool of as many worker threads as `taskLimit`, each task a batch of
// files in the order they were found, with at most `taskLimit` tasks running and
// their results pending; the liveries are appended to liveryList in the order of
// the files.
#include <cstdint>
#include <filesystem>
#include <string_view>

// Walks the folder with all its subfolders (symbolic links to folders are not
// followed). A folder that cannot be read is listed in unreadableFolderList with
// the reason and skipped; the walk goes on with the rest. Returns once every
// started task has delivered, also when a stop is requested, so no task outlives
// it with a result untaken.
void lf_findAircraftCfgs(std::int32_t priority, const std::filesystem::path& folder);

// The walk does not descend into a path holding one of the words of add-on
// sceneries and tools, nor into a path longer than 249 characters.
bool gf_skipLiveryWalkBelow(std::string_view path);
