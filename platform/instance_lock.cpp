#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/appdata.h"

namespace clv::platform {
namespace {

std::string lf_fileName(std::string_view name) {
    std::string safe(name);
    for (char& c : safe) {
        if (c == '/' || c == '\\') c = '_';
    }
    return safe;
}

bool lf_runtimeFolderFromEnv() {
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    return value != nullptr && value[0] == '/';
}

}  // namespace

std::filesystem::path instanceLockPath(std::string_view name) {
    std::string file = lf_fileName(name);
    // The shared temporary folder serves every user: the user id keeps one
    // user's instance from blocking another's.
    // Appended in two steps: "." + text made g++ 12 warn of a copy bound it could
    // not rule out (-Wstringop-overflow).
    if (!lf_runtimeFolderFromEnv()) {
        file += '.';
        file += std::to_string(getuid());
    }
    return runtimeFolder() / (file + ".lock");
}

InstanceLockResult acquireInstanceLock(std::string_view name, std::string& error) {
    const std::filesystem::path path = instanceLockPath(name);
    // O_NOFOLLOW: in a shared temporary folder a planted link must not redirect us.
    int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = path.string() + ": " + std::strerror(errno);
        return InstanceLockResult::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(fd);
        if (code == EWOULDBLOCK) return InstanceLockResult::HeldElsewhere;
        error = path.string() + ": " + std::strerror(code);
        return InstanceLockResult::Failed;
    }
    // The descriptor stays open on purpose: closing it would release the lock.
    return InstanceLockResult::Acquired;
}

}  // namespace clv::platform
