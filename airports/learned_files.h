#pragma once
// Learned airport files: what the program learned at a park airport (stand
// options, radii, cargo kinds, manual stands, the parking settings), kept beside
// the airport's own file in airports/learned and merged into it on reading.
#include <filesystem>
#include <string>
#include <string_view>

// The learned file of the airport file at `pathText` (a server path or a local
// path text) whose publisher is given: archive/... below airports/learned (an
// encoded blank decoded); a local file below airports/learned, my_thirdparty
// taking the publisher's folder thirdparty/<publisher>; a simaddon file in
// airports/learned/simaddon, where gf_saveApf writes it. Empty for an empty path.
std::filesystem::path gf_archivePath(const std::string& pathText, const std::string& publisher);

// The learned folder of a publisher: stock, simaddon, or thirdparty/<publisher>.
std::filesystem::path gf_learnedFolderOf(const std::string& publisher);

// A publisher text as one folder name: separators become '_', and "." or ".."
// become "_", so a file's publisher can never name a folder outside thirdparty.
std::string gf_publisherFolderName(std::string_view publisher);
