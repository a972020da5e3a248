#pragma once
// Where the selected simulator keeps its packages folder (the one holding
// "Community" and the official packages), found through its per-user folders
// and its settings file UserCfg.opt. The Store, Steam and boxed locations keep
// their layout below the two application-data folders of the platform.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Folder numbers of the shell's per-user folders.
inline constexpr int kCsidlAppData = 26;       // roaming application data
inline constexpr int kCsidlLocalAppData = 28;  // local application data

// The folder as UTF-8 text; nothing when it cannot be found or the number is unknown.
std::optional<std::string> gf_shellFolderPath(int csidl);

// The roaming folder, or empty after logging "Could not find the AppData path".
std::filesystem::path gf_appDataPath();
// The local folder, or empty after logging "Could not find the a Local Appdata path".
std::filesystem::path gf_localAppDataPath();

// Names that depend on the selected simulator (MSFS_2020 on: 2020, off: 2024).
std::string gf_simPackageFamily();
std::string gf_simFolderName();
std::string gf_simOfficialFolderName();

// The entry of that name directly in the folder, its case ignored (an exact
// match wins); nothing when there is none. The simulator's own names are
// looked up this way, as its home file system ignores case. Throws a
// filesystem error naming "exists" when the folder cannot be read.
std::optional<std::filesystem::path> gf_findChildIgnoringCase(const std::filesystem::path& folder,
                                                              std::string_view name);

// UserCfg.opt of the Store, Steam (two places) or boxed edition, the first that
// exists; each miss is logged. The boxed candidate when none exists.
std::filesystem::path gf_findUserCfgOpt();

// Roaming / simulator folder / "Packages" when it exists (logged), else empty.
std::filesystem::path gf_steamPackagesPath();

// The folder UserCfg.opt names in its "InstalledPackagesPath" line; empty when
// there is no such file or line.
std::filesystem::path gf_readInstalledPackagesPath();

// True with the quoted folder when the line holds the key "InstalledPackagesPath"
// (any case) followed by a non-empty folder in double quotes.
bool lf_parseInstalledPackagesPath(std::string_view line, std::filesystem::path& path);

// The path exists and holds "Community" and the selected simulator's official
// packages folder ("Official" or "Official2024").
bool gf_isPackagesFolder(const std::filesystem::path& path);

// The Steam packages folder when accepted, else the folder UserCfg.opt names
// when accepted, else empty.
std::filesystem::path gf_findPackagesPath();

// The selected simulator's stored install path joined with the relative path.
std::filesystem::path gf_simPath(const std::filesystem::path& relative);
