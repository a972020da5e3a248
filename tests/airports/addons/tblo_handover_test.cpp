// The hand-over of the user's thirdparty airport files that need offline learning
// into the TBLO folder, after the walk of the add-on airport scan.
#include <gtest/gtest.h>

#include "addon_scan_support.h"
#include "airports/files/apf_writer.h"

using namespace clv;
using namespace clv::test;
namespace fs = std::filesystem;

namespace {

// A generated file in airports/my_thirdparty as the scan's workers write it.
void writeThirdparty(const std::string& fileName, const std::string& publisher, const std::string& manufacturer = "",
                     const std::string& creator = "") {
    ApfData data;
    data.code = fileName.substr(0, 4);
    data.airport_name = "Airport " + data.code;
    data.publisher = publisher;
    data.manufacturer = manufacturer;
    data.creator = creator;
    data.altitude = 300;
    data.stands.emplace_back("A1", std::vector<StandOption>{}, 50.0, 8.5, 1.0, 20.0, StandKinds{});
    fs::create_directories(g_myThirdpartyFolder);
    ASSERT_TRUE(gf_writeApf(data, g_myThirdpartyFolder / fileName, kApfGeneratedMode, "MSFS"));
}

// The server's stock files: the codes given are fit for offline learning, the
// others have too few weeks of traffic.
void serveStock(ScanWorld& world, const std::set<std::string>& suitable,
                const std::vector<std::string>& unsuitable = {}) {
    for (const auto& code : suitable) world.serveStock(code, true);
    for (const auto& code : unsuitable) world.serveStock(code, false);
}

std::int64_t tbloFiles() {
    std::error_code ec;
    if (!fs::exists(g_tbloFolder, ec)) return 0;
    return std::distance(fs::directory_iterator(g_tbloFolder), fs::directory_iterator());
}

}  // namespace

TEST(TbloHandoverTest, CandidateFiles) {
    ScanWorld world;
    for (const std::string name : {"EDDF.Xml", "ABCDE.xml", "EDDM.XML.bak", "EDDH.txt", "LOWW.xml", "EGL.xml"}) {
        world.write((g_myThirdpartyFolder / name).string(), "x");
    }
    fs::create_directories(g_myThirdpartyFolder / "LSZH.xml");  // a folder is no candidate
    world.write((g_myThirdpartyFolder / "LSZH.xml" / "KSEA.xml").string(), "x");  // nor what lies below one
    auto names = gf_listMyThirdpartyXml();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"EDDF", "LOWW"}));
}

TEST(TbloHandoverTest, CopiesSuitableFilesAndCountsWhatTheFolderHolds) {
    ScanWorld world;
    serveStock(world, {"EDDF", "LOWW", "LSZH", "LIRF", "KMCI"}, {"EGLL"});
    writeThirdparty("EDDF.Xml", "Some Studio");                 // copied, the name written as seen
    writeThirdparty("LOWW.xml", "unknown", "Maker Ltd");        // manufacturer names the maker: copied
    writeThirdparty("LSZH.xml", "unknown", "ab", "cd");         // nobody named: kept back
    writeThirdparty("EGLL.xml", "Some Studio");                 // too few weeks: kept back
    writeThirdparty("LIRF.xml", "Other Studio");                // copied, and its link file ...
    world.write((g_myThirdpartyFolder / "LIRF.txt").string(), "archive/thirdparty/Other%20Studio/LIRF.xml");
    writeThirdparty("KMCI.xml", "TropicalSim");                 // removed, never handed over
    // An entry of a not-recognised airport written during the walk, already counted.
    world.write((g_tbloFolder / "LIRF.xml").string(), "Community/x/LIRF.bgl");
    g_tbloCount = 1;

    lf_handOverToTblo();

    EXPECT_EQ(world.filesIn(g_tbloFolder), (std::set<std::string>{"EDDF.xml", "LOWW.xml", "LIRF.xml"}));
    EXPECT_EQ(g_tbloCount.load(), 3);
    EXPECT_EQ(g_tbloCount.load(), tbloFiles());
    EXPECT_EQ(readFile(g_tbloFolder / "LOWW.xml"), readFile(g_myThirdpartyFolder / "LOWW.xml"));
    EXPECT_EQ(world.filesIn(g_myThirdpartyFolder),
              (std::set<std::string>{"EDDF.Xml", "LOWW.xml", "LSZH.xml", "EGLL.xml", "LIRF.txt"}));
    const auto log = world.log();
    EXPECT_TRUE(ScanWorld::has(log, "EDDF copied to TBLO/EDDF.xml"));
    EXPECT_TRUE(ScanWorld::has(log, "===> zip folder \"" + (world.root() / "TBLO").string() + "\", and mail to \""));
    EXPECT_TRUE(ScanWorld::has(log, "\" please!\\n"));
    // The stock files fetched for the checks are not left behind.
    for (const std::string code : {"EDDF", "LOWW", "LSZH", "EGLL", "LIRF"}) EXPECT_FALSE(fs::exists(code + ".xml"));
}

