// The stand search: the plan of one half-hour window, a stand for a live
// aircraft of the soft parking step, and the coupled callsigns.
#include <gtest/gtest.h>

#include <cmath>

#include "parking_world.h"

namespace clv::test {
namespace {

std::vector<ParkPlanEntry> search(ParkingWorld& w, Slot now, std::uint32_t real, std::uint32_t fit) {
    std::vector<ParkPlanEntry> found;
    lf_searchStands(w.engine, now, real, fit, found);
    return found;
}

TEST(StandSearch, WindowSlotGoesBackOverMidnightAndTheWeek) {
    struct Case {
        Slot now;
        std::uint32_t fit;
        Slot expected;
    };
    for (const Case& c : {Case{{1, 1}, 3, {7, 46}}, Case{{1, 0}, 2, {7, 46}}, Case{{3, 10}, 0, {3, 10}},
                          Case{{7, 5}, 5, {7, 0}}, Case{{4, 0}, 47, {3, 1}}}) {
        EXPECT_EQ(gf_slotBefore(c.now, c.fit), c.expected) << c.now.day << "," << c.now.halfHour << " fit " << c.fit;
    }
}

TEST(StandSearch, FitThreeAtMondayHalfHourOneTestsBit46OfSunday) {
    ParkingWorld w;
    w.addStand("A", {identOption(1, 1, {1}, "SWR", "A320", "SWR1")}, 47.0, 8.0);
    w.addStand("B", {identOption(1, 7, {45}, "SWR", "A320", "SWR2")}, 47.1, 8.0);
    w.addStand("C", {identOption(1, 7, {46}, "SWR", "A320", "SWR3")}, 47.2, 8.0);
    const auto found = search(w, Slot{1, 1}, kRealOptions, 3);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].standId, 3u);
    EXPECT_EQ(found[0].fit, 3u);
    EXPECT_EQ(found[0].callsign, "SWR3");
    EXPECT_TRUE(standList[2].taken);
    EXPECT_FALSE(standList[0].taken);
}

TEST(StandSearch, RealAndSoftPassesSeeOnlyTheirOwnOptions) {
    ParkingWorld w;
    w.addStand("A", {identOption(1, 3, {20}, "SWR", "A320", "", "", "", 0)});
    EXPECT_TRUE(search(w, w.now, kRealOptions, 0).empty());
    EXPECT_TRUE(search(w, w.now, 2, 0).empty());
    EXPECT_EQ(search(w, w.now, kSoftOptions, 0).size(), 1u);
}

TEST(StandSearch, WeekSettingLetsEveryWeekdayCount) {
    ParkingWorld w;
    w.addStand("A", {identOption(1, 5, {20}, "SWR", "A320")});
    EXPECT_TRUE(search(w, w.now, kRealOptions, 0).empty());
    WEEK.value = true;
    EXPECT_EQ(search(w, w.now, kRealOptions, 0).size(), 1u);
}

// With WEEK off only options of the window's weekday count, days before and after
// it alike, also when the window lies on the day before now; with WEEK on every day.
TEST(StandSearch, WithWeekOffOnlyTheWindowsWeekdayCounts) {
    struct Case {
        Slot now;
        std::uint32_t fit;
        std::uint32_t weekday;
        std::uint32_t bit;
        bool week;
        bool found;
    };
    const std::vector<Case> cases{
        {{3, 20}, 0, 2, 20, false, false}, {{3, 20}, 0, 3, 20, false, true}, {{3, 20}, 0, 4, 20, false, false},
        {{3, 20}, 0, 2, 20, true, true},   {{3, 20}, 0, 4, 20, true, true},
        // The window of fit 3 at Monday 00:30 is Sunday 23:00.
        {{1, 1}, 3, 7, 46, false, true},   {{1, 1}, 3, 1, 46, false, false}, {{1, 1}, 3, 1, 46, true, true},
        {{5, 10}, 12, 4, 46, false, true}, {{5, 10}, 12, 5, 46, false, false}, {{5, 10}, 12, 6, 46, false, false},
    };
    for (const Case& c : cases) {
        ParkingWorld w;
        WEEK.value = c.week;
        w.addStand("A", {identOption(1, c.weekday, {c.bit}, "SWR", "A320", "SWR1")});
        EXPECT_EQ(search(w, c.now, kRealOptions, c.fit).size(), c.found ? 1u : 0u)
            << "now " << c.now.day << "," << c.now.halfHour << " fit " << c.fit << " option day " << c.weekday
            << (c.week ? " WEEK" : "");
    }
}

