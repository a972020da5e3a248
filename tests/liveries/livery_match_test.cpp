#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>

#include "core/parameters.h"
#include "core/random.h"
#include "livery_index_fixture.h"
#include "liveries/ac_data.h"
#include "liveries/livery_index.h"
#include "liveries/livery_match.h"
#include "liveries/match_summary.h"

namespace {

using clv::test::LiveryWorld;

clv::AcData aircraft(const std::string& airline, const std::string& type, const std::string& registration,
                     bool cargo = false, const std::string& callsign = "TST123") {
    clv::AcIdentity identity;
    identity.airline = airline;
    identity.type = type;
    identity.registration = registration;
    identity.callsign = callsign;
    clv::AcData ac(identity);
    ac.cargo = cargo;
    return ac;
}

// What a live match gives: the step whose counter went up (0: none) and the title.
struct Outcome {
    int step;
    std::string title;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
    return out << "step " << outcome.step << " \"" << outcome.title << "\"";
}

Outcome matchLive(clv::AcData& ac) {
    const auto before = livMatchCounters;
    gf_matchLivery(ac);
    int step = 0;
    int raised = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (livMatchCounters[i] == before[i]) continue;
        EXPECT_EQ(livMatchCounters[i], before[i] + 1) << "counter of step " << i + 1;
        step = static_cast<int>(i) + 1;
        ++raised;
    }
    EXPECT_LE(raised, 1) << "more than one counter went up";
    return {step, std::string(ac.liveryTitle)};
}

class LiveryMatchTest : public ::testing::Test {
protected:
    void SetUp() override { world_.buildFixture(); }
    LiveryWorld world_;
};

const Outcome kNone{0, ""};

struct MatchCase {
    const char* what;
    const char* airline;
    const char* type;
    const char* registration;
    bool cargo;
    std::array<Outcome, 4> byDepth;  // MATCHING_DEPTH 1, 2, 3, 4
};

TEST_F(LiveryMatchTest, StepAndTitleByDepth) {
    const Outcome retro{1, "Lufthansa A320 Hansa Retro"};
    const Outcome byRegA319{1, "Lufthansa A319"};
    const Outcome standard{2, "Lufthansa A320 Standard"};
    const Outcome genericC172{4, "Generic C172"};
    const std::vector<MatchCase> cases{
        {"registration beats the airline's own type", "DLH", "A320", "D-AIBL", false,
         {byRegA319, byRegA319, byRegA319, byRegA319}},
        {"registration found by another spelling", "DLH", "A320", "DAIBL", false,
         {byRegA319, byRegA319, byRegA319, byRegA319}},
        {"registration of a special livery", "DLH", "A320", "D-AIRX", false, {retro, retro, retro, retro}},
        {"airline and type pass over the special title", "DLH", "A320", "", false, {kNone, standard, standard, standard}},
        {"the registration's airline when an operator flies it", "BAW", "A320", "D-AIZZ", false,
         {kNone, standard, standard, standard}},
        {"no airline skips the airline steps", "", "A320", "D-AIZZ", false,
         {kNone, kNone, kNone, {4, "Generic A320"}}},
        {"private aircraft takes the generic livery", "PVT", "C172", "", false,
         {kNone, genericC172, genericC172, genericC172}},
        {"cargo aircraft takes a passenger livery", "DLH", "B748", "", true,
         {kNone, {2, "Lufthansa B748"}, {2, "Lufthansa B748"}, {2, "Lufthansa B748"}}},
        {"passenger aircraft never takes a cargo livery", "DLH", "MD11", "", false, {kNone, kNone, kNone, kNone}},
        {"cargo aircraft takes the cargo livery", "DLH", "MD11", "", true,
         {kNone, {2, "Lufthansa Cargo MD11"}, {2, "Lufthansa Cargo MD11"}, {2, "Lufthansa Cargo MD11"}}},
        {"similar type of the airline", "DLH", "A20N", "", false,
         {kNone, kNone, {3, "Lufthansa A319"}, {3, "Lufthansa A319"}}},
        {"Heavy takes a generic livery at depth 4 only", "SWR", "B744", "", false,
         {kNone, kNone, kNone, {4, "Generic B744"}}},
        {"Light takes a generic livery at depth 3", "BAW", "C172", "", false, {kNone, kNone, genericC172, genericC172}},
        {"Large never takes any livery of its type", "BAW", "A319", "", false, {kNone, kNone, kNone, kNone}},
        {"Light takes any livery of its type", "NJE", "DA40", "", false,
         {kNone, kNone, {5, "Private DA40"}, {5, "Private DA40"}}},
        {"cargo Light finds no passenger livery of its type", "NJE", "DA40", "", true, {kNone, kNone, kNone, kNone}},
        {"Light takes a livery of an alternative type", "NJE", "PA28", "", false,
         {kNone, kNone, {6, "Generic C172"}, {6, "Generic C172"}}},
        {"only special titles: the next attempt", "KLM", "B738", "", false, {kNone, kNone, kNone, {4, "Generic B738"}}},
        {"FSLTL livery", "SWR", "B77W", "", false,
         {kNone, {2, "FSLTL_SWR_B77W"}, {2, "FSLTL_SWR_B77W"}, {2, "FSLTL_SWR_B77W"}}},
    };
    for (int depth = 1; depth <= 4; ++depth) {
        MATCHING_DEPTH.value = depth;
        for (const auto& c : cases) {
            clv::AcData ac = aircraft(c.airline, c.type, c.registration, c.cargo);
            EXPECT_EQ(matchLive(ac), c.byDepth[static_cast<std::size_t>(depth - 1)])
                << c.what << " at depth " << depth;
        }
    }
}

