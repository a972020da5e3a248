// Spoilt airport files: every cut and thousands of random byte changes of one
// builder-made file must end in a clear outcome, never in a crash or an endless walk.
#include <gtest/gtest.h>

#include <random>

#include "airports/bgl_decode.h"
#include "bgl_test_support.h"

using namespace clv;
using namespace clv::test;
using clv::bgltool::BglSpec;
using clv::bgltool::HelipadSpec;
using clv::bgltool::ParkingListSpec;
using clv::bgltool::RawRecordSpec;
using clv::bgltool::SectionSpec;

namespace {

BglSpec richFile() {
    BglSpec spec;
    spec.sections.push_back(SectionSpec{101, 0, {RawRecordSpec{7, 40}}});
    auto withAirline = parking(12, 4, 35.0f, 5, 270.0f);
    withAirline.airlines = {"BAW", "VIR"};
    SectionSpec airports;
    airports.records.emplace_back(airportWith(
        "EGLL", {bgltool::NameSpec{"London Heathrow"}, HelipadSpec{51.47, -0.45, 20.0f}, RawRecordSpec{999, 24},
                 ParkingListSpec{{parking(10, 1), withAirline, parking(10, 1, 30.0f), parking(0, 9, 12.0f, 14)}}}));
    airports.records.emplace_back(RawRecordSpec{44, 16});
    airports.records.emplace_back(
        airportWith("LSZH", {HelipadSpec{47.45, 8.56, 24.0f}, ParkingListSpec{{parking(10, 2), parking(11, 5)}}}));
    spec.sections.push_back(std::move(airports));
    spec.sections.push_back(SectionSpec{102, 0, {RawRecordSpec{8, 32}}});
    return spec;
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
