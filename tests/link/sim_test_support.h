#pragma once
// Shared by the simulator link's tests: a clean link state per test, the log in a
// temporary folder, the stand-in simulator in-process or as its own program.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "link/sim_client.h"
#include "link/sim_events.h"
#include "link/sim_hooks.h"
#include "link/sim_queues.h"
#include "support/temp_folder.h"
#include "tools/simstandin/standin.h"

namespace clv::test {

// Polls the condition every millisecond for at most `limit`; whether it held.
template <class Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

inline std::vector<SimEvent> takeSimEvents() {
    std::vector<SimEvent> events;
    gf_takeSimEvents(events);
    return events;
}

// Every test starts from the state of a fresh run, with Log.txt in its own folder.
class SimLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_resetSimLink();
        gf_clearStopFlags();
        gf_nullUiPort().clear();
        gf_setSimLinkHooks({});
        MSFS_2020.value = false;
        rtProfessional = false;
        simFrameRate = 0.0f;
        simulatorTime = 0;
        takeSimEvents();
        gf_openLog(logDir.path());
    }
    void TearDown() override {
        gf_resetSimLink();
        gf_closeLog();
        gf_clearStopFlags();
        gf_setSimLinkHooks({});
        takeSimEvents();
    }

    std::string logText() const { return readFile(logDir / "Log.txt"); }
    bool logged(const std::string& line) const {
        for (const auto& l : lines(logText())) {
            if (l == line) return true;
        }
        return false;
    }
    std::vector<std::string> statusLines() const { return gf_nullUiPort().statusLines(); }
    std::vector<std::string> errorLines() const { return gf_nullUiPort().errorLines(); }

    TempFolder logDir;
};

// The stand-in simulator as its own program (the build's simstandin).
class StandInProcess {
public:
    // Starts it with these arguments and "--control-port 0"; the ports it took are
    // read from its first line.
    explicit StandInProcess(std::vector<std::string> args) {
        args.insert(args.begin(), CLV_SIMSTANDIN_PATH);
        args.push_back("--control-port");
        args.push_back("0");
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
        std::string first;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (first.find('\n') == std::string::npos && std::chrono::steady_clock::now() < until) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 100) != 1) continue;
            char c[256];
            ssize_t n = ::read(out_, c, sizeof c);
            if (n <= 0) break;
            first.append(c, static_cast<std::size_t>(n));
        }
        unsigned sim = 0;
        unsigned control = 0;
        if (std::sscanf(first.c_str(), "simstandin: simconnect port %u, control port %u", &sim, &control) != 2) {
            stop();
            throw std::runtime_error("the stand-in did not start: " + first);
        }
        simPort_ = static_cast<std::uint16_t>(sim);
        controlPort_ = static_cast<std::uint16_t>(control);
    }
    ~StandInProcess() { stop(); }
    StandInProcess(const StandInProcess&) = delete;
    StandInProcess& operator=(const StandInProcess&) = delete;

    std::uint16_t simPort() const { return simPort_; }
    std::uint16_t controlPort() const { return controlPort_; }

    nlohmann::json command(const nlohmann::json& request) const {
        return standin::gf_standInCommand(controlPort_, request);
    }
    nlohmann::json log(const std::string& call = {}) const {
        nlohmann::json request{{"cmd", "log"}};
        if (!call.empty()) request["call"] = call;
        return command(request)["entries"];
    }

    // Ends it as a user would (SIGTERM) and waits for it; its exit status.
    int stop() {
        if (pid_ <= 0) return status_;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        if (out_ >= 0) ::close(out_);
        out_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::uint16_t simPort_ = 0;
    std::uint16_t controlPort_ = 0;
};

// A port nothing listens on right now (bound to 0, read back, released).
inline std::uint16_t freeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A scenario file for the stand-in program.
inline std::string writeScenario(const TempFolder& dir, const nlohmann::json& scenario) {
    return dir.write("scenario.json", scenario.dump()).string();
}

}  // namespace clv::test
