// Hostile and broken traffic lines: each is refused with one log line in which
// the line's bytes are escaped, and the next good line is still taken.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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

// The refusals' own clock, moved by the test.
clv::RefusedLines::Clock::time_point g_refusalNow{};
clv::RefusedLines::Clock::time_point lf_refusalNow() { return g_refusalNow; }

std::string lf_lineWith(int field, const std::string& value) {
    std::vector<std::string> fields = baseTrafficFields();
    fields[field] = value;
    return joinFields(fields);
}

// After the first refusal the minute's refusals are counted by kind; the counts
// are written when the minute ends, by a good line or by the quiet feed's idle
// call, and a quiet minute lets the next refusal be written at once.
TEST_F(HostileLines, RefusalsOfAMinuteAreCountedByKindAndWrittenWhenItEnds) {
    using namespace std::chrono_literals;
    clv::TrafficReceiver receiver;
    receiver.setRangeCentre({47.45, 8.56});
    receiver.refusedLines.setClock(lf_refusalNow);
    const auto t0 = clv::RefusedLines::Clock::time_point{} + 1000s;
    auto at = [&](std::chrono::seconds s) { g_refusalNow = t0 + s; };
    auto logLines = [&] { return lf_lines(dir.read("Log.txt")); };
    const std::size_t before = logLines().size();
    const std::string badText = lf_lineWith(kCallsign, "BAD\x1B");
    const std::string badAltitude = lf_lineWith(kAlt, "1e308");
    const std::string badStamp = lf_lineWith(kTime, "0");

    at(0s);
    receiver.acceptDatagram(badText);  // written at once, with the line
    ASSERT_EQ(logLines().size(), before + 1);
    EXPECT_NE(logLines().back().find("traffic line refused (field 9 holds control bytes"), std::string::npos);

    at(10s);
    receiver.acceptDatagram(badAltitude);
    receiver.acceptDatagram(badText);
    receiver.acceptDatagram(lf_lineWith(kVs, "1e308"));
    receiver.acceptDatagram(badAltitude);
    receiver.acceptDatagram(badStamp);
    at(59s);
    receiver.idle();
    receiver.acceptDatagram(joinFields(baseTrafficFields()));
    EXPECT_EQ(logLines().size(), before + 1);  // the minute has not ended

    at(60s);
    receiver.idle();  // no line comes: the minute's end alone writes the counts
    ASSERT_EQ(logLines().size(), before + 2);
    EXPECT_NE(logLines().back().find("traffic lines refused in the last minute: "
                                     "text bytes 1 (first: field 9 holds control bytes or invalid UTF-8), "
                                     "impossible value 3 (first: altitude 1e+308 out of range), "
                                     "stamp 1 (first: time stamp 0 not after 1970)"),
              std::string::npos)
        << logLines().back();

    // The next minute counts from the report; a good line at its end writes it.
    at(119s);
    receiver.acceptDatagram(badStamp);
    EXPECT_EQ(logLines().size(), before + 2);
    at(120s);
    receiver.acceptDatagram(joinFields(baseTrafficFields()));
    ASSERT_EQ(logLines().size(), before + 3);
    EXPECT_NE(logLines().back().find("refused in the last minute: stamp 1 (first: time stamp 0"), std::string::npos)
        << logLines().back();

    // A minute without refusals writes nothing; the refusal after it is written at once.
    at(180s);
    receiver.idle();
    EXPECT_EQ(logLines().size(), before + 3);
    at(200s);
    receiver.acceptDatagram(badAltitude);
    ASSERT_EQ(logLines().size(), before + 4);
    EXPECT_NE(logLines().back().find("traffic line refused (altitude 1e+308 out of range): "), std::string::npos)
        << logLines().back();
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
