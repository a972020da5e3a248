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
    std::uint32_t hexid = 0;  // the feed's aircraft id, above 10000
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
