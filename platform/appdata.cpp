#include "platform/appdata.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace clv::platform {
namespace {

// The XDG rules ignore relative values: they would depend on the current folder.
std::optional<std::filesystem::path> absoluteFromEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    std::filesystem::path p(value);
    if (!p.is_absolute()) return std::nullopt;
    return p;
}

std::optional<std::filesystem::path> homeFolder() {
    if (auto home = absoluteFromEnv("HOME")) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr && result->pw_dir[0] == '/') {
        return std::filesystem::path(result->pw_dir);
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> xdgFolder(const char* variable, const char* belowHome) {
    if (auto p = absoluteFromEnv(variable)) return p;
    if (auto home = homeFolder()) return *home / belowHome;
    return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> roamingAppDataFolder() { return xdgFolder("XDG_CONFIG_HOME", ".config"); }

std::optional<std::filesystem::path> localAppDataFolder() { return xdgFolder("XDG_DATA_HOME", ".local/share"); }

std::filesystem::path runtimeFolder() {
    if (auto p = absoluteFromEnv("XDG_RUNTIME_DIR")) return *p;
    std::error_code ec;
    auto tmp = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : tmp;
}

}  // namespace clv::platform
