// One "Frame" of the SimConnect thread that sends 300 position blocks: the time
// it holds simQueueMutex (the whole frame handler, which runs under the lock).
// Goal: at most 1.5 ms.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "link/sim_client.h"
#include "link/sim_ids.h"
#include "link/sim_queues.h"
#include "platform/simconnect.h"
#include "tools/simstandin/standin.h"

namespace {

constexpr std::uint32_t kFirstObject = 1001;
constexpr int kPositions = 300;

void ignore(const clv::ScRecv*, std::uint32_t, void*) {}

void BM_FrameWith300Positions(benchmark::State& state) {
    clv::standin::SimStandIn sim;
    clv::standin::StandInOptions options;
    options.scenario.frameRate = 0;
    sim.start(options);
    setenv(clv::kSimConnectPortVariable, std::to_string(sim.simPort()).c_str(), 1);
    clv::SimConnectHandle handle{};
    if (SimConnect_Open(&handle, "Calvorinth", nullptr, 0, nullptr, 0) != clv::kScOk) {
        state.SkipWithError("the stand-in cannot be reached");
        return;
    }
    gf_registerSimConnect(handle);
    for (int i = 0; i < kPositions; ++i) {
        sim.command({{"cmd", "add_object"}, {"id", kFirstObject + i}});
    }
    simConnectHandle = handle;
    simConnectFailed = false;

    for (auto _ : state) {
        {
            std::lock_guard lock(simQueueMutex);
            for (int i = 0; i < kPositions; ++i) {
                clv::AiPositionUpdate u;
                u.objectId = kFirstObject + static_cast<std::uint32_t>(i);
                u.block.latitude = 50.0 + i * 1e-4;
                u.block.longitude = 8.5;
                u.block.altitude = 1000.0;
                sendPositions->push_back(u);
            }
        }
        const auto start = std::chrono::steady_clock::now();
        gf_onFrame();
        const auto held = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(std::chrono::duration<double>(held).count());
        // What the frame left in the send buffer goes out, and replies are read,
        // as the dispatch loop does between frames.
        SimConnect_CallDispatch(handle, ignore, nullptr);
    }
    simConnectHandle = clv::SimConnectHandle{};
    SimConnect_Close(handle);
    sim.stop();
}

}  // namespace

BENCHMARK(BM_FrameWith300Positions)->UseManualTime()->Unit(benchmark::kMicrosecond);
