#include <gtest/gtest.h>

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/parameters.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "livery_index_fixture.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_index.h"
#include "liveries/regcodes.h"
#include "liveries/similar_types.h"

namespace {

using clv::test::LiveryWorld;
namespace fs = std::filesystem;

constexpr clv::ControlHandle kLightBox = 9001;
constexpr clv::ControlHandle kHighPerfBox = 9002;
constexpr clv::ControlHandle kHelicoptersBox = 9003;

// Whether `expected` appears in `lines` in this order (other lines may lie between).
::testing::AssertionResult inOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
    auto at = lines.begin();
    for (const auto& line : expected) {
        at = std::find(at, lines.end(), line);
        if (at == lines.end()) return ::testing::AssertionFailure() << "missing or out of order: \"" << line << "\"";
        ++at;
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> sorted(std::vector<std::string> items) {
    std::sort(items.begin(), items.end());
    return items;
}

std::vector<std::string> indexTitlesOf(const clv::TitleViews& views) { return {views.begin(), views.end()}; }

TEST(LiveryIndexTest, ReportsWhatIsInstalledAndSwitchesMissingCategoriesOff) {
    LiveryWorld world;
    LIGHT_AIRCRAFT.value = true;
    HIGH_PERF_AIRCRAFT.value = false;
    HELICOPTERS.value = true;
    LIGHT_AIRCRAFT.handle = kLightBox;
    HIGH_PERF_AIRCRAFT.handle = kHighPerfBox;
    HELICOPTERS.handle = kHelicoptersBox;
    gf_nullUiPort().setEnabled(kLightBox, false);

    world.buildFixture();

    EXPECT_TRUE(inOrder(world.logLines(), {
                                              "4 registration codes",
                                              "5 airlines, 8 pax aircraft models and 2 cargo aircraft models",
                                              "4 models have a generic livery",
                                              "  A320,B738,B744,C172",
                                              "Category Light: 2 pax liveries",
                                              "  C172,DA40",
                                              "Category Buzjets: No livery found",
                                              "Category Large: 7 pax liveries and 1 cargo liverie",
                                              "  A319,A320,B738",
                                              "Category Heavy: 3 pax liveries and 1 cargo liverie",
                                              "  B744,B748,B77W,MD11",
                                              "Category HighPerf: No livery found",
                                              "Category Rotorcraft: No livery found",
                                              "HELICOPTERS temporary switched off because you do not have "
                                              "Helicopters installed",
                                          }));
    // A switch that is already off changes nothing and says nothing.
    EXPECT_FALSE(world.logged("HIGH_PERF_AIRCRAFT temporary switched off because you do not have High Perf aircraft "
                              "installed"));
    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.value);
    EXPECT_FALSE(HELICOPTERS.value);
    EXPECT_TRUE(LIGHT_AIRCRAFT.value);
    EXPECT_NE(clv::test::readFile(world.root() / "parameters.xml").find(R"(name="HELICOPTERS" value="false")"),
              std::string::npos);

    // Both missing categories' boxes are disabled; an installed one's is enabled again.
    EXPECT_FALSE(gf_nullUiPort().control(kHelicoptersBox).enabled);
    EXPECT_FALSE(gf_nullUiPort().control(kHighPerfBox).enabled);
    EXPECT_TRUE(gf_nullUiPort().control(kLightBox).enabled);

    EXPECT_EQ(categoryTypes[clv::kCategoryTypesLight], (std::vector<std::string>{"C172", "DA40"}));
    EXPECT_TRUE(categoryTypes[clv::kCategoryTypesBuzjets].empty());
    EXPECT_TRUE(categoryTypes[clv::kCategoryTypesRotorcraft].empty());
    EXPECT_EQ(liveryCount.load(), 14u);
    EXPECT_TRUE(liveryIndexBuilt);
    EXPECT_TRUE(liveryList.empty()) << "the titles live on in the tree only";
}

TEST(LiveryIndexTest, StructuresSplitByHalfAndType) {
    LiveryWorld world;
    world.buildFixture();

    // DLH flies the MD11 as a freighter only: no passenger entry for it.
    const auto& paxDlh = liveryIndex[clv::kPaxHalf].at("DLH");
    EXPECT_FALSE(paxDlh.contains("MD11"));
    EXPECT_EQ(indexTitlesOf(paxDlh.at("A320")),
              (std::vector<std::string>{"Lufthansa A320 Hansa Retro", "Lufthansa A320 Standard"}));
    // KLM has no cargo livery at all: no cargo entry for the airline.
    EXPECT_FALSE(liveryIndex[clv::kCargoHalf].contains("KLM"));
    EXPECT_EQ(liveryIndex[clv::kCargoHalf].size(), 2u);
    EXPECT_EQ(indexTitlesOf(liveryIndex[clv::kCargoHalf].at("ZZZ").at("B738")),
              (std::vector<std::string>{"Generic B738 Freighter"}));

    // The type maps gather every airline's titles of a type.
    EXPECT_EQ(sorted(indexTitlesOf(typeLiveryMaps[clv::kPaxHalf].at("B738"))),
              (std::vector<std::string>{"Generic B738", "KLM B738 Orange", "KLM B738 Skyteam"}));
    // A type that only the generic airline has is a type like any other.
    EXPECT_EQ(indexTitlesOf(typeLiveryMaps[clv::kPaxHalf].at("B744")), (std::vector<std::string>{"Generic B744"}));
    EXPECT_FALSE(typeLiveryMaps[clv::kPaxHalf].contains("MD11"));

    EXPECT_TRUE(gf_airlineHasType("DLH", "MD11"));
    EXPECT_FALSE(gf_airlineHasType("DLH", "B738"));
    EXPECT_FALSE(gf_airlineHasType("BAW", "A320"));
    EXPECT_TRUE(gf_typeHasLivery("MD11"));
    EXPECT_FALSE(gf_typeHasLivery("A20N"));
    EXPECT_EQ(sorted(gf_liveryAirlines()), (std::vector<std::string>{"DLH", "KLM", "PVT", "SWR", "ZZZ"}));

    // Registrations: in-line first, then the user's file, which marks its titles special.
    EXPECT_EQ(regcodeMap.at("D-AIBL"), "Lufthansa A319");
    EXPECT_EQ(regcodeMap.at("D-AIRX"), "Lufthansa A320 Hansa Retro");
    EXPECT_EQ(specialTitles.size(), 3u);
    EXPECT_EQ(gf_findInstalledTitle("Generic C172").data(), typeLiveryMaps[clv::kPaxHalf].at("C172").front().data())
        << "the registration codes and the index share the tree's texts";

    // Similar models see the installed liveries.
    EXPECT_EQ(gf_similarModels("DLH", "A20N"), (std::vector<std::string>{"A319", "A320"}));
}

TEST(LiveryIndexTest, SecondBuildInTheSameProcessIsSkipped) {
    LiveryWorld world;
    world.buildFixture();
    const char* stored = liveryIndex[clv::kPaxHalf].at("DLH").at("A320").front().data();

    // A restarted run reads the scanned liveries again; the built index stands.
    world.writeLiveries(R"(<liveries><liv airl="BAW" type="A320" title="British A320"/></liveries>)");
    liveryList.push_back({"BAW", "A320", "British A320", "", 1, false});
    lf_processScannedLiveries();

    EXPECT_TRUE(world.logged("Processing scanned liveries skipped; already done in previous start-up"));
    EXPECT_EQ(liveryIndex[clv::kPaxHalf].at("DLH").at("A320").front().data(), stored);
    EXPECT_FALSE(liveryIndex[clv::kPaxHalf].contains("BAW"));
    EXPECT_TRUE(liveryList.empty());
}

TEST(LiveryIndexTest, ClearRequestIsCarriedOutByTheRunThread) {
    LiveryWorld world;
    world.buildFixture();

    gf_requestLiveryIndexClear();  // the window's handler
    EXPECT_TRUE(liveryIndexBuilt) << "nothing changes until the run thread gets to it";
    EXPECT_FALSE(liveryTree.airlines.empty());

    // The next scan step carries the request out and builds from the new file.
    world.writeLiveries(R"(<liveries><liv airl="BAW" type="A320" title="British A320"/></liveries>)");
    world.writeRegcodes("British A320;G-EUUA\n");
    lf_processScannedLiveries();
    EXPECT_FALSE(world.logged("Processing scanned liveries skipped; already done in previous start-up"));
    EXPECT_FALSE(liveryIndex[clv::kPaxHalf].contains("DLH"));
    EXPECT_EQ(indexTitlesOf(liveryIndex[clv::kPaxHalf].at("BAW").at("A320")), (std::vector<std::string>{"British A320"}));
    EXPECT_EQ(regcodeMap.size(), 1u);
    EXPECT_EQ(specialTitles.size(), 1u);
    EXPECT_TRUE(categoryTypes[clv::kCategoryTypesLight].empty());
    EXPECT_EQ(liveryTree.texts.size(), 1u);
    // Similar models follow the new liveries, not the ones that are gone.
    EXPECT_EQ(similarModels.at("A20N"), (std::vector<std::string>{"A320"}));
    EXPECT_FALSE(airlineSimilarTypes.contains("DLH"));

    // A request with no scan step after it: the run thread's own safe point.
    gf_requestLiveryIndexClear();
    EXPECT_TRUE(gf_clearLiveryIndexIfRequested());
    EXPECT_FALSE(gf_clearLiveryIndexIfRequested()) << "one request, one clear";
    EXPECT_FALSE(liveryIndexBuilt);
    EXPECT_TRUE(liveryTree.texts.empty());
    EXPECT_TRUE(liveryIndex[clv::kPaxHalf].empty());
    EXPECT_TRUE(typeLiveryMaps[clv::kPaxHalf].empty());
    EXPECT_TRUE(regcodeMap.empty());
    EXPECT_TRUE(specialTitles.empty());
    EXPECT_EQ(gf_findInstalledTitle("British A320"), "");
}

TEST(LiveryIndexTest, BuildThatFailedHalfWayIsNotDoubledByTheNextOne) {
    LiveryWorld world;
    // The report folder is a file: the registration pass fails after the tree was built.
    fs::remove_all(world.root() / "output" / "info");
    world.writeLiveries(clv::test::kFixtureLiveries);
    world.writeRegcodes(clv::test::kFixtureRegcodes);
    std::ofstream(world.root() / "output" / "info") << "not a folder";
    EXPECT_THROW(lf_processScannedLiveries(), fs::filesystem_error);
    EXPECT_FALSE(liveryIndexBuilt);
    EXPECT_TRUE(liveryList.empty());

    fs::remove(world.root() / "output" / "info");
    fs::create_directories(world.root() / "output" / "info");
    lf_processScannedLiveries();
    EXPECT_TRUE(liveryIndexBuilt);
    EXPECT_EQ(specialTitles.size(), 3u);
    EXPECT_EQ(liveryTree.texts.size(), 14u);
    EXPECT_EQ(indexTitlesOf(liveryIndex[clv::kPaxHalf].at("DLH").at("A320")),
              (std::vector<std::string>{"Lufthansa A320 Hansa Retro", "Lufthansa A320 Standard"}));
}

TEST(LiveryIndexTest, MissingScannedLiveriesFileIsAUserError) {
    LiveryWorld world;
    try {
        lf_processScannedLiveries();
        FAIL() << "no exception";
    } catch (const clv::UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()).rfind("51: ", 0), 0u) << e.what();
    }
    EXPECT_FALSE(liveryIndexBuilt);
}

