// Hostile and broken traffic lines: each is refused with one log line in which
// the line's bytes are escaped, and the next good line is still taken.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/text.h"
#include "link/realtraffic_state.h"
#include "link/traffic_receiver.h"
#include "link/traffic_update.h"
#include "support/temp_folder.h"
#include "traffic_test_support.h"

using namespace clv::test;

namespace {

// The base line is stamped 1760000000.5; the clock stands 10 s later.
constexpr std::int64_t kNow = 1760000010;
std::int64_t lf_fixedNow() { return kNow; }

struct Hostile {
    const char* name;
    int field;
    std::string value;
    const char* reason;  // part of the log line
};

const std::vector<Hostile>& hostileLines() {
    static const std::vector<Hostile> table = {
        {"line feed in the callsign", kCallsign, "SWR\n123", "control bytes"},
        {"escape sequence in the registration", kReg, "\x1B[31mHB", "control bytes"},
        {"NUL in the type", kType, std::string("A3\0" "2", 4), "control bytes"},
        {"invalid UTF-8 in the callsign", kCallsign, "SWR\xFF\xFE", "invalid UTF-8"},
        {"overlong UTF-8 in the origin", kOrigin, "\xC0\xAF", "invalid UTF-8"},
        {"C1 control in the destination", kDestination, "LS\xC2\x9BZH", "control bytes"},
        {"control byte in the category", kCategory, "A\x07", "control bytes"},
        {"altitude 1e308", kAlt, "1e308", "altitude"},
        {"altitude below -2000 ft", kAlt, "-2001", "altitude"},
        {"altitude above 60000 ft", kAlt, "60001", "altitude"},
        {"roll 1e308", kRoll, "1e308", "roll"},
        {"roll beyond 180", kRoll, "-180.5", "roll"},
        {"ground speed 1e308", kGs, "1e308", "ground speed"},
        {"ground speed above 1000 kt", kGs, "1000.5", "ground speed"},
        {"true airspeed 1e308", kTas, "1e308", "true airspeed"},
        {"vertical speed 1e308", kVs, "1e308", "vertical speed"},
        {"vertical speed below -20000 fpm", kVs, "-20001", "vertical speed"},
        {"track 1e308", kTrack, "1e308", "track"},
        {"track negative", kTrack, "-1", "track"},
        {"true heading 1e308", kHeading, "1e308", "true heading"},
        {"latitude 1e308", kLat, "1e308", "lalo"},
        {"longitude -1e308", kLon, "-1e308", "lalo"},
        {"stamped in the year 3000", kTime, "32503680000", "ahead of the clock"},
        {"stamped 61 s ahead", kTime, "1760000071", "ahead of the clock"},
        {"stamped 1e308", kTime, "1e308", "ahead of the clock"},
        {"stamped zero", kTime, "0", "not after 1970"},
        {"stamped negative", kTime, "-5", "not after 1970"},
    };
    return table;
}

std::vector<std::string> lf_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

class HostileLines : public ::testing::Test {
protected:
    void SetUp() override {
        gf_setClock(lf_fixedNow);
        gf_openLog(dir.path());
        realTrafficOnThisPc = true;
        lateralRangeNm = 40.0;
        gf_setFeedParkAirport({47.4581, 8.5481});
        std::lock_guard lock(runMutex);
        flightRunning = true;
        trafficUpdateQueue.clear();
    }
    void TearDown() override {
        gf_closeLog();
        gf_setClock(nullptr);
        gf_clearFeedParkAirport();
        realTrafficOnThisPc = false;
        std::lock_guard lock(runMutex);
        flightRunning = false;
        trafficUpdateQueue.clear();
    }
    std::size_t queued() {
        std::lock_guard lock(runMutex);
        return trafficUpdateQueue.size();
    }
    TempFolder dir;
};

TEST_F(HostileLines, EachIsRefusedWithOneEscapedLogLineAndTheNextGoodLineIsTaken) {
    for (const Hostile& h : hostileLines()) {
        SCOPED_TRACE(h.name);
        clv::TrafficReceiver receiver;
        receiver.setRangeCentre({47.45, 8.56});
        const std::size_t logLinesBefore = lf_lines(dir.read("Log.txt")).size();
        const double timestampBefore = receiver.dataTimestamp.load();

        std::vector<std::string> fields = baseTrafficFields();
        fields[h.field] = h.value;
        receiver.acceptDatagram(joinFields(fields));
        EXPECT_EQ(queued(), 0u);
        // A refused stamp never reaches the traffic clock.
        if (h.field == kTime) {
            EXPECT_EQ(receiver.dataTimestamp.load(), timestampBefore);
        }

        const std::vector<std::string> lines = lf_lines(dir.read("Log.txt"));
        ASSERT_EQ(lines.size(), logLinesBefore + 1);
        const std::string& line = lines.back();
        EXPECT_NE(line.find("traffic line refused"), std::string::npos) << line;
        EXPECT_NE(line.find(h.reason), std::string::npos) << line;
        EXPECT_NE(line.find("SWR"), std::string::npos) << line;  // the line itself is shown
        // Nothing of the raw bytes: every byte printable ASCII or valid UTF-8 outside C0/C1.
        EXPECT_TRUE(gf_isCleanText(line)) << line;

        receiver.acceptDatagram(joinFields(baseTrafficFields()));
        EXPECT_EQ(queued(), 1u);
        std::lock_guard lock(runMutex);
        trafficUpdateQueue.clear();
    }
}

TEST_F(HostileLines, AFloodOfRefusedLinesIsCountedNotLoggedLineByLine) {
    clv::TrafficReceiver receiver;
    receiver.setRangeCentre({47.45, 8.56});
    const std::size_t before = lf_lines(dir.read("Log.txt")).size();
    std::vector<std::string> fields = baseTrafficFields();
    fields[kCallsign] = "BAD\x1B";
    for (int i = 0; i < 1000; ++i) receiver.acceptDatagram(joinFields(fields));
    EXPECT_EQ(lf_lines(dir.read("Log.txt")).size(), before + 1);
    EXPECT_EQ(queued(), 0u);
}

TEST_F(HostileLines, ALineStampedUpToAMinuteAheadIsTaken) {
    clv::TrafficReceiver receiver;
    receiver.setRangeCentre({47.45, 8.56});
    std::vector<std::string> fields = baseTrafficFields();
    fields[kTime] = "1760000070";
    receiver.acceptDatagram(joinFields(fields));
    EXPECT_EQ(queued(), 1u);
}

}  // namespace
