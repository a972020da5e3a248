#pragma once
// The renewal of the static parked aircraft for a new half-hour without clearing
// the apron: what stands is compared with what should stand now; the static
// aircraft that still fit stay, the others go, and the stands that became free
// are planned anew. Run thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "airports/parking/static_parking.h"
#include "core/clock.h"
#include "traffic/traffic_engine.h"

namespace clv {

// A standing static aircraft that stays.
struct StaticKeeper {
    std::string callsign;
    std::string callsignCopy;
    std::string furtherText;
    std::string registration;
    std::string airline;
    std::string type;
    Slot parkedAt;  // its planned slot
    std::uint32_t standId = 0;
    bool endsNow = false;  // its option does not go on into the next half-hour
};

// A static aircraft to be taken out of the simulator.
struct StaticRemoval {
    std::string callsign;
    std::uint32_t standId = 0;
};

}  // namespace clv

extern std::vector<clv::StaticKeeper> staticKeepers;
extern std::vector<clv::StaticRemoval> staticRemovals;

// Empties the keep and the removal list.
void gf_clearAdjustmentLists();

// The second phase of a renewal (the first locked the controls and started the
// feed's callsign collection).
void gf_parkingAdjustments(clv::TrafficEngine& engine);

// ---- its steps ----
void lf_matchStaticToPlan(clv::TrafficEngine& engine, clv::Slot now);
void lf_matchParkOptions(clv::Slot now, const clv::StaticAc& s);
// The plan entry at `entry` decides whether the static aircraft stays.
void lf_keepOrRemoveStatic(clv::Slot now, const clv::StaticAc& s, std::size_t entry);
bool lf_matchKeeperOption(clv::StaticKeeper& keeper, clv::Slot now, const std::string& callsign,
                          const clv::Stand& stand, const clv::StandOption& option);