TEST(LiveryIndexTest, TypeListLinesHoldTwentyTypesEach) {
    auto types = [](int count) {
        std::vector<std::string> list;
        for (int i = 0; i < count; ++i) list.push_back(fmt::format("T{:03}", i));
        return list;
    };
    const std::string twenty =
        "  T000,T001,T002,T003,T004,T005,T006,T007,T008,T009,T010,T011,T012,T013,T014,T015,T016,T017,T018,T019";
    EXPECT_EQ(gf_typeListLines(types(1)), (std::vector<std::string>{"  T000"}));
    EXPECT_EQ(gf_typeListLines(types(21)), (std::vector<std::string>{twenty, "  T020"}));
    // Exactly twenty: one line, and no line of a lone blank after it.
    EXPECT_EQ(gf_typeListLines(types(20)), (std::vector<std::string>{twenty}));
    EXPECT_TRUE(gf_typeListLines({}).empty());
}

TEST(LiveryIndexTest, TwentyOneGenericTypesAreLoggedInTwoLines) {
    LiveryWorld world;
    std::string xml = "<liveries>\n";
    std::vector<std::string> types;
    for (int i = 0; i < 21; ++i) {
        const std::string type = fmt::format("G{:03}", i);
        types.push_back(type);
        xml += fmt::format(R"(<liv airl="ZZZ" type="{}" title="Generic {}"/>)", type, type) + "\n";
    }
    world.writeLiveries(xml + "</liveries>\n");
    lf_processScannedLiveries();
    const auto lines = gf_typeListLines(types);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(inOrder(world.logLines(), {"21 models have a generic livery", lines[0], lines[1]}));
    EXPECT_EQ(lines[1], "  G020");
}

}  // namespace
