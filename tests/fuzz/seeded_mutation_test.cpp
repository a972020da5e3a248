// Every fuzz target, fed its seeds and a fixed series of their mutants: the same
// inputs on every run, so a finding is reproduced by running the test again. The
// sanitizers of the test build turn any memory or undefined-behaviour fault into
// a failure; a crash or a hang fails the test program.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>

#include "fuzz/fuzz_target.h"

namespace {

namespace fs = std::filesystem;

// Mutants per seed: enough to reach the error paths of every parser, few enough
// that the whole pass takes a few seconds under the sanitizers.
constexpr int kMutantsPerSeed = 150;

std::vector<std::string> lf_seeds(const std::string& target) {
    std::vector<std::string> seeds;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(CLV_FUZZ_SEEDS_DIR) / target)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return seeds;
}

// Bytes that parsers of text, XML, JSON and binary records trip over.
constexpr std::array<char, 16> kTrickyBytes{'\0', '\xff', '\x80', ',', ';', '"', '<', '>', '/', '=',
                                            '\n', '\r', '-', '9', '.', '\x7f'};

std::string lf_mutate(const std::string& seed, const std::string& other, std::mt19937& rng) {
    std::string s = seed;
    const int steps = std::uniform_int_distribution<int>(1, 4)(rng);
    for (int i = 0; i < steps; ++i) {
        auto pos = [&](std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size)(rng); };
        switch (std::uniform_int_distribution<int>(0, 6)(rng)) {
            case 0:  // flip a bit
                if (!s.empty()) s[pos(s.size() - 1)] ^= static_cast<char>(1 << (rng() % 8));
                break;
            case 1:  // a tricky byte in place of one
                if (!s.empty()) s[pos(s.size() - 1)] = kTrickyBytes[rng() % kTrickyBytes.size()];
                break;
            case 2:  // insert random bytes
                s.insert(pos(s.size()), std::string(1 + rng() % 8, static_cast<char>(rng())));
                break;
            case 3: {  // delete a range
                const std::size_t at = pos(s.size());
                s.erase(at, 1 + rng() % 16);
                break;
            }
            case 4: {  // repeat a range
                const std::size_t at = pos(s.size());
                const std::string part = s.substr(at, 1 + rng() % 32);
                s.insert(pos(s.size()), part);
                break;
            }
            case 5:  // cut off
                s.resize(pos(s.size()));
                break;
            case 6: {  // the head of one seed, the tail of another
                const std::size_t cut = pos(other.size());
                s = s.substr(0, pos(s.size())) + other.substr(cut);
                break;
            }
        }
    }
    return s;
}

std::vector<std::string> lf_targetNames() {
    std::vector<std::string> names;
    for (const auto& t : clv::fuzz::targets()) names.push_back(t.name);
    return names;
}

class SeededMutation : public ::testing::TestWithParam<std::string> {};

TEST_P(SeededMutation, SeedsAndTheirMutantsEndCleanly) {
    const clv::fuzz::Target* target = clv::fuzz::findTarget(GetParam());
    ASSERT_NE(target, nullptr);
    const std::vector<std::string> seeds = lf_seeds(GetParam());
    ASSERT_FALSE(seeds.empty()) << "no seeds for " << GetParam();
    std::mt19937 rng(20261210);  // fixed: the same mutants every run
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        target->run(seeds[i]);
        target->run({});
        const std::string& other = seeds[(i + 1) % seeds.size()];
        for (int m = 0; m < kMutantsPerSeed; ++m) {
            const std::string mutant = lf_mutate(seeds[i], other, rng);
            SCOPED_TRACE(::testing::Message() << "seed " << i << ", mutant " << m);
            target->run(mutant);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, SeededMutation, ::testing::ValuesIn(lf_targetNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Each target has its seed folder and each seed folder its target: the libFuzzer
// programs are made from the folder names.
TEST(FuzzTargets, EveryTargetHasSeedsAndEverySeedFolderATarget) {
    std::set<std::string> folders;
    for (const auto& entry : fs::directory_iterator(CLV_FUZZ_SEEDS_DIR))
        if (entry.is_directory()) folders.insert(entry.path().filename().string());
    const std::vector<std::string> names = lf_targetNames();
    EXPECT_EQ(folders, std::set<std::string>(names.begin(), names.end()));
}

}  // namespace
