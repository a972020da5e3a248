#include "liveries/similar_types.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/parameters.h"
#include "core/random.h"
#include "dbase_fixture.h"

namespace {

using Types = std::vector<std::string>;

// Installed liveries: airline -> types.
clv::InstalledLiveries installedOf(const std::map<std::string, std::set<std::string>>& liveries) {
    clv::InstalledLiveries installed;
    installed.airlineHasType = [liveries](std::string_view airline, std::string_view type) {
        const auto it = liveries.find(std::string(airline));
        return it != liveries.end() && it->second.contains(std::string(type));
    };
    installed.typeHasLivery = [liveries](std::string_view type) {
        for (const auto& [airline, types] : liveries)
            if (types.contains(std::string(type))) return true;
        return false;
    };
    for (const auto& [airline, types] : liveries) installed.airlines.push_back(airline);
    return installed;
}

class SimilarTypesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dbase = {};
        gf_readDbaseFile(clv::test::dbaseFixture(), dbase);
        similarModels.clear();
        airlineSimilarTypes.clear();
        categoryTypes = {};
        RANDOM.value = false;
    }
    void TearDown() override {
        dbase = {};
        similarModels.clear();
        airlineSimilarTypes.clear();
        categoryTypes = {};
        RANDOM.value = RANDOM.def;
    }
    clv::test::LogCapture log;
};

// Groups of the fixture: A20N,A319,A320 / B38M,B737,B738 / B744,B748 / C172,DA40,PA28.
const std::map<std::string, std::set<std::string>> kInstalled{
    {"DLH", {"A319", "A20N"}}, {"BAW", {"A320"}}, {"ZZZ", {"B737"}}};

TEST_F(SimilarTypesTest, SimilarModelsListTheInstalledMembersOfEachGroup) {
    gf_buildSimilarModels(installedOf(kInstalled));

    EXPECT_EQ(similarModels.size(), 5u);
    EXPECT_EQ(similarModels.at("A20N"), (Types{"A319", "A320"}));
    EXPECT_EQ(similarModels.at("A319"), (Types{"A20N", "A320"}));
    EXPECT_EQ(similarModels.at("A320"), (Types{"A20N", "A319"}));
    EXPECT_EQ(similarModels.at("B38M"), (Types{"B737"}));
    EXPECT_EQ(similarModels.at("B738"), (Types{"B737"}));
    EXPECT_FALSE(similarModels.contains("B737"));  // no other member installed
    EXPECT_FALSE(similarModels.contains("B744"));
    EXPECT_TRUE(log.contains("5 similar model definitions"));

    // Per airline, only types it has no livery of, and only similar types it has.
    EXPECT_EQ(airlineSimilarTypes.size(), 3u);
    EXPECT_EQ(airlineSimilarTypes.at("DLH").size(), 1u);
    EXPECT_EQ(airlineSimilarTypes.at("DLH").at("A320"), (Types{"A20N", "A319"}));
    EXPECT_EQ(airlineSimilarTypes.at("BAW").at("A20N"), (Types{"A320"}));
    EXPECT_EQ(airlineSimilarTypes.at("BAW").at("A319"), (Types{"A320"}));
    EXPECT_EQ(airlineSimilarTypes.at("ZZZ").at("B738"), (Types{"B737"}));

    EXPECT_EQ(gf_similarModels("DLH", "A320"), (Types{"A20N", "A319"}));
    EXPECT_TRUE(gf_similarModels("DLH", "A319").empty());
    EXPECT_TRUE(gf_similarModels("XXX", "A320").empty());
}

TEST_F(SimilarTypesTest, ALaterBuildOnlyAddsNewKeys) {
    gf_buildSimilarModels(installedOf(kInstalled));
    gf_buildSimilarModels(installedOf({{"DLH", {"A319", "A320", "B744", "B748"}}, {"CLX", {"B744"}}}));

    EXPECT_EQ(similarModels.at("A20N"), (Types{"A319", "A320"}));
    EXPECT_EQ(similarModels.at("B744"), (Types{"B748"}));
    EXPECT_EQ(similarModels.at("B748"), (Types{"B744"}));
    EXPECT_EQ(airlineSimilarTypes.at("DLH").size(), 1u);  // kept from the first build
    EXPECT_EQ(airlineSimilarTypes.at("CLX").at("B748"), (Types{"B744"}));
}

TEST_F(SimilarTypesTest, AlternativeTypesByGroupOrCategory) {
    gf_buildSimilarModels(installedOf(kInstalled));
    categoryTypes[clv::kCategoryTypesLight] = {"C172"};
    categoryTypes[clv::kCategoryTypesBuzjets] = {"CL60", "C56X"};

    EXPECT_EQ(gf_similarTypes("A320"), (Types{"A20N", "A319"}));
    EXPECT_EQ(gf_similarTypes("C208"), (Types{"C172"}));   // Light, no group
    EXPECT_EQ(gf_similarTypes("GLF5"), (Types{"CL60"}));   // Buzjets: the first while RANDOM is off
    EXPECT_TRUE(gf_similarTypes("B407").empty());          // Rotorcraft, none installed
    EXPECT_TRUE(gf_similarTypes("B77W").empty());          // Heavy without a group
    EXPECT_TRUE(gf_similarTypes("E190").empty());          // Large without a group
}

TEST_F(SimilarTypesTest, RandomDrawsStayWithinTheInstalledTypes) {
    gf_buildSimilarModels(installedOf(kInstalled));
    categoryTypes[clv::kCategoryTypesBuzjets] = {"CL60", "C56X", "GLF5"};
    RANDOM.value = true;
    gf_seedRandom(20261209);
    std::set<std::string> drawn;
    for (int i = 0; i < 200; ++i) {
        const auto& types = gf_similarTypes("E55P");  // unknown, so Light: none installed
        EXPECT_TRUE(types.empty());
        const auto& buzjet = gf_similarTypes("C56X");
        ASSERT_EQ(buzjet.size(), 1u);
        drawn.insert(buzjet.front());
        const auto& group = gf_similarTypes("A20N");
        EXPECT_EQ(std::set<std::string>(group.begin(), group.end()), (std::set<std::string>{"A319", "A320"}));
    }
    EXPECT_EQ(drawn, (std::set<std::string>{"CL60", "C56X", "GLF5"}));
}

}  // namespace
