// Scan reports: the corrections from the data base's registrations, the report
// files with their summary lines, and the removal of the previous scan's files.
#include "liveries/scan_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/folders.h"
#include "liveries/livery_check.h"
#include "liveries/livery_scan.h"
#include "scan_fixture.h"

namespace fs = std::filesystem;
using clv::LiveryData;
using clv::test::ScanEnvironment;

namespace {

std::string padded(const std::string& title) { return title + std::string(80 - title.size(), ' '); }

}  // namespace

// A record's empty airline, operator or type means "not known": it never blanks
// the livery's own value.
TEST(ScanReportRegData, CorrectionsFromTheRegistration) {
    ScanEnvironment environment;
    struct Case {
        LiveryData livery;
        LiveryData corrected;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {{"DLH", "A320", "no registration", "", 1, false}, {"DLH", "A320", "no registration", "", 1, false}, {}},
        {{"DLH", "A320", "unknown registration", "D-AQQQ", 1, false},
         {"DLH", "A320", "unknown registration", "D-AQQQ", 1, false},
         {}},
        {{"DLH", "B738", "operator and type", "D-AIZZ", 1, false},
         {"EWG", "A320", "operator and type", "D-AIZZ", 1, false},
         {padded("operator and type") + " D-AIZZ airl DLH => EWG", padded("operator and type") + " D-AIZZ model B738 => A320"}},
        {{"KLM", "A320", "type unknown to the record", "G-EUPT", 1, false},
         {"BAW", "A320", "type unknown to the record", "G-EUPT", 1, false},
         {padded("type unknown to the record") + " G-EUPT airl KLM => BAW"}},
        {{"KLM", "AT76", "nothing known but the flag", "PH-EMP", 1, false},
         {"KLM", "AT76", "nothing known but the flag", "PH-EMP", 1, false},
         {}},
        {{"GEC", "B748", "freighter", "D-ALFA", 1, false},
         {"GEC", "B748", "freighter", "D-ALFA", 1, true},
         {padded("freighter") + " D-ALFA cargo false => true"}},
        {{"DLH", "A320", "other spelling", "DAIBL", 1, false},
         {"DLH", "A319", "other spelling", "DAIBL", 1, false},
         {padded("other spelling") + " DAIBL model A320 => A319"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.livery.title);
        conversionLines.clear();
        LiveryData livery = c.livery;
        lf_applyRegData(livery);
        EXPECT_TRUE(lf_sameLivery(livery, c.corrected)) << livery.airl << " " << livery.type << " " << livery.cargo;
        EXPECT_EQ(conversionLines, c.lines);
    }
}

TEST(ScanReportFiles, FilesAndSummaries) {
    ScanEnvironment environment;
    invalidAirlineList.add("XYZ          in /b/aircraft.cfg [fltsim.0]");
    invalidModelList.add("ZZ99             in /b/aircraft.cfg");
    invalidModelList.add("XX11             in /a/aircraft.cfg");
    fixesList.add("Model fix: B7M8 found in /b/aircraft.cfg changed into B38M");
    fixesList.add("Model fix: A32N found in /a/aircraft.cfg changed into A20N");
    emptyCfgList.add("/b/aircraft.cfg");
    emptyCfgList.add("/a/aircraft.cfg");
    emptyCfgList.add("/a/aircraft.cfg");
    conversionLines = {"second", "first", "third"};
    lf_writeScanReports();

    EXPECT_EQ(environment.readOutput("errors/InvalidAirlineCodes.txt"), "XYZ          in /b/aircraft.cfg [fltsim.0]\n");
    EXPECT_EQ(environment.readOutput("errors/InvalidAircraftCodes.txt"),
              "XX11             in /a/aircraft.cfg\nZZ99             in /b/aircraft.cfg\n");
    EXPECT_EQ(environment.readOutput("errors/Fixes.txt"),
              "Model fix: B7M8 found in /b/aircraft.cfg changed into B38M\n"
              "Model fix: A32N found in /a/aircraft.cfg changed into A20N\n");
    EXPECT_FALSE(fs::exists(g_invalidAircraftCfgFilesFile));
    EXPECT_FALSE(fs::exists(g_incompleteFltsimFile));
    EXPECT_EQ(environment.readOutput("info/AircraftCfgWithNoFltsimSection.txt"),
              "/a/aircraft.cfg\n/a/aircraft.cfg\n/b/aircraft.cfg\n");
    EXPECT_EQ(environment.readOutput("info/AirlineModelConversions.txt"), "second\nfirst\nthird\n");

    const std::vector<std::string> expected{
        "",
        "Errors:",
        "1 invalid airline code, see output/errors/InvalidAirlineCodes.txt",
        "2 invalid model codes, see output/errors/InvalidAircraftCodes.txt",
        "2 code fixes, see output/errors/Fixes.txt",
        "",
        "Information:",
        "3 empty aircraft.cfg files, see output/info/AircraftCfgWithNoFltsimSection.txt",
        "3 liveries updated with real live data from dbase, see output/info/AirlineModelConversions.txt",
    };
    const auto lines = environment.logLines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - static_cast<std::ptrdiff_t>(expected.size()), lines.end()), expected);
}

TEST(ScanReportFiles, NoErrorsNoErrorsFolder) {
    ScanEnvironment environment;
    fs::remove_all(g_outputErrorsFolder);
    lf_writeScanReports();
    EXPECT_FALSE(fs::exists(g_outputErrorsFolder));
    EXPECT_TRUE(environment.logged("No errors"));
    EXPECT_TRUE(environment.logged("Information:"));
}

TEST(ScanReportFiles, RemovalOfThePreviousScan) {
    ScanEnvironment environment;
    for (const fs::path* file : {&g_noFltsimSectionFile, &g_liveriesScannedFile, &g_skippedOnPriorityFile,
                                 &g_inlineRegcodesFile, &g_invalidAirlineCodesFile, &g_invalidAircraftCodesFile,
                                 &g_fixesFile, &g_invalidAircraftCfgFilesFile, &g_incompleteFltsimFile,
                                 &g_airlineModelConversionsFile}) {
        fs::create_directories(file->parent_path());
        gf_writeTextFile("old", *file, true);
    }
    lf_removeScanReports();
    EXPECT_FALSE(fs::exists(g_outputErrorsFolder));
    EXPECT_FALSE(fs::exists(g_liveriesScannedFile));
    EXPECT_FALSE(fs::exists(g_noFltsimSectionFile));
    // Replaced only by a scan that changed something.
    EXPECT_TRUE(fs::exists(g_airlineModelConversionsFile));

    // A file of the user's own in the errors folder keeps the folder, and says so.
    fs::create_directories(g_outputErrorsFolder);
    gf_writeTextFile("mine", g_outputErrorsFolder / "notes.txt", true);
    lf_removeScanReports();
    EXPECT_TRUE(fs::exists(g_outputErrorsFolder / "notes.txt"));
    const auto lines = environment.logLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("problems with removing previous files: ");
    }));
}
