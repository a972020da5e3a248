#include "core/clock.h"

#include <gtest/gtest.h>

namespace {

std::int64_t g_fixed = 0;
std::int64_t fixedClock() { return g_fixed; }

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override { gf_setClock(&fixedClock); }
    void TearDown() override {
        gf_setClock(nullptr);
        rtProfessional = false;
        trafficDataTimestamp = 0.0;
    }
};

// Seconds since 1970 of a UTC date, counted independently of the code under test.
std::int64_t utc(int y, int mo, int d, int h, int mi, int s) {
    // Days from civil (Howard Hinnant's algorithm).
    y -= mo <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    std::int64_t days = static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
    return days * 86400 + h * 3600 + mi * 60 + s;
}

}  // namespace

TEST_F(ClockTest, SlotsOfTheDay) {
    struct Case {
        std::int64_t t;
        clv::Slot slot;
    };
    // 2026-12-07 is a Monday, 2026-12-13 a Sunday.
    const Case cases[] = {
        {utc(2026, 12, 7, 0, 0, 0), {1, 0}},     {utc(2026, 12, 7, 12, 29, 29), {1, 24}},
        {utc(2026, 12, 7, 12, 29, 30), {1, 25}}, {utc(2026, 12, 7, 12, 59, 59), {1, 25}},
        {utc(2026, 12, 7, 13, 0, 0), {1, 26}},   {utc(2026, 12, 13, 23, 59, 59), {7, 47}},
        {utc(2026, 12, 13, 0, 0, 0), {7, 0}},    {utc(2026, 12, 12, 0, 29, 30), {6, 1}},
    };
    for (const auto& c : cases) {
        g_fixed = c.t;
        EXPECT_EQ(gf_dayAndHalfHour(), c.slot) << gf_dateTimeString(c.t);
    }
}

TEST_F(ClockTest, TrafficClockFollowsFeedOnlyAtProfessionalLevel) {
    g_fixed = utc(2026, 12, 7, 10, 0, 0);
    const double feed = static_cast<double>(utc(2026, 12, 8, 20, 15, 0)) + 0.75;

    trafficDataTimestamp = feed;
    EXPECT_EQ(gf_trafficTimeOfDay(), "10:00:00") << "not professional: feed time unused";

    rtProfessional = true;
    EXPECT_EQ(gf_trafficTimeOfDay(), "20:15:00");
    EXPECT_EQ(gf_dayAndHalfHour(), (clv::Slot{2, 40}));

    trafficDataTimestamp = 0.0;
    EXPECT_EQ(gf_trafficTimeOfDay(), "10:00:00") << "no traffic yet: system clock";
}

TEST_F(ClockTest, DateTexts) {
    EXPECT_EQ(gf_dateTimeString(0), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(gf_dateTimeString(utc(2026, 12, 9, 9, 41, 44)), "Wed Dec 09 09:41:44 2026");
    EXPECT_EQ(gf_dateTimeString(utc(2026, 10, 4, 23, 5, 6)), "Sun Okt 04 23:05:06 2026");
    g_fixed = utc(2026, 12, 9, 9, 41, 44);
    EXPECT_EQ(gf_dateString(), "Dec 09, 2026");
    EXPECT_EQ(gf_timeOfDay(), "09:41:44");
}

TEST_F(ClockTest, NameTables) {
    EXPECT_EQ(gf_weekdayName(1), "Mon");
    EXPECT_EQ(gf_weekdayName(7), "Sun");
    EXPECT_EQ(gf_weekdayName(0), "???");
    EXPECT_EQ(gf_weekdayName(8), "???");
    EXPECT_EQ(gf_monthName(10), "Okt");
    EXPECT_EQ(gf_monthName(13), "???");
}

TEST(HalfHoursBetween, WeekWrapsOnlyFromSundayToMonday) {
    struct Case {
        clv::Slot a, b;
        std::uint32_t n;
    };
    const Case cases[] = {
        {{2, 10}, {2, 4}, 6},  {{2, 4}, {2, 10}, 6},   {{1, 47}, {2, 0}, 1},   {{7, 47}, {1, 0}, 1},
        {{1, 0}, {7, 47}, 1},  {{7, 0}, {1, 0}, 48},   {{1, 0}, {6, 0}, 240},  {{3, 5}, {3, 5}, 0},
        {{1, 0}, {7, 0}, 48},  {{5, 47}, {6, 1}, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_halfHoursBetween(c.a, c.b), c.n)
            << "(" << c.a.day << "," << c.a.halfHour << ") (" << c.b.day << "," << c.b.halfHour << ")";
    }
}

TEST(Slot, PacksDayLowAndHalfHourHigh) {
    clv::Slot s{7, 47};
    EXPECT_EQ(s.toBits(), (std::uint64_t{47} << 32) | 7u);
    EXPECT_EQ(clv::Slot::fromBits(s.toBits()), s);
    clv::AtomicSlot shared;
    shared.store(s);
    EXPECT_EQ(shared.load(), s);
}
