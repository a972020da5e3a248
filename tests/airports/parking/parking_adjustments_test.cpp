// The renewal of the static parked aircraft for a new half-hour: which standing
// aircraft stay, which go, and what is planned for the stands that became free.
#include <gtest/gtest.h>

#include <fmt/ranges.h>

#include <functional>

#include "airports/parking/parking_adjustments.h"
#include "parking_world.h"

namespace clv::test {
namespace {

constexpr std::int64_t kMinute = 600'000'000;  // 100 ns units

// A plan entry as the test expects it.
struct Planned {
    std::string stand;
    std::string callsign;
    std::string second;
    std::uint32_t fit;
    bool stays;
    friend bool operator==(const Planned&, const Planned&) = default;
};

std::ostream& operator<<(std::ostream& out, const Planned& p) {
    return out << p.stand << " " << p.callsign << "/" << p.second << " fit " << p.fit << (p.stays ? " stays" : "");
}

// A static aircraft standing on a stand, as an earlier plan placed it.
StaticAc& standing(ParkingWorld& w, std::uint32_t standId, const std::string& copy, const std::string& further,
                   Slot parkedAt, bool underSecond = false) {
    const std::string callsign = (underSecond ? further : copy) + "*";
    StaticAc& s = w.addStatic(standId, callsign, "DLH", "A320", parkedAt);
    s.callsignCopy = copy;
    s.furtherText = further;
    return s;
}

LiveAc& parkedLive(ParkingWorld& w, std::uint32_t hexid, std::uint32_t standId, std::int64_t minutesAgo) {
    LiveAc& ac = w.addLive(hexid, fmt::format("L{}", hexid), "A320", AcMoveState::Parked, standId);
    ac.timeAtStand = w.systemTime - minutesAgo * kMinute;
    return ac;
}

// Four stands 50 m apart, none adjacent to another; a plan of two.
void fourStands(ParkingWorld& w, std::vector<std::vector<StandOption>> options) {
    options.resize(4);
    for (std::size_t i = 0; i < 4; ++i) {
        w.addStand(fmt::format("S{}", i + 1), std::move(options[i]), 47.0 + 0.00045 * static_cast<double>(i));
    }
    parking_percentage.value = 50;
}

StandOption dlh(std::uint32_t id, std::uint32_t weekday, std::vector<std::uint32_t> hours, std::string callsign,
                std::string second = {}) {
    return identOption(id, weekday, std::move(hours), "DLH", "A320", std::move(callsign), std::move(second));
}

struct Case {
    const char* what;
    Slot now;
    std::function<void(ParkingWorld&)> setup;
    std::vector<std::string> removedStatic;  // their callsigns
    std::vector<std::string> removedLive;
    std::vector<Planned> plan;  // from the front; the placing takes the back first
    std::vector<std::string> status;
};

TEST(ParkingAdjustments, WhatStaysWhatGoesAndWhatIsPlanned) {
    const std::vector<Case> cases = {
        {"a surplus of 2 live parked aircraft of 12 at a wanted 10: the two longest parked go",
         Slot{3, 20},
         [](ParkingWorld& w) {
             for (int i = 1; i <= 20; ++i) w.addStand(fmt::format("S{}", i), {});
             parking_percentage.value = 50;
             for (std::uint32_t i = 1; i <= 12; ++i) parkedLive(w, i, i, i);
         },
         {},
         {"L11", "L12"},
         {},
         {"Parking adjustments: 2 more live ac than wanted", "Parking adjustments: 0 to be removed, 0 to be added\n"}},

        {"wanted 0: every static and live parked aircraft goes, without a live surplus message",
         Slot{3, 20},
         [](ParkingWorld& w) {
             fourStands(w, {{dlh(1, 3, {20}, "DLH1")}});
             CUSTOM_MAX_PARK.value = 0;
             standing(w, 1, "DLH1", "", Slot{3, 20});  // still fits: kept, then cut as surplus
             standing(w, 2, "DLH2", "", Slot{3, 20});  // no option on its stand: removed
             parkedLive(w, 7, 3, 5);
         },
         {"DLH1*", "DLH2*"},
         {"L7"},
         {},
         {"Parking adjustments: 2 to be removed, 0 to be added\n"}},

        {"wanted 0: the live aircraft parked on the stand goes, not one that pulled out of it and still names it",
         Slot{3, 20},
         [](ParkingWorld& w) {
             fourStands(w, {});
             CUSTOM_MAX_PARK.value = 0;
             w.addLive(6, "L6", "A320", AcMoveState::Taxi, 3);
             parkedLive(w, 7, 3, 5);
         },
         {},
         {"L7"},
         {},
         {"Parking adjustments: 0 to be removed, 0 to be added\n"}},

        {"INITIAL_LOAD_ONLY: the surplus never takes a live parked aircraft",
         Slot{3, 20},
         [](ParkingWorld& w) {
             fourStands(w, {{dlh(1, 3, {20}, "DLH1")}});
             CUSTOM_MAX_PARK.value = 0;
             INITIAL_LOAD_ONLY.value = true;
             standing(w, 1, "DLH1", "", Slot{3, 20});
             standing(w, 2, "DLH2", "", Slot{3, 20});
             parkedLive(w, 7, 3, 5);
         },
         {"DLH1*", "DLH2*"},
         {},
         {},
         {"Parking adjustments: 2 to be removed, 0 to be added\n"}},

        {"a static aircraft whose callsign was heard in the feed goes, and is not planned again",
         Slot{3, 20},
         [](ParkingWorld& w) {
             fourStands(w, {{dlh(1, 3, {20}, "DLH1")}, {dlh(1, 3, {20}, "DLH2")}});
             standing(w, 1, "DLH1", "", Slot{3, 20});
             w.heardCallsigns = {"DLH1"};
         },
         {"DLH1*"},
         {},
         {{"S2", "DLH2", "", 0, true}},
         {"Parking adjustments: 1 to be removed, 1 to be added\n"}},

        {"on a planned stand with the same airline and type within the entry's window: it stays, the stand gets no "
         "new aircraft",
         Slot{3, 20},
         [](ParkingWorld& w) {
             // The planner sets its own option aside (its aircraft stands) and
             // plans the stand's other aircraft of the half-hour before.
             fourStands(w, {{dlh(1, 3, {20}, "DLH1"), dlh(2, 3, {19}, "DLH9")}, {dlh(1, 3, {20}, "DLH2")}});
             standing(w, 1, "DLH1", "", Slot{3, 20});
         },
         {},
         {},
         {{"S2", "DLH2", "", 0, true}},
         {"Parking adjustments: 0 to be removed, 1 to be added\n"}},

        {"options without callsigns: the aircraft placed for one, named by airline and serial, stays on its planned "
         "stand",
         Slot{3, 20},
         [](ParkingWorld& w) {
             fourStands(w, {{dlh(1, 3, {19, 20}, "")}, {dlh(1, 3, {20}, "DLH2")}});
             StaticAc& s = w.addStatic(1, "DLH7*", "DLH", "A320", Slot{3, 19});
             s.callsignCopy.clear();
             s.furtherText.clear();
         },
         {},
         {},
         {{"S2", "DLH2", "", 0, true}},
         {"Parking adjustments: 0 to be removed, 1 to be added\n"}},

        {"its own option, set aside by the planner because it stands, still keeps it",
         Slot{3, 20},
         [](ParkingWorld& w) {
             fourStands(w, {{dlh(1, 3, {20}, "DLH1")}, {dlh(1, 3, {20}, "DLH2")}});
             standing(w, 1, "DLH1", "", Slot{3, 20});
         },
         {},
         {},
         {{"S2", "DLH2", "", 0, true}},
         {"Parking adjustments: 0 to be removed, 1 to be added\n"}},

        {"week wrap: at (1,1) an entry of fit 3 reaches back to (7,46); parked at (7,46) stays, at (7,45) goes",
         Slot{1, 1},
         [](ParkingWorld& w) {
             fourStands(w, {{dlh(1, 7, {46}, "DLH31")}, {dlh(1, 7, {46}, "DLH32")}});
             standing(w, 1, "DLH11", "", Slot{7, 46});
             standing(w, 2, "DLH12", "", Slot{7, 45});
         },
         {"DLH12*"},
         {},
         {{"S2", "DLH32", "", 3, true}},
         {"Parking adjustments: 1 to be removed, 1 to be added\n"}},

        {"an option that ends now: its aircraft goes and comes back under the second callsign, at its own fit",
         Slot{3, 20},
         [](ParkingWorld& w) {
             fourStands(w, {{dlh(1, 3, {18, 19, 20}, "DLH5", "DLH6")}, {dlh(1, 3, {20}, "DLH2")}});
             standing(w, 1, "DLH5", "DLH6", Slot{3, 18});
         },
         {"DLH5*"},
         {},
         {{"S1", "DLH5", "DLH6", 2, false}, {"S2", "DLH2", "", 0, true}},
         {"Parking adjustments: 1 to be removed, 2 to be added\n"}},

        {"an option that ends now across midnight of Sunday: the fit counts back into Sunday",
         Slot{1, 1},
         [](ParkingWorld& w) {
             fourStands(w, {{dlh(1, 7, {46, 47}, "DLH5", "DLH6"), dlh(2, 1, {0, 1}, "DLH5", "DLH6")},
                            {dlh(1, 1, {1}, "DLH2")}});
             standing(w, 1, "DLH5", "DLH6", Slot{7, 46});
         },
         {"DLH5*"},
         {},
         {{"S1", "DLH5", "DLH6", 3, false}, {"S2", "DLH2", "", 0, true}},
         {"Parking adjustments: 1 to be removed, 2 to be added\n"}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ParkingWorld w;
        w.now = c.now;
        w.systemTime = 1000 * kMinute;
        lastRealFit = 0;
        lastSoftFit = -1;
        c.setup(w);

        gf_parkingAdjustments(w.engine);

        std::vector<std::string> removedStatic;
        for (const StaticAc& s : w.engine.staticAc)
            if (s.simState == AcSimState::RemovingFromSim) removedStatic.push_back(s.callsign);
        std::vector<std::string> removedLive;
        for (const LiveAc& a : w.engine.liveAc)
            if (a.simState == AcSimState::RemovingFromSim) removedLive.push_back(a.callsign);
        std::sort(removedStatic.begin(), removedStatic.end());
        std::sort(removedLive.begin(), removedLive.end());
        EXPECT_EQ(removedStatic, c.removedStatic);
        EXPECT_EQ(removedLive, c.removedLive);

        std::vector<Planned> plan;
        for (const ParkPlanEntry& e : parkPlan)
            plan.push_back(Planned{gf_standName(e.standId), e.callsign, e.secondCallsign, e.fit, e.stays});
        EXPECT_EQ(plan, c.plan);

        const std::vector<std::string> lines = gf_nullUiPort().statusLines();
        for (const std::string& line : c.status) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end())
                << "missing \"" << line << "\" among: " << fmt::format("{}", fmt::join(lines, " | "));
        }
        if (c.status.size() == 1) {
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                    [](const std::string& l) { return l.find("more live ac") != std::string::npos; }),
                      0);
        }
        EXPECT_TRUE(staticRemovals.empty());
        EXPECT_TRUE(parkingBusy.load()) << "the refresh unlocks once the plan is placed";
    }
}

