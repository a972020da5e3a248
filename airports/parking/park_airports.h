#pragma once
// The park airports: the airports whose stands the program fills with static
// parked aircraft, kept by the user (and the program) in airports/
// my_park_airports.txt, plus the folders of airports/my_thirdparty.
#include <mutex>
#include <string>
#include <vector>

#include "core/geodesy.h"

namespace clv {

struct ParkAirport {
    std::string code;
    std::string reservedStand;  // the stand kept free for the user aircraft; empty: none
    double lat = 0.0;           // degrees, from the airport reference data
    double lon = 0.0;
    double distance = 0.0;  // nm to the user aircraft at the last refresh
};

// The user aircraft counts as parked up to this ground speed (knots).
inline constexpr double kReserveMaxGroundSpeedKt = 2.0;
// Above this many park airports the refresh costs noticeable time.
inline constexpr std::size_t kManyParkAirports = 3000;

}  // namespace clv

inline constexpr const char* kMyParkAirportsName = "my_park_airports.txt";

// The list; its first entry is the one the refresh tests first and whose line
// gf_writeMyParkAirports writes. Owned by the run thread; the SimConnect thread
// reaches it only through gf_reserveUserStand. Every access from either holds
// parkAirportsMutex, which also serialises the writes of the file.
extern std::vector<clv::ParkAirport> parkAirports;
extern std::mutex parkAirportsMutex;

// Empties the list and reads my_park_airports.txt, then the folders of
// airports/my_thirdparty. False when a line names an unknown airport or an error
// was caught (the entries read until then stay); a missing file is no error.
bool lf_readMyParkAirports();

// The Re-read of the park airports: the list afresh and, with checkStand, a
// changed reserved stand of the current park airport taken into force. True
// with the message to show; false when the list had an unknown airport.
bool gf_rereadParkAirports(bool checkStand, std::string& message);

// The destination as first park airport: an entry moved to the front, or a new
// entry there and in the file.
void gf_setParkAirport(const std::string& code, clv::LatLon position);

// SimConnect thread: the stand under the parked user aircraft becomes the
// reserved stand of the current park airport's entry, and the file is written.
void gf_reserveUserStand();

// Brings the file up to date with the first entry (a new line, or its line
// rewritten with the reserved stand), sorted, each line once. The list must
// not be empty.
void gf_writeMyParkAirports();

// Internal steps, declared for their tests.
void lf_parseParkAirportLine(bool& result, const std::string& line);
bool lf_updateReservedStand(std::string& line, const clv::ParkAirport& first);
void lf_addThirdpartyParkAirports();
bool lf_isParkAirport(const std::string& code);
