#pragma once
// The callsigns flying live while static parked aircraft are planned, so that
// the planner does not also park them.
#include <set>
#include <string>

namespace clv {
class TrafficReceiver;
}

// The planner's set; the run thread's alone. Kept until the next take-over.
extern std::set<std::string> liveCallsigns;

// Ends the traffic reader's collection and takes its callsigns over into
// liveCallsigns (emptied first); the reader's set is left empty.
void lf_takeLiveCallsigns();
void lf_takeLiveCallsigns(clv::TrafficReceiver& receiver);
