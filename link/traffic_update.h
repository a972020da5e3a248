#pragma once
// The hand-over of accepted traffic lines from the "Traffic Reader" thread to the
// engine on the run thread.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include "link/ac_identity.h"
#include "link/pos_sample.h"

namespace clv {

// One accepted traffic line.
struct TrafficUpdate {
    AcIdentity identity;
    PosSample sample;
    double timestamp = 0.0;   // seconds since 1970, UTC
    std::uint32_t hexid = 0;  // the feed's aircraft id, above kLastStaticHexid
};

}  // namespace clv

// Guards flightRunning's changes and trafficUpdateQueue. The reader appends only
// while the flight runs; the traffic tick takes updates from the front.
extern std::mutex runMutex;
// Set by the main loop while the simulator's flight runs; changed only under runMutex.
extern std::atomic<bool> flightRunning;
extern std::deque<clv::TrafficUpdate> trafficUpdateQueue;

// One count per 10 ms traffic tick, raised by the engine on the run thread; the
// reader reads it to set a sample's due tick.
extern std::atomic<std::uint32_t> trafficTickCount;

// The feed's queue keeps at most this many updates: beyond, the oldest goes. At
// the tick's intake rate the bound is never reached; it guards memory against a
// flood or a stalled run thread.
inline constexpr std::size_t kMaxQueuedTrafficUpdates = 4000;

// The reader's hand-over: while the flight runs, the update becomes due
// kSampleDelayTicks after now and goes onto the back of the queue (the oldest
// dropped when the queue is full, counted in the log once a minute); otherwise
// it is discarded. Takes runMutex.
void gf_queueTrafficUpdate(clv::TrafficUpdate update);

// Updates dropped from the front of a full queue since the program started.
extern std::atomic<std::uint64_t> trafficUpdatesDropped;
