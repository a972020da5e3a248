#include <gtest/gtest.h>

#include <fmt/format.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>

#include "core/clock.h"
#include "core/geodesy.h"
#include "core/parameters.h"
#include "link/realtraffic_state.h"
#include "link/traffic_receiver.h"
#include "link/traffic_update.h"
#include "traffic_test_support.h"

using clv::TrafficUpdate;
using namespace clv::test;

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
const clv::LatLon kRangeCentre{47.45, 8.56};
const clv::LatLon kZurich{47.4581, 8.5481};

class TrafficLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        realTrafficOnThisPc = true;  // every datagram is handled, repeats too
        lateralRangeNm = 40.0;
        receiver.setRangeCentre(kRangeCentre);
        receiver.clearRefElevation();
        gf_setFeedParkAirport(kZurich);
        trafficTickCount = 100;
        std::lock_guard lock(runMutex);
        flightRunning = true;
        trafficUpdateQueue.clear();
    }
    void TearDown() override {
        gf_clearFeedParkAirport();
        realTrafficOnThisPc = false;
        std::lock_guard lock(runMutex);
        flightRunning = false;
        trafficUpdateQueue.clear();
    }

    // Sends the line through the receiver and returns what was queued, if anything.
    std::optional<TrafficUpdate> feed(const std::string& line) {
        {
            std::lock_guard lock(runMutex);
            trafficUpdateQueue.clear();
        }
        receiver.acceptDatagram(line);
        std::lock_guard lock(runMutex);
        EXPECT_LE(trafficUpdateQueue.size(), 1u);
        if (trafficUpdateQueue.empty()) return std::nullopt;
        return trafficUpdateQueue.front();
    }

    clv::TrafficReceiver receiver;
};

// The update the base line gives.
TrafficUpdate baseUpdate() {
    TrafficUpdate u;
    u.identity.type = "A320";
    u.identity.origin = "LSGG";
    u.identity.destination = "LSZH";
    u.identity.callsign = "SWR123";
    u.identity.registration = "HB-JLT";
    auto& s = u.sample;
    s.latitude = 47.5;
    s.longitude = 8.6;
    s.roll = 5 * kDeg;  // the feed's -5 (left bank) with the sign turned
    s.hasRoll = true;
    s.heading = 268 * kDeg;
    s.hasHeading = true;
    s.altitude = 12000;
    s.groundSpeed = 280;
    s.track = 270;
    s.verticalSpeed = -800;
    s.trueAirspeed = 300;
    s.dueTick = 3100;
    s.airborne = true;
    s.headingFromAdsb = true;
    u.timestamp = 1760000000.5;
    u.hexid = 4840123;
    return u;
}

void expectSameUpdate(const TrafficUpdate& a, const TrafficUpdate& e) {
    EXPECT_EQ(a.identity.airline, e.identity.airline);
    EXPECT_EQ(a.identity.type, e.identity.type);
    EXPECT_EQ(a.identity.origin, e.identity.origin);
    EXPECT_EQ(a.identity.destination, e.identity.destination);
    EXPECT_EQ(a.identity.callsign, e.identity.callsign);
    EXPECT_EQ(a.identity.callsignCopy, "");
    EXPECT_EQ(a.identity.furtherText, "");
    EXPECT_EQ(a.identity.registration, e.identity.registration);
    EXPECT_FALSE(a.identity.searchDone);
    const auto& s = a.sample;
    const auto& x = e.sample;
    EXPECT_DOUBLE_EQ(s.latitude, x.latitude);
    EXPECT_DOUBLE_EQ(s.longitude, x.longitude);
    EXPECT_EQ(s.hasRoll, x.hasRoll);
    EXPECT_DOUBLE_EQ(s.roll, x.roll);
    EXPECT_EQ(s.hasHeading, x.hasHeading);
    EXPECT_DOUBLE_EQ(s.heading, x.heading);
    EXPECT_DOUBLE_EQ(s.altitude, x.altitude);
    EXPECT_DOUBLE_EQ(s.groundSpeed, x.groundSpeed);
    EXPECT_DOUBLE_EQ(s.track, x.track);
    EXPECT_DOUBLE_EQ(s.verticalSpeed, x.verticalSpeed);
    EXPECT_DOUBLE_EQ(s.trueAirspeed, x.trueAirspeed);
    EXPECT_EQ(s.dueTick, x.dueTick);
    EXPECT_EQ(s.airborne, x.airborne);
    EXPECT_FALSE(s.holdMark);
    EXPECT_EQ(s.headingFromAdsb, x.headingFromAdsb);
    EXPECT_DOUBLE_EQ(a.timestamp, e.timestamp);
    EXPECT_EQ(a.hexid, e.hexid);
}

