// The frame handler against the stand-in simulator, run in-process: the test
// plays the SimConnect thread and calls gf_onFrame itself.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <map>
#include <thread>

#include "link/sim_client.h"
#include "link/sim_ids.h"
#include "link/sim_queues.h"
#include "sim_test_support.h"
#include "tools/simstandin/standin.h"

using namespace clv;
using clv::test::ScopedEnv;
using clv::test::SimLinkTest;
using nlohmann::json;

namespace {

constexpr const char* kFrameInstalled = "Airbus A320 Neo Lufthansa";

void ignore(const ScRecv*, std::uint32_t, void*) {}

class SimFrame : public SimLinkTest {
protected:
    void SetUp() override {
        SimLinkTest::SetUp();
        standin::StandInOptions options;
        options.scenario.frameRate = 0;  // frames come from the test
        options.scenario.installed.push_back(standin::InstalledTitle{kFrameInstalled});
        sim.start(options);
        port.emplace(kSimConnectPortVariable, std::to_string(sim.simPort()).c_str());
        SimConnectHandle h{};
        ASSERT_EQ(SimConnect_Open(&h, "Calvorinth", nullptr, 0, nullptr, 0), kScOk);
        simConnectHandle = h;
        gf_registerSimConnect(h);
        pumpUntilLogged("SimConnect_SetNotificationGroupPriority", 1);
        for (std::uint32_t id : {1001u, 1002u}) sim.command({{"cmd", "add_object"}, {"id", id}});
        mark = sim.command({{"cmd", "log"}, {"since", 0}})["next_seq"].get<std::uint64_t>();
    }
    void TearDown() override {
        SimConnect_Close(simConnectHandle.exchange(SimConnectHandle{}));
        sim.stop();
        SimLinkTest::TearDown();
    }

    // Dispatches (which also writes what waits to be sent) until the stand-in has
    // logged this many calls of the name since the test's mark.
    void pumpUntilLogged(const std::string& call, std::size_t n) {
        EXPECT_TRUE(clv::test::waitFor([&] {
            SimConnect_CallDispatch(simConnectHandle, ignore, nullptr);
            return calls(call).size() >= n;
        })) << call;
    }
    // Arms a failure of the next call of the function (armed once the command returns).
    void failNext(const std::string& function) {
        ASSERT_EQ(sim.command({{"cmd", "fail"}, {"function", function}})["armed_clients"], 1);
    }
    json calls(const std::string& call = {}) {
        json request{{"cmd", "log"}, {"since", mark}};
        if (!call.empty()) request["call"] = call;
        return sim.command(request)["entries"];
    }
    // The calls since the mark as "name object" texts, without the stand-in's bookkeeping.
    std::vector<std::string> callSequence() {
        std::vector<std::string> out;
        for (const auto& e : calls()) {
            std::string line = e["call"].get<std::string>();
            if (e.contains("object_id")) line += " " + std::to_string(e["object_id"].get<std::uint32_t>());
            if (e.contains("event")) line += " " + e["event"].get<std::string>();
            out.push_back(line);
        }
        return out;
    }
    void position(std::uint32_t objectId, double latitude) {
        AiPositionUpdate u;
        u.objectId = objectId;
        u.block.latitude = latitude;
        u.block.longitude = 8.5;
        u.block.altitude = 1000.0;
        std::lock_guard lock(simQueueMutex);
        sendPositions->push_back(u);
    }
    AcCreateRequest creation(std::string title, std::string callsign, std::uint32_t hexid) {
        AcCreateRequest r;
        r.position = ScInitPosition{50.0, 8.5, 0.0, 0.0, 0.0, 90.0, 1, 0};
        r.title = std::move(title);
        r.callsign = std::move(callsign);
        r.hexid = hexid;
        return r;
    }

    standin::SimStandIn sim;
    std::optional<ScopedEnv> port;
    std::uint64_t mark = 0;
};

}  // namespace