// The replacement is placed under its second callsign in the planned slot of the
// aircraft it replaces, once the simulator has taken that one away.
TEST(ParkingAdjustments, TheReplacementTakesTheSlotOfTheAircraftItReplaces) {
    ParkingWorld w;
    w.now = Slot{3, 20};
    lastRealFit = 0;
    lastSoftFit = -1;
    fourStands(w, {{dlh(1, 3, {18, 19, 20}, "DLH5", "DLH6")}, {dlh(1, 3, {20}, "DLH2")}});
    StaticAc& old = standing(w, 1, "DLH5", "DLH6", Slot{3, 18});
    const std::uint32_t oldObject = old.objectId;

    gf_parkingAdjustments(w.engine);
    ASSERT_EQ(w.engine.removalQueue.size(), 1u);
    EXPECT_EQ(w.engine.removalQueue.front(), oldObject);
    lf_objectRemoved(w.engine, oldObject);
    ASSERT_TRUE(w.engine.staticAc.empty());

    while (!parkPlan.empty()) gf_placeNextStaticAc(w.engine);
    ASSERT_EQ(w.engine.staticAc.size(), 2u);
    const StaticAc& again = w.engine.staticAc[1];
    EXPECT_EQ(gf_standName(again.standId), "S1");
    EXPECT_EQ(again.callsign, "DLH6*");
    EXPECT_EQ(again.callsignCopy, "DLH5");
    EXPECT_EQ(again.furtherText, "DLH6");
    const Slot slot = Slot::fromBits(again.parkedAt);
    EXPECT_EQ(slot.day, 3);
    EXPECT_EQ(slot.halfHour, 18);
}

}  // namespace
}  // namespace clv::test
