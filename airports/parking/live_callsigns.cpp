#include "airports/parking/live_callsigns.h"

#include "link/traffic_receiver.h"

std::set<std::string> liveCallsigns;

void lf_takeLiveCallsigns() { lf_takeLiveCallsigns(trafficReceiver); }

void lf_takeLiveCallsigns(clv::TrafficReceiver& receiver) {
    liveCallsigns.clear();
    // The receiver clears its flag before it takes its lock, so no insertion runs
    // during the hand-over and none reaches the set after it.
    liveCallsigns = receiver.takeSeenCallsigns();
}
