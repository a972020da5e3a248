// The stand model: the half-hour set and its text form, and the operations on a
// stand's options that the planner and the learning share.
#include "stands/stand_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/stop_flags.h"
#include "stands/half_hours.h"
#include "stands/stands_fixture.h"

using clv::HalfHourSet;
using clv::Slot;
using clv::StandOption;
using clv::test::AirportLog;
using clv::test::option;
using clv::test::RegRecords;

namespace {

HalfHourSet hoursOf(std::vector<std::uint32_t> bits) {
    HalfHourSet s;
    for (std::uint32_t b : bits) s.set(b);
    return s;
}

clv::AcIdentity aircraft(std::string airline, std::string type) {
    clv::AcIdentity ac;
    ac.airline = std::move(airline);
    ac.type = std::move(type);
    return ac;
}

}  // namespace

TEST(HalfHourSetTest, PositionsOutsideTheDayAreRefused) {
    HalfHourSet s;
    s.set(0);
    s.set(47);
    EXPECT_TRUE(s.test(0));
    EXPECT_TRUE(s.test(47));
    EXPECT_FALSE(s.test(46));
    EXPECT_EQ(s.count(), 2u);
    try {
        s.set(48);
        FAIL() << "48 was set";
    } catch (const clv::BitsetPositionError& e) {
        EXPECT_STREQ(e.what(), "invalid bitset position");
    }
    EXPECT_THROW((void)s.test(48), clv::BitsetPositionError);
}

TEST(HalfHourSetTest, TextFormReadsValidElementsAndLogsTheOthers) {
    struct Case {
        std::string text;
        std::vector<std::uint32_t> bits;
        std::vector<std::string> invalid;  // the elements logged as invalid
    };
    const std::vector<Case> cases = {
        {"0,47", {0, 47}, {}},
        {"48", {}, {"48"}},
        {"-1", {}, {"-1"}},
        {"", {}, {}},
        {"1,2,", {1, 2}, {""}},
        {"5x", {5}, {}},
        {" 5", {}, {" 5"}},
        {"2147483648", {}, {"2147483648"}},
        {"3,,4", {3, 4}, {""}},
        {"x,7", {7}, {"x"}},
    };
    for (const Case& c : cases) {
        AirportLog log;
        EXPECT_EQ(gf_hours2bitset(c.text), hoursOf(c.bits)) << '"' << c.text << '"';
        std::vector<std::string> expected;
        for (const std::string& e : c.invalid) {
            expected.push_back("gf_hours2bitset invalid hour \"" + e + "\" in " + c.text);
        }
        EXPECT_EQ(log.lines(), expected) << '"' << c.text << '"';
    }
}

TEST(HalfHourSetTest, ALongTextWithManyInvalidElementsLogsAFewShortLinesAndKeepsEveryValidHour) {
    // Every valid half-hour, each followed by a dozen bad elements; one bad element is itself long.
    std::string text;
    std::uint32_t bad = 0;
    for (std::uint32_t h = 0; h < 48; ++h) {
        text += std::to_string(h) + ',';
        for (int k = 0; k < 12; ++k, ++bad) text += (h == 0 && k == 1 ? std::string(500, 'y') : "bad") + ',';
    }
    text += "47";
    HalfHourSet full;
    for (std::uint32_t h = 0; h < 48; ++h) full.set(h);

    AirportLog log;
    EXPECT_EQ(gf_hours2bitset(text), full);
    const std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_LE(lines.size(), 6u);
    for (const std::string& line : lines) EXPECT_LE(line.size(), 160u) << line.substr(0, 80);
    EXPECT_NE(lines.back().find(std::to_string(bad) + " invalid hours"), std::string::npos) << lines.back();
    EXPECT_NE(lines.front().find("invalid hour \"bad\" in 0,bad,yyy"), std::string::npos) << lines.front();
    EXPECT_NE(lines[1].find("invalid hour \"" + std::string(40, 'y') + "...\" in 0,bad,yyy"), std::string::npos)
        << lines[1];
}

