#pragma once
// The park positions (stands) of the park airport and their options: which
// aircraft stood on a stand on which weekday in which half-hours. The file
// readers, the learned-file merge and the add-on airport decoding build them;
// the parking planner reads the options and the live traffic engine teaches them.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/geodesy.h"
#include "stands/half_hours.h"

namespace clv {

struct StandOption {
    std::string airline;         // ICAO airline code, or the registration's operator
    std::string type;            // ICAO type designator
    std::string registration;
    std::string callsign;        // the first callsign seen with this option
    std::string secondCallsign;  // a further (coupled) callsign; "" for none
    HalfHourSet hours;           // half-hours of `weekday` in which the aircraft stood here
    std::uint32_t id = 0;        // unique within its stand; 0 marks an empty entry every search skips
    std::uint32_t weekday = 0;   // 1..7
    std::uint32_t fixed = 0;     // not 0: learning never widens the hours
    std::uint32_t real = 1;      // 1: seen on this stand; 0: soft (put here by the soft parking step)
    // The planner passes this option over for the rest of its current plan. Kept
    // apart from the id so that the option is still matched by learning and is
    // still saved; never written to a file.
    bool planSkip = false;
};

// Per live aircraft (by hexid): when its option on a stand was last widened, and
// the option of the later weekday when it stood across midnight (0 until then).
struct LearnRecord {
    std::uint32_t weekday = 0;
    std::uint32_t halfHour = 0;
    std::uint32_t laterId = 0;
};

// The kinds of a stand as the airport files give them.
struct StandKinds {
    bool cargo = false;
    bool ramp = false;  // a ramp, not a gate
    bool heli = false;  // a helipad
};

struct Stand {
    Stand() { adjacent.reserve(kAdjacentReserve); }
    // Position in degrees, heading in radians, radius in metres (kept in nautical
    // miles). Learning maps and adjacency start empty, the id at 0, every mark off.
    Stand(std::string standName, std::vector<StandOption> standOptions, double lat, double lon, double headingRad,
          double radiusMetres, StandKinds kinds)
        : options(std::move(standOptions)),
          name(std::move(standName)),
          latitude(lat),
          longitude(lon),
          heading(headingRad),
          radius(radiusMetres * clv::kNmPerMetre),
          cargo(kinds.cargo),
          ramp(kinds.ramp),
          heli(kinds.heli) {
        adjacent.reserve(kAdjacentReserve);
    }

    std::vector<StandOption> options;  // insertion order; new ones are appended
    std::map<std::uint32_t, LearnRecord> realLearning;
    std::map<std::uint32_t, LearnRecord> softLearning;
    std::string name;                   // unique at one airport; the key stands are found by
    std::vector<std::uint32_t> adjacent;  // ids of stands that may not carry an aircraft while this one does
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double heading = 0.0;    // radians
    double radius = 0.0;     // nautical miles: the largest aircraft radius the stand takes
    std::uint32_t id = 0;    // 0 until the reader numbers the stands
    bool manual = false;         // made by hand (written back in full)
    bool radiusChanged = false;  // the radius was learned
    bool cargoChanged = false;   // the cargo kind was changed by learning
    bool groupFlag = false;      // the add-on decoding gave the name a suffix letter
    bool taken = false;          // carries a planned static aircraft, or is the user's reserved stand
    bool occupied = false;       // a live or static aircraft stands on it now
    std::uint32_t holder = 0;    // hexid of the aircraft that occupies it
    bool excluded = false;       // never used for static parking
    bool adjacentBlocked = false;  // an adjacent stand is taken
    bool cargo = false;
    bool ramp = false;
    bool heli = false;

    static constexpr std::size_t kAdjacentReserve = 8;
};

}  // namespace clv

// The stands of the park airport in file order. Run thread only: the parking
// code and the engine walk it there; other threads post a request.
extern std::vector<clv::Stand> standList;

// The stand of the stand list with this id; nullptr when there is none.
clv::Stand* gf_standWithId(std::uint32_t id);

// The aircraft with this hexid now stands on the stand.
void gf_occupyStand(clv::Stand& stand, std::uint32_t hexid);
// The aircraft with this hexid no longer stands on the stand: it is free again
// when that aircraft holds it. One that left it before, or whose place another
// aircraft took, leaves the holder's mark alone. True when freed.
bool gf_releaseStand(clv::Stand& stand, std::uint32_t hexid);
