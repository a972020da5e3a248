#include "airports/addons/addon_airports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <pugixml.hpp>

#include "airports/addons/airport_scan_report.h"
#include "airports/airports_fixture.h"
#include "bgl_test_support.h"
#include "core/files.h"
#include "core/folders.h"
#include "core/meta.h"

namespace fs = std::filesystem;
using namespace clv;
using namespace clv::test;
using clv::bgltool::HelipadDescription;
using clv::bgltool::ParkingListDescription;

namespace {

// A scan's working folder with the data base's publishers and archived airports.
class AddonAirportTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Full paths reach the simulator's own airports through the group of "simaddon".
        dbase.publisherGroups = {
            {"simaddon", "microsoft-airport"}, {"Some Studio", "somestudio"}, {"Orbital Works", "orbital"}};
        dbase.simaddons20 = {"LSZH"};
        dbase.thirdparties20 = {{"Orbital Works", {"LFPG12"}}, {"Some Studio", {"EDDM50"}},
                                {"Some Studio", {"EGLL35", "EDDF"}}};
        dbase.thirdparties24 = {{"Some Studio", {"EGLL60"}}};
        ref_.airports["EGLL"] = {"London Heathrow", 83.0};
        ref_.airports["EDDF"] = {"Frankfurt", 364.0};
        ref_.airports["LSZH"] = {"Zurich", 1416.0};
        ref_.airports["LOWW"] = {"Wien", 600.0};
        g_addonAirportFound = false;
        g_tbloCount = 0;
        gf_clearScanReport();
    }
    void TearDown() override {
        dbase.publisherGroups.clear();
        dbase.simaddons20.clear();
        dbase.thirdparties20.clear();
        dbase.thirdparties24.clear();
        gf_clearScanReport();
    }

    // Writes the airport as an add-on's BGL file and runs the worker's steps on it.
    void scan(const std::string& relative, std::vector<bgltool::AirportDescription> airports, bool msfs2020 = true) {
        const auto path = folder_.write(relative, bgltool::gf_buildBgl(airportFile(std::move(airports))));
        BglDecodeSetup setup;
        setup.msfs2020 = msfs2020;
        setup.reference = ref_.reference();
        AddonAirportSink sink(path, setup);
        gf_decodeBglFile(path, setup, sink);
    }
    std::vector<std::string> reports() const { return gf_scanReportLines(); }
    bool reported(const std::string& line) const {
        const auto lines = reports();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::string parameter(const pugi::xml_document& doc, const char* name) const {
        return doc.select_node(fmt::format("/parameters/parameter[@name='{}']", name).c_str())
            .node()
            .attribute("value")
            .value();
    }
    std::vector<std::string> parkposIds(const pugi::xml_document& doc) const {
        std::vector<std::string> ids;
        for (auto node : doc.child("parkpositions").children("parkpos")) ids.push_back(node.attribute("id").value());
        return ids;
    }

    TempFolder folder_;
    CurrentFolder current_{folder_.path()};
    RefTable ref_;
};

// The names in the scan folder's TBLO folder.
std::set<std::string> lf_namesInTblo(const TempFolder& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder / kTbloName)) names.insert(entry.path().filename().string());
    return names;
}

std::vector<bgltool::ParkingDescription> standsCalled(std::uint16_t count) {
    std::vector<bgltool::ParkingDescription> entries;
    for (std::uint16_t i = 1; i <= count; ++i) entries.push_back(parking(10, i));
    return entries;
}

}  // namespace

TEST_F(AddonAirportTest, ThirdpartyLinkEncodesBlanksAndCountsTheArchivedStands) {
    AirportLog log;
    // EGLL: 40 decoded against 35 archived (MSFS 2020): linked and generated as well.
    scan("Community/somestudio-egll/scenery/EGLL.bgl", {airportWith("EGLL", {ParkingListDescription{standsCalled(40)}})});
    EXPECT_EQ(folder_.read("airports/my_thirdparty/EGLL.txt"), "archive/thirdparty/Some%20Studio/EGLL.xml\n");
    EXPECT_TRUE(reported("thirdparty airport EGLL linked to archive/thirdparty/Some%20Studio/EGLL.xml"));
    EXPECT_TRUE(reported("===> EGLL has 40 parkpos while archived one has 35"));
    EXPECT_TRUE(reported("Generated EGLL.xml: 40 positions"));
    EXPECT_TRUE(fs::exists(folder_ / "airports/my_thirdparty/EGLL.xml"));

    // EDDF: listed without a number: linked, count 0, a log line; its 3 stands outnumber 0.
    scan("Community/somestudio-eddf/scenery/EDDF.bgl", {airportWith("EDDF", {ParkingListDescription{standsCalled(3)}})});
    EXPECT_EQ(folder_.read("airports/my_thirdparty/EDDF.txt"), "archive/thirdparty/Some%20Studio/EDDF.xml\n");
    EXPECT_TRUE(log.contains("===> Some Studio EDDF EDDF invalid stoi argument"));
    EXPECT_TRUE(reported("===> EDDF has 3 parkpos while archived one has 0"));

    // LOWW is in no list of the publisher.
    scan("Community/somestudio-loww/scenery/LOWW.bgl", {airportWith("LOWW", {})});
    EXPECT_TRUE(reported("thirdparty Some Studio LOWW does not exist"));
    EXPECT_FALSE(fs::exists(folder_ / "airports/my_thirdparty/LOWW.txt"));
    EXPECT_TRUE(g_addonAirportFound);
}