TEST(HalfHourSetTest, TextFormIsAscendingCommaList) {
    EXPECT_EQ(gf_bitset2hours(hoursOf({0})), "0");
    EXPECT_EQ(gf_bitset2hours(hoursOf({})), "");
    EXPECT_EQ(gf_bitset2hours(hoursOf({5, 3, 4})), "3,4,5");
    HalfHourSet full;
    std::string all;
    for (std::uint32_t h = 0; h < 48; ++h) {
        full.set(h);
        all += (h == 0 ? "" : ",") + std::to_string(h);
    }
    EXPECT_EQ(gf_bitset2hours(full), all);
    EXPECT_EQ(gf_hours2bitset(all), full);
}

TEST(TestRangeTest, FindsABitInTheWindowOrSaysHowFarItWrapsPastMidnight) {
    std::int32_t wrapped = 0;
    StandOption o = option(1, 3, {10});
    EXPECT_TRUE(testRange(o, 12, 2, wrapped));
    EXPECT_EQ(wrapped, -1);
    EXPECT_FALSE(testRange(o, 12, 1, wrapped));  // 11..12
    EXPECT_EQ(wrapped, -1);
    EXPECT_FALSE(testRange(o, 2, 5, wrapped));  // 0..2, three half-hours before midnight remain
    EXPECT_EQ(wrapped, 3);
    EXPECT_FALSE(testRange(o, 2, 60, wrapped));
    EXPECT_EQ(wrapped, 46);
    EXPECT_TRUE(testRange(option(1, 3, {0}), 2, 5, wrapped));
    EXPECT_EQ(wrapped, -1);
}

TEST(TestRangeTest, StartOutsideTheDayIsLoggedAndFalse) {
    AirportLog log;
    std::int32_t wrapped = 0;
    EXPECT_FALSE(testRange(option(1, 3, {47}), 48, 2, wrapped));
    EXPECT_EQ(wrapped, -1);
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "===> exception invalid bitset position in testRange, start: 48, offset: 2"});
}

TEST(OptMatchesAcTest, CallsignOrAirlineAndTypeOfARealOption) {
    StandOption o = option(4, 1, {3});
    o.airline = "SWR";
    o.type = "A320";
    o.callsign = "SWR100";
    o.secondCallsign = "SWR100A";
    o.registration = "HB-JLT";
    EXPECT_TRUE(gf_optMatchesAc("SWR100", aircraft("DLH", "A319"), o));
    EXPECT_TRUE(gf_optMatchesAc("SWR100A", aircraft("DLH", "A319"), o));
    EXPECT_TRUE(gf_optMatchesAc("SWR999", aircraft("SWR", "A320"), o));
    EXPECT_FALSE(gf_optMatchesAc("SWR999", aircraft("SWR", "A321"), o));
    StandOption soft = o;
    soft.real = 0;
    EXPECT_FALSE(gf_optMatchesAc("SWR100", aircraft("SWR", "A320"), soft));
    StandOption empty = o;
    empty.id = 0;
    EXPECT_FALSE(gf_optMatchesAc("SWR100", aircraft("SWR", "A320"), empty));
}

TEST(SearchOptsTest, NewIdIsOneAboveTheLargestId) {
    struct Case {
        std::vector<std::uint32_t> ids;
        std::uint32_t expected;
    };
    // 1, 3, 2 would give 3 after the last id, which option two already has; an
    // empty entry (id 0) at the end would give 1.
    const std::vector<Case> cases = {{{}, 1}, {{1, 2, 7}, 8}, {{1, 3, 2}, 4}, {{1, 2, 0}, 3}};
    for (const Case& c : cases) {
        std::vector<StandOption> options;
        for (std::uint32_t id : c.ids) options.push_back(option(id, 1, {1}));
        EXPECT_EQ(gf_searchOpts(options, aircraft("SWR", "A320"), 1, Slot{2, 20}, "SWR100", ""), c.expected);
        ASSERT_EQ(options.size(), c.ids.size() + 1);
        EXPECT_EQ(options.back().id, c.expected);
    }
}

