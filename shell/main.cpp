// The program's entry point: one instance per user, the log, then the desktop
// application. The command line is not read.
#include <cstdio>
#include <exception>
#include <string>

#include "core/folders.h"
#include "core/log.h"
#include "core/product.h"
#include "core/stop_flags.h"
#include "platform/instance_lock.h"
#include "platform/window.h"
#include "shell/application.h"
#include "shell/product_services.h"

namespace {

constexpr const char* kInstanceName = "Local\\$Calvorinth$";
constexpr int kAnotherInstance = -1;
constexpr int kStartFailed = 1;

}  // namespace

// Read by the leak checker of sanitizer builds (unused otherwise): the font and
// display libraries under the window toolkit keep caches for the life of the
// process and never free them.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libX11.so\n"
           "leak:libXft.so\n"
           "leak:libfltk.so\n";
}

// Read by ThreadSanitizer builds (unused otherwise). When the X server goes away,
// libX11 1.8.4 releases its display lock once more after our I/O error exit
// handler returns (its _XIOError unlocks the display before that handler, and the
// call that met the error unlocks it again); only the UI thread uses the display.
extern "C" const char* __tsan_default_suppressions() { return "mutex:libX11.so\n"; }

int main() {
    // Before anything else, above all before any thread: a close signal during
    // the start waits until the UI loop can close the program in order.
    clv::platform::holdCloseSignals();
    std::string lockError;
    const auto lock = clv::platform::acquireInstanceLock(kInstanceName, lockError);
    if (lock == clv::platform::InstanceLockResult::HeldElsewhere) {
        // Nothing else is written: the running program's log and settings are its own.
        std::fprintf(stderr, "%s already runs for this user; this start ends.\n", clv::kProductName);
        return kAnotherInstance;
    }

    try {
        gf_openLog();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", clv::kProductName, e.what());
        return kStartFailed;
    }
    // Without the lock the program still runs; a second instance is then not refused.
    if (lock == clv::platform::InstanceLockResult::Failed) gf_logMarked("Single-instance lock not taken: {}", lockError);
    clv::platform::stopAtStartStage("log");
    gf_initProgramFolders();
    return gf_runApplication(gf_productRunServices());
}
