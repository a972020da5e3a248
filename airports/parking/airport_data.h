#pragma once
// The world's airports: one reference list sorted by code (read once per
// process), the airport names for the add-on airport scan, and the lookups
// built on them.
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "airports/parking/addon_reference.h"
#include "core/folders.h"
#include "core/geodesy.h"

namespace clv {

struct Airport {
    std::string code;  // ICAO code, the key of the list
    std::string iata;  // empty when the file gives none
    double lat = 0.0;  // degrees
    double lon = 0.0;
    double alt = 0.0;  // as the file gives it
};

// Room reserved before the first read: the reference file's size.
inline constexpr std::size_t kAirportCapacity = 44000;
// The nearest airport is looked for this far from the position.
inline constexpr double kNearestAirportNm = 5.0;

}  // namespace clv

inline const Path g_airportsMsfsNamesFile{"airports_msfs_names.xml"};

// Filled by the first successful gf_readAirports; only read afterwards, by the
// run thread and the scan workers, without a lock.
extern std::vector<clv::Airport> g_airports;
// Code -> name; filled at the start of an add-on airport scan, emptied at its end.
extern std::unordered_map<std::string, std::string> g_airportNames;

// Reads input/airports_msfs.xml into g_airports on the first successful call of
// the process and answers whether the list holds an airport; later calls answer
// at once. Throws clv::UserErrorException 88 (87 for an XPath error) when the file
// cannot be loaded, lacks "airports" or holds a bad number; the list is then empty.
bool gf_readAirports();
// Adds the names of input/airports_msfs_names.xml (the first name of a code
// stays); true when the map holds a name. A missing file is no error.
bool gf_readAirportNames();

// The first airport whose code equals the text exactly.
std::optional<clv::Airport> gf_findAirport(const std::string& code);
// The airport within 5 nm that the user aircraft is to count as standing at:
// the nearest, unless the airport that was nearest before it in list order has
// a stand closer to the position (asked from both airports' files).
std::optional<clv::Airport> gf_nearestAirport(clv::LatLon position);
// "EDDF (FRA)", the code alone without IATA code, "?" for an empty code.
std::string gf_airportDisplayName(const clv::Airport& airport);

// The add-on airport scan's view of the reference data: names from
// g_airportNames, altitudes and the list order from g_airports. Read without a
// lock, so the scan fills the names before its workers start.
clv::AddonReference gf_airportReference();

// Empties both lists and clears the read flag, so the next gf_readAirports reads
// again (a test's fresh process).
void gf_forgetAirports();
