// The stand-in's control channel: commands that change the world and read it
// back, failures armed for a client, the dump and the map of the command line.
#include "tools/simstandin/standin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "platform/sockets.h"
#include "simstandin_fixture.h"
#include "support/temp_folder.h"

using namespace clv;
using namespace clv::test::simstandin;
using clv::test::TempFolder;

TEST_F(StandIn, ControlChannelChangesTheWorldAndReadsItBack) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint16_t control = sim.controlPort();

    json reply = standin::gf_standInCommand(control, {{"cmd", "add_object"}, {"title", "Heli"}, {"type", "helicopter"}});
    ASSERT_TRUE(reply["ok"].get<bool>());
    const auto heli = reply["id"].get<std::uint32_t>();
    ASSERT_TRUE(pumpUntil(h, [&] { return in.addRemove.size() == 1; }));
    EXPECT_EQ(in.addRemove[0].objectType, ScObjectType::Helicopter);
    EXPECT_EQ(in.addRemove[0].data, heli);
    EXPECT_TRUE(standin::gf_standInCommand(control, {{"cmd", "remove_object"}, {"id", heli}})["ok"].get<bool>());
    ASSERT_TRUE(pumpUntil(h, [&] { return in.addRemove.size() == 2; }));
    EXPECT_EQ(in.addRemove[1].eventId, 203u);

    standin::gf_standInCommand(control, {{"cmd", "flight_loaded"}});
    standin::gf_standInCommand(control, {{"cmd", "flight_loaded"}, {"as", "event"}});
    standin::gf_standInCommand(control, {{"cmd", "exception"}, {"code", 23}, {"send_id", 9}, {"index", 2}});
    ASSERT_TRUE(pumpUntil(h, [&] { return !in.exceptions.empty() && in.events.size() == 2; }))
        << in.exceptions.size() << " " << in.events.size() << " " << in.files.size();
    EXPECT_EQ(in.files, std::vector<std::string>{"flights\\custom.FLT"});
    EXPECT_EQ(in.events[1].eventId, 205u);  // the plain event form
    EXPECT_EQ(in.exceptions[0].exception, 23u);
    EXPECT_EQ(in.exceptions[0].sendId, 9u);
    EXPECT_EQ(in.exceptions[0].index, 2u);

    json bad = standin::gf_standInCommand(control, {{"cmd", "no_such_command"}});
    EXPECT_FALSE(bad["ok"].get<bool>());
    EXPECT_NE(bad["error"].get<std::string>().find("no_such_command"), std::string::npos);
    EXPECT_FALSE(standin::gf_standInCommand(control, {{"cmd", "set_user"}, {"altitude", 1}})["ok"].get<bool>());
    EXPECT_THROW(standin::gf_standInCommand(0, {{"cmd", "status"}}), std::runtime_error);
    SimConnect_Close(h);
}

TEST_F(StandIn, FailCommandMakesTheClientsNextCallOfThatFunctionFail) {
    start(baseScenario());
    SimConnectHandle h = connect();
    EXPECT_EQ(sim.command({{"cmd", "fail"}, {"function", "SimConnect_AIRemoveObject"}})["armed_clients"], 1);
    EXPECT_EQ(SimConnect_AIRemoveObject(h, 1000, 105), kScFail);
    EXPECT_EQ(SimConnect_AIRemoveObject(h, 1000, 105), kScOk);
    EXPECT_FALSE(sim.command({{"cmd", "fail"}, {"function", "remove"}})["ok"].get<bool>());
    EXPECT_FALSE(sim.command({{"cmd", "fail"}, {"function", "SimConnect_CallDispatch"}})["ok"].get<bool>());
    SimConnect_Close(h);
}

TEST_F(StandIn, DumpListsWhatTheProgramCreated) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint32_t id = createAi(h, "Boeing 737-800 Ryanair", "RYR42", onGroundAt(50.5, 8.25));
    SimConnect_TransmitClientEvent(h, id, 207, 1, 301, 0);
    pumpUntilLogged(h, "SimConnect_TransmitClientEvent", 1);
    sim.command({{"cmd", "add_object"}, {"title", "Someone else's"}});
    const std::string dump = standin::gf_formatObjectDump(sim.command({{"cmd", "objects"}})["objects"]);
    EXPECT_NE(dump.find(std::to_string(id) + "  RYR42"), std::string::npos) << dump;
    EXPECT_NE(dump.find("50.50000"), std::string::npos);
    EXPECT_NE(dump.find("yes  nav"), std::string::npos);
    EXPECT_NE(dump.find("Boeing 737-800 Ryanair"), std::string::npos);
    EXPECT_EQ(dump.find("Someone else's"), std::string::npos);
    EXPECT_NE(dump.find("1 AI object\n"), std::string::npos);
    SimConnect_Close(h);
}

// The map command draws the aircraft the program created and never moved (the
// static parked ones) as well as those it moved.
TEST_F(StandIn, TheMapCommandDrawsAircraftThatNeverMoved) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint32_t parked = createAi(h, "Boeing 737-800 Ryanair", "EI-DCL*", onGroundAt(50.034, 8.571));
    const std::uint32_t moved = createAi(h, "Airbus A320 Neo Lufthansa", "DLH4AB", onGroundAt(50.03, 8.56));
    ASSERT_NE(parked, 0u);
    const double block[8] = {50.031, 8.56, 0, 0, 0.0, 400.0, 0, 10};
    SimConnect_SetDataOnSimObject(h, 402, moved, 0, 0, sizeof block, block);
    ASSERT_TRUE(pumpUntil(h, [&] { return object(moved)["position_updates"] == 1; }));

    TempFolder folder;
    const std::string line = fmt::format("'{}' map --out '{}' --control-port {} >'{}' 2>&1", CLV_SIMSTANDIN_PATH,
                                         (folder / "map.svg").string(), sim.controlPort(), (folder / "out.txt").string());
    ASSERT_EQ(std::system(line.c_str()), 0) << folder.read("out.txt");
    EXPECT_NE(folder.read("out.txt").find("map of 2 aircraft"), std::string::npos) << folder.read("out.txt");
    const std::string svg = folder.read("map.svg");
    EXPECT_NE(svg.find(">EI-DCL*</text>"), std::string::npos) << svg;
    EXPECT_NE(svg.find(">DLH4AB</text>"), std::string::npos) << svg;
    SimConnect_Close(h);
}

