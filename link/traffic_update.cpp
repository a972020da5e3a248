#include "link/traffic_update.h"

#include <optional>

#include "core/log.h"
#include "core/log_throttle.h"
#include "core/text.h"

std::mutex runMutex;
std::atomic<bool> flightRunning{false};
std::deque<clv::TrafficUpdate> trafficUpdateQueue;
std::atomic<std::uint32_t> trafficTickCount{0};
std::atomic<std::uint64_t> trafficUpdatesDropped{0};

namespace {
clv::LogThrottle g_queueFullThrottle;  // under runMutex
}

void gf_queueTrafficUpdate(clv::TrafficUpdate update) {
    std::optional<std::uint64_t> report;
    {
        std::lock_guard lock(runMutex);
        if (!flightRunning.load()) return;
        update.sample.dueTick = trafficTickCount.load() + clv::kSampleDelayTicks;
        if (trafficUpdateQueue.size() >= kMaxQueuedTrafficUpdates) {
            trafficUpdateQueue.pop_front();
            trafficUpdatesDropped.fetch_add(1);
            report = g_queueFullThrottle.note(clv::LogThrottle::Clock::now());
        }
        trafficUpdateQueue.push_back(std::move(update));
    }
    if (report) gf_logMarked("traffic queue full: {} oldest update{} dropped", *report, gf_plural(*report));
}