using Change = std::pair<int, std::string>;

struct Row {
    const char* name;
    std::vector<Change> changes;
    // Empty: the line is dropped. Otherwise turns the base update into the expected one.
    std::function<void(TrafficUpdate&)> expect;
    std::function<void(clv::TrafficReceiver&)> setup = {};
};

void onGround(TrafficUpdate& u) {
    u.sample.altitude = 0;
    u.sample.airborne = false;
    u.sample.hasRoll = false;
    u.sample.roll = 0;
}

const std::vector<Row>& rows() {
    static const std::vector<Row> table = {
        {"base line", {}, [](TrafficUpdate&) {}},
        // Position
        {"latitude not a number", {{kLat, "N47"}}, {}},
        {"latitude nan", {{kLat, "nan"}}, {}},
        {"latitude inf", {{kLat, "inf"}}, {}},
        {"longitude -inf", {{kLon, "-inf"}}, {}},
        {"latitude beyond the pole", {{kLat, "90.0001"}}, {}},
        {"longitude beyond 180", {{kLon, "180.5"}}, {}},
        {"inside the null box", {{kLat, "0.0005"}, {kLon, "0.01"}}, {},
         [](clv::TrafficReceiver& r) { r.setRangeCentre({0.0, 0.0}); }},
        {"west of the null box", {{kLat, "0.0005"}, {kLon, "-0.01"}},
         [](TrafficUpdate& u) {
             u.sample.latitude = 0.0005;
             u.sample.longitude = -0.01;
         },
         [](clv::TrafficReceiver& r) { r.setRangeCentre({0.0, 0.0}); }},
        {"exactly at the range", {},
         [](TrafficUpdate&) {},
         [](clv::TrafficReceiver&) { lateralRangeNm = gf_distanceNm(kRangeCentre, clv::LatLon{47.5, 8.6}); }},
        {"just beyond the range", {}, {},
         [](clv::TrafficReceiver&) {
             double d = gf_distanceNm(kRangeCentre, clv::LatLon{47.5, 8.6});
             lateralRangeNm = std::nextafter(d, 0.0);
         }},
        {"plus sign", {{kVs, "+800"}}, {}},
        {"leading blank", {{kVs, " 800"}}, {}},
        {"trailing text ignored", {{kAlt, "12000ft"}}, [](TrafficUpdate&) {}},
        // Registration
        {"registration of 12", {{kReg, "ABCDEFGHIJKL"}},
         [](TrafficUpdate& u) { u.identity.registration = "ABCDEFGHIJKL"; }},
        {"registration of 13", {{kReg, "ABCDEFGHIJKLM"}}, {}},
        {"registration null", {{kReg, "null"}}, [](TrafficUpdate& u) { u.identity.registration = ""; }},
        {"registration empty", {{kReg, ""}}, [](TrafficUpdate& u) { u.identity.registration = ""; }},
        // Type and category
        {"type null", {{kType, "null"}}, {}},
        {"type 0", {{kType, "0"}}, {}},
        {"type ZZZZ", {{kType, "ZZZZ"}}, {}},
        {"type ZZZZ without category", {{kType, "ZZZZ"}, {kCategory, "null"}}, {}},
        {"type GRND", {{kType, "GRND"}}, {}},
        {"type GLID in A1", {{kType, "GLID"}, {kCategory, "A1"}}, {}},
        {"type GLID without category", {{kType, "GLID"}, {kCategory, "null"}},
         [](TrafficUpdate& u) { u.identity.type = "GLID"; }},
        {"type SERV", {{kType, "SERV"}}, {}},
        {"type BALL", {{kType, "BALL"}}, {}},
        {"type PARA", {{kType, "PARA"}}, {}},
        {"type SHIP", {{kType, "SHIP"}}, {}},
        {"type EMER", {{kType, "EMER"}}, {}},
        {"type of 5", {{kType, "A320X"}}, {}},
        {"type of 5 without category", {{kType, "A320X"}, {kCategory, ""}},
         [](TrafficUpdate& u) { u.identity.type = "A320X"; }},
        {"category B1", {{kCategory, "B1"}}, {}},
        {"category B2", {{kCategory, "B2"}}, {}},
        {"category B3", {{kCategory, "B3"}}, [](TrafficUpdate&) {}},
        {"category B4", {{kCategory, "B4"}}, {}},
        {"category C1", {{kCategory, "C1"}}, {}},
        {"category C2", {{kCategory, "C2"}}, {}},
        {"category A5", {{kCategory, "A5"}}, [](TrafficUpdate&) {}},
        {"category null", {{kCategory, "null"}}, [](TrafficUpdate&) {}},
        // Hexid
        {"hexid 10000", {{kHexid, "10000"}}, {}},
        {"hexid 10001", {{kHexid, "10001"}}, [](TrafficUpdate& u) { u.hexid = 10001; }},
        {"hexid with letters after", {{kHexid, "12345abc"}}, [](TrafficUpdate& u) { u.hexid = 12345; }},
        {"hexid of letters", {{kHexid, "abc123"}}, {}},
        {"hexid negative", {{kHexid, "-12345"}}, {}},
        {"hexid largest", {{kHexid, "4294967295"}}, [](TrafficUpdate& u) { u.hexid = 4294967295u; }},
        {"hexid too large", {{kHexid, "4294967296"}}, {}},
        // Callsign
        {"callsign ERARMTR0", {{kCallsign, "ERARMTR0"}}, {}},
        {"callsign AIRPORT1", {{kCallsign, "AIRPORT1"}}, {}},
        {"callsign AIRPORT12", {{kCallsign, "AIRPORT12"}}, [](TrafficUpdate& u) { u.identity.callsign = "AIRPORT12"; }},
        {"callsign null", {{kCallsign, "null"}}, [](TrafficUpdate& u) { u.identity.callsign = ""; }},
        {"callsign with @", {{kCallsign, "SWR@123"}}, [](TrafficUpdate& u) { u.identity.callsign = ""; }},
        {"neither callsign nor registration", {{kCallsign, "null"}, {kReg, "null"}}, {}},
        {"origin and destination null", {{kOrigin, "null"}, {kDestination, "null"}},
         [](TrafficUpdate& u) {
             u.identity.origin = "";
             u.identity.destination = "";
         }},
        // Ground
        {"on the ground near the park airport", {{kAlt, "1400"}, {kGs, "12"}},
         [](TrafficUpdate& u) {
             onGround(u);
             u.sample.groundSpeed = 12;
         }},
        {"on the ground without park airport", {{kAlt, "1400"}, {kGs, "12"}}, {},
         [](clv::TrafficReceiver&) { gf_clearFeedParkAirport(); }},
        {"on the ground 6 nm from the park airport", {{kAlt, "1400"}, {kGs, "12"}}, {},
         [](clv::TrafficReceiver&) { gf_setFeedParkAirport({47.6, 8.6}); }},
        {"slow at 35000 ft", {{kAlt, "35000"}, {kGs, "30"}},
         [](TrafficUpdate& u) {
             onGround(u);
             u.sample.groundSpeed = 30;
         }},
        {"airborne without park airport", {}, [](TrafficUpdate&) {},
         [](clv::TrafficReceiver&) { gf_clearFeedParkAirport(); }},
        // Heading, track, roll, speeds
        {"heading north from ADS-B", {{kHeading, "0"}, {kTrack, ""}},
         [](TrafficUpdate& u) {
             u.sample.heading = 2 * std::numbers::pi;
             u.sample.track = 360;
         }},
        {"heading 360", {{kHeading, "360"}}, [](TrafficUpdate& u) { u.sample.heading = 2 * std::numbers::pi; }},
        {"heading above 360", {{kHeading, "360.5"}}, {}},
        {"heading negative", {{kHeading, "-3"}},
         [](TrafficUpdate& u) {
             u.sample.hasHeading = false;
             u.sample.headingFromAdsb = false;
             u.sample.heading = 0;
         }},
        {"heading not read from another source", {{kSource, "mlat"}, {kHeading, "bad"}},
         [](TrafficUpdate& u) {
             u.sample.hasHeading = false;
             u.sample.headingFromAdsb = false;
             u.sample.heading = 0;
         }},
        {"heading field bad", {{kHeading, "bad"}}, {}},
        {"track 0 takes the heading", {{kTrack, "0"}}, [](TrafficUpdate& u) { u.sample.track = 268; }},
        {"track empty without heading", {{kTrack, ""}, {kSource, "mlat"}},
         [](TrafficUpdate& u) {
             u.sample.track = 0;
             u.sample.hasHeading = false;
             u.sample.headingFromAdsb = false;
             u.sample.heading = 0;
         }},
        {"track bad", {{kTrack, "west"}}, {}},
        {"roll 15", {{kRoll, "15"}}, [](TrafficUpdate& u) { u.sample.roll = -0.2617993877991494; }},
        {"roll -1 is none", {{kRoll, "-1"}},
         [](TrafficUpdate& u) {
             u.sample.hasRoll = false;
             u.sample.roll = 0;
         }},
        {"roll 0 is none", {{kRoll, "0"}},
         [](TrafficUpdate& u) {
             u.sample.hasRoll = false;
             u.sample.roll = 0;
         }},
        {"roll bad", {{kRoll, "x"}}, {}},
        {"vertical speed bad", {{kVs, ""}}, {}},
        {"ground speed bad", {{kGs, "fast"}}, {}},
        {"altitude bad", {{kAlt, "FL120"}}, {}},
        {"true airspeed 0 stays", {{kTas, "0"}}, [](TrafficUpdate& u) { u.sample.trueAirspeed = 0; }},
        {"true airspeed bad", {{kTas, "n/a"}}, {}},
        {"timestamp bad", {{kTime, "yesterday"}}, {}},
    };
    return table;
}

}  // namespace

