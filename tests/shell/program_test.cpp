// The program itself, started as a user would start it: one instance per user,
// a window that a close request ends, and a close signal at any moment of the
// start that closes it in order.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <regex>
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

// Two busy loops on one processor, and the program started on that processor
// alone: its start runs as slowly as on a busy machine. Tests that run side by
// side take different processors as far as their process ids spread.
class BusyProcessor {
public:
    BusyProcessor() {
        cpu_set_t own;
        CPU_ZERO(&own);
        pthread_getaffinity_np(pthread_self(), sizeof own, &own);
        std::vector<int> allowed;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &own)) allowed.push_back(cpu);
        }
        CPU_SET(allowed[static_cast<std::size_t>(::getpid()) % allowed.size()], &busy_);
        for (int i = 0; i < 2; ++i) {
            loops_.emplace_back([this](std::stop_token stop) {
                pthread_setaffinity_np(pthread_self(), sizeof busy_, &busy_);
                while (!stop.stop_requested()) {
                }
            });
        }
    }

    // Runs `start` with the calling thread bound to the busy processor: a process
    // it starts keeps that binding.
    void onIt(const std::function<void()>& start) const {
        cpu_set_t own;
        pthread_getaffinity_np(pthread_self(), sizeof own, &own);
        pthread_setaffinity_np(pthread_self(), sizeof busy_, &busy_);
        start();
        pthread_setaffinity_np(pthread_self(), sizeof own, &own);
    }

private:
    cpu_set_t busy_{};
    std::vector<std::jthread> loops_;
};

// Where a close signal meets the start: the stage at which the program stops
// itself (CLV_STOP_AT_START_STAGE) until the signal is sent, or none: the
// signal is sent while the program is being started, held from before its exec.
struct StartStageClose {
    const char* stage;
    int signal;
};

void PrintTo(const StartStageClose& c, std::ostream* out) {
    *out << (*c.stage != '\0' ? c.stage : "before the exec") << ", SIG" << sigabbrev_np(c.signal);
}

class CloseDuringTheStart : public ProductRun, public ::testing::WithParamInterface<StartStageClose> {};

TEST_P(CloseDuringTheStart, ClosesTheProgramInOrder) {
    const StartStageClose& c = GetParam();
    // A run that goes on until it is stopped: it waits for a simulator that never comes.
    writeParameters({{"MSFS_2020", "true"},
                     {"MSFS_INSTALL_PATH", (folder / "sim").string()},
                     {"PORT_NUMBER", std::to_string(gf_freePort(SOCK_STREAM))}});
    auto environment = userFolders();
    environment["DISPLAY"] = display;
    environment["CLV_SIMCONNECT_PORT"] = std::to_string(gf_freePort(SOCK_STREAM));
    environment["CLV_TRAFFIC_PORT"] = std::to_string(gf_freePort(SOCK_DGRAM));
    environment["CLV_QNH_PORT"] = std::to_string(gf_freePort(SOCK_DGRAM));
    const bool atStage = *c.stage != '\0';
    if (atStage) environment["CLV_STOP_AT_START_STAGE"] = c.stage;

    std::optional<BusyProcessor> busy(std::in_place);
    ChildProcess program;
    busy->onIt([&] {
        if (atStage) {
            program.start(CLV_PROGRAM_PATH, {}, work, environment, folder / "logs" / "calvorinth.txt");
            return;
        }
        // Blocked in the thread that starts the program, the signal waits in it from before its exec.
        sigset_t signals;
        sigset_t before;
        sigemptyset(&signals);
        sigaddset(&signals, c.signal);
        pthread_sigmask(SIG_BLOCK, &signals, &before);
        program.start(CLV_PROGRAM_PATH, {}, work, environment, folder / "logs" / "calvorinth.txt");
        program.signal(c.signal);
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    });
    if (atStage) {
        ASSERT_TRUE(program.waitForStop(kStepLimit)) << "no stop at " << c.stage << report({{"calvorinth", &program}});
        program.signal(c.signal);
        program.signal(SIGCONT);
    }
    // The signal has met the start; the closing down needs no load.
    busy.reset();

    EXPECT_EQ(program.waitForExit(kExitLimit), std::optional<int>(0)) << report({{"calvorinth", &program}});
    const std::string text = log();
    // The close of a user: the run stops with no reason of its own.
    EXPECT_NE(text.find("Exiting: NOT YET SET"), std::string::npos) << text;
    // The log ends with its closing line, the date and time of the end.
    ASSERT_FALSE(text.empty());
    const std::string lastLine = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_TRUE(std::regex_match(lastLine, std::regex(R"([A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4}\n)")))
        << lastLine;
}

// "routed": the signals are read already, the UI loop not yet running.
INSTANTIATE_TEST_SUITE_P(Program, CloseDuringTheStart,
                         ::testing::Values(StartStageClose{"", SIGTERM}, StartStageClose{"log", SIGINT},
                                           StartStageClose{"display", SIGHUP}, StartStageClose{"window", SIGTERM},
                                           StartStageClose{"window", SIGINT}, StartStageClose{"routed", SIGHUP}),
                         [](const ::testing::TestParamInfo<StartStageClose>& info) {
                             const std::string stage = *info.param.stage != '\0' ? info.param.stage : "exec";
                             return stage + "_" + sigabbrev_np(info.param.signal);
                         });

}  // namespace
}  // namespace clv::test