TEST(StandSearch, AnAlreadyPlannedRegistrationTakesTheOptionOutOfThePlanOnly) {
    ParkingWorld w;
    w.addStand("A", {identOption(4, 3, {18, 19, 20}, "SWR", "A320", "SWR1", "", "HB-IJK")});
    parkPlan.push_back(ParkPlanEntry{9, 0, "SWR", "A320", "SWR9", "", "HB-IJK", true});
    EXPECT_TRUE(search(w, w.now, kRealOptions, 0).empty());
    const StandOption& o = standList[0].options[0];
    EXPECT_TRUE(o.planSkip);
    EXPECT_EQ(o.id, 4u);  // learning and saving still see it
    parkPlan.clear();
    EXPECT_TRUE(search(w, w.now, kRealOptions, 1).empty()) << "skipped for the rest of the plan";
    EXPECT_FALSE(standList[0].taken);
}

TEST(StandSearch, ACallsignHeardInTheFeedPassesTheStandOverButKeepsTheOption) {
    for (const std::string heard : {"SWR1", "SWR1_", "SWR1B"}) {
        ParkingWorld w;
        w.addStand("A", {identOption(1, 3, {20}, "SWR", "A320", "SWR1", "SWR1B")});
        plannerCallsigns = {heard};
        EXPECT_TRUE(search(w, w.now, kRealOptions, 0).empty()) << heard;
        EXPECT_FALSE(standList[0].options[0].planSkip) << heard;
    }
}

TEST(StandSearch, AnAircraftAlreadyParkedElsewhereSkipsTheOption) {
    struct Case {
        const char* what;
        std::function<void(ParkingWorld&)> arrange;
        bool skipped;
    };
    const std::vector<Case> cases{
        {"static twin by callsign copy",
         [](ParkingWorld& w) {
             w.addStand("Z", {}, 46.0, 7.0);
             w.addStatic(2, "SWR1*", "SWR", "A320").callsignCopy = "SWR1";
         },
         true},
        {"static twin by registration",
         [](ParkingWorld& w) {
             w.addStand("Z", {}, 46.0, 7.0);
             w.addStatic(2, "XYZ*", "SWR", "A320").registration = "HB-IJK";
         },
         true},
        {"plan entry with the second callsign",
         [](ParkingWorld&) { parkPlan.push_back(ParkPlanEntry{7, 0, "SWR", "A320", "SWR1B", "", "", true}); }, true},
        {"live parked with the callsign",
         [](ParkingWorld&) { liveParkedList.push_back(LiveParkedEntry{"SWR1", 0, 5, 10}); }, true},
        // Empty texts name nobody: a static aircraft without registration or
        // callsign copy is no twin of every option without them.
        {"static aircraft without names",
         [](ParkingWorld& w) {
             w.addStand("Z", {}, 46.0, 7.0);
             w.addStatic(2, "EZY12*", "EZY", "A319");
         },
         false},
        {"live parked without callsign",
         [](ParkingWorld&) { liveParkedList.push_back(LiveParkedEntry{"", 0, 5, 10}); }, false},
    };
    for (const Case& c : cases) {
        ParkingWorld w;
        w.addStand("A", {identOption(1, 3, {20}, "SWR", "A320", "SWR1", "SWR1B", "HB-IJK")});
        c.arrange(w);
        const auto found = search(w, w.now, kRealOptions, 0);
        EXPECT_EQ(found.empty(), c.skipped) << c.what;
        EXPECT_EQ(standList[0].options[0].planSkip, c.skipped) << c.what;
        liveParkedList.clear();
        parkPlan.clear();
    }
    // The same with an option that has no registration and no second callsign.
    ParkingWorld w;
    w.addStand("A", {identOption(1, 3, {20}, "EZY", "A319", "EZY1")});
    w.addStand("Z", {}, 46.0, 7.0);
    w.addStatic(2, "EZY99*", "EZY", "A319");
    EXPECT_EQ(search(w, w.now, kRealOptions, 0).size(), 1u);
}

