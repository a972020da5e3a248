#pragma once
// Per-user folders of the XDG base-directory scheme, standing in for the
// roaming and local application-data folders of the desktop shell.
#include <filesystem>
#include <optional>

namespace clv::platform {

// $XDG_CONFIG_HOME, else $HOME/.config; nothing when no home can be found.
std::optional<std::filesystem::path> roamingAppDataFolder();

// $XDG_DATA_HOME, else $HOME/.local/share; nothing when no home can be found.
std::optional<std::filesystem::path> localAppDataFolder();

// $XDG_RUNTIME_DIR, else the temporary folder.
std::filesystem::path runtimeFolder();

}  // namespace clv::platform