TEST(SearchOptsTest, AppendsTheAircraftOnceForTheSameHalfHour) {
    std::vector<StandOption> options;
    EXPECT_EQ(gf_searchOpts(options, aircraft("SWR", "A320"), 1, Slot{2, 20}, "SWR100_", "HB-JLT"), 1u);
    const StandOption& o = options.at(0);
    EXPECT_EQ(o.callsign, "SWR100");  // one trailing underscore dropped
    EXPECT_EQ(o.airline, "SWR");
    EXPECT_EQ(o.type, "A320");
    EXPECT_EQ(o.registration, "HB-JLT");
    EXPECT_EQ(o.weekday, 2u);
    EXPECT_EQ(o.hours, hoursOf({20}));
    EXPECT_EQ(o.real, 1u);
    EXPECT_EQ(o.fixed, 0u);
    EXPECT_EQ(o.secondCallsign, "");

    EXPECT_EQ(gf_searchOpts(options, aircraft("SWR", "A320"), 1, Slot{2, 20}, "SWR100", "HB-JLT"), 0u);
    EXPECT_EQ(options.size(), 1u);
    // Another half-hour, weekday or callsign is another option; soft ones are kept soft.
    EXPECT_EQ(gf_searchOpts(options, aircraft("SWR", "A320"), 0, Slot{2, 21}, "SWR100", "HB-JLT"), 2u);
    EXPECT_EQ(options.back().real, 0u);
    EXPECT_EQ(gf_searchOpts(options, aircraft("SWR", "A320"), 1, Slot{3, 20}, "SWR100", "HB-JLT"), 3u);
    EXPECT_EQ(gf_searchOpts(options, aircraft("SWR", "A320"), 1, Slot{2, 20}, "SWR101", "HB-JLT"), 4u);
}

TEST(SearchOptsTest, RegistrationRecordGivesAirlineAndType) {
    RegRecords records;
    records.add("D-AIBL", {"DLH", "A319", "", false});
    records.add("HB-JXA", {"EZY", "A320", "EZS", false});
    std::vector<StandOption> options;
    gf_searchOpts(options, aircraft("XXX", "B738"), 1, Slot{1, 5}, "DLH4", "DAIBL");  // found as D-AIBL
    EXPECT_EQ(options.back().airline, "DLH");
    EXPECT_EQ(options.back().type, "A319");
    EXPECT_EQ(options.back().registration, "DAIBL");
    gf_searchOpts(options, aircraft("XXX", "B738"), 1, Slot{1, 5}, "EZS1", "HB-JXA");  // the operator wins
    EXPECT_EQ(options.back().airline, "EZS");
    EXPECT_EQ(options.back().type, "A320");
    gf_searchOpts(options, aircraft("RYR", "B738"), 1, Slot{1, 5}, "RYR1", "EI-ABC");  // no record
    EXPECT_EQ(options.back().airline, "RYR");
    EXPECT_EQ(options.back().type, "B738");
}

TEST(SearchOptsTest, HalfHourOutsideTheDayPassesTheErrorOn) {
    std::vector<StandOption> options;
    EXPECT_THROW(gf_searchOpts(options, aircraft("SWR", "A320"), 1, Slot{1, 48}, "SWR1", ""), clv::BitsetPositionError);
    EXPECT_TRUE(options.empty());
}

TEST(FindOptForTest, RecordsFirstAndSecondCallsign) {
    std::vector<StandOption> options = {option(1, 1, {1}), option(2, 1, {1})};
    gf_findOptFor(options, 2, "SWR100_");
    EXPECT_EQ(options[1].callsign, "SWR100");
    gf_findOptFor(options, 2, "SWR100");
    EXPECT_EQ(options[1].secondCallsign, "");
    gf_findOptFor(options, 2, "SWR100A");
    EXPECT_EQ(options[1].secondCallsign, "SWR100A");
    gf_findOptFor(options, 2, "SWR100A");
    gf_findOptFor(options, 2, "SWR100B");  // replaces the earlier second callsign
    EXPECT_EQ(options[1].callsign, "SWR100");
    EXPECT_EQ(options[1].secondCallsign, "SWR100B");
    gf_findOptFor(options, 2, "");
    EXPECT_EQ(options[1].secondCallsign, "SWR100B");
    EXPECT_EQ(options[0].callsign, "");
}

