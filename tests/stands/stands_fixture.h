#pragma once
// Shared pieces of the stand model's tests, which the airport tests use too: the
// log's lines, registration records in the reference data, and a stand option.
#include <string>
#include <utility>
#include <vector>

#include "liveries/dbase.h"
#include "stands/stand.h"
#include "support/log_capture.h"

namespace clv::test {

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