TEST_F(TrafficLineTest, EveryStepOfTheLineChecks) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        SetUp();
        if (row.setup) row.setup(receiver);
        auto fields = baseTrafficFields();
        for (const auto& [index, value] : row.changes) fields[static_cast<std::size_t>(index)] = value;
        std::optional<TrafficUpdate> got = feed(joinFields(fields));
        if (!row.expect) {
            EXPECT_FALSE(got.has_value()) << "the line should be dropped";
            continue;
        }
        ASSERT_TRUE(got.has_value()) << "the line should be accepted";
        TrafficUpdate expected = baseUpdate();
        row.expect(expected);
        expectSameUpdate(*got, expected);
    }
}

TEST_F(TrafficLineTest, TrueAirspeedOfUnknownFollowsTheAltitudeBand) {
    const std::vector<std::pair<const char*, double>> bands = {
        {"1000", 180}, {"2000", 180}, {"2001", 220}, {"5000", 220},  {"10000", 250},
        {"10001", 350}, {"20000", 350}, {"20001", 430}, {"41000", 430},
    };
    for (const auto& [altitude, tas] : bands) {
        SCOPED_TRACE(altitude);
        auto fields = baseTrafficFields();
        fields[kAlt] = altitude;
        fields[kTas] = "-1";
        auto got = feed(joinFields(fields));
        ASSERT_TRUE(got.has_value());
        EXPECT_TRUE(got->sample.airborne);
        EXPECT_EQ(got->sample.trueAirspeed, tas);
    }
    // On the ground the altitude is 0: the lowest band.
    auto fields = baseTrafficFields();
    fields[kAlt] = "1400";
    fields[kGs] = "20";
    fields[kTas] = "-1";
    auto got = feed(joinFields(fields));
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->sample.trueAirspeed, 180);
}