TEST_F(LiveryMatchTest, RandomChoicesStayAmongTheOrdinaryCandidates) {
    RANDOM.value = true;
    gf_seedRandom(12345);
    for (int i = 0; i < 50; ++i) {
        clv::AcData dlh = aircraft("DLH", "A320", "");
        EXPECT_EQ(matchLive(dlh), (Outcome{2, "Lufthansa A320 Standard"}));
        clv::AcData klm = aircraft("KLM", "B738", "");
        EXPECT_EQ(matchLive(klm), (Outcome{4, "Generic B738"}));
    }
}

// A title the simulator refused is no candidate: with RANDOM off or on, bound to
// a registration or not, the aircraft gets the next livery that fits, and an
// airline and type whose titles were all refused go on to the looser steps.
TEST(LiveryMatchExcluded, RefusedTitlesAreNoCandidates) {
    LiveryWorld world;
    world.writeLiveries(R"(<?xml version="1.0"?>
<liveries>
  <liv airl="DLH" type="A320" title="DLH A320 Bound" atcid="D-ABND"/>
  <liv airl="DLH" type="A320" title="DLH A320 One"/>
  <liv airl="DLH" type="A320" title="DLH A320 Two"/>
  <liv airl="ZZZ" type="A320" title="Generic A320"/>
</liveries>
)");
    lf_processScannedLiveries();
    struct Case {
        const char* what;
        std::vector<std::string> refused;
        const char* registration;
        bool random;
        Outcome outcome;
    };
    const Case cases[] = {
        {"the bound title", {}, "D-ABND", false, {1, "DLH A320 Bound"}},
        {"a refused bound title leaves the other steps", {"DLH A320 Bound"}, "D-ABND", false, {2, "DLH A320 One"}},
        {"the first candidate refused", {"DLH A320 Bound"}, "", false, {2, "DLH A320 One"}},
        {"the same title refused twice", {"DLH A320 Bound", "DLH A320 Bound"}, "", false, {2, "DLH A320 One"}},
        {"random among those left", {"DLH A320 Bound", "DLH A320 One"}, "", true, {2, "DLH A320 Two"}},
        {"random, bound title refused", {"DLH A320 Bound", "DLH A320 Two"}, "D-ABND", true, {2, "DLH A320 One"}},
        {"all of the airline refused", {"DLH A320 Bound", "DLH A320 One", "DLH A320 Two"}, "", false,
         {4, "Generic A320"}},
        {"nothing left", {"DLH A320 Bound", "DLH A320 One", "DLH A320 Two", "Generic A320"}, "D-ABND", true, kNone},
    };
    const std::vector<std::string> saved = excludedTitles;
    gf_seedRandom(777);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        excludedTitles = saved;
        excludedTitles.insert(excludedTitles.end(), c.refused.begin(), c.refused.end());
        RANDOM.value = c.random;
        for (int i = 0; i < (c.random ? 30 : 1); ++i) {
            clv::AcData live = aircraft("DLH", "A320", c.registration);
            EXPECT_EQ(matchLive(live), c.outcome);
            clv::AcData parked = aircraft("DLH", "A320", c.registration);
            EXPECT_EQ(gf_matchStaticLivery(parked, "A1", false), c.outcome.step != 0);
            EXPECT_EQ(parked.liveryTitle, c.outcome.title);
        }
    }
    excludedTitles = saved;
}

