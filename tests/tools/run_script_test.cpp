// scripts/run, the demo's starter: before it builds or writes anything it makes
// sure that no demo and no Calvorinth of this user runs and that its ports are
// free; otherwise one line says why and nothing is changed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include <fmt/format.h>

#include "platform/instance_lock.h"
#include "support/temp_folder.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;

// From the tests' folder the build names: a compiler cache may hand the compiler a
// relative source path, which would make __FILE__ depend on the working folder.
fs::path lf_sourceRoot() { return fs::path(CLV_TESTS_SOURCE_DIR).parent_path(); }

// A socket bound to a port of the system's choosing, held while it lives.
class HeldPort {
public:
    explicit HeldPort(int type) {
        fd_ = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
        if (type == SOCK_STREAM) ::listen(fd_, 1);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~HeldPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A port free at the moment (bound and given back).
int lf_freePort(int type) { return HeldPort(type).port(); }

struct ScriptRun {
    int status = -1;
    std::string out;
    std::string err;
};

class RunScript : public ::testing::Test {
protected:
    void SetUp() override {
        // A checkout of its own, so that a demo running from the sources, or a
        // test beside this one, holds no lock this one meets.
        fs::create_directories(folder / "checkout" / "scripts");
        fs::copy_file(lf_sourceRoot() / "scripts" / "run", script());
        fs::create_directories(folder / "runtime");
        fs::permissions(folder / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        environment = {
            {"PATH", std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin"},
            {"HOME", folder.path().string()},
            {"XDG_RUNTIME_DIR", (folder / "runtime").string()},
            {"CLV_RUN_DIR", (folder / "run").string()},
            {"DISPLAY", ":0"},
            {"CLV_SIMCONNECT_PORT", std::to_string(lf_freePort(SOCK_STREAM))},
            {"CLV_SIMSTANDIN_CONTROL_PORT", std::to_string(lf_freePort(SOCK_STREAM))},
            {"CLV_TRAFFIC_PORT", std::to_string(lf_freePort(SOCK_DGRAM))},
            {"CLV_QNH_PORT", std::to_string(lf_freePort(SOCK_DGRAM))},
            {"CLV_RT_LINK_PORT", std::to_string(lf_freePort(SOCK_STREAM))},
        };
    }

    ScriptRun run() const {
        std::string line = "env -i";
        for (const auto& [name, value] : environment) line += fmt::format(" {}='{}'", name, value);
        line += fmt::format(" bash '{}' >'{}' 2>'{}' </dev/null", script().string(),
                            (folder / "out.txt").string(), (folder / "err.txt").string());
        ScriptRun result;
        const int status = std::system(line.c_str());
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = folder.read("out.txt");
        result.err = folder.read("err.txt");
        return result;
    }

    // The script ended at its checks: one line, and no working folder made.
    void expectRefusedWith(const std::string& words) const {
        const ScriptRun r = run();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("changed"), std::string::npos) << r.err;
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        EXPECT_FALSE(fs::exists(folder / "run"));
    }

    fs::path script() const { return folder / "checkout" / "scripts" / "run"; }

    TempFolder folder;
    std::map<std::string, std::string> environment;
};

TEST_F(RunScript, RefusesASecondDemoOfTheSameCheckout) {
    // The running demo's script holds a lock on itself.
    const int fd = ::open(script().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    expectRefusedWith("A Calvorinth demo already runs");
    ::close(fd);
}

TEST_F(RunScript, RefusesWhileCalvorinthRunsForThisUser) {
    ScopedEnv runtime("XDG_RUNTIME_DIR", (folder / "runtime").c_str());
    std::string error;
    ASSERT_EQ(platform::acquireInstanceLock("Local\\$Calvorinth$", error), platform::InstanceLockResult::Acquired)
        << error;
    expectRefusedWith("Calvorinth already runs for this user");
    // The lock is the process's until it ends; the next test gets a folder of its own.
}

TEST_F(RunScript, RefusesABusyPortAndNamesItsVariable) {
    for (const auto& [variable, type] : {std::pair{"CLV_SIMCONNECT_PORT", SOCK_STREAM},
                                         std::pair{"CLV_SIMSTANDIN_CONTROL_PORT", SOCK_STREAM},
                                         std::pair{"CLV_TRAFFIC_PORT", SOCK_DGRAM}, std::pair{"CLV_QNH_PORT", SOCK_DGRAM},
                                         std::pair{"CLV_RT_LINK_PORT", SOCK_STREAM}}) {
        SCOPED_TRACE(variable);
        const std::string before = environment[variable];
        HeldPort busy(type);
        ASSERT_NE(busy.port(), 0);
        environment[variable] = std::to_string(busy.port());
        expectRefusedWith(fmt::format("Port {} ({}) is in use; set {}", busy.port(), type == SOCK_STREAM ? "tcp" : "udp",
                                      variable));
        environment[variable] = before;
    }
}

TEST_F(RunScript, RefusesTwoPortVariablesWithOneValueAndNamesBoth) {
    // Free ports, so that only the doubling can refuse the start; a tcp and a udp
    // port of one number are refused as well, as is a number written with a zero before it.
    const int port = lf_freePort(SOCK_STREAM);
    struct Case {
        const char* first;
        const char* second;
        std::string secondValue;
    };
    for (const Case& c : {Case{"CLV_SIMCONNECT_PORT", "CLV_SIMSTANDIN_CONTROL_PORT", std::to_string(port)},
                          Case{"CLV_TRAFFIC_PORT", "CLV_QNH_PORT", std::to_string(port)},
                          Case{"CLV_SIMSTANDIN_CONTROL_PORT", "CLV_RT_LINK_PORT", "0" + std::to_string(port)},
                          Case{"CLV_SIMCONNECT_PORT", "CLV_QNH_PORT", std::to_string(port)}}) {
        SCOPED_TRACE(fmt::format("{} {}", c.first, c.second));
        const auto before = environment;
        environment[c.first] = std::to_string(port);
        environment[c.second] = c.secondValue;
        expectRefusedWith(fmt::format("{} and {} both name port {}", c.first, c.second, port));
        environment = before;
    }
}

TEST_F(RunScript, RefusesAPortVariableThatIsNoPort) {
    environment["CLV_QNH_PORT"] = "49x04";
    expectRefusedWith("CLV_QNH_PORT=49x04 is no port number");
}

}  // namespace
}  // namespace clv::test
