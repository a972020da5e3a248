// The program itself, started as a user would start it: one instance per user,
// and a window that a close request ends.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/instance_lock.h"
#include "product_run_support.h"
#include "support/temp_folder.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program in its own working folder, with its per-user folders in a temporary folder.
class Program {
public:
    explicit Program(const TempFolder& folder) : folder_(folder.path()) {
        for (const char* sub : {"home", "config", "data", "runtime", "work/docs", "work/input"}) {
            fs::create_directories(folder / sub);
        }
        work_ = folder / "work";
        environment_ = {{"HOME", (folder / "home").string()},
                        {"XDG_CONFIG_HOME", (folder / "config").string()},
                        {"XDG_DATA_HOME", (folder / "data").string()},
                        {"XDG_RUNTIME_DIR", (folder / "runtime").string()}};
    }

    void start() { child_.start(CLV_PROGRAM_PATH, {}, work_, environment_, folder_ / "program.txt"); }
    std::optional<int> waitForExit(std::chrono::seconds limit) { return child_.waitForExit(limit); }
    void sendSignal(int signal) { child_.signal(signal); }
    std::string output() const { return child_.output(); }

    const fs::path& work() const { return work_; }
    fs::path runtime() const { return environment_.at("XDG_RUNTIME_DIR"); }

private:
    fs::path folder_;
    fs::path work_;
    std::map<std::string, std::string> environment_;
    ChildProcess child_;
};

bool lf_hasWindowNamed(Display* display, Window window, const std::string& name, int depth) {
    char* windowName = nullptr;
    if (XFetchName(display, window, &windowName) != 0 && windowName != nullptr) {
        const bool same = name == windowName;
        XFree(windowName);
        if (same) return true;
    }
    if (depth == 0) return false;
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return false;
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i) found = lf_hasWindowNamed(display, children[i], name, depth - 1);
    if (children != nullptr) XFree(children);
    return found;
}

bool lf_waitForWindow(const std::string& name, std::chrono::seconds limit) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    bool found = false;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!found && std::chrono::steady_clock::now() < end) {
        found = lf_hasWindowNamed(display, DefaultRootWindow(display), name, 3);
        if (!found) std::this_thread::sleep_for(50ms);
    }
    XCloseDisplay(display);
    return found;
}

TEST(Program, SecondInstanceLeavesAtOnceWithoutALog) {
    TempFolder folder;
    Program program(folder);
    ScopedEnv runtime("XDG_RUNTIME_DIR", program.runtime().c_str());
    std::string error;
    ASSERT_EQ(platform::acquireInstanceLock("Local\\$Calvorinth$", error), platform::InstanceLockResult::Acquired);

    program.start();
    EXPECT_EQ(program.waitForExit(60s), std::optional<int>(255));
    EXPECT_FALSE(fs::exists(program.work() / "Log.txt"));
    // One line on the terminal says why.
    EXPECT_EQ(program.output(), "Calvorinth already runs for this user; this start ends.\n");
}

TEST(Program, WindowOpensAndACloseRequestEndsIt) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs a display; scripts/test provides one with xvfb-run";
    TempFolder folder;
    Program program(folder);
    program.start();
    ASSERT_TRUE(lf_waitForWindow("Calvorinth", 60s)) << "the main window did not appear";

    // A session ending, or a user at a terminal, asks the program to close as the close button does.
    program.sendSignal(SIGTERM);
    EXPECT_EQ(program.waitForExit(60s), std::optional<int>(0));
    const std::string log = readFile(program.work() / "Log.txt");
    EXPECT_NE(log.find("Exiting: "), std::string::npos) << log;
}

}  // namespace
}  // namespace clv::test
