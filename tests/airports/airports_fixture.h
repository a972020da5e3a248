#pragma once
// Shared pieces of the airport tests: the log's lines, registration records in
// the reference data, and a stand list emptied around each test.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "airports/apf_file.h"
#include "airports/apf_reader.h"
#include "airports/stands/stand.h"
#include "core/log.h"
#include "liveries/dbase.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace clv::test {

// tests/data/airports.
inline std::filesystem::path airportsDataFolder() {
    return std::filesystem::path(CLV_TESTS_SOURCE_DIR) / "data" / "airports";
}

using AirportLog = LogCapture;

// Registration records in the process-wide reference data for the lifetime.
class RegRecords {
public:
    RegRecords() = default;
    ~RegRecords() { dbase.registrations.clear(); }
    RegRecords(const RegRecords&) = delete;
    RegRecords& operator=(const RegRecords&) = delete;
    void add(const std::string& registration, RegRecord record) {
        dbase.registrations[registration] = std::move(record);
    }
};

// The park airport's state back to the start around a test.
class ParkFileState {
public:
    ParkFileState() { reset(); }
    ~ParkFileState() { reset(); }
    ParkFileState(const ParkFileState&) = delete;
    ParkFileState& operator=(const ParkFileState&) = delete;

private:
    static void reset() {
        standList.clear();
        parkApfInfo = {};
        handmadeFile = false;
        rtTrafficWeek = 0;
        parkingActive = false;
        apfReadHooks = {};
    }
};

inline StandOption option(std::uint32_t id, std::uint32_t weekday, std::vector<std::uint32_t> hours,
                          std::uint32_t real = 1) {
    StandOption o;
    o.id = id;
    o.weekday = weekday;
    o.real = real;
    for (std::uint32_t h : hours) o.hours.set(h);
    return o;
}

}  // namespace clv::test
