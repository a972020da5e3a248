#pragma once
// The single-instance guard: an advisory lock on a file named after the
// instance name in the user's runtime folder. The lock is held for the rest of
// the process; the kernel drops it when the process ends, also after a crash,
// so a stale file never blocks the next start.
#include <filesystem>
#include <string>
#include <string_view>

namespace clv::platform {

enum class InstanceLockResult {
    Acquired,       // this process is the one instance
    HeldElsewhere,  // another process holds the lock
    Failed,         // the lock file could not be opened or locked; `error` tells why
};

// The lock file for `name`: in $XDG_RUNTIME_DIR (already per user), else in the
// temporary folder with the user id added to the file name. Path separators in
// the name become '_'.
std::filesystem::path instanceLockPath(std::string_view name);

// Takes the lock for `name` for the life of the process.
InstanceLockResult acquireInstanceLock(std::string_view name, std::string& error);

}  // namespace clv::platform
