#pragma once
// Shared pieces of the airport tests: those of the stand model's tests (the log's
// lines, registration records, a stand option), the test data's folder, and the
// park airport's state emptied around each test.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "airports/files/apf_file.h"
#include "airports/parking/apf_reader.h"
#include "core/log.h"
#include "stands/stand.h"
#include "stands/stands_fixture.h"
#include "support/temp_folder.h"

namespace clv::test {

// tests/data/airports.
inline std::filesystem::path airportsDataFolder() {
    return std::filesystem::path(CLV_TESTS_SOURCE_DIR) / "data" / "airports";
}

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

}  // namespace clv::test