TEST_F(TrafficLineTest, OnGroundRules) {
    struct Case {
        double altitude;
        std::optional<double> reference;
        double groundSpeed;
        bool ground;
    };
    const std::vector<Case> cases = {
        {150, 100, 50, true},     // d = 50: at most 90 and at most 80 kt
        {150, 100, 130, false},   // too fast for d = 50
        {145, 100, 120, true},    // d = 45 at 120 kt
        {146, 100, 120, false},
        {190, 100, 80, true},     // d = 90 at 80 kt
        {190, 100, 81, false},
        {220, 100, 43, true},     // d = 120 at 43 kt
        {221, 100, 43, false},
        {100, 100, 500, true},    // d = 0
        {90, 100, 500, true},     // below the airport
        {-50, std::nullopt, 200, true},       // at or below 0 ft
        {400, std::nullopt, 36, false},       // d = 1400 against -1000
        {400, std::nullopt, 35, true},        // 35 kt or less is always on the ground
        {35000, std::nullopt, 30, true},
        {13999, 13950, 100, false},           // d = 49 at 100 kt
        {13999, 13950, 80, true},
        {14000, 13990, 50, false},            // no comparison from 14000 ft up
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.altitude << " ft, " << c.groundSpeed << " kt, ref "
                                        << (c.reference ? std::to_string(*c.reference) : "none"));
        gf_setFeedParkAirport({47.5, 8.6});
        if (c.reference)
            receiver.setRefElevation(*c.reference);
        else
            receiver.clearRefElevation();
        auto fields = baseTrafficFields();
        fields[kAlt] = fmt::format("{}", c.altitude);
        fields[kGs] = fmt::format("{}", c.groundSpeed);
        auto got = feed(joinFields(fields));
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(!got->sample.airborne, c.ground);
        EXPECT_EQ(got->sample.altitude, c.ground ? 0.0 : std::max(c.altitude, 0.0));
        EXPECT_EQ(got->sample.hasRoll, !c.ground);
    }
}

