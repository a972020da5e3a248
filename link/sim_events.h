#pragma once
// The inbox from the SimConnect thread to the engine on the run thread.
#include <cstdint>
#include <mutex>
#include <vector>

namespace clv {

enum class SimEventKind : std::uint32_t {
    LiveObjectBound = 0,
    StaticObjectBound = 1,
    ObjectRemoved = 2,
    GroundData = 3,
    StaticCg = 4,
    BlockedCallsign = 5,
    CreationFailed = 6,
    // The simulator made the object of a creation: object id and hexid, before
    // (or without) the binding by the aircraft-within-range reply.
    ObjectAssigned = 7,
};

// One message to the engine. What the fields hold depends on the kind.
struct SimEvent {
    std::uint32_t objectId = 0;     // 0 for a refused creation
    std::uint32_t hexidOrFlag = 0;  // the hexid (kinds 0, 1, 6), on ground 0/1 (kind 3), else 0
    std::uint32_t extra = 0;        // 0 from the SimConnect side
    SimEventKind kind = SimEventKind::LiveObjectBound;
    double value1 = 0.0;  // kind 3: ground altitude ft; kind 4: static CG to ground ft
    double value2 = 0.0;  // kinds 0 and 3: altitude above ground ft; kind 4: static pitch rad
};

}  // namespace clv

// The traffic inbox: the SimConnect thread appends, the engine empties it on the
// run thread. The mutex also guards the engine's list of new simulator objects.
extern std::mutex simEventInboxMutex;
extern std::vector<clv::SimEvent> simEventInbox;

// Appends a copy to the inbox under its mutex.
void gf_postSimEvent(const clv::SimEvent& event);
// Moves everything in the inbox into `out` (appended) under the mutex.
void gf_takeSimEvents(std::vector<clv::SimEvent>& out);