TEST_F(SimFrame, SendsPositionsEventsCreationsAndRemovalsInThisOrderAndSparesTheUser) {
    gf_queueRemoveAc(1002);
    gf_queueRemoveAc(2);  // at or below the user's object id: never sent
    gf_queueCreateAc(creation(kFrameInstalled, "DLH4AB", 20001));
    gf_queueNavLights(1001, 1);
    position(1001, 50.25);
    position(2, 50.0);
    gf_onFrame();
    pumpUntilLogged("SimConnect_AIRemoveObject", 1);

    EXPECT_EQ(callSequence(), (std::vector<std::string>{"SimConnect_SetDataOnSimObject 1001",
                                                        "SimConnect_TransmitClientEvent 1001 NAV_LIGHTS_SET",
                                                        "SimConnect_AICreateNonATCAircraft 1003",
                                                        "SimConnect_AIRemoveObject 1002"}));
    EXPECT_TRUE(logged("===> Simconnect call to remove ac with objectid 2"));
    EXPECT_EQ(sim.command({{"cmd", "object"}, {"id", 1001}})["object"]["lat"], 50.25);
    ASSERT_EQ(pendingCreations.size(), 1u);
    EXPECT_EQ(pendingCreations[0].hexid, 20001u);
    EXPECT_EQ(pendingCreations[0].callsign, "DLH4AB");
    EXPECT_EQ(pendingCreations[0].packetId, calls("SimConnect_AICreateNonATCAircraft")[0]["packet"]);
    std::lock_guard lock(simQueueMutex);
    EXPECT_TRUE(sendPositions->empty());
    EXPECT_TRUE(clientEventQueue.empty());
    EXPECT_TRUE(createAcQueue.empty());
    EXPECT_TRUE(removeAcQueue.empty());
}

TEST_F(SimFrame, FlapsAreSetBetweenTwoReleasesAndAFailedSetKeepsOnlyTheFirst) {
    gf_queueClientEvent(1001, FLAPS_SET, 2);
    gf_onFrame();
    pumpUntilLogged("SimConnect_AIReleaseControl", 2);
    EXPECT_EQ(callSequence(), (std::vector<std::string>{"SimConnect_AIReleaseControl 1001",
                                                        "SimConnect_TransmitClientEvent 1001 FLAPS_SET",
                                                        "SimConnect_AIReleaseControl 1001"}));

    failNext("SimConnect_TransmitClientEvent");
    mark = sim.command({{"cmd", "log"}})["next_seq"].get<std::uint64_t>();
    gf_queueClientEvent(1001, FLAPS_SET, 0);
    gf_queueClientEvent(1002, GEAR_SET, 1);
    gf_onFrame();
    pumpUntilLogged("SimConnect_TransmitClientEvent", 1);
    EXPECT_EQ(callSequence(), (std::vector<std::string>{"SimConnect_AIReleaseControl 1001",
                                                        "SimConnect_TransmitClientEvent 1002 GEAR_SET"}));
    EXPECT_EQ(statusLines(), std::vector<std::string>{"SimConnect TransmitClientEvent: 217 fails"});
    EXPECT_FALSE(simConnectFailed);
    EXPECT_FALSE(stopRequested);
}

TEST_F(SimFrame, ABusyLockSkipsTheFrameAndKeepsEveryCommandForTheNext) {
    position(1001, 50.1);
    gf_queueClientEvent(1001, NAV_LIGHTS_SET, 1);
    gf_queueCreateAc(creation(kFrameInstalled, "DLH1", 20001));
    gf_queueRemoveAc(1002);
    {
        std::lock_guard held(simQueueMutex);  // the run thread is queueing
        std::thread frame(gf_onFrame);
        frame.join();
        EXPECT_EQ(sendPositions->size(), 1u);
        EXPECT_EQ(clientEventQueue.size(), 1u);
        EXPECT_EQ(createAcQueue.size(), 1u);
        EXPECT_EQ(removeAcQueue.size(), 1u);
    }
    EXPECT_TRUE(pendingCreations.empty());
    gf_onFrame();
    pumpUntilLogged("SimConnect_AIRemoveObject", 1);
    EXPECT_EQ(calls().size(), 4u);
}