TEST(StandSearch, AStaticAircraftNextDoorLeavesRoomOnlyForTypesThatFit) {
    // Two stands 0.02 nm apart (about 37 m).
    const double apart = 0.02 / 60.0;
    for (const auto& [type, fits] : {std::pair<std::string, bool>{"A320", true}, {"B744", false}}) {
        ParkingWorld w;
        w.addStand("A", {identOption(1, 3, {20}, "KLM", type)}, 47.0, 8.0).adjacent = {2};
        w.addStand("B", {}, 47.0 + apart, 8.0).adjacent = {1};
        w.addStatic(2, "KLM1*", "KLM", "A320");  // 0.0097 + 0.0097 < 0.02; 0.0097 + 0.0173 > 0.02
        EXPECT_EQ(search(w, w.now, kRealOptions, 0).size(), fits ? 1u : 0u) << type;
    }
}

TEST(StandSearch, ATakenStandBlocksItsNeighboursAndHeliStandsNeedHelicopters) {
    ParkingWorld w;
    Stand& a = w.addStand("A", {identOption(1, 3, {20}, "SWR", "A320")}, 47.0, 8.0);
    a.adjacent = {2};
    w.addStand("B", {identOption(1, 3, {20}, "SWR", "A320")}, 47.0001, 8.0).adjacent = {1};
    w.addStand("H", {identOption(1, 3, {20}, "REG", "EC35")}, 47.1, 8.0, 10.0, StandKinds{false, false, true});
    HELICOPTERS.value = false;
    auto found = search(w, w.now, kRealOptions, 0);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].standId, 1u);
    EXPECT_TRUE(standList[1].adjacentBlocked);
    EXPECT_FALSE(standList[1].taken);
    HELICOPTERS.value = true;
    found = search(w, w.now, kRealOptions, 0);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].standId, 3u);
}

TEST(StandSearch, StaysWhileTheOptionHoldsTheNextHalfHour) {
    struct Case {
        const char* what;
        Slot now;
        std::vector<StandOption> options;
        bool stays;
    };
    const std::vector<Case> cases{
        {"no second callsign", {3, 20}, {identOption(1, 3, {20}, "SWR", "A320", "SWR1")}, true},
        {"next half-hour set", {3, 20}, {identOption(1, 3, {20, 21}, "SWR", "A320", "SWR1", "SWR2")}, true},
        {"next half-hour clear", {3, 20}, {identOption(1, 3, {20}, "SWR", "A320", "SWR1", "SWR2")}, false},
        {"midnight, next day's option at 0",
         {3, 47},
         {identOption(1, 3, {47}, "SWR", "A320", "SWR1", "SWR2"), identOption(2, 4, {0}, "SWR", "A320")},
         true},
        {"midnight, next day's option of another type",
         {3, 47},
         {identOption(1, 3, {47}, "SWR", "A320", "SWR1", "SWR2"), identOption(2, 4, {0}, "SWR", "A319")},
         false},
        {"Sunday midnight goes on to Monday",
         {7, 47},
         {identOption(1, 7, {47}, "SWR", "A320", "SWR1", "SWR2"), identOption(2, 1, {0}, "SWR", "A320")},
         true},
    };
    for (const Case& c : cases) {
        ParkingWorld w;
        w.addStand("A", c.options);
        const auto found = search(w, c.now, kRealOptions, 0);
        ASSERT_EQ(found.size(), 1u) << c.what;
        EXPECT_EQ(found[0].stays, c.stays) << c.what;
    }
}