TEST_F(TrafficLineTest, TimestampIsKeptEvenWhenTheLineIsDroppedLater) {
    trafficDataTimestamp = 0;
    auto fields = baseTrafficFields();
    fields[kTime] = "1760001234.25";
    fields[kLat] = "north";
    EXPECT_FALSE(feed(joinFields(fields)).has_value());
    EXPECT_EQ(receiver.dataTimestamp.load(), 1760001234.25);
    EXPECT_EQ(trafficDataTimestamp.load(), 1760001234.25);

    // A hexid of a static aircraft is dropped late; the clock still follows.
    fields = baseTrafficFields();
    fields[kTime] = "1760001240";
    fields[kHexid] = "42";
    EXPECT_FALSE(feed(joinFields(fields)).has_value());
    EXPECT_EQ(receiver.dataTimestamp.load(), 1760001240.0);
}

TEST_F(TrafficLineTest, NothingIsQueuedWhileTheFlightDoesNotRun) {
    {
        std::lock_guard lock(runMutex);
        flightRunning = false;
    }
    EXPECT_FALSE(feed(joinFields(baseTrafficFields())).has_value());
    EXPECT_EQ(receiver.dataTimestamp.load(), 1760000000.5);
}

TEST_F(TrafficLineTest, DueTickIsThirtySecondsAfterArrival) {
    trafficTickCount = 4'000'000'000u;
    auto got = feed(joinFields(baseTrafficFields()));
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->sample.dueTick, 4'000'003'000u);
}