TEST_F(SimFrame, AFailedRemovalEndsTheRunWhileTheFramesOtherRemovalsStillGo) {
    failNext("SimConnect_AIRemoveObject");
    gf_queueRemoveAc(1001);
    gf_queueRemoveAc(1002);
    gf_onFrame();
    pumpUntilLogged("SimConnect_AIRemoveObject", 1);
    EXPECT_EQ(callSequence(), std::vector<std::string>{"SimConnect_AIRemoveObject 1002"});
    bool failureLogged = false;
    for (const auto& line : clv::test::lines(logText())) {
        failureLogged = failureLogged || (line.starts_with("===> ") &&
                                          line.ends_with("!Simconnect call to remove AI ac from sim failed, id 1001?"));
    }
    EXPECT_TRUE(failureLogged);
    EXPECT_TRUE(simConnectFailed);
    EXPECT_EQ(exitReason, ExitReason::SimConnectError);
    EXPECT_EQ(restartDelay, 9);
    EXPECT_EQ(statusLines(), std::vector<std::string>{"SimConnect request error"});
}

TEST_F(SimFrame, AfterAFailureEveryFrameDiscardsWhatWasQueuedAndSendsNothing) {
    simConnectFailed = true;
    // A producer that keeps queueing while frames discard: both hold the lock in turn.
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < 200; ++i) {
            gf_queueCreateAc(creation(kFrameInstalled, "DLH" + std::to_string(i), 20000 + i));
            gf_queueClientEvent(1001, NAV_LIGHTS_SET, 1);
            gf_queueRemoveAc(1001);
        }
        done = true;
    });
    while (!done) gf_onFrame();
    producer.join();
    position(1001, 51.0);
    gf_onFrame();
    {
        std::lock_guard lock(simQueueMutex);
        EXPECT_TRUE(sendPositions->empty());
        EXPECT_TRUE(clientEventQueue.empty());
        EXPECT_TRUE(createAcQueue.empty());
        EXPECT_TRUE(removeAcQueue.empty());
    }
    EXPECT_TRUE(pendingCreations.empty());
    // A call made now still reaches the stand-in, so everything before it has too.
    SimConnect_AIReleaseControl(simConnectHandle, 1001, REQUEST_RELEASE_CONTROL);
    pumpUntilLogged("SimConnect_AIReleaseControl", 1);
    EXPECT_EQ(calls().size(), 1u);
}

TEST_F(SimFrame, CreationFailuresAreReportedAndAnUnreadablePacketIdIsKeptAsZero) {
    failNext("SimConnect_AICreateNonATCAircraft");
    gf_queueCreateAc(creation(kFrameInstalled, "DLH1", 20001));
    gf_onFrame();
    EXPECT_TRUE(logged("===> ! Simcon call to create ac in sim failed, hexid:20001, liv: \"" + std::string(kFrameInstalled) +
                       "\", callsign: DLH1"));
    EXPECT_TRUE(pendingCreations.empty());
    EXPECT_TRUE(simConnectFailed);
    EXPECT_EQ(exitReason, ExitReason::SimConnectError);

    simConnectFailed = false;
    failNext("SimConnect_GetLastSentPacketID");
    gf_queueCreateAc(creation(kFrameInstalled, "DLH2", 20002));
    gf_onFrame();
    EXPECT_TRUE(logged("===> GetLastSentPacketID"));
    ASSERT_EQ(pendingCreations.size(), 1u);
    EXPECT_EQ(pendingCreations[0].packetId, 0u);
    EXPECT_EQ(pendingCreations[0].callsign, "DLH2");
}

