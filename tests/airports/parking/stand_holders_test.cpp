#include "airports/parking/stand_holders.h"

#include <gtest/gtest.h>

namespace clv::test {
namespace {

TEST(StandHolders, FirstApplyingRuleDecides) {
    struct Case {
        const char* newCallsign;
        const char* holderCallsign;
        bool departing;
        HolderRule rule;
        bool holderGivesWay;
    };
    const Case cases[] = {
        {"ABC1", "ABC1", true, HolderRule::SameCallsign, true},
        {"ABC12", "ABC1", false, HolderRule::NewIsCoupled, false},
        {"ABC1_", "ABC1", false, HolderRule::NewIsCoupled, false},
        {"ABC1", "ABC12", true, HolderRule::HolderIsGhost, true},
        {"ABC12", "ABC1_", true, HolderRule::HolderUnderscore, true},
        {"ABC1_", "ABC12", false, HolderRule::NewUnderscore, false},
        {"ABC12", "DEF3", true, HolderRule::HolderDeparting, false},
        {"ABC12", "DEF3", false, HolderRule::Otherwise, true},
    };
    for (const Case& c : cases) {
        const HolderRule rule = gf_holderRule(c.newCallsign, c.holderCallsign, c.departing);
        EXPECT_EQ(rule, c.rule) << c.newCallsign << " against " << c.holderCallsign;
        EXPECT_EQ(gf_holderGivesWay(rule), c.holderGivesWay) << c.newCallsign << " against " << c.holderCallsign;
    }
}

TEST(StandHolders, LearnedOptionsAreSpacedByThreeHalfHoursRoundTheDay) {
    std::vector<LearnedOptionEntry> list;
    EXPECT_TRUE(gf_updateLearnedOption(list, 5, Slot{2, 10}, false));
    EXPECT_FALSE(gf_updateLearnedOption(list, 5, Slot{2, 12}, false));  // 2 half-hours
    EXPECT_TRUE(gf_updateLearnedOption(list, 6, Slot{2, 12}, false));   // another aircraft
    EXPECT_TRUE(gf_updateLearnedOption(list, 5, Slot{2, 13}, false));   // 3 half-hours
    EXPECT_EQ(list.at(0).learned, (Slot{2, 13}));
    EXPECT_TRUE(gf_updateLearnedOption(list, 5, Slot{2, 14}, true));    // forced
    // From 47 to 1 only two half-hours have passed.
    EXPECT_TRUE(gf_updateLearnedOption(list, 5, Slot{2, 47}, false));
    EXPECT_FALSE(gf_updateLearnedOption(list, 5, Slot{3, 1}, false));
    EXPECT_TRUE(gf_updateLearnedOption(list, 5, Slot{3, 2}, false));
    EXPECT_EQ(list.size(), 2u);
}

}  // namespace
}  // namespace clv::test
