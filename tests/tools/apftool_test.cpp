// apftool: listings into handmade airport files and airport files into listings;
// the checked-in airport files (test fixture, demo airport) are its output.
#include "tools/apftool/apf_listing.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "airports/parking/apf_reader.h"
#include "core/parameters.h"
#include "stands/stand.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using clv::test::CurrentFolder;
using clv::test::readFile;
using clv::test::TempFolder;

namespace {

fs::path sourceFolder() { return fs::path(CLV_TESTS_SOURCE_DIR).parent_path(); }

// The written date changes from day to day; everything else must be equal.
std::string withoutDate(std::string text) {
    return std::regex_replace(text, std::regex("<info name=\"date\" value=\"[^\"]*\" />"), "<info name=\"date\" />");
}

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun runTool(const std::string& arguments) {
    ToolRun run;
    FILE* pipe = popen((std::string(CLV_APFTOOL_PATH) + " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

TEST(ApfToolTest, CheckedInAirportFilesAreTheToolsOutput) {
    struct Pair {
        fs::path listing;
        fs::path file;
    };
    const std::vector<Pair> pairs = {
        {sourceFolder() / "tests/data/airports/reader_listing.txt", sourceFolder() / "tests/data/airports/reader.xml"},
        {sourceFolder() / "demo/airports/LSZH_stands.txt", sourceFolder() / "demo/airports/learned/stock/LSZH.xml"},
    };
    TempFolder dir;
    for (const Pair& p : pairs) {
        gf_writeHandmadeApf(gf_readApfListing(readFile(p.listing)), dir / "out.xml");
        EXPECT_EQ(withoutDate(readFile(p.file)), withoutDate(readFile(dir / "out.xml")))
            << "regenerate with: apftool write " << p.listing.string() << " " << p.file.string();
    }
    EXPECT_FALSE(handmadeFile);  // the tool's writing leaves the park airport's mark alone
}

TEST(ApfToolTest, PrintedListingWritesTheSameFile) {
    TempFolder dir;
    const fs::path demo = sourceFolder() / "demo/airports/learned/stock/LSZH.xml";
    const std::string printed = gf_apfFileToListing(demo);
    EXPECT_NE(printed.find("# quality factor of the file:    20/ 5"), std::string::npos) << printed;
    EXPECT_NE(printed.find("stand     47.463000 8.560266 225.0 12.0 ramp GAC2\n# id 34, adjacent: 33 35\n"),
              std::string::npos);
    gf_writeHandmadeApf(gf_readApfListing(printed), dir / "again.xml");
    EXPECT_EQ(withoutDate(readFile(dir / "again.xml")), withoutDate(readFile(demo)));
    EXPECT_TRUE(standList.empty());  // printing works on a list of its own
}

TEST(ApfToolTest, ListingErrorsNameTheLine) {
    struct Case {
        std::string listing;
        std::string error;
    };
    const std::string head = "airport X\naltitude 10\n";
    const std::string stand = "stand 47.1 8.2 90 30 gate A1\n";
    const std::vector<Case> cases = {
        {head + "stand 47.1 8.2 90 30 gate\n", "line 3: a stand needs: lat lon heading radius kinds name"},
        {head + "stand 47.1x 8.2 90 30 gate A1\n", "line 3: latitude \"47.1x\" is not a number"},
        {head + "stand 95 8.2 90 30 gate A1\n", "line 3: position out of range"},
        {head + "stand 0 0 90 30 gate A1\n", "line 3: a stand at 0,0 is not read back"},
        {head + "stand 47.1 8.2 90 0 gate A1\n", "line 3: the radius must be above 0"},
        {head + "stand 47.1 8.2 90 30 pier A1\n", "line 3: unknown stand kind \"pier\""},
        {head + "stand 47.1 8.2 90 30 heli,cargo H\n", "line 3: a helipad is written without its cargo kind: drop cargo"},
        {head + stand + stand, "line 4: stand A1 appears more than once"},
        {head + "opt day=1 hh=1\n", "line 3: an option before the first stand"},
        {head + stand + "opt day=8 hh=1\n", "line 4: the day must be 1..7"},
        {head + stand + "opt day=1 hh=1,48\n", "line 4: half-hour 48 is not 0..47"},
        {head + stand + "opt day=1 hh=1,,2\n", "line 4: half-hour \"\" is not a whole number"},
        {head + stand + "opt day=1\n", "line 4: an option needs day= and hh="},
        {head + stand + "opt day=1 hh=1 cs=A:B:C\n", "line 4: cs takes CALLSIGN or CALLSIGN:SECOND"},
        {head + stand + "opt day=1 hh=1 colour=red\n", "line 4: unknown option key \"colour\""},
        {head + stand + "opt day=1 hh=1 reg\n", "line 4: \"reg\" is not key=value"},
        {head + stand + "runway 27\n", "line 4: unknown entry \"runway\""},
        {"airport X\n" + stand, "the listing has no altitude (the reader requires it)"},
        {head, "the listing has no stand"},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf([&] { gf_readApfListing(c.listing); }), c.error) << c.listing;
}

TEST(ApfToolTest, ListingGivesStandsInMetresDegreesAndOptionsInOrder) {
    const clv::ApfData data = gf_readApfListing(
        "# comment\n  \nairport LSZH\nname Zurich Kloten\npublisher stock\naltitude 1416\n"
        "stand 47.45 8.55 90 37.04 ramp,cargo,manual Stand 12 B\n"
        "opt day=2 hh=16,17 reg=HB-JLT cs=SWR1:SWR1A\nopt day=3 hh= airl=EZY type=A320 soft\n");
    EXPECT_EQ(data.code, "LSZH");
    EXPECT_EQ(data.airport_name, "Zurich Kloten");
    EXPECT_EQ(data.publisher, "stock");
    EXPECT_EQ(data.altitude, 1416);
    ASSERT_EQ(data.stands.size(), 1u);
    const clv::Stand& s = data.stands[0];
    EXPECT_EQ(s.name, "Stand 12 B");
    EXPECT_NEAR(s.heading, M_PI / 2, 1e-12);
    EXPECT_NEAR(s.radius, 0.02, 1e-12);
    EXPECT_TRUE(s.ramp && s.cargo && s.manual && !s.heli);
    ASSERT_EQ(s.options.size(), 2u);
    EXPECT_EQ(s.options[0].id, 1u);
    EXPECT_EQ(s.options[0].callsign, "SWR1");
    EXPECT_EQ(s.options[0].secondCallsign, "SWR1A");
    EXPECT_EQ(s.options[1].id, 2u);
    EXPECT_EQ(s.options[1].real, 0u);
    EXPECT_TRUE(s.options[1].hours.none());
}

TEST(ApfToolTest, DemoAirportReadsAsTheParkAirportsFile) {
    TempFolder dir;
    fs::create_directories(dir / "airports");
    fs::copy_file(sourceFolder() / "demo/airports/learned/stock/LSZH.xml", dir / "airports/LSZH.xml");
    CurrentFolder cwd(dir.path());
    apfReadHooks.parkAirportCode = [] { return std::string("LSZH"); };
    clv::ApfInfo summary;
    clv::QualityFactors quality;
    EXPECT_EQ(gf_readApf("airports/LSZH.xml", summary, quality), "");
    apfReadHooks = {};
    EXPECT_EQ(summary.airport_name, "Zurich");
    EXPECT_GE(standList.size(), 30u);
    int gates = 0, ramps = 0, cargo = 0, heli = 0, options = 0;
    for (const clv::Stand& s : standList) {
        gates += !s.ramp && !s.heli;
        ramps += s.ramp && !s.cargo;
        cargo += s.cargo;
        heli += s.heli;
        options += static_cast<int>(s.options.size());
    }
    EXPECT_GE(gates, 10);
    EXPECT_GE(ramps, 5);
    EXPECT_GE(cargo, 2);
    EXPECT_GE(heli, 1);
    EXPECT_GE(options, 20);
    standList.clear();
    parkingActive = false;
    parking_percentage.value = parking_percentage.def;
}

TEST(ApfToolTest, CommandLine) {
    TempFolder dir;
    const fs::path listing = dir.write("x.txt", "airport X\naltitude 5\nstand 47.1 8.2 90 30 gate A1\nopt day=1 hh=3\n");
    ToolRun run = runTool("write " + listing.string() + " " + (dir / "x.xml").string());
    EXPECT_EQ(run.status, 0) << run.output;
    run = runTool("print " + (dir / "x.xml").string());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("stand     47.100000 8.200000 90.0 30.0 gate A1\n# id 1, adjacent: none\n"
                              "opt       day=1 hh=3\n"),
              std::string::npos)
        << run.output;
    run = runTool("print " + (dir / "missing.xml").string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("could not be loaded: File was not found"), std::string::npos) << run.output;
    const fs::path bad = dir.write("bad.txt", "airport X\naltitude 5\nstand 47.1 8.2 90 30 gate\n");
    run = runTool("write " + bad.string() + " " + (dir / "bad.xml").string());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("line 3: a stand needs"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(dir / "bad.xml"));
    EXPECT_EQ(runTool("").status, 2);
    EXPECT_EQ(runTool("print").status, 2);
}
