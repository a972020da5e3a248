#pragma once
// The fixture of the in-process end-to-end runs of the engine: the real readers
// and simulator link against the stand-in simulator, with a log of the test's own
// and nothing left behind for the next test in the process.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "core/geodesy.h"
#include "core/log.h"
#include "core/stop_flags.h"
#include "link/sim_client.h"
#include "link/sim_events.h"
#include "link/sim_hooks.h"
#include "link/sim_queues.h"
#include "link/traffic_receiver.h"
#include "link/traffic_update.h"
#include "link/udp_readers.h"
#include "end_to_end_support.h"
#include "support/eventually.h"
#include "support/temp_folder.h"
#include "tools/simstandin/standin.h"
#include "traffic/traffic_engine.h"

namespace clv::test {

class EngineEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        gf_resetSimLink();
        gf_clearStopFlags();
        gf_setSimLinkHooks({});
        std::vector<SimEvent> stale;
        gf_takeSimEvents(stale);
        gf_resetTrafficFeed();  // a test before this one in the process may have fed the reader
        gf_openLog(logDir.path());
    }
    void TearDown() override {
        flightRunning = false;
        gf_stopReaders();
        if (client.joinable()) {
            client.request_stop();
            client.join();
        }
        standIn.stop();
        gf_resetSimLink();
        gf_clearFeedParkAirport();
        trafficReceiver.clearRefElevation();
        gf_closeLog();
        gf_clearStopFlags();
        std::vector<SimEvent> stale;
        gf_takeSimEvents(stale);
    }

    // The engine's traffic starts from tick 0 with an empty update queue, the
    // simulator link connects to the stand-in, and the traffic reader listens on
    // `trafficPort` with its range, park airport and elevation at `centre`.
    void startEngineAndReader(TrafficEngine& engine, LatLon centre, double elevationFt) {
        trafficTickCount = 0;
        {
            std::lock_guard lock(runMutex);
            trafficUpdateQueue.clear();
        }
        gf_startTraffic(engine);

        client = std::jthread(SimClient);
        ASSERT_TRUE(eventually([] { return simConnected.load() && simRunning.load(); }, std::chrono::seconds(10)))
            << readFile(logDir.path() / "Log.txt");

        trafficPort = gf_freeUdpPort();
        ASSERT_NE(trafficPort, 0);
        gf_setReaderPorts(trafficPort, gf_freeUdpPort());
        trafficReceiver.setRangeCentre(centre);
        gf_setFeedParkAirport(centre);
        trafficReceiver.setRefElevation(elevationFt);
        flightRunning = true;
        gf_startTrafficReader();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the reader binds its port
    }

    TempFolder logDir;
    std::uint16_t trafficPort = 0;
    std::chrono::steady_clock::time_point beforeStandIn = std::chrono::steady_clock::now();  // the history's time 0
    standin::SimStandIn standIn;
    std::jthread client;
};

}  // namespace clv::test