// KMCI of another publisher is a file like every other.
TEST(TbloHandoverTest, KansasCityRuleOnlyForItsPublisher) {
    ScanWorld world;
    serveStock(world, {"KMCI"});
    writeThirdparty("KMCI.xml", "Some Studio");
    lf_handOverToTblo();
    EXPECT_EQ(world.filesIn(g_tbloFolder), (std::set<std::string>{"KMCI.xml"}));
    EXPECT_EQ(g_tbloCount.load(), 1);
}

TEST(TbloHandoverTest, NothingToHandOver) {
    {
        ScanWorld world;  // no candidate: nothing logged, no TBLO folder
        lf_handOverToTblo();
        EXPECT_FALSE(fs::exists(g_tbloFolder));
        EXPECT_FALSE(ScanWorld::has(world.log(), "third party airports"));
    }
    {
        ScanWorld world;  // no my_thirdparty folder at all: nothing to hand over either
        fs::remove_all(g_myThirdpartyFolder);
        EXPECT_TRUE(gf_listMyThirdpartyXml().empty());
        lf_handOverToTblo();
        EXPECT_FALSE(fs::exists(g_tbloFolder));
    }
    {
        ScanWorld world;  // the server has no stock file of the airport
        writeThirdparty("EGLL.xml", "Some Studio");
        lf_handOverToTblo();
        const auto log = world.log();
        EXPECT_TRUE(ScanWorld::has(log, "===> EGLL Not suitable for offline learning"));
        EXPECT_TRUE(ScanWorld::has(log, "All your third party airports are done, no off line learning needed."));
        EXPECT_EQ(g_tbloCount.load(), 0);
        EXPECT_EQ(tbloFiles(), 0);
    }
}

// A whole scan: the TBLO folder is emptied once at its start, and afterwards
// holds exactly what the count says, with entries of the walk and of the hand-over.
TEST(TbloHandoverTest, ScanStartsTbloAfreshAndCountMatchesContent) {
    ScanWorld world;
    serveStock(world, {"LSGG"});
    world.write((g_tbloFolder / "OLD1.xml").string(), "an earlier scan's entry");
    g_tbloCount = 7;
    world.airportBgl("Community/maker-lsgg/scenery/LSGG.bgl", "LSGG");
    world.write("sim/Community/maker-lsgg/manifest.json", R"({"manufacturer": "Maker Ltd", "title": "Geneva"})");
    // An MSFS 2024 airport the decoder cannot read, named by its file's stem.
    bgltool::BglDescription blueprint;
    blueprint.sections.emplace_back();
    blueprint.sections[0].records.emplace_back(bgltool::RawRecordDescription{275, 16});
    world.write("sim/Community/maker-lszb/scenery/LSZB.bgl", bgltool::gf_buildBgl(blueprint));
    world.ref.airports["LSZB"] = {"Bern", 1700.0};
    world.readReference();
    MSFS_2020.value = false;

    gf_scanAddonAirports();

    EXPECT_EQ(world.filesIn(g_tbloFolder), (std::set<std::string>{"LSGG.xml", "LSZB.xml"}));
    EXPECT_EQ(g_tbloCount.load(), 2);
    EXPECT_EQ(g_tbloCount.load(), tbloFiles());
    EXPECT_TRUE(ScanWorld::has(world.reportFile(), "==> TBLO entry LSZB.xml created "));
}