TEST_F(SimFrame, AQueuedCreationKeepsItsTitleWhenTheProducersTextIsGone) {
    {
        std::string title = kFrameInstalled;
        AcCreateRequest r = creation(title, "DLH1", 20001);
        gf_queueCreateAc(std::move(r));
        title.assign(title.size(), '#');  // the livery index let go of its text
    }
    gf_onFrame();
    pumpUntilLogged("SimConnect_AICreateNonATCAircraft", 1);
    json created = calls("SimConnect_AICreateNonATCAircraft")[0];
    EXPECT_EQ(created["title"], kFrameInstalled);
    EXPECT_FALSE(created.contains("exception"));
}

TEST_F(SimFrame, ATitleOrTailNumberTooLongForTheSimulatorIsNotCreatedAndSaysSo) {
    struct Case {
        std::string title;
        std::string callsign;
        bool sent;
    };
    const Case cases[] = {
        {std::string(kScTitleMax + 1, 'T'), "DLH1", false},
        {kFrameInstalled, std::string(kScTailNumberMax + 1, 'C'), false},
        {std::string("Airbus\0A320", 11), "DLH1", false},
        {std::string(kScTitleMax, 'T'), std::string(kScTailNumberMax, 'C'), true},
    };
    std::uint32_t hexid = 30001;
    std::size_t sent = 0;
    for (const Case& c : cases) {
        gf_queueCreateAc(creation(c.title, c.callsign, hexid));
        gf_onFrame();
        const std::string refusal = fmt::format("! Not created: the simulator takes titles of at most 255 bytes and "
                                                "tail numbers of at most 11, hexid:{}",
                                                hexid);
        bool refused = false;
        for (const auto& line : clv::test::lines(logText())) refused = refused || line.find(refusal) != std::string::npos;
        EXPECT_EQ(refused, !c.sent) << c.title.size() << " " << c.callsign.size();
        if (c.sent) pumpUntilLogged("SimConnect_AICreateNonATCAircraft", ++sent);
        ++hexid;
    }
    // The one that fitted went out whole; the refused ones cost the link nothing.
    const json created = calls("SimConnect_AICreateNonATCAircraft");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0]["title"], std::string(kScTitleMax, 'T'));
    EXPECT_EQ(created[0]["tail_number"], std::string(kScTailNumberMax, 'C'));
    EXPECT_EQ(pendingCreations.size(), 1u);
    EXPECT_FALSE(simConnectFailed);
    EXPECT_TRUE(statusLines().empty());
}

// Each creation goes out under a request id of its own, so the simulator's answer
// naming the new object reaches the engine with the right aircraft.
TEST_F(SimFrame, EachCreationLearnsItsOwnObject) {
    gf_queueCreateAc(creation(kFrameInstalled, "DLH1", 20001));
    gf_queueCreateAc(creation(kFrameInstalled, "DLH2", 20002));
    gf_onFrame();
    std::map<std::uint32_t, std::uint32_t> objectOfHexid;
    ASSERT_TRUE(clv::test::waitFor([&] {
        SimConnect_CallDispatch(simConnectHandle, gf_dispatch, nullptr);
        for (const SimEvent& e : clv::test::takeSimEvents()) {
            if (e.kind == SimEventKind::ObjectAssigned) objectOfHexid[e.hexidOrFlag] = e.objectId;
        }
        return objectOfHexid.size() == 2;
    }));
    const json made = calls("SimConnect_AICreateNonATCAircraft");
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(objectOfHexid[20001], made[0]["object_id"].get<std::uint32_t>());
    EXPECT_EQ(objectOfHexid[20002], made[1]["object_id"].get<std::uint32_t>());
    ASSERT_EQ(pendingCreations.size(), 2u);
    EXPECT_NE(pendingCreations[0].requestId, pendingCreations[1].requestId);
}