// Whatever a client sends, the stand-in keeps serving: a tail number that is no
// UTF-8 and a control line of broken bytes are answered, never fatal.
TEST_F(StandIn, BytesThatAreNoUtf8NeverEndTheStandIn) {
    start(baseScenario());
    SimConnectHandle h = connect();
    registerProgram(h);
    const std::uint32_t id = createAi(h, "Boeing 737-800 Ryanair", "RYR\xFF\xFE\n", onGroundAt(50.5, 8.25));
    ASSERT_GE(id, 1000u);
    const json objects = sim.command({{"cmd", "objects"}});
    EXPECT_EQ(objects.value("ok", false), true) << objects;
    EXPECT_FALSE(log("SimConnect_AICreateNonATCAircraft").empty());

    // A control line of broken bytes, as anything on this PC could send.
    platform::ResolvedAddress address;
    ASSERT_EQ(platform::resolveTcp("127.0.0.1", std::to_string(sim.controlPort()), address), 0);
    platform::Socket raw(platform::connectTo(address));
    ASSERT_TRUE(raw.isOpen());
    ASSERT_TRUE(platform::sendAll(raw.handle(), "{\"cmd\":\"\xFF\xC0\x1B\"}\n\xFE\xFF\n"));
    std::string replies;
    char buffer[4096];
    while (std::count(replies.begin(), replies.end(), '\n') < 2 &&
           platform::waitReadable(raw.handle(), {}, 3000) == platform::WaitResult::Ready) {
        const long n = platform::receiveSome(raw.handle(), buffer, sizeof buffer);
        if (n <= 0) break;
        replies.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(std::count(replies.begin(), replies.end(), '\n'), 2) << replies;
    EXPECT_NE(replies.find("\"ok\":false"), std::string::npos) << replies;
    // Still serving both its channels.
    EXPECT_EQ(sim.command({{"cmd", "objects"}}).value("ok", false), true);
    SimConnect_RequestDataOnSimObject(h, 102, 405, id, ScPeriod::Once);
    EXPECT_TRUE(pumpUntil(h, [&] { return !in.data.empty(); }));
    SimConnect_Close(h);
}

namespace {

// What a control command ends with: its error, or "answered".
std::string lf_controlCommandError(std::uint16_t port, int silenceMs) {
    try {
        standin::gf_standInCommand(port, {{"cmd", "status"}}, silenceMs);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "answered";
}

// A TCP listener on the loopback: the kernel takes connections and requests, it
// answers nothing until a test accepts.
struct LoopbackListener {
    platform::Socket socket;
    std::uint16_t port = 0;

    LoopbackListener() {
        platform::ResolvedAddress address;
        if (platform::resolveTcp("127.0.0.1", "0", address) != 0) return;
        socket.adopt(platform::openSocket(address.family(), address.type(), address.protocol()));
        if (socket.isOpen() && platform::bindAddress(socket.handle(), address) && platform::listenOn(socket.handle()))
            port = platform::localPort(socket.handle());
    }
};

}  // namespace

// A stand-in that takes the command and sends nothing, or ends the connection
// half-way through its answer: each is told with its port, never waited for
// without end and never taken for an answer.
TEST(StandInControlClient, AnAnswerThatDoesNotComeIsTold) {
    LoopbackListener listener;
    ASSERT_NE(listener.port, 0);
    EXPECT_EQ(lf_controlCommandError(listener.port, 100),
              fmt::format("the stand-in on control port {} sent no answer for 0.1 s; it may be stuck", listener.port));

    LoopbackListener halfway;
    ASSERT_NE(halfway.port, 0);
    std::thread peer([&] {
        platform::Socket connection(platform::acceptClient(halfway.socket.handle()));
        std::string request;
        char buffer[256];
        while (request.find('\n') == std::string::npos) {
            const long n = platform::receiveSome(connection.handle(), buffer, sizeof buffer);
            if (n <= 0) break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        platform::sendAll(connection.handle(), "{\"ok\":");
    });
    // The end of the connection, not the silence, ends this wait.
    EXPECT_EQ(lf_controlCommandError(halfway.port, standin::kAnswerSilenceMs),
              fmt::format("the stand-in on control port {} ended the connection after 6 bytes, before its answer "
                          "was complete",
                          halfway.port));
    peer.join();
}

// The wait for an answer ends after a span of silence, however long the whole
// answer takes while its pieces keep coming.
TEST(StandInControlClient, TheWaitIsForSilenceNotForTheWholeAnswer) {
    using std::chrono::milliseconds;
    using std::chrono::seconds;
    const auto sent = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    standin::AnswerWait wait{seconds(5), sent};
    EXPECT_EQ(wait.left(sent + milliseconds(4999)), milliseconds(1));
    EXPECT_LE(wait.left(sent + seconds(5)).count(), 0);
    wait.heard(sent + seconds(4));
    EXPECT_EQ(wait.left(sent + milliseconds(8999)), milliseconds(1));  // past 5 s since the request
    EXPECT_LE(wait.left(sent + seconds(9)).count(), 0);
}
