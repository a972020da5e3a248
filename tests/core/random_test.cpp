#include "core/random.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "core/parameters.h"

namespace {
class RandomTest : public ::testing::Test {
protected:
    void TearDown() override { RANDOM.value = true; }
};
}  // namespace

TEST_F(RandomTest, IndexDrawsOnlyWhenRandomAndAChoiceExists) {
    gf_seedRandom(42);
    std::mt19937 reference(42);
    EXPECT_EQ(gf_randomIndex(0), 0);
    EXPECT_EQ(gf_randomIndex(1), 0);
    RANDOM.value = false;
    EXPECT_EQ(gf_randomIndex(10), 0);
    RANDOM.value = true;
    // None of the calls above drew: the next draw is the engine's first.
    EXPECT_EQ(gf_randomIndex(7), static_cast<std::int32_t>(reference() % 7));
}

TEST_F(RandomTest, ShuffleOnlyWhenRandom) {
    std::vector<std::string> items{"a", "b", "c", "d", "e", "f", "g", "h"};
    RANDOM.value = false;
    auto copy = items;
    gf_shuffle(copy);
    EXPECT_EQ(copy, items);
    RANDOM.value = true;
    gf_seedRandom(1);
    gf_shuffle(copy);
    EXPECT_EQ(std::multiset<std::string>(copy.begin(), copy.end()),
              std::multiset<std::string>(items.begin(), items.end()));
}

TEST_F(RandomTest, PercentAlwaysDrawsAndIsNotSwitchedByRandom) {
    RANDOM.value = false;
    std::set<double> seen;
    gf_seedRandom(7);
    for (int i = 0; i < 64; ++i) seen.insert(gf_randomPercent(200.0, 10.0));
    EXPECT_EQ(seen, (std::set<double>{180.0, 220.0}));

    gf_seedRandom(9);
    std::mt19937 reference(9);
    EXPECT_EQ(gf_randomPercent(200.0, 0.0), 200.0);
    EXPECT_EQ(gf_randomPercent(200.0, -5.0), 200.0);
    reference();
    reference();  // both calls above consumed one draw each
    double expected = (reference() & 1u) == 0 ? 205.0 : 195.0;
    EXPECT_EQ(gf_randomPercent(200.0, 2.5), expected);
}

TEST_F(RandomTest, EachThreadHasItsOwnEngine) {
    gf_seedRandom(5);
    std::uint32_t here = gf_threadRandom()();
    std::uint32_t there = 0;
    std::thread([&] {
        gf_seedRandom(5);
        there = gf_threadRandom()();
    }).join();
    EXPECT_EQ(here, there) << "same seed, separate engines";
}
