#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "livery_index_fixture.h"
#include "liveries/ac_data.h"
#include "liveries/livery_match.h"
#include "liveries/match_summary.h"

namespace {

using clv::test::LiveryWorld;

const std::string kOpeningBanner =
    std::string(31, '*') + " live traffic livery matching summary " + std::string(31, '*');
const std::string kClosingBanner(100, '*');
const std::string kTooMany = "there are too many liveries that could not be created by MSFS!";

// Refusals since the program started are the process's own; each test starts
// from none and leaves the lists as it found them.
class MatchSummaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedExcluded_.swap(excludedTitles);
        savedKeys_.swap(failedLiveryKeys);
        savedNoMatch_.swap(noMatchList);
    }
    void TearDown() override {
        savedExcluded_.swap(excludedTitles);
        savedKeys_.swap(failedLiveryKeys);
        savedNoMatch_.swap(noMatchList);
    }

    static clv::AcData refused(const std::string& callsign, const std::string& airline, const std::string& type,
                               std::string_view title) {
        clv::AcData ac;
        ac.callsign = callsign;
        ac.airline = airline;
        ac.type = type;
        ac.liveryTitle = title;
        return ac;
    }

    // The lines the last summary logged, from its opening banner on.
    std::vector<std::string> summaryLines() const {
        const auto lines = world_.logLines();
        auto start = std::find(lines.rbegin(), lines.rend(), kOpeningBanner);
        if (start == lines.rend()) return {};
        return {start.base() - 1, lines.end()};
    }

    LiveryWorld world_;

private:
    std::vector<std::string> savedExcluded_;
    std::deque<std::string> savedKeys_;
    std::set<std::string> savedNoMatch_;
};

std::vector<std::string> stepLines() {
    std::vector<std::string> lines;
    for (std::size_t step = 1; step <= 6; ++step)
        lines.push_back("  " + std::to_string(step) + ": " + std::to_string(livMatchCounters[step - 1]));
    return lines;
}

TEST_F(MatchSummaryTest, TwentiethRefusalStopsTheRun) {
    const std::vector<std::string> titles{"Title A", "Title B", "Title C"};
    for (int i = 0; i < 19; ++i) {
        const std::string callsign = "CALL" + std::to_string(i);
        EXPECT_NO_THROW(gf_liveryNotCreated(refused(callsign, "DLH", "A320", titles[i % 3])));
    }
    EXPECT_EQ(excludedTitles.size(), 19u);
    EXPECT_EQ(gf_nullUiPort().statusLines().size(), 19u);
    EXPECT_EQ(gf_nullUiPort().statusLines().front(), "CALL0 \"Title A\" could not be created by your Sim!");
    EXPECT_TRUE(world_.logged("CALL18 \"Title A\" could not be created by your Sim!"));
    EXPECT_FALSE(world_.logged("===> Error 81, " + kTooMany));
    EXPECT_TRUE(gf_isExcludedTitle("Title B"));
    EXPECT_FALSE(gf_isExcludedTitle("Title"));

    try {
        gf_liveryNotCreated(refused("CALL19", "KLM", "B738", "Title D"));
        FAIL() << "the twentieth refusal must throw";
    } catch (const clv::UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()), "81: " + kTooMany + ", see Log.txt");
    }
    EXPECT_EQ(excludedTitles.size(), 20u);
    EXPECT_EQ(excludedTitles.back(), "Title D");
    EXPECT_TRUE(world_.logged("===> Error 81, " + kTooMany));
    // Every later refusal stops the run again.
    EXPECT_THROW(gf_liveryNotCreated(refused("CALL20", "KLM", "B738", "Title E")), clv::UserErrorException);
}

TEST_F(MatchSummaryTest, RefusalWhileStoppingChangesNothing) {
    userClosedWindow = true;
    gf_liveryNotCreated(refused("CALL1", "DLH", "A320", "Title A"));
    userClosedWindow = false;
    stopRequested = true;
    gf_liveryNotCreated(refused("CALL2", "DLH", "A320", "Title A"));
    stopRequested = false;
    EXPECT_TRUE(excludedTitles.empty());
    EXPECT_TRUE(failedLiveryKeys.empty());
    EXPECT_TRUE(gf_nullUiPort().statusLines().empty());
}

TEST_F(MatchSummaryTest, SummaryWithoutRefusals) {
    LOG.value = false;  // the summary does not depend on it
    gf_livMatchingSummary();
    std::vector<std::string> expected{kOpeningBanner, "Matches at step: "};
    for (const auto& line : stepLines()) expected.push_back(line);
    expected.push_back(kClosingBanner);
    expected.push_back("");
    EXPECT_EQ(summaryLines(), expected);
    const auto lines = world_.logLines();
    const auto banner = std::find(lines.begin(), lines.end(), kOpeningBanner);
    ASSERT_NE(banner, lines.begin());
    EXPECT_EQ(*(banner - 1), "") << "a line break before the banner";
}

TEST_F(MatchSummaryTest, SummaryListsEachRefusedTypeAndAirlineOnce) {
    gf_liveryNotCreated(refused("CALL1", "DLH", "A320", "Title A"));
    gf_liveryNotCreated(refused("CALL2", "KLM", "B738", "Title B"));
    gf_liveryNotCreated(refused("CALL3", "DLH", "A320", "Title A"));
    EXPECT_EQ(excludedTitles, (std::vector<std::string>{"Title A", "Title B", "Title A"}));
    EXPECT_EQ(failedLiveryKeys.front(), "A320 DLH") << "newest first";

    gf_livMatchingSummary();
    std::vector<std::string> expected{kOpeningBanner, "Matches at step: "};
    for (const auto& line : stepLines()) expected.push_back(line);
    for (const char* line : {"", "Could not be created by MSFS:", "  A320 DLH", "  B738 KLM"}) expected.push_back(line);
    expected.push_back(kClosingBanner);
    expected.push_back("");
    EXPECT_EQ(summaryLines(), expected);
}

TEST_F(MatchSummaryTest, UnmatchedAircraftAreLoggedOnlyWithLogOn) {
    noMatchList = {"TST2     D-EFGH  PVT C172", "ABC1     N123    UAL B738"};
    LOG.value = false;
    gf_logNoMatchList();
    EXPECT_FALSE(world_.logged("No match found for: "));

    LOG.value = true;
    gf_logNoMatchList();
    const auto lines = world_.logLines();
    const auto start = std::find(lines.begin(), lines.end(), "No match found for: ");
    ASSERT_NE(start, lines.end());
    EXPECT_EQ(std::vector<std::string>(start - 1, lines.end()),
              (std::vector<std::string>{"", "No match found for: ", "ABC1     N123    UAL B738",
                                        "TST2     D-EFGH  PVT C172", ""}));
    EXPECT_EQ(noMatchList.size(), 2u) << "logging keeps the list";
    gf_clearNoMatchList();
    EXPECT_TRUE(noMatchList.empty());
}

}  // namespace
