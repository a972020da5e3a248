#pragma once
// Runs the program as built against the stand-in simulator and the stand-in
// RealTraffic, each a process of its own, in folders of the test's own.
#include <gtest/gtest.h>

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "shell/window_capture.h"
#include "support/temp_folder.h"

namespace clv::test {

// Where the user aircraft of the program runs stands: at Zurich.
inline constexpr double kZurichUserLat = 47.4581;
inline constexpr double kZurichUserLon = 8.5481;

// The limits only guard against a hang.
inline constexpr std::chrono::seconds kStepLimit{120};
inline constexpr std::chrono::seconds kExitLimit{60};

// The test data folder of the sources (tests/data).
std::filesystem::path gf_testData();

// A stand-in or tool built beside the program, in the build tree's tools folder.
std::filesystem::path gf_toolPath(const std::string& name);

// A port that nothing on this machine holds at the moment (SOCK_STREAM or SOCK_DGRAM); 0 if none.
std::uint16_t gf_freePort(int type);

// Polls the condition every 50 ms until it holds or the limit passes.
bool gf_waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

std::string gf_readIfThere(const std::filesystem::path& path);

// One child process with its output in a file; killed if the test leaves it running.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Standard output and error go to `output`, or error to `errors` when given.
    void start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& folder, const std::map<std::string, std::string>& environment,
               const std::filesystem::path& output, const std::filesystem::path& errors = {});

    // The exit status (a signal as its negative number); none while it still runs.
    std::optional<int> waitForExit(std::chrono::seconds limit);
    void signal(int number) const;
    // Until the process has stopped (SIGSTOP); false when it ended instead or the limit passed.
    bool waitForStop(std::chrono::seconds limit);
    bool running();
    std::string output() const { return gf_readIfThere(output_); }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::filesystem::path output_;
};

// The folders a user has: the program's working folder with "docs", the per-user
// folders, the simulator with its Community folder, RealTraffic's marker file, a
// download server (a plain folder), and a display of the test's own.
class ProductRun : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The program's window on a display of its own: other tests that look for
    // its window by name on the shared display must not find this one.
    void startPrivateDisplay();
    // The fixture's aircraft.cfg files as they are; those stored in other
    // encodings under other names are left out (the livery scan tests cover them).
    void copyPlainCommunity(const std::filesystem::path& target);
    void writeParameters(const std::map<std::string, std::string>& settings);
    std::map<std::string, std::string> userFolders() const;

    // Starts the stand-in simulator with the arguments (ports are added) and
    // reads the ports it took into simPort and simControlPort.
    void startSimStandIn(ChildProcess& sim, const std::vector<std::string>& arguments);
    // The program in the working folder with the user folders, the display and the ports.
    void startProgram(ChildProcess& program, std::uint16_t trafficPort, std::uint16_t qnhPort);

    // The loopback ports of the stand-in RealTraffic: its link (TCP), its traffic and its weather (UDP).
    struct FeedPorts {
        std::uint16_t tcp = 0;
        std::uint16_t traffic = 0;
        std::uint16_t qnh = 0;
        bool complete() const { return tcp != 0 && traffic != 0 && qnh != 0; }
    };
    static FeedPorts freeFeedPorts();
    // The stand-in RealTraffic's link with its weather datagrams every second.
    void startFeedLink(ChildProcess& link, const FeedPorts& ports, bool once, const std::string& qnh = "1013");

    // Log.txt and the output of each named process, for a failure message.
    std::string report(std::initializer_list<std::pair<const char*, const ChildProcess*>> processes) const;

    // The stand-in simulator's scenario "scenario.json" in the test's folder: the user's
    // A320 parked at Zurich (kZurichUserLat/Lon, heading 280); with an elevation, the
    // ground and the user stand at that height. Returns its path.
    std::filesystem::path writeZurichScenario(std::optional<int> groundElevationFt = std::nullopt);

    std::string log() const { return gf_readIfThere(work / "Log.txt"); }
    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }

    // The stand-in simulator's answer to a control command, through its own client.
    nlohmann::json simCommand(const std::string& command) const;

    TempFolder folder;
    std::filesystem::path work;
    std::uint16_t simPort = 0;
    std::uint16_t simControlPort = 0;
    std::unique_ptr<PrivateDisplay> displayServer;  // outlives the test's own processes
    std::string display;
};

// A run with the demo's data: its liveries installed in the stand-in's simulator
// folder (found by the program's scan) and its data base and registration codes
// on the download server.
class DemoDataRun : public ProductRun {
protected:
    void SetUp() override;
    // The settings of a run on the demo's data: the demo simulator folder, the feed's
    // link port, liveries scanned and matched, no add-on airport scan, a fixed range
    // of 30 nm and no random draws; `extra` adds settings or overrides these.
    void writeDemoParameters(std::uint16_t linkPort, const std::map<std::string, std::string>& extra = {});
    // The stand-in simulator with the scenario and the demo liveries in its Community folder.
    void startDemoSimStandIn(ChildProcess& sim, const std::filesystem::path& scenario);
};

// The repository's demo folder.
std::filesystem::path gf_demoFolder();

// A standing connection to the stand-in simulator's control channel, for
// polling it often without a process per question.
class ControlLink {
public:
    explicit ControlLink(std::uint16_t port);
    ~ControlLink();
    ControlLink(const ControlLink&) = delete;
    ControlLink& operator=(const ControlLink&) = delete;

    bool connected() const { return fd_ >= 0; }
    // The answer to one command; a discarded value when the link fails.
    nlohmann::json command(const nlohmann::json& request);

private:
    int fd_ = -1;
    std::string pending_;
};

}  // namespace clv::test