TEST(StandSearch, AnErrorEndsTheSearchWithAMarkedLineAndKeepsWhatWasFound) {
    ParkingWorld w;
    AirportLog log;
    w.addStand("A", {identOption(1, 3, {20}, "SWR", "A320")});
    const auto found = search(w, Slot{3, 48}, kRealOptions, 0);
    EXPECT_TRUE(found.empty());
    EXPECT_TRUE(log.contains("===> lf_searchStands: day: [3,48], offset 0: invalid bitset position"));
}

TEST(StandSearch, RandomKeepsTheStaticAircraftsOptionOnItsStand) {
    ParkingWorld w;
    RANDOM.value = true;
    std::vector<StandOption> options;
    for (std::uint32_t i = 1; i <= 8; ++i) {
        options.push_back(identOption(i, 3, {20}, "SWR", "A320", fmt::format("SWR{}", i)));
    }
    w.addStand("A", options);
    // Still standing here from the last plan, as made from option 6.
    w.addStatic(1, "SWR6*", "SWR", "A320").callsignCopy = "";
    for (int round = 0; round < 5; ++round) {
        standList[0].taken = false;
        const auto found = search(w, w.now, kRealOptions, 0);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].callsign, "SWR6");
    }
}

// ---- the fit search --------------------------------------------------------------------------

LiveAc& liveOf(ParkingWorld& w, const std::string& type, const std::string& airline = "SWR", bool cargo = false) {
    LiveAc& ac = w.addLive(40000 + static_cast<std::uint32_t>(w.engine.liveAc.size()), airline + "1", type,
                           AcMoveState::Taxi);
    ac.airline = airline;
    ac.cargo = cargo;
    return ac;
}

std::string fitName(ParkingWorld& w, const LiveAc& ac, bool mayRetry = false) {
    auto it = lf_searchFit(w.engine, w.now, ac, mayRetry);
    return it == standList.end() ? std::string("end") : it->name;
}

TEST(StandSearch, FitPassesFollowTheAircraftsCategory) {
    const StandKinds gate{};
    const StandKinds ramp{false, true, false};
    const StandKinds heli{false, false, true};
    const StandKinds cargo{true, false, false};
    struct Place {
        std::string name;
        StandKinds kinds;
        double radiusMetres = 40.0;
    };
    struct Case {
        const char* what;
        std::vector<Place> stands;
        std::string type;
        std::string airline;
        bool cargoAc;
        std::uint32_t draw;
        std::string code;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"rotorcraft: helipad first", {{"R", ramp}, {"H", heli}}, "EC35", "REG", false, 50, "LSZH", "H"},
        {"rotorcraft without helipads: ramp", {{"G", gate}, {"R", ramp}}, "EC35", "REG", false, 50, "LSZH", "R"},
        // An EC35 (5.2 m) is 3.2 m too big for a 2 m helipad: a fitting ramp
        // comes before the helipad taken regardless of size.
        {"rotorcraft: a fitting ramp before a small helipad", {{"H", heli, 2.0}, {"R", ramp}}, "EC35", "REG", false,
         50, "LSZH", "R"},
        // A B738 (18 m) does not fit a 10 m cargo stand, which still comes
        // before a fitting gate.
        {"cargo: a small cargo stand before a fitting gate", {{"G", gate}, {"C", cargo, 10.0}}, "B738", "AAL", true,
         50, "LSZH", "C"},
        {"cargo: cargo stand", {{"G", gate}, {"C", cargo}}, "B738", "AAL", true, 50, "LSZH", "C"},
        {"cargo without cargo stands: any but heli", {{"H", heli}, {"G", gate}}, "B738", "AAL", true, 50, "LSZH", "G"},
        {"light: ramp", {{"G", gate}, {"R", ramp}}, "C172", "PVT", false, 50, "LSZH", "R"},
        {"light never gets a gate", {{"G", gate}}, "C172", "PVT", false, 50, "LSZH", "end"},
        {"private airline: ramps only", {{"G", gate}}, "A320", "PVT", false, 50, "LSZH", "end"},
        {"other, draw 10: gates first", {{"R", ramp}, {"G", gate}}, "A320", "SWR", false, 10, "LSZH", "G"},
        {"other, draw 9: ramps first", {{"G", gate}, {"R", ramp}}, "A320", "SWR", false, 9, "LSZH", "R"},
        {"other, no ramp: gate", {{"G", gate}}, "A320", "SWR", false, 9, "LSZH", "G"},
        {"other, gates first: a small gate before a fitting ramp", {{"R", ramp}, {"G", gate, 10.0}}, "A320", "SWR",
         false, 50, "LSZH", "G"},
        {"K airport: gates whatever the draw", {{"R", ramp}, {"G", gate}}, "A320", "SWR", false, 0, "KJFK", "G"},
    };
    for (const Case& c : cases) {
        ParkingWorld w;
        w.addAirport(c.code, 47.0, 8.0, false);
        lf_announceParkAirport(c.code);
        double lat = 47.0;
        for (const Place& p : c.stands) w.addStand(p.name, {}, lat += 0.01, 8.0, p.radiusMetres, p.kinds);
        w.draw = c.draw;
        LiveAc& ac = liveOf(w, c.type, c.airline, c.cargoAc);
        EXPECT_EQ(fitName(w, ac), c.expected) << c.what;
    }
}

