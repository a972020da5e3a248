// The adjacency of stands against the plain rule over every ordered pair.
#include "airports/files/stand_adjacency.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/geodesy.h"

using clv::Stand;

namespace {

// The rule as stated: for every ordered pair in list order, b's id joins a's list
// when a.radius + b.radius > 1.1 x their distance.
std::vector<std::vector<std::uint32_t>> plainAdjacency(const std::vector<Stand>& stands) {
    std::vector<std::vector<std::uint32_t>> lists(stands.size());
    for (std::size_t a = 0; a < stands.size(); ++a) {
        for (std::size_t b = 0; b < stands.size(); ++b) {
            if (a == b) continue;
            const double d = gf_distanceNm(stands[a].latitude, stands[a].longitude, stands[b].latitude, stands[b].longitude);
            if (stands[a].radius + stands[b].radius > 1.1 * d) lists[a].push_back(stands[b].id);
        }
    }
    return lists;
}

void number(std::vector<Stand>& stands) {
    for (std::size_t k = 0; k < stands.size(); ++k) stands[k].id = static_cast<std::uint32_t>(k + 1);
}

void expectPlainRule(std::vector<Stand> stands) {
    number(stands);
    const auto expected = plainAdjacency(stands);
    gf_computeAdjacency(stands);
    for (std::size_t k = 0; k < stands.size(); ++k) EXPECT_EQ(stands[k].adjacent, expected[k]) << "stand " << k + 1;
}

}  // namespace

TEST(StandAdjacencyTest, DenseAirportGivesThePlainRulesLists) {
    // 600 stands on a few hundred metres, radii 8 to 45 m: many neighbours each.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> lat(47.45, 47.455);
    std::uniform_real_distribution<double> lon(8.55, 8.56);
    std::uniform_real_distribution<double> radius(8.0, 45.0);
    std::vector<Stand> stands;
    for (int k = 0; k < 600; ++k) stands.emplace_back("S", std::vector<clv::StandOption>{}, lat(random), lon(random), 0.0, radius(random), clv::StandKinds{});
    expectPlainRule(stands);
}

TEST(StandAdjacencyTest, PairsRightAtTheCutOffAndOddPositions) {
    std::vector<Stand> stands;
    auto add = [&](double lat, double lon, double radiusNm) {
        stands.emplace_back("S", std::vector<clv::StandOption>{}, lat, lon, 0.0, 0.0, clv::StandKinds{});
        stands.back().radius = radiusNm;
    };
    // Radius sums within a hair of 1.1 x the distance, north-south and east-west.
    const double gap = 0.02 / 60.0;
    add(47.0, 8.0, 0.011);
    add(47.0 + gap, 8.0, 0.011);
    add(47.0 + 2 * gap, 8.0, 0.011 + 1e-15);
    add(47.0, 8.0 + gap, 0.011);
    add(47.0, 8.0, 0.0);  // on top of the first, radius 0
    add(-89.9999, 0.0, 0.5);  // near the pole, far-reaching
    add(-89.9999, 180.0, 0.5);
    add(std::numeric_limits<double>::quiet_NaN(), 8.0, 0.1);
    add(47.0, std::numeric_limits<double>::infinity(), 0.1);
    add(95.0, 8.0, 0.1);  // latitude beyond the pole: compared with every stand
    add(47.0, 8.0, std::numeric_limits<double>::infinity());
    add(47.0, 8.0, -0.5);
    expectPlainRule(stands);
}

TEST(StandAdjacencyTest, KeepsWhatTheListsHeldAndTrimsThem) {
    std::vector<Stand> stands;
    stands.emplace_back("A", std::vector<clv::StandOption>{}, 47.0, 8.0, 0.0, 30.0, clv::StandKinds{});
    stands.emplace_back("B", std::vector<clv::StandOption>{}, 47.0001, 8.0, 0.0, 30.0, clv::StandKinds{});
    stands.emplace_back("C", std::vector<clv::StandOption>{}, 48.0, 8.0, 0.0, 30.0, clv::StandKinds{});
    number(stands);
    gf_computeAdjacency(stands);
    EXPECT_EQ(stands[0].adjacent, std::vector<std::uint32_t>{2});
    EXPECT_EQ(stands[1].adjacent, std::vector<std::uint32_t>{1});
    EXPECT_TRUE(stands[2].adjacent.empty());
    EXPECT_EQ(stands[2].adjacent.capacity(), 0u);
}