TEST(OptionIdZeroTest, IsNeverMatchedNorWidened) {
    std::vector<StandOption> options = {option(0, 1, {1})};
    options[0].airline = "SWR";
    options[0].type = "A320";
    gf_findOptFor(options, 0, "SWR100");
    EXPECT_EQ(options[0].callsign, "");
    EXPECT_FALSE(gf_optMatchesAc("", aircraft("SWR", "A320"), options[0]));
    std::vector<std::uint32_t> slots = {5};
    EXPECT_FALSE(updateOptions(options, slots, 0));
    EXPECT_EQ(options[0].hours, hoursOf({1}));
    // An empty entry does not count as the aircraft's option for this half-hour.
    options[0].hours = hoursOf({20});
    EXPECT_EQ(gf_searchOpts(options, aircraft("SWR", "A320"), 1, Slot{1, 20}, "", ""), 1u);
}

TEST(WrappedSlotsTest, GoesBackOverMidnight) {
    std::vector<std::uint32_t> slots;
    gf_wrappedSlots(slots, 3, Slot{2, 1});
    EXPECT_EQ(slots, (std::vector<std::uint32_t>{1, 0, 47}));
    slots.clear();
    gf_wrappedSlots(slots, 4, Slot{1, 1});  // weekday 1 goes back to weekday 7
    EXPECT_EQ(slots, (std::vector<std::uint32_t>{1, 0, 47, 46}));
    slots.clear();
    gf_wrappedSlots(slots, 2, Slot{7, 30});
    EXPECT_EQ(slots, (std::vector<std::uint32_t>{30, 29}));
}

TEST(UpdateOptionsTest, SetsEverySlotOfTheList) {
    std::vector<StandOption> options = {option(1, 3, {}), option(2, 3, {10})};
    std::vector<std::uint32_t> slots = {12, 11, 10};
    EXPECT_TRUE(updateOptions(options, slots, 2));
    EXPECT_TRUE(slots.empty());
    EXPECT_EQ(options[1].hours, hoursOf({10, 11, 12}));
    EXPECT_TRUE(options[0].hours.none());
    slots = {5};
    EXPECT_FALSE(updateOptions(options, slots, 9));
}

TEST(UpdateOptionsTest, SlotOutsideTheDayIsLoggedAndFalse) {
    AirportLog log;
    std::vector<StandOption> options = {option(1, 3, {})};
    std::vector<std::uint32_t> slots = {48, 4};
    EXPECT_FALSE(updateOptions(options, slots, 1));
    EXPECT_EQ(options[0].hours, hoursOf({4}));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"===> updateOptions exception:invalid bitset position"});
}

TEST(UpdateOptionsWrappedTest, SplitsTheStayAtMidnight) {
    // Weekday 2 from 46 to weekday 3 at 1: newest first 1, 0, 47, 46.
    std::vector<StandOption> options = {option(5, 2, {}), option(6, 3, {1})};
    std::vector<std::uint32_t> slots;
    gf_wrappedSlots(slots, 4, Slot{3, 1});
    EXPECT_TRUE(updateOptionsWrapped(options, slots, 5, 6));
    EXPECT_EQ(options[0].hours, hoursOf({46, 47}));
    EXPECT_EQ(options[1].hours, hoursOf({0, 1}));
    EXPECT_EQ(slots, std::vector<std::uint32_t>{1});  // the newest stays

    std::vector<std::uint32_t> more = {1, 0};  // oldest slot 0: nothing for the earlier day
    EXPECT_TRUE(updateOptionsWrapped(options, more, 5, 6));
    EXPECT_EQ(options[0].hours, hoursOf({46, 47}));

    std::vector<std::uint32_t> none = {1, 0, 47};
    EXPECT_FALSE(updateOptionsWrapped(options, none, 9, 6));
    EXPECT_FALSE(updateOptionsWrapped(options, none, 5, 9));
}

TEST(UpdateOptionsWrappedTest, FillRecordsTheCallsignInBothOptions) {
    std::vector<StandOption> options = {option(1, 7, {}), option(2, 1, {0})};
    gf_fillOptsWrapped(options, Slot{1, 0}, "SWR8_", 3, 1, 2);
    EXPECT_EQ(options[0].hours, hoursOf({46, 47}));
    EXPECT_EQ(options[1].hours, hoursOf({0}));
    EXPECT_EQ(options[0].callsign, "SWR8");
    EXPECT_EQ(options[1].callsign, "SWR8");
}
