#pragma once
// Inside the stand-in, shared by its source files: the state of one server (the
// simulated world, the connections of both ports, the call log) and the
// functions that work on it, each group in the file that names it. Not for use
// outside tools/simstandin.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/simconnect_wire.h"
#include "tools/simstandin/scenario.h"
#include "tools/simstandin/simvars.h"
#include "tools/simstandin/standin.h"

namespace clv::standin {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

inline constexpr int kMaxPollMs = 200;  // the longest wait of the serving loop and of a control client

struct Group {
    std::vector<std::pair<std::uint32_t, bool>> events;  // client event id, maskable
    std::uint32_t priority = 0;
};

struct Periodic {
    std::uint32_t requestId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t objectId = 0;
    ScPeriod period = ScPeriod::Second;
    Clock::time_point due;
};

struct Client {
    int fd = -1;
    std::uint32_t number = 0;
    std::uint16_t peerPort = 0;     // the client's local port: finds it for an armed failure
    std::uint32_t protocol = 0;     // set by Open; every later call carries the same
    std::string in;
    std::string out;
    bool opened = false;
    std::string name;
    std::map<std::uint32_t, std::string> subscriptions;  // client event id -> system event, upper case
    std::map<std::uint32_t, std::vector<DefinedVar>> definitions;
    std::map<std::uint32_t, std::string> mapped;  // client event id -> simulator event, upper case
    std::map<std::uint32_t, Group> groups;
    std::vector<Periodic> periodic;
    bool closeWhenFlushed = false;
    bool dead = false;
};

struct ControlConnection {
    int fd = -1;
    std::string in;
    std::string out;
    bool closeWhenFlushed = false;
    bool dead = false;
};

bool gf_equalsNoCase(std::string_view a, std::string_view b);

// A text that goes into a fixed array of a reply; refused here when it cannot.
std::string gf_fitting(std::string text, std::size_t size, std::string_view key);

struct SimStandIn::Impl {
    mutable std::mutex mutex;
    Scenario scenario;
    std::map<std::uint32_t, SimObject> objects;
    std::vector<InstalledTitle> installed;
    std::uint32_t nextObjectId = 1000;
    std::int64_t zuluBase = 0;
    Clock::time_point zuluSetAt;
    std::vector<std::unique_ptr<Client>> clients;
    std::vector<std::unique_ptr<ControlConnection>> controls;
    std::deque<json> log;
    std::uint64_t nextSeq = 1;
    std::uint32_t nextClientNumber = 1;
    std::uint64_t framesSent = 0;
    Clock::time_point nextFrame;
    // Every position block applied to an AI aircraft, kept after its removal.
    struct HistoryPoint {
        double t = 0.0;  // seconds since the stand-in started
        double latitude = 0.0;
        double longitude = 0.0;
        double altitudeFt = 0.0;
        double headingDeg = 0.0;
        double pitchDeg = 0.0;
        double bankDeg = 0.0;
        bool onGround = false;
    };
    struct TrackHistory {
        std::string atcId;
        std::string title;
        bool removed = false;
        std::uint64_t dropped = 0;  // oldest points dropped to keep within the limit
        std::vector<HistoryPoint> points;
    };
    static constexpr std::size_t kHistoryLimit = 200000;
    std::map<std::uint32_t, TrackHistory> histories;
    Clock::time_point startedAt = Clock::now();

    int simListen = -1;
    int controlListen = -1;
    int wakeFd = -1;
    std::uint16_t simPort = 0;
    std::uint16_t controlPort = 0;
    std::thread thread;
    std::atomic<bool> stopFlag{false};
    std::atomic<bool> isRunning{false};
    std::atomic<bool> shutdownAsked{false};

    ~Impl();

    // ----- the simulated world (sim_world.cpp) -----

    WorldView world() const;
    void setZulu(std::int64_t secondsSince1970);
    void placeUser(const UserAircraft& u);
    UserAircraft userAircraft();
    const InstalledTitle* findInstalled(std::string_view title) const;
    std::size_t aiCount() const;
    SimObject& user() { return objects.at(scenario.user.objectId); }
    SimObject* findObject(std::uint32_t objectId);
    void recordHistory(const SimObject& o);
    void removeObject(std::uint32_t id);

    // ----- replies, events, the call log and the timers of SimConnect clients (protocol_server.cpp) -----

    // Texts that reach replies (the simulator's name, a flight file) are checked
    // where the control channel takes them, so every reply fits its arrays.
    template <class R>
    void send(Client& c, ScRecvId id, const R& record) {
        if (c.dead) return;
        ScWriter(c.out).reply(c.protocol, id, record);
    }

    // Every client subscribed to the system event gets it, built by `make` from its event id.
    template <class F>
    void toSubscribers(std::string_view systemEvent, F make) {
        for (auto& c : clients) {
            if (c->dead || !c->opened) continue;
            for (const auto& [eventId, name] : c->subscriptions) {
                if (name == systemEvent) make(*c, eventId);
            }
        }
    }

    void sendException(Client& c, std::uint32_t code, std::uint32_t sendId, std::uint32_t index, json* entry);
    void sendSimState();
    void sendAddRemove(const SimObject& o, bool added);
    void sendFlightLoaded(const std::string& file, bool asFilename);
    void sendData(Client& c, ScRecvId id, std::uint32_t requestId, std::uint32_t defineId, const SimObject& o,
                  std::uint32_t entry, std::uint32_t outOf);
    void sendQuitToAll();
    json& logCall(const Client& c, std::uint32_t packetId, const char* call);
    void handleFrame(Client& c, const ScPacket& f);
    void consume(Client& c);
    void tick();
    int msToNextTimer() const;

    // ----- the calls on objects (object_calls.cpp) -----

    SimObject* aiObject(Client& c, std::uint32_t objectId, std::uint32_t packet, json& e);
    void requestData(Client& c, const ScRequestDataCall& r, std::uint32_t packet, json& e);
    void requestByType(Client& c, const ScRequestByTypeCall& r, std::uint32_t packet, json& e);
    void setData(Client& c, const ScSetDataCall& r, std::uint32_t packet, json& e);
    void transmit(Client& c, const ScTransmitEventCall& r, std::uint32_t packet, json& e);
    void create(Client& c, const ScCreateAircraftCall& r, std::uint32_t packet, json& e);
    void loadFlightPlan(Client& c, SimObject& o, const std::string& path, std::uint32_t packet, json& e);

    // ----- control commands (control_commands.cpp) -----

    json objectJson(const SimObject& o) const;
    json historyJson(std::uint32_t id, const TrackHistory& h) const;
    json execute(const json& request);
    json executeSafely(const json& request);

    // ----- the sockets and the serving loop (standin.cpp) -----

    void closeSockets();
    void wake() const;
    void acceptAll();
    void serveClients();
    void serveControls();
    void flushAll();
    void loop();
};

}  // namespace clv::standin
