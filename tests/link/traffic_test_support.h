#pragma once
// Traffic lines for the tests, written from RealTraffic's field layout: 29
// comma-separated fields, the ones the program reads named below.
#include <string>
#include <vector>

namespace clv::test {

enum TrafficField : int {
    kHexid = 1,
    kLat = 2,
    kLon = 3,
    kAlt = 4,
    kVs = 5,
    kTrack = 7,
    kGs = 8,
    kCallsign = 9,
    kType = 10,
    kReg = 11,
    kOrigin = 12,
    kDestination = 13,
    kTime = 14,
    kSource = 17,
    kTas = 20,
    kRoll = 23,
    kHeading = 25,
    kCategory = 28,
};

// An airliner descending north-east of Zurich, 3.3 nm from the airport.
inline std::vector<std::string> baseTrafficFields() {
    return {"TFC",    "4840123", "47.5000", "8.6000", "12000",     "-800",  "0",         "270.0",
            "280",    "SWR123",  "A320",    "HB-JLT", "LSGG",      "LSZH",  "1760000000.50", "null",
            "null",   "adsb_icao", "12000", "null",   "300",       "null",  "null",      "-5",
            "null",   "268.0",   "null",    "null",   "A3"};
}

inline std::string joinFields(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        line += fields[i];
    }
    return line;
}

}  // namespace clv::test