TEST_F(AddonAirportTest, PrefixedNumber) {
    struct Case {
        const char* text;
        bool match;
        std::int32_t count;
    };
    const Case cases[] = {
        {"EGLL123", true, 123}, {"EGLL 45x", true, 45}, {"EGLL", true, -1},
        {"EGLLabc", true, -1},  {"EGL", false, -1},     {"LFPG12", false, -1},
    };
    for (const Case& c : cases) {
        std::int32_t count = -1;
        EXPECT_EQ(gf_prefixedNumber(c.text, "EGLL", "Some Studio", count), c.match) << c.text;
        EXPECT_EQ(count, c.count) << c.text;
    }
}

// A linked simaddon airport serves from the archive whatever its count; in MSFS
// 2024 mode no linked airport is decoded at all.
TEST_F(AddonAirportTest, LinkedAirportsThatAreNotRegenerated) {
    scan("Community/microsoft-airport-lszh/scenery/LSZH.bgl",
         {airportWith("LSZH", {ParkingListDescription{standsCalled(5)}})});
    EXPECT_EQ(folder_.read("airports/ra_vudovodo/LSZH.txt"), "archive/simaddon/LSZH.xml\n");
    EXPECT_TRUE(reported("simaddon airport LSZH linked to archive/simaddon/LSZH.xml"));
    EXPECT_FALSE(fs::exists(folder_ / "airports/ra_vudovodo/LSZH.xml"));

    scan("Community/microsoft-airport-eddf/scenery/EDDF.bgl", {airportWith("EDDF", {})});
    EXPECT_TRUE(reported("EDDF does not exist as simaddon"));

    gf_clearScanReport();
    // 70 stands against 60 archived, and a radius the decoder would report.
    auto stands = standsCalled(70);
    stands.push_back(parking(10, 99, 500.0f));
    scan("Community/somestudio-egll/scenery/EGLL.bgl", {airportWith("EGLL", {ParkingListDescription{stands}})}, false);
    EXPECT_TRUE(reported("thirdparty airport EGLL linked to archive/thirdparty/Some%20Studio/EGLL.xml"));
    EXPECT_FALSE(fs::exists(folder_ / "airports/my_thirdparty/EGLL.xml"));
    for (const auto& line : reports()) EXPECT_EQ(line.find("radius"), std::string::npos) << line;
}

// A generated file of an unknown publisher: the package path from "Community" on,
// the manifest's makers, the reference altitude for an impossible one, the stands
// sorted by name, and the simulator of the scan.
TEST_F(AddonAirportTest, GeneratedFileOfAnUnknownPublisher) {
    folder_.write("Sim/Community/tiny-egll/manifest.json",
                  R"({"manufacturer":"Tiny Dev","creator":"Tiny Dev Team","title":"EGLL Heathrow"})");
    g_simulatorWord = "MSFS";  // another worker's word must not reach this file
    scan("Sim/Community/tiny-egll/scenery/EGLL.bgl",
         {airportWith("EGLL",
                      {HelipadDescription{51.47, -0.45, 20.0f},
                       ParkingListDescription{{parking(12, 2, 30.0f), parking(12, 1, 20.0f), parking(12, 1, 25.0f)}}},
                      12000.0)},
         false);
    EXPECT_TRUE(reported("Generated EGLL.xml: 4 positions, of which 1 helipad"));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((folder_ / "airports/my_thirdparty/EGLL.xml").c_str()));
    EXPECT_EQ(parameter(doc, "publisher"), "unknown");
    EXPECT_EQ(parameter(doc, "airport_name"), "London Heathrow");
    EXPECT_EQ(parameter(doc, "BGLpath"), "Community/tiny-egll/scenery/EGLL.bgl");
    EXPECT_EQ(parameter(doc, "manufacturer"), "Tiny Dev");
    EXPECT_EQ(parameter(doc, "creator"), "Tiny Dev Team");
    EXPECT_EQ(parameter(doc, "altitude"), "83");
    EXPECT_EQ(parkposIds(doc), (std::vector<std::string>{"A1", "A1a", "A2", "helipad1"}));
    // The larger of the two A1 stands took the plain name.
    EXPECT_STREQ(doc.select_node("/parkpositions/parkpos[@id='A1']").node().attribute("radius").value(), "25.0");
    EXPECT_STREQ(doc.select_node("/meta/info[@name='MSFS']").node().attribute("value").value(), "2024");
}

