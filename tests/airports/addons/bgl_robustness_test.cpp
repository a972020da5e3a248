// Spoilt airport files: every cut and thousands of random byte changes of one
// builder-made file must end in a clear outcome, never in a crash or an endless walk.
#include <gtest/gtest.h>

#include <random>

#include "airports/addons/bgl_decode.h"
#include "bgl_test_support.h"

using namespace clv;
using namespace clv::test;
using clv::bgltool::BglDescription;
using clv::bgltool::HelipadDescription;
using clv::bgltool::ParkingListDescription;
using clv::bgltool::RawRecordDescription;
using clv::bgltool::SectionDescription;

namespace {

BglDescription richFile() {
    BglDescription blueprint;
    blueprint.sections.push_back(SectionDescription{101, 0, {RawRecordDescription{7, 40}}});
    auto withAirline = parking(12, 4, 35.0f, 5, 270.0f);
    withAirline.airlines = {"BAW", "VIR"};
    SectionDescription airports;
    airports.records.emplace_back(airportWith(
        "EGLL", {bgltool::NameDescription{"London Heathrow"}, HelipadDescription{51.47, -0.45, 20.0f}, RawRecordDescription{999, 24},
                 ParkingListDescription{{parking(10, 1), withAirline, parking(10, 1, 30.0f), parking(0, 9, 12.0f, 14)}}}));
    airports.records.emplace_back(RawRecordDescription{44, 16});
    airports.records.emplace_back(
        airportWith("LSZH", {HelipadDescription{47.45, 8.56, 24.0f}, ParkingListDescription{{parking(10, 2), parking(11, 5)}}}));
    blueprint.sections.push_back(std::move(airports));
    blueprint.sections.push_back(SectionDescription{102, 0, {RawRecordDescription{8, 32}}});
    return blueprint;
}

std::vector<std::string> summary(const BglDecoded& d) {
    std::vector<std::string> lines;
    for (const auto& a : d.airports) {
        lines.push_back(a.code);
        for (const auto& name : standNames(a)) lines.push_back(name);
    }
    return lines;
}

}  // namespace

TEST(BglRobustnessTest, EveryCutEndsInARejectionAReportOrTheWholeResult) {
    const std::string full = bgltool::gf_buildBgl(richFile());
    TempFolder folder;
    const BglDecoded whole = decodeFile(folder.write("full.bgl", full));
    ASSERT_EQ(summary(whole).size(), 10u);  // two codes, eight stands
    ASSERT_TRUE(whole.reports.empty());
    for (std::size_t length = 0; length < full.size(); ++length) {
        const auto path = folder.write("cut.bgl", full.substr(0, length));
        if (!lf_probeBgl(path)) continue;  // the scan never starts a worker for it
        const BglDecoded cut = decodeFile(path);
        EXPECT_TRUE(!cut.reports.empty() || summary(cut) == summary(whole)) << "cut at " << length;
    }
}

TEST(BglRobustnessTest, RandomByteChangesNeverCrashOrHang) {
    const std::string full = bgltool::gf_buildBgl(richFile());
    TempFolder folder;
    std::mt19937 random(21);
    std::uniform_int_distribution<std::size_t> where(0, full.size() - 1);
    std::uniform_int_distribution<int> count(1, 4);
    std::uniform_int_distribution<int> value(0, 255);
    std::size_t decodedAirports = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string spoilt = full;
        for (int n = count(random); n > 0; --n) spoilt[where(random)] = static_cast<char>(value(random));
        const auto path = folder.write("spoilt.bgl", spoilt);
        const bool probe = lf_probeBgl(path);
        const BglDecoded d = decodeFile(path, round % 2 == 0);
        for (const auto& a : d.airports) {
            // No stand can come from bytes the file does not have.
            EXPECT_LE(a.stands.size(), full.size() / 36) << "round " << round;
        }
        if (probe) decodedAirports += d.airports.size();
    }
    EXPECT_GT(decodedAirports, 0u);  // most changes leave airports to decode
}