TEST(StandSearch, FitPrefersTheSnuggestStandAndOfEqualOnesTheMatching) {
    ParkingWorld w;
    w.addStand("Big", {}, 47.00, 8.0, 60.0);
    w.addStand("Snug", {}, 47.01, 8.0, 20.0);
    w.addStand("Small", {}, 47.02, 8.0, 10.0);  // too small for an A320 (17.96 m)
    LiveAc& ac = liveOf(w, "A320");
    EXPECT_EQ(fitName(w, ac), "Snug");

    ParkingWorld m;
    m.addStand("Plain", {}, 47.00, 8.0, 20.0);
    m.addStand("Known", {identOption(1, 5, {2}, "SWR", "A320")}, 47.01, 8.0, 20.0);
    LiveAc& known = liveOf(m, "A320");
    EXPECT_EQ(fitName(m, known), "Known");
}

constexpr double kSearchNmPerMetre = 0.0005399568034557236;

// A stand up to 1.8 m smaller than the aircraft still fits; the smallest radius
// that does is found from the edge in floating point, and the next one below fails.
// The larger stand listed first wins only when the small one is refused.
TEST(StandSearch, FitToleratesAStandAtMost1Point8MetresTooSmall) {
    const double aircraft = 18.0 * kSearchNmPerMetre;
    const double tolerance = 1.8 * kSearchNmPerMetre;
    double edge = aircraft - tolerance;
    while (aircraft > edge + tolerance) edge = std::nextafter(edge, 1.0);
    while (!(aircraft > std::nextafter(edge, 0.0) + tolerance)) edge = std::nextafter(edge, 0.0);
    for (const auto& [small, expected] : {std::pair<double, std::string>{edge, "Small"},
                                          {std::nextafter(edge, 0.0), "Big"}}) {
        ParkingWorld w;
        w.addStand("Big", {}, 47.00, 8.0, 48.0);
        w.addStand("Small", {}, 47.01, 8.0).radius = small;
        LiveAc& ac = liveOf(w, "A320");
        ac.radius = aircraft;
        EXPECT_EQ(fitName(w, ac), expected) << (aircraft - small) / kSearchNmPerMetre << " m smaller";
    }
}

