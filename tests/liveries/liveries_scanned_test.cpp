// LiveriesScanned.xml: written after a scan, read back for the livery index.
#include "liveries/liveries_scanned.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/folders.h"
#include "core/meta.h"
#include "core/parameters.h"
#include "core/user_error.h"
#include "scan_fixture.h"

using clv::LiveryData;
using clv::test::ScanEnvironment;

namespace {

std::string userErrorText(const std::function<void()>& call) {
    try {
        call();
    } catch (const clv::UserErrorException& e) {
        return e.what();
    }
    return "no user error";
}

void writeFile(const std::string& text) { gf_writeTextFile(text, g_liveriesScannedFile, false); }

}  // namespace

TEST(LiveriesScannedFile, RoundTripOfAwkwardTitles) {
    ScanEnvironment environment;
    const std::vector<LiveryData> written{
        {"BAW", "A320", "British \"Speedbird\" & <Friends>", "G-EUPT", 3, false},
        {"DLH", "A320", "Lufthansa 'Fanhansa' > all", "", 1, false},
        {"GEC", "B748", "Cargo & more", "", 2, true},
        {"ZZZ", "A320", "Caf\xC3\xA9 \xE2\x9C\x88 generic", "", 1, false},
        {"", "C172", "No airline", "", 1, false},
    };
    liveryList = written;
    lf_writeLiveriesScanned();
    EXPECT_TRUE(environment.logged("5 liveries in " + g_liveriesScannedFile.string()));

    const std::string xml = clv::test::readFile(g_liveriesScannedFile);
    EXPECT_NE(xml.find("<liv airl=\"GEC\" type=\"B748\" cargo=\"true\" title=\"Cargo &amp; more\" />"), std::string::npos)
        << xml;
    EXPECT_NE(xml.find("title=\"British &quot;Speedbird&quot; &amp; &lt;Friends>\" atcid=\"G-EUPT\""), std::string::npos)
        << xml;

    liveryList.clear();
    lf_readLiveriesScanned();
    ASSERT_EQ(liveryList.size(), written.size());
    // Sorted by airline, type and title; the priority is not stored.
    const std::vector<std::size_t> order{4, 0, 1, 2, 3};
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_TRUE(lf_sameLivery(liveryList[i], written[order[i]])) << liveryList[i].title;
        EXPECT_EQ(liveryList[i].priority, 0);
    }
    EXPECT_TRUE(environment.logged("5 liveries read from " + g_liveriesScannedFile.string()));
}

TEST(LiveriesScannedFile, MetaHeaderNamesTheSimulatorAndTheDate) {
    ScanEnvironment environment;
    for (const auto& [word, msfs] : std::vector<std::pair<std::string, std::string>>{{"MSFS", "2020"}, {"MSFS2024", "2024"}}) {
        g_simulatorWord = word;
        liveryList = {{"DLH", "A320", "T", "", 1, false}};
        lf_writeLiveriesScanned();
        const std::string xml = clv::test::readFile(g_liveriesScannedFile);
        EXPECT_NE(xml.find("<info name=\"date\" value=\"Mar 14, 2026\" />"), std::string::npos) << xml;
        EXPECT_NE(xml.find("<info name=\"MSFS\" value=\"" + msfs + "\" />"), std::string::npos) << xml;
        EXPECT_LT(xml.find("<meta>"), xml.find("<liveries>"));
    }
}

TEST(LiveriesScannedFile, EmptyListWritesNothing) {
    ScanEnvironment environment;
    liveryList.clear();
    lf_writeLiveriesScanned();
    EXPECT_FALSE(std::filesystem::exists(g_liveriesScannedFile));
    writeFile("<liveries><liv airl=\"DLH\" type=\"A320\" title=\"kept\"/></liveries>");
    lf_writeLiveriesScanned();
    lf_readLiveriesScanned();
    ASSERT_EQ(liveryList.size(), 1u);
    EXPECT_EQ(liveryList[0].title, "kept");
}

TEST(LiveriesScannedFile, CargoAttribute) {
    ScanEnvironment environment;
    const std::vector<std::pair<std::string, bool>> cases{
        {" cargo=\"true\"", true}, {" cargo=\"yes\"", true}, {" cargo=\"1\"", true},  {" cargo=\"Y\"", true},
        {" cargo=\"T\"", true},    {" cargo=\"false\"", false}, {" cargo=\"0\"", false}, {" cargo=\"no\"", false},
        {" cargo=\"\"", false},    {"", false},
    };
    for (const auto& [attribute, cargo] : cases) {
        writeFile("<meta/><liveries><liv airl=\"DLH\" type=\"A320\"" + attribute + " title=\"T\"/></liveries>");
        lf_readLiveriesScanned();
        ASSERT_EQ(liveryList.size(), 1u);
        EXPECT_EQ(liveryList[0].cargo, cargo) << attribute;
    }
}

TEST(LiveriesScannedFile, ReaderErrors) {
    ScanEnvironment environment;
    const std::string path = g_liveriesScannedFile.string();
    EXPECT_EQ(userErrorText([] { lf_readLiveriesScanned(); }), "51: File " + path + " not found");
    writeFile("<liveries><liv title=\"x\"></liveries>");
    EXPECT_EQ(userErrorText([] { lf_readLiveriesScanned(); }), "51: File " + path + " not found");
    writeFile("<meta/><other><liv title=\"x\"/></other>");
    EXPECT_EQ(userErrorText([] { lf_readLiveriesScanned(); }), "52: " + path + " does not contain a <liveries> section");
    writeFile("<liveries><livery title=\"x\"/><Liv title=\"y\"/></liveries>");
    EXPECT_EQ(userErrorText([] { lf_readLiveriesScanned(); }), "533: " + path + " does not contain liveries");
    EXPECT_TRUE(liveryList.empty());
}

TEST(LiveriesScannedFile, OnlyLivElementsCountAndAMissingHeaderIsNoError) {
    ScanEnvironment environment;
    writeFile("<liveries><other title=\"x\"/><liv type=\"A320\" title=\"B\"/><liv airl=\"DLH\" title=\"A\"/></liveries>");
    lf_readLiveriesScanned();
    ASSERT_EQ(liveryList.size(), 2u);
    EXPECT_EQ(liveryList[0].title, "B");  // empty airline sorts first
    EXPECT_EQ(liveryList[0].airl, "");
    EXPECT_EQ(liveryList[1].type, "");
    EXPECT_TRUE(environment.logged("===> meta data incorrect?"));
}

TEST(LiveriesScannedFile, SameLiveryIgnoresThePriorityOnly) {
    const LiveryData a{"DLH", "A320", "T", "D-ABCD", 1, false};
    LiveryData b = a;
    b.priority = 7;
    EXPECT_TRUE(lf_sameLivery(a, b));
    for (auto change : std::vector<std::function<void(LiveryData&)>>{
             [](LiveryData& l) { l.airl = "BAW"; }, [](LiveryData& l) { l.type = "A319"; },
             [](LiveryData& l) { l.title = "t"; }, [](LiveryData& l) { l.atcid = ""; },
             [](LiveryData& l) { l.cargo = true; }}) {
        LiveryData c = a;
        change(c);
        EXPECT_FALSE(lf_sameLivery(a, c));
    }
}
