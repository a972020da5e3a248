// The engine on the run thread while the reader, the simulator link and the window
// work on theirs; and the engine's real ports onto the simulator link.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/folders.h"
#include "link/sim_client.h"
#include "link/sim_events.h"
#include "link/sim_flight_plan.h"
#include "link/sim_queues.h"
#include "support/temp_folder.h"
#include "traffic/link_ports.h"
#include "traffic/traffic_service.h"
#include "traffic_harness.h"

namespace clv::test {
namespace {

TEST(EngineThreads, ReaderLinkAndWindowWorkBesideTheTick) {
    EngineRig rig;
    rig.sim.responder.on = true;
    rig.sim.responder.bindDelay = 5;
    constexpr int kAircraft = 40;
    constexpr int kReports = 6;
    std::atomic<bool> done{false};
    std::atomic<int> requestsRun{0};

    // The traffic reader: appends under runMutex, due ticks from the shared counter.
    std::thread reader([&] {
        for (int r = 0; r < kReports; ++r) {
            for (int a = 0; a < kAircraft; ++a) {
                TrafficUpdate u = makeUpdate(60001 + a, fmt::format("T{}", a), "A320", 50.0 + 0.1 * a, 8.0 + 0.03 * r,
                                             20000, 300, 90, 1000.0 + 5.0 * r);
                std::lock_guard lock(runMutex);
                u.sample.dueTick = trafficTickCount.load() + kSampleDelayTicks;
                trafficUpdateQueue.push_back(std::move(u));
            }
            std::this_thread::yield();
        }
    });
    // The SimConnect thread: takes the sent positions on each "Frame", posts reports.
    std::thread frames([&] {
        for (int posted = 0; !done; ++posted) {
            rig.sim.frame();
            if (posted < 2000) rig.sim.post(SimEvent{999999, 0, 0, SimEventKind::StaticCg, 10.0, 0.0});  // unknown
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    // The window: requests the run thread carries out.
    std::thread window([&] {
        for (int i = 0; i < 20; ++i) {
            rig.engine.post([&requestsRun](TrafficEngine& e) {
                gf_setParkedNavLights(e, true);
                ++requestsRun;
            });
            (void)rig.engine.shownObjectIdText();
            std::this_thread::yield();
        }
    });

    reader.join();
    window.join();
    rig.run(4000);
    done = true;
    frames.join();
    gf_handleSimEvents(rig.engine);

    EXPECT_EQ(requestsRun.load(), 20);
    EXPECT_TRUE(trafficUpdateQueue.empty());
    // They all reached the gate at once: as many as the creation pipeline holds
    // were spawned, created or waiting for their turn; the gate let the others go.
    // Without movement the created ones used up their samples and were removed again.
    const std::size_t spawned = rig.sim.creations.size() + rig.engine.liveCreationQueue.size();
    EXPECT_GE(spawned, 11u);
    EXPECT_LE(spawned, static_cast<std::size_t>(kAircraft));
    EXPECT_EQ(rig.engine.liveAc.size() + rig.sim.removals.size(), spawned);
    for (const LiveAc& ac : rig.engine.liveAc) EXPECT_NE(ac.simState, AcSimState::Buffer) << ac.callsign;
}

// ---- the real ports ------------------------------------------------------------------------

class LinkPorts : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear() {
        std::lock_guard lock(simQueueMutex);
        createAcQueue.clear();
        removeAcQueue.clear();
        clientEventQueue.clear();
        positionBufferA.clear();
        positionBufferB.clear();
        std::vector<SimEvent> drop;
        gf_takeSimEvents(drop);
    }
    LinkSimPort port;
};

TEST_F(LinkPorts, QueuesGoToTheSimulatorLinksQueues) {
    AcCreateRequest r;
    r.hexid = 40001;
    r.callsign = "DLH1";
    port.queueCreateAc(r);
    port.queueClientEvent(ClientEventCmd{300, GEAR_SET, 1});
    {
        QueueLock queueLock(port);
        std::lock_guard lock(queueLock);
        port.appendRemovalLocked(301);
        port.appendClientEventLocked(ClientEventCmd{300, NAV_LIGHTS_SET, 0});
        port.positionFill().push_back(AiPositionUpdate{AiPositionData{}, 302});
        port.swapPositionsLocked();
        ASSERT_EQ(createAcQueue.size(), 1u);
        EXPECT_EQ(createAcQueue[0].callsign, "DLH1");
        EXPECT_EQ(removeAcQueue, std::vector<std::uint32_t>{301});
        ASSERT_EQ(clientEventQueue.size(), 2u);
        EXPECT_EQ(clientEventQueue[1].eventId, static_cast<std::uint32_t>(NAV_LIGHTS_SET));
        ASSERT_EQ(sendPositions->size(), 1u);
        EXPECT_EQ((*sendPositions)[0].objectId, 302u);
        EXPECT_TRUE(fillPositions->empty());
    }
    gf_postSimEvent(SimEvent{303, 0, 0, SimEventKind::ObjectRemoved, 0, 0});
    std::vector<SimEvent> events;
    port.takeSimEvents(events);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].objectId, 303u);
}

TEST_F(LinkPorts, RequestsWithoutAConnectionFail) {
    QueueLock queueLock(port);
    std::lock_guard lock(queueLock);
    EXPECT_FALSE(port.requestAcInRangeLocked(74080));
    EXPECT_FALSE(port.requestStaticCgLocked(300));
    EXPECT_FALSE(port.allLightsToggleLocked(300));
}

TEST_F(LinkPorts, FlightPlanFilesAreWrittenAndDeleted) {
    TempFolder folder;
    const std::filesystem::path previous = flightPlanFolder;
    flightPlanFolder = folder.path();
    const auto path = port.writeFlightPlan(300, AcCategory::Large, "EDDF", "EDDM");
    ASSERT_TRUE(path.has_value());
    EXPECT_TRUE(std::filesystem::exists(*path));
    port.deleteFlightPlan(300);
    EXPECT_FALSE(std::filesystem::exists(*path));
    port.deleteFlightPlan(300);  // gone already: nothing happens
    flightPlanFolder = folder.path() / "missing";
    EXPECT_FALSE(port.writeFlightPlan(301, AcCategory::Large, "EDDF", "EDDM").has_value());
    flightPlanFolder = previous;
}

TEST(EngineStart, RemovesALeftOverCallsignListOnce) {
    TempFolder folder;
    CurrentFolder current(folder.path());
    folder.write(g_callsign2ObjectIdFile.string(), "DLH1 300\n");
    FakeSimLink sim;
    FakeAircraftData data;
    ParkingPort parking;
    MovementPort movement;
    TrafficEngine engine(EnginePorts{&sim, &data, &parking, &movement});
    gf_startTraffic(engine);
    EXPECT_FALSE(std::filesystem::exists(g_callsign2ObjectIdFile));
    EXPECT_GE(engine.liveAc.capacity(), 512u);
    EXPECT_GE(engine.staticAc.capacity(), 256u);
    // Later runs of the process leave it alone.
    folder.write(g_callsign2ObjectIdFile.string(), "DLH1 300\n");
    gf_startTraffic(engine);
    EXPECT_TRUE(std::filesystem::exists(g_callsign2ObjectIdFile));
}

TEST(TrafficService, PostedRequestRunsOnTheProgramsEngine) {
    int runs = 0;
    gf_postEngineRequest([&runs](TrafficEngine&) { ++runs; });
    EXPECT_EQ(runs, 0);
    gf_handleSimEvents();
    EXPECT_EQ(runs, 1);
    // Spawned aircraft first, then arrivals, one per data step, each once.
    gf_trafficEngine().spawnedList = {7, 8};
    gf_trafficEngine().arrivalsList = {9};
    std::vector<std::uint32_t> seen;
    while (const auto hexid = gf_coupledCheckFront()) {
        seen.push_back(*hexid);
        gf_coupledCheckPop();
    }
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{7, 8, 9}));
    EXPECT_TRUE(gf_trafficEngine().arrivalsList.empty());
}

}  // namespace
}  // namespace clv::test