// An aircraft above 17.8 m is scored in steps of 21 m, rounded half away from zero:
// a stand 10.5 m larger than the aircraft scores 1, one a little less scores 0 like
// a stand of the aircraft's own size, and of equal scores the matching stand wins.
TEST(StandSearch, FitScoresLargeAircraftInStepsOf21Metres) {
    const double aircraft = 18.0 * kSearchNmPerMetre;
    const double step = 21.0 * kSearchNmPerMetre;
    double edge = aircraft + step / 2;  // the smallest radius that scores 1
    while (std::lround((edge - aircraft) / step) < 1) edge = std::nextafter(edge, 1.0);
    while (std::lround((std::nextafter(edge, 0.0) - aircraft) / step) >= 1) edge = std::nextafter(edge, 0.0);
    ASSERT_NEAR((edge - aircraft) / kSearchNmPerMetre, 10.5, 1e-9);
    for (const auto& [known, expected] : {std::pair<double, std::string>{std::nextafter(edge, 0.0), "Known"},
                                          {edge, "Plain"}}) {
        ParkingWorld w;
        w.addStand("Plain", {}, 47.00, 8.0).radius = aircraft;
        w.addStand("Known", {identOption(1, 5, {2}, "SWR", "A320")}, 47.01, 8.0).radius = known;
        LiveAc& ac = liveOf(w, "A320");
        ac.radius = aircraft;
        EXPECT_EQ(fitName(w, ac), expected) << (known - aircraft) / kSearchNmPerMetre << " m larger";
    }
}

TEST(StandSearch, FitRetriesTheNextHalfHourOnlyAtSmallAirports) {
    for (const auto& [count, expected] : {std::pair<int, bool>{8, true}, {10, true}, {11, false}}) {
        ParkingWorld w;
        for (int i = 0; i < count; ++i) {
            w.addStand(fmt::format("S{}", i), {identOption(1, 3, {20}, "SWR", "A320")}, 47.0 + i * 0.01, 8.0);
        }
        LiveAc& ac = liveOf(w, "A320");
        EXPECT_EQ(fitName(w, ac, false), "end") << count;
        EXPECT_EQ(fitName(w, ac, true) != "end", expected) << count;
    }
}

// ---- coupled callsigns -------------------------------------------------------------------------

TEST(StandSearch, CoupledCallsignsAreLookedForAroundNowWithoutCrossingMidnight) {
    struct Case {
        const char* what;
        std::string type;
        std::int32_t halfHour;
        std::uint32_t bit;
        bool found;
    };
    const std::vector<Case> cases{
        {"heavy, 14 later", "B744", 5, 19, true},   {"heavy, 15 later", "B744", 5, 20, false},
        {"heavy, clipped at 0", "B744", 5, 0, true}, {"large, 10 later", "A320", 5, 15, true},
        {"large, 11 later", "A320", 5, 16, false},  {"large at 45: no wrap", "A320", 45, 0, false},
        {"large at 45: 47", "A320", 45, 47, true},   {"heavy at 5: no wrap back to 47", "B744", 5, 47, false},
        {"heavy at 40: 47 at the day's end", "B744", 40, 47, true},
    };
    for (const Case& c : cases) {
        ParkingWorld w;
        w.addStand("A", {identOption(1, 3, {c.bit}, "KLM", "B744", "KLM605", "KLM606")});
        LiveAc& ac = liveOf(w, c.type, "KLM");
        ac.callsign = "KLM606_";
        ac.category = c.type == "B744" ? AcCategory::Heavy : AcCategory::Large;
        lf_searchForCoupledCsAroundThisTime(Slot{3, c.halfHour}, ac);
        EXPECT_EQ(ac.callsignCopy == "KLM605" && ac.furtherText == "KLM606", c.found) << c.what;
        EXPECT_EQ(ac.callsign, "KLM606_") << c.what;
    }
}

TEST(StandSearch, FitHalfHoursCountsBackToThePlannedSlot) {
    struct Case {
        Slot planned;
        Slot now;
        std::int32_t expected;
    };
    for (const Case& c : {Case{{3, 20}, {3, 20}, 0}, Case{{3, 18}, {3, 20}, 2}, Case{{2, 46}, {3, 1}, 3},
                          Case{{7, 47}, {1, 0}, 1}, Case{{3, 21}, {3, 20}, 0}}) {
        ParkingWorld w;
        w.addStand("A", {});
        StaticAc& s = w.addStatic(1, "X*", "SWR", "A320", c.planned);
        EXPECT_EQ(gf_fitHalfHours(s, c.now), c.expected) << c.planned.day << "," << c.planned.halfHour;
        s.simState = AcSimState::Adding2Sim;
        EXPECT_EQ(gf_fitHalfHours(s, c.now), 0);
    }
}

}  // namespace
}  // namespace clv::test
