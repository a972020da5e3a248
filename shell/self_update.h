#pragma once
// Keeping the program and its ra_vudovodo data package current from the
// download server. Called by the run thread's start-up checks; without a
// configured server each check logs one line and does nothing.
#include <filesystem>

#include "core/zip_archive.h"

// The installer the user runs after an update, in the current folder.
inline const std::filesystem::path g_installerFile{"install_new_version.exe"};

// Once per process start: when the server has a newer program version, fetches
// its installer and unpacks it as the installer file, then throws user error 99
// that names the installer's full path. When the fetch fails the status line
// says so and the run goes on; without a version file the run just goes on.
void gf_checkNewVersion();

// Writes the entry's content to the installer file (an earlier one is removed
// first). True only when the entry was written completely.
bool gf_unzip(clv::ZipArchive& zip, const clv::ZipEntry& entry);

// Whether airports/ra_vudovodo has to be installed: the folder is missing, is
// no folder, or holds no file (the start-up folder check leaves an empty one).
bool gf_simaddonFolderMissing();

// MSFS 2024 mode: installs the ra_vudovodo package when its folder is missing
// or empty (gf_simaddonFolderMissing), or updates it when the server's version
// is newer than RAVUDOVODO24_VERSION. The new archive is unpacked and checked
// completely before the installed files are replaced, so a damaged download
// keeps the installed package. True when the package was (re)installed.
bool gf_updateSimaddon();
