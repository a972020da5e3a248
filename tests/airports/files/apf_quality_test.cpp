// Quality factors of a stand list and their text.
#include "airports/files/apf_quality.h"

#include <gtest/gtest.h>

#include <vector>

#include "airports/airports_fixture.h"

using clv::QualityFactors;
using clv::Stand;
using clv::StandOption;
using clv::test::option;

namespace {

Stand standWith(std::vector<StandOption> options) {
    Stand s("S", std::move(options), 47.0, 8.0, 0.0, 30.0, {});
    return s;
}

}  // namespace

TEST(QualityFactorTest, VectorsOfOneAndTwoStands) {
    // One real option on weekday 3, half-hours 10 and 11: 10000 + 20 + 100 + 4 = 10124.
    std::vector<Stand> stands = {standWith({option(1, 3, {10, 11})})};
    EXPECT_EQ(gf_qualityFactor(stands), (QualityFactors{63, 0}));  // 63.275
    stands.push_back(standWith({}));
    EXPECT_EQ(gf_qualityFactor(stands), (QualityFactors{32, 0}));  // 31.6375
    // The same option as soft counts for the soft factor only.
    stands[0].options[0].real = 0;
    EXPECT_EQ(gf_qualityFactor(stands), (QualityFactors{0, 32}));
}

TEST(QualityFactorTest, EveryCapReachedGives99) {
    // 250 real options over all seven weekdays, 48 half-hours each:
    // 10000 + min(5000, 4000) + 700 + 2 x min(12000, 600) = 15900; x 0.00625 = 99.375.
    std::vector<StandOption> options;
    std::vector<std::uint32_t> all;
    for (std::uint32_t h = 0; h < 48; ++h) all.push_back(h);
    for (std::uint32_t k = 0; k < 250; ++k) options.push_back(option(k + 1, 1 + k % 7, all));
    std::vector<Stand> stands = {standWith(options)};
    EXPECT_EQ(gf_qualityFactor(stands).real, 99);
    // Weekdays outside 1..7 do not count as days: 15200 x 0.00625 = 95.
    for (StandOption& o : stands[0].options) o.weekday = 9;
    EXPECT_EQ(gf_qualityFactor(stands).real, 95);
}

TEST(QualityFactorTest, EmptyEntriesAndNoOptions) {
    EXPECT_EQ(gf_qualityFactor(std::vector<Stand>{}), (QualityFactors{-1, -1}));
    EXPECT_EQ(gf_qualityFactor(std::vector<Stand>{standWith({}), standWith({})}), (QualityFactors{-1, -1}));
    // Only id-0 options: there are option entries, but none counts.
    EXPECT_EQ(gf_qualityFactor(std::vector<Stand>{standWith({option(0, 3, {10}), option(0, 1, {1}, 0)})}),
              (QualityFactors{0, 0}));
    // A factor below 1 after rounding is 0: one option among 130 stands gives 0.48.
    std::vector<Stand> many(130, standWith({}));
    many[0].options.push_back(option(1, 3, {10}));
    EXPECT_EQ(gf_qualityFactor(many).real, 0);
}

TEST(QualityFactorTest, TheStandListByDefault) {
    standList = {standWith({option(1, 3, {10, 11})})};
    EXPECT_EQ(gf_qualityFactor(), (QualityFactors{63, 0}));
    standList.clear();
}

TEST(QualityTextTest, RealBelow45ShowsBoth) {
    EXPECT_EQ(gf_qualityText({-1, -1}), "  ");
    EXPECT_EQ(gf_qualityText({44, 7}), "44/ 7");
    EXPECT_EQ(gf_qualityText({3, 12}), " 3/12");
    EXPECT_EQ(gf_qualityText({45, 7}), "45");
    EXPECT_EQ(gf_qualityText({100, -1}), "100");
    EXPECT_EQ(gf_qualityText({-1, 12}), "-1/12");
}

TEST(QualityFactorsTest, PassedAsOneWord) {
    const QualityFactors q{-1, 12};
    EXPECT_EQ(q.toBits(), 0x0000000CFFFFFFFFull);
    EXPECT_EQ(QualityFactors::fromBits(q.toBits()), q);
}