TEST_F(TrafficLineTest, LinesOfTheFeedsShapes) {
    struct Shape {
        const char* name;
        std::string line;
        bool accepted;
    };
    auto fields = baseTrafficFields();
    auto longer = fields;
    for (const char* extra : {"1", "null", "x,y", "", "-3.5", "adsb_icao"}) longer.push_back(extra);
    auto lastEmpty = fields;
    lastEmpty[kCategory] = "";  // the split drops the empty last field: 28 fields
    auto short27 = fields;
    short27.resize(27);
    auto short15 = fields;
    short15.resize(15);
    auto withLineEnd = joinFields(fields) + "\r\n";
    const std::vector<Shape> shapes = {
        {"29 fields", joinFields(fields), true},
        {"later fields are ignored", joinFields(longer), true},
        {"empty category as last field", joinFields(lastEmpty), true},
        {"27 fields", joinFields(short27), false},
        {"15 fields", joinFields(short15), false},
        {"a line end after the last field", withLineEnd, true},
    };
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.name);
        auto got = feed(s.line);
        EXPECT_EQ(got.has_value(), s.accepted);
        if (got) expectSameUpdate(*got, baseUpdate());
    }
}

TEST_F(TrafficLineTest, DatagramSplitKeepsEmptyFieldsButNotAnEmptyLastOne) {
    receiver.acceptDatagram("1,2,,4,");
    EXPECT_EQ(receiver.fields, (std::vector<std::string_view>{"1", "2", "", "4"}));
    receiver.acceptDatagram(",a");
    EXPECT_EQ(receiver.fields, (std::vector<std::string_view>{"", "a"}));
}

TEST_F(TrafficLineTest, VehicleDatagramsAreNeverParsed) {
    auto fields = baseTrafficFields();
    fields[kCallsign] = "FOLLOW VEH";
    trafficDataTimestamp = 0;
    receiver.dataTimestamp = 0;
    EXPECT_FALSE(feed(joinFields(fields)).has_value());
    EXPECT_EQ(receiver.dataTimestamp.load(), 0.0);
}

TEST_F(TrafficLineTest, CollectsCallsignsWhileAskedEvenOfDroppedLines) {
    receiver.startCollectingCallsigns();
    for (const char* callsign : {"EZY12AB", "null", "AB@12", "", "DLH4"}) {
        auto fields = baseTrafficFields();
        fields[kCallsign] = callsign;
        fields[kHexid] = "9999";  // dropped after the collection step
        feed(joinFields(fields));
    }
    auto fields = baseTrafficFields();
    fields[kLat] = "bad";  // dropped before it
    fields[kCallsign] = "NOTSEEN";
    feed(joinFields(fields));
    EXPECT_EQ(receiver.takeSeenCallsigns(), (std::set<std::string>{"DLH4", "EZY12AB"}));
    EXPECT_FALSE(receiver.collectCallsigns.load());
    feed(joinFields(baseTrafficFields()));
    EXPECT_TRUE(receiver.takeSeenCallsigns().empty());
}

TEST(CategoryFilter, DecidesByTypeThenCategory) {
    struct Case {
        const char* type;
        const char* category;
        bool pass;
    };
    const std::vector<Case> cases = {
        {"", "A3", false},     {"", "", false},        {"B738", "", true},     {"B738", "null", true},
        {"B738", "B1", false}, {"B738", "B2", false},  {"B738", "B3", true},   {"B738", "B4", false},
        {"B738", "C1", false}, {"B738", "C2", false},  {"B738", "C3", true},   {"B7380", "A3", false},
        {"PARA", "A1", false}, {"PARA", "null", true}, {"EMER", "A7", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << "/" << c.category);
        clv::AcIdentity id;
        id.type = c.type;
        EXPECT_EQ(gf_categoryFilter(id, c.category), c.pass);
    }
}