TEST_F(AddonAirportTest, HelipadOnlyAirportGetsAFileAndOneWithoutStandsNone) {
    scan("Community/other-xxxx/scenery/EDDF.bgl",
         {airportWith("EDDF", {HelipadDescription{50.03, 8.57, 20.0f}, HelipadDescription{50.04, 8.58, 20.0f}}),
          airportWith("LOWW", {})});
    EXPECT_TRUE(reported("Generated EDDF.xml: 2 positions, of which 2 helipads"));
    EXPECT_TRUE(fs::exists(folder_ / "airports/my_thirdparty/EDDF.xml"));
    EXPECT_FALSE(fs::exists(folder_ / "airports/my_thirdparty/LOWW.xml"));
}

// An airport the decoder cannot read (MSFS 2024) is named by its stem, its
// manifest's title or a dashed code in its path, and handed over as a TBLO entry.
TEST_F(AddonAirportTest, NotRecognisedAirportsBecomeTbloEntries) {
    folder_.write("Sim/Community/pkg-title/manifest.json", R"({"creator":"Tiny Dev Team","title":"LOWW Vienna"})");
    struct Case {
        const char* bgl;
        const char* code;
        const char* report;
    };
    const Case cases[] = {
        {"Sim/Community/pkg-stem/scenery/EDDF.bgl", "EDDF", "Not recognised airport has ICAO code \"EDDF\" as BGL stem"},
        {"Sim/Community/pkg-title/scenery/airport.bgl", "LOWW",
         "Not recognised airport has ICAO \"LOWW\" in title \"LOWW Vienna\" of manifest"},
        {"Sim/Community/pkg-egll-x/scenery/airport.bgl", "EGLL", "Not recognised airport has ICAO \"EGLL\" in BGL path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bgl);
        auto airport = airportWith("ABCD", {});
        const auto path = folder_.write(c.bgl, "");
        bgltool::BglDescription blueprint = airportFile({airport});
        blueprint.sections[0].records.insert(blueprint.sections[0].records.begin(), bgltool::RawRecordDescription{275, 16});
        folder_.write(c.bgl, bgltool::gf_buildBgl(blueprint));
        BglDecodeSetup setup;
        setup.msfs2020 = false;
        setup.reference = ref_.reference();
        AddonAirportSink sink(path, setup);
        EXPECT_EQ(gf_decodeBglFile(path, setup, sink), BglFileKind::NotRecognised);
        bool found = false;
        for (const auto& line : reports()) found = found || line.starts_with(c.report);
        EXPECT_TRUE(found);
        EXPECT_TRUE(reported(fmt::format("==> TBLO entry {}.xml created ", c.code)));
        const std::string entry = folder_.read(fmt::format("TBLO/{}.xml", c.code));
        EXPECT_TRUE(entry.starts_with(path.string() + "\n" + c.code + " by unknown, title: ")) << entry;
    }
    EXPECT_EQ(g_tbloCount.load(), 3);
    EXPECT_NE(folder_.read("TBLO/LOWW.xml").find("title: LOWW Vienna crea: Tiny Dev Team manu: "), std::string::npos);

    const auto lost = folder_.write("Sim/Community/nothing/scenery/airport.bgl", "");
    lf_notRecognisedAirport(lost, BglDecodeSetup{false, {}, ref_.reference()});
    EXPECT_TRUE(reported(fmt::format("==================> Not recognised airport lost ... \"{}\"", lost.string())));
    EXPECT_EQ(g_tbloCount.load(), 3);
}

// Two files of one airport the decoder cannot read (two workers of a scan): one
// whole entry in TBLO, counted once, so the count and the folder agree.
TEST_F(AddonAirportTest, TwoFilesOfOneAirportMakeOneTbloEntry) {
    const BglDecodeSetup setup{false, {}, ref_.reference()};
    const auto first = folder_.write("Sim/Community/pkg-a/scenery/EDDF.bgl", "");
    const auto second = folder_.write("Sim/Community/pkg-b/scenery/EDDF.bgl", "");
    lf_notRecognisedAirport(first, setup);
    lf_notRecognisedAirport(second, setup);
    EXPECT_EQ(g_tbloCount.load(), 1);
    EXPECT_EQ(lf_namesInTblo(folder_), (std::set<std::string>{"EDDF.xml"}));
    // The entry of the last file, whole: its two lines.
    const std::string entry = folder_.read("TBLO/EDDF.xml");
    EXPECT_TRUE(entry.starts_with(second.string() + "\nEDDF by unknown, title: ")) << entry;
    EXPECT_EQ(std::count(entry.begin(), entry.end(), '\n'), 2) << entry;
}

// A link file or TBLO entry that cannot be written, at any step: the report says
// so and why, the file from before is kept whole, and nothing is counted.
TEST_F(AddonAirportTest, AFailedWriteIsReportedAndKeepsTheFileBefore) {
    const ReplaceStep steps[] = {ReplaceStep::Open, ReplaceStep::Write, ReplaceStep::Flush, ReplaceStep::Rename};
    const BglDecodeSetup setup{false, {}, ref_.reference()};
    const auto bgl = folder_.write("Sim/Community/pkg-a/scenery/EDDF.bgl", "");
    for (const ReplaceStep step : steps) {
        SCOPED_TRACE(static_cast<int>(step));
        gf_clearScanReport();
        folder_.write("airports/ra_vudovodo/LSZH.txt", "archive/simaddon/LSZH-before.xml\n");
        gf_failNextReplaceStep(step);
        scan("Community/microsoft-airport-lszh/scenery/LSZH.bgl",
             {airportWith("LSZH", {ParkingListDescription{standsCalled(5)}})});
        EXPECT_EQ(folder_.read("airports/ra_vudovodo/LSZH.txt"), "archive/simaddon/LSZH-before.xml\n");
        const std::string linkFailure =
            fmt::format("===> Writing link file {} did not succeed: ", (g_raVudovodoFolder / "LSZH.txt").string());
        const auto linkReports = reports();
        EXPECT_TRUE(std::any_of(linkReports.begin(), linkReports.end(),
                                [&](const std::string& line) { return line.starts_with(linkFailure); }));

        folder_.write("TBLO/EDDF.xml", "an entry before\n");
        g_tbloCount = 0;
        gf_failNextReplaceStep(step);
        lf_notRecognisedAirport(bgl, setup);
        EXPECT_EQ(folder_.read("TBLO/EDDF.xml"), "an entry before\n");
        EXPECT_EQ(g_tbloCount.load(), 0);
        const std::string tbloFailure = fmt::format("===> Writing TBLO entry {} did not succeed: ",
                                                    (fs::path(kTbloName) / "EDDF.xml").string());
        const auto tbloReports = reports();
        EXPECT_TRUE(std::any_of(tbloReports.begin(), tbloReports.end(),
                                [&](const std::string& line) { return line.starts_with(tbloFailure); }));
        EXPECT_FALSE(reported("==> TBLO entry EDDF.xml created "));
        EXPECT_EQ(lf_namesInTblo(folder_), (std::set<std::string>{"EDDF.xml"})) << "no temporary left";
    }
}

TEST_F(AddonAirportTest, PathHelpers) {
    EXPECT_EQ(lf_stripToCommunity("/home/pilot/MSFS/Community/pkg/scenery/a.bgl"), "Community/pkg/scenery/a.bgl");
    EXPECT_EQ(lf_stripToCommunity("/home/pilot/Official/pkg/a.bgl"), "/home/pilot/Official/pkg/a.bgl");
    EXPECT_TRUE(lf_hasDashedCode("Community/x-EGLL-y/a.bgl", "EGLL"));
    EXPECT_TRUE(lf_hasDashedCode("Community/x-egll-y/a.bgl", "EGLL"));
    EXPECT_FALSE(lf_hasDashedCode("Community/x-egll/a.bgl", "EGLL"));
    EXPECT_FALSE(lf_hasDashedCode("Community/x-Egll-y/a.bgl", "EGLL"));
}
