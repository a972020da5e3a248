#pragma once
// The stand-in simulator: serves SimConnect clients on a loopback port with a
// small world (the user aircraft, AI and foreign objects), and a control channel
// on which tests and users change that world and read it back.
//
// The control channel takes one JSON object per line and answers with one JSON
// line: {"ok": true, ...} or {"ok": false, "error": "..."}. The commands are
// listed in tools/simstandin/README.md.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "tools/simstandin/scenario.h"

namespace clv::standin {

inline constexpr std::uint16_t kDefaultControlPort = 50501;
inline constexpr const char* kControlPortVariable = "CLV_SIMSTANDIN_CONTROL_PORT";

struct StandInOptions {
    Scenario scenario;
    std::uint16_t simPort = 0;      // 0: a free port, read back with simPort()
    std::uint16_t controlPort = 0;  // 0: a free port
};

class SimStandIn {
public:
    SimStandIn();
    ~SimStandIn();  // stops
    SimStandIn(const SimStandIn&) = delete;
    SimStandIn& operator=(const SimStandIn&) = delete;

    // Binds both ports, reads the Community folder's titles and starts serving.
    // Throws std::runtime_error with the reason (a port in use, an unreadable folder).
    void start(const StandInOptions& options);
    // Sends "Quit" to every client, closes every connection and ends the server.
    void stop();
    bool running() const;
    // True once a "shutdown" control command asked the server to end.
    bool shutdownRequested() const;

    std::uint16_t simPort() const;
    std::uint16_t controlPort() const;

    // Runs one control command, as the control channel does.
    nlohmann::json command(const nlohmann::json& request);

    // Handles bytes as if a new SimConnect client had sent them and hung up: the
    // replies it would have got (hostile-input tests and fuzzing; no port needed).
    std::string consumeAsClient(std::string_view bytes);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// How long a control client waits for an answer that does not come. Answers grow
// with the world and its history (the map's is over a megabyte after a quarter of an
// hour), so the wait is for silence: every piece of the answer starts it anew.
inline constexpr int kAnswerSilenceMs = 15000;

struct AnswerWait {
    std::chrono::steady_clock::duration silence;
    std::chrono::steady_clock::time_point lastHeard;  // the request's sending, then the latest piece

    void heard(std::chrono::steady_clock::time_point now) { lastHeard = now; }
    // What is left of the wait at `now`; zero or less once the silence was too long.
    std::chrono::steady_clock::duration left(std::chrono::steady_clock::time_point now) const {
        return lastHeard + silence - now;
    }
};

// Sends one control command to a stand-in on the loopback port and returns its
// answer; throws std::runtime_error when it cannot be reached, stays silent for
// silenceMs, or ends the connection before its answer is complete.
nlohmann::json gf_standInCommand(std::uint16_t controlPort, const nlohmann::json& request,
                                 int silenceMs = kAnswerSilenceMs);

// The AI objects of an "objects" answer as a table, one line per object.
std::string gf_formatObjectDump(const nlohmann::json& objects);

}  // namespace clv::standin