TEST_F(LiveryMatchTest, MatchSetsTheFsltlFlagAndLogsWhileLogIsOn) {
    clv::AcData ac = aircraft("SWR", "B77W", "");
    gf_matchLivery(ac);
    EXPECT_TRUE(ac.specialLivery);
    EXPECT_TRUE(world_.logged("          " + ac.logLabel() + " =2= FSLTL_SWR_B77W"));

    // The same record matched again as another aircraft: the flag follows the new title.
    ac.liveryTitle = {};
    ac.airline = "DLH";
    ac.type = "A320";
    LOG.value = false;
    gf_matchLivery(ac);
    EXPECT_EQ(ac.liveryTitle, "Lufthansa A320 Standard");
    EXPECT_FALSE(ac.specialLivery);
    EXPECT_FALSE(world_.logged("          " + ac.logLabel() + " =2= Lufthansa A320 Standard"));
}

TEST_F(LiveryMatchTest, TitlesAreViewsOfTheIndexTexts) {
    clv::AcData first = aircraft("DLH", "A320", "");
    clv::AcData second = aircraft("DLH", "A320", "");
    gf_matchLivery(first);
    gf_matchLivery(second);
    ASSERT_FALSE(first.liveryTitle.empty());
    EXPECT_EQ(first.liveryTitle.data(), second.liveryTitle.data()) << "no copy per aircraft";
}

TEST_F(LiveryMatchTest, RegistrationLookupTriesEachSpelling) {
    EXPECT_EQ(gf_reg2Title("D-AIBL"), "Lufthansa A319");
    EXPECT_EQ(gf_reg2Title("DAIBL"), "Lufthansa A319");
    EXPECT_EQ(gf_reg2Title("PH-BXA"), "KLM B738 Orange");
    EXPECT_EQ(gf_reg2Title("PHBXA"), "KLM B738 Orange");
    EXPECT_EQ(gf_reg2Title("D-AIZZ"), "");
    EXPECT_EQ(gf_reg2Title(""), "");
}

TEST_F(LiveryMatchTest, PickAvoidsSpecialTitles) {
    clv::AcData ac = aircraft("DLH", "A320", "");
    lf_pickLivery(ac, {});
    EXPECT_EQ(ac.liveryTitle, "") << "no candidates: nothing changes";
    lf_pickLivery(ac, {"Lufthansa A320 Hansa Retro", "KLM B738 Orange", "Generic A320", "Lufthansa A319"});
    EXPECT_EQ(ac.liveryTitle, "Generic A320") << "the first candidate that is not special";
    lf_pickLivery(ac, {"KLM B738 Orange", "KLM B738 Skyteam"});
    EXPECT_EQ(ac.liveryTitle, "") << "only special candidates";
    EXPECT_THROW(lf_matchAirlType(ac, "DLH", "A320", 2), std::invalid_argument);
}

