// The program itself, started as a user would start it: one instance per user,
// and a window that a close request ends.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/instance_lock.h"
#include "support/temp_folder.h"

extern char** environ;

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program in its own working folder, with its per-user folders in a temporary folder.
class Program {
public:
    explicit Program(const TempFolder& folder) {
        for (const char* sub : {"home", "config", "data", "runtime", "work/docs", "work/input"}) {
            fs::create_directories(folder / sub);
        }
        work_ = folder / "work";
        overrides_ = {{"HOME", (folder / "home").string()},
                      {"XDG_CONFIG_HOME", (folder / "config").string()},
                      {"XDG_DATA_HOME", (folder / "data").string()},
                      {"XDG_RUNTIME_DIR", (folder / "runtime").string()}};
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    const fs::path& work() const { return work_; }
    const fs::path runtime() const { return fs::path(overrides_[3].second); }

    void start() {
        std::vector<std::string> entries;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            bool overridden = false;
            for (const auto& [name, value] : overrides_) overridden |= entry.starts_with(name + "=");
            if (!overridden) entries.push_back(entry);
        }
        for (const auto& [name, value] : overrides_) entries.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& entry : entries) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string program = CLV_PROGRAM_PATH;
        char* argv[] = {program.data(), nullptr};
        const std::string workText = work_.string();

        pid_ = ::fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            if (::chdir(workText.c_str()) != 0) ::_exit(126);
            ::execve(program.c_str(), argv, envp.data());
            ::_exit(127);
        }
    }

    // The exit status (a signal as its negative number); nothing when it is
    // still running after the limit, which only guards against a hang.
    std::optional<int> waitForExit(std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                if (WIFEXITED(status)) return WEXITSTATUS(status);
                return -WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return std::nullopt;
    }

    void sendSignal(int signal) { ::kill(pid_, signal); }

private:
    fs::path work_;
    std::vector<std::pair<std::string, std::string>> overrides_;
    pid_t pid_ = -1;
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
