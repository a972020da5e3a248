// One "Frame" of the SimConnect thread that sends 300 position blocks: the time
// it holds simQueueMutex (the whole frame handler, which runs under the lock).
// Goal: at most 1.5 ms, and against a simulator that lags at most 2 writes per
// frame refused by its full socket.
//
// Frames come every kFrameInterval (a frame rate far above a simulator's) with the
// dispatch loop running between them, as in the program. lagging:0 talks to the
// stand-in directly; lagging:1 puts a relay between them that acts as a simulator
// across a network falling behind: its socket takes little, and now and then it
// reads nothing for a while.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "link/sim_client.h"
#include "link/sim_ids.h"
#include "link/sim_queues.h"
#include "platform/simconnect.h"
#include "tools/simstandin/standin.h"

namespace {

constexpr std::uint32_t kFirstObject = 1001;
constexpr int kPositions = 300;
constexpr auto kFrameInterval = std::chrono::milliseconds(5);
constexpr auto kDispatchEvery = std::chrono::milliseconds(1);  // as the SimConnect thread does
// The relay: what its socket takes, and how it falls behind (every kLagEvery it
// reads nothing for kLagFor).
constexpr int kRelayReceiveBuffer = 64 * 1024;
constexpr auto kLagEvery = std::chrono::milliseconds(2500);
constexpr auto kLagFor = std::chrono::milliseconds(1500);

void ignore(const clv::ScRecv*, std::uint32_t, void*) {}

int lf_loopbackSocket(std::uint16_t port, bool listening) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (listening) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kRelayReceiveBuffer, sizeof kRelayReceiveBuffer);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 1) != 0) {
            ::close(fd);
            return -1;
        }
    } else if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::uint16_t lf_localPort(int fd) {
    sockaddr_in a{};
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

// Forwards one direction until either side closes or `stop` is set; `lags`
// makes it stop reading now and then.
void lf_forward(int from, int to, bool lags, const std::atomic<bool>& stop) {
    std::vector<char> buffer(64 * 1024);
    auto nextLag = std::chrono::steady_clock::now() + kLagEvery;
    while (!stop) {
        if (lags && std::chrono::steady_clock::now() >= nextLag) {
            std::this_thread::sleep_for(kLagFor);
            nextLag = std::chrono::steady_clock::now() + kLagEvery;
        }
        pollfd p{from, POLLIN, 0};
        if (::poll(&p, 1, 1) != 1) continue;
        const ssize_t n = ::recv(from, buffer.data(), buffer.size(), 0);
        if (n <= 0) return;
        for (ssize_t done = 0; done < n;) {
            const ssize_t m = ::send(to, buffer.data() + done, static_cast<std::size_t>(n - done), MSG_NOSIGNAL);
            if (m <= 0) return;
            done += m;
        }
    }
}

struct LaggingRelay {
    int listening = -1;
    int client = -1;
    int sim = -1;
    std::atomic<bool> stop{false};
    std::thread accepting;
    std::thread toSim;
    std::thread toClient;

    // Listens on a free port for the client; forwards to the stand-in's port.
    std::uint16_t start(std::uint16_t simPort) {
        listening = lf_loopbackSocket(0, true);
        accepting = std::thread([this, simPort] {
            pollfd p{listening, POLLIN, 0};
            while (!stop && ::poll(&p, 1, 10) != 1) {
            }
            if (stop) return;
            client = ::accept(listening, nullptr, nullptr);
            sim = lf_loopbackSocket(simPort, false);
            if (client < 0 || sim < 0) return;
            toSim = std::thread(lf_forward, client, sim, true, std::cref(stop));
            toClient = std::thread(lf_forward, sim, client, false, std::cref(stop));
        });
        return lf_localPort(listening);
    }
    ~LaggingRelay() {
        stop = true;
        if (accepting.joinable()) accepting.join();
        if (toSim.joinable()) toSim.join();
        if (toClient.joinable()) toClient.join();
        for (int fd : {client, sim, listening}) {
            if (fd >= 0) ::close(fd);
        }
    }
};

void BM_FrameWith300Positions(benchmark::State& state) {
    clv::standin::SimStandIn sim;
    clv::standin::StandInOptions options;
    options.scenario.frameRate = 0;
    sim.start(options);
    LaggingRelay relay;
    const std::uint16_t port = state.range(0) != 0 ? relay.start(sim.simPort()) : sim.simPort();
    setenv(clv::kSimConnectPortVariable, std::to_string(port).c_str(), 1);
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

    std::vector<double> frames;
    clv::ScSendCounters first;
    gf_simConnectSendCounters(handle, first);
    std::size_t mostUnsent = 0;
    std::size_t fullFrames = 0;    // frames that left the socket full
    std::uint64_t mostFailed = 0;  // in one frame and the dispatches after it
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
        clv::ScSendCounters before;
        gf_simConnectSendCounters(handle, before);
        const auto start = std::chrono::steady_clock::now();
        gf_onFrame();
        const auto held = std::chrono::steady_clock::now() - start;
        frames.push_back(std::chrono::duration<double>(held).count());
        state.SetIterationTime(frames.back());
        clv::ScSendCounters now;
        gf_simConnectSendCounters(handle, now);
        mostUnsent = std::max(mostUnsent, now.unsent);
        if (now.socketFull) ++fullFrames;
        // What the frame left in the send buffer goes out, and replies are read,
        // as the dispatch loop does until the next frame.
        do {
            SimConnect_CallDispatch(handle, ignore, nullptr);
            std::this_thread::sleep_for(kDispatchEvery);
        } while (std::chrono::steady_clock::now() - start < kFrameInterval);
        gf_simConnectSendCounters(handle, now);
        mostFailed = std::max(mostFailed, now.failedSends - before.failedSends);
    }
    clv::ScSendCounters last;
    gf_simConnectSendCounters(handle, last);
    simConnectHandle = clv::SimConnectHandle{};
    SimConnect_Close(handle);
    sim.stop();

    // Writes per frame count the frame and the dispatches after it.
    const double n = static_cast<double>(std::max<std::size_t>(frames.size(), 1));
    state.counters["sends/frame"] = static_cast<double>(last.sends - first.sends) / n;
    state.counters["failed_sends/frame"] = static_cast<double>(last.failedSends - first.failedSends) / n;
    state.counters["most_failed_sends_in_a_frame"] = static_cast<double>(mostFailed);
    state.counters["most_unsent_KiB"] = static_cast<double>(mostUnsent) / 1024.0;
    state.counters["full_socket_frames"] = static_cast<double>(fullFrames) / n;
    if (!frames.empty()) {
        std::sort(frames.begin(), frames.end());
        state.counters["p99_us"] = frames[std::min(frames.size() - 1, frames.size() * 99 / 100)] * 1e6;
    }
}

}  // namespace

// A fixed count: every frame also waits its interval.
BENCHMARK(BM_FrameWith300Positions)
    ->ArgName("lagging")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