TEST_F(LiveryMatchTest, StaticAircraftDifferences) {
    MATCHING_DEPTH.value = 3;
    const auto before = livMatchCounters;

    // No airline: the registration record's airline still matches.
    clv::AcData noAirline = aircraft("", "A320", "D-AIZZ");
    EXPECT_TRUE(gf_matchStaticLivery(noAirline, "A12", false));
    EXPECT_EQ(noAirline.liveryTitle, "Lufthansa A320 Standard");
    EXPECT_TRUE(world_.logged("          " + noAirline.logLabel() + " =2= Lufthansa A320 Standard"));

    // A cargo stand makes a cargo aircraft ...
    clv::AcData freighter = aircraft("DLH", "MD11", "");
    EXPECT_TRUE(gf_matchStaticLivery(freighter, "C1", true));
    EXPECT_TRUE(freighter.cargo);
    EXPECT_EQ(freighter.liveryTitle, "Lufthansa Cargo MD11");

    // ... and a passenger stand a passenger aircraft, whatever its data said.
    clv::AcData passenger = aircraft("DLH", "MD11", "", true);
    EXPECT_FALSE(gf_matchStaticLivery(passenger, "A12", false));
    EXPECT_FALSE(passenger.cargo);
    EXPECT_EQ(passenger.liveryTitle, "");
    EXPECT_TRUE(world_.logged("A12     : " + passenger.fullLabel() + " no livery match ..."));

    // A registration match comes first and keeps the aircraft's own cargo flag.
    clv::AcData registered = aircraft("DLH", "A320", "D-AIBL");
    EXPECT_TRUE(gf_matchStaticLivery(registered, "C1", true));
    EXPECT_EQ(registered.liveryTitle, "Lufthansa A319");
    EXPECT_FALSE(registered.cargo);

    // A title already set is kept.
    clv::AcData kept = aircraft("DLH", "A320", "");
    kept.liveryTitle = "Generic A320";
    EXPECT_TRUE(gf_matchStaticLivery(kept, "A12", false));
    EXPECT_EQ(kept.liveryTitle, "Generic A320");
    EXPECT_TRUE(world_.logged("          " + kept.logLabel() + " =s= Generic A320"));

    // The only title of its airline and type refused: no candidate, so no match.
    excludedTitles.emplace_back("Lufthansa B748");
    clv::AcData excluded = aircraft("DLH", "B748", "", false, "EXC1");
    const bool matched = gf_matchStaticLivery(excluded, "B7", false);
    excludedTitles.pop_back();
    EXPECT_FALSE(matched);
    EXPECT_EQ(excluded.liveryTitle, "");
    EXPECT_TRUE(world_.logged("B7      : " + excluded.fullLabel() + " no livery match ..."));

    EXPECT_EQ(livMatchCounters, before) << "static matches count nothing";
    EXPECT_FALSE(freighter.specialLivery);
}

TEST_F(LiveryMatchTest, StaticAircraftAtDepthOneGetsOnlyTheRegistration) {
    MATCHING_DEPTH.value = 1;
    clv::AcData ac = aircraft("DLH", "A320", "");
    EXPECT_FALSE(gf_matchStaticLivery(ac, "A1", true));
    EXPECT_TRUE(ac.cargo) << "the stand decides once the registration did not match";
    clv::AcData registered = aircraft("DLH", "A320", "D-AIRX");
    EXPECT_TRUE(gf_matchStaticLivery(registered, "A1", false));
    EXPECT_EQ(registered.liveryTitle, "Lufthansa A320 Hansa Retro");
}

}  // namespace
