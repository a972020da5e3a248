// The scan step: which folders are scanned in which order, what is kept, and how
// a scan ends when it finds nothing or is stopped.
#include "liveries/livery_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/files.h"
#include "core/folders.h"
#include "core/ui_port.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/user_error.h"
#include "core/workers.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_check.h"
#include "liveries/livery_index.h"
#include "liveries/scan_report.h"
#include "scan_fixture.h"

namespace fs = std::filesystem;
using clv::LiveryScanResult;
using clv::test::ScanEnvironment;

namespace {

std::vector<std::string> folderNames(const LiveryFolderList& folders) {
    std::vector<std::string> names;
    for (const auto& folder : folders) names.push_back(fs::path(folder).filename().string());
    return names;
}

void writeCfg(const fs::path& path, const std::string& type, const std::vector<std::pair<std::string, std::string>>& liveries) {
    std::string text = "[GENERAL]\nicao_type_designator = " + type + "\n";
    for (std::size_t i = 0; i < liveries.size(); ++i) {
        text += fmt::format("[fltsim.{}]\ntitle = {}\nicao_airline = {}\n", i, liveries[i].first, liveries[i].second);
    }
    fs::create_directories(path.parent_path());
    gf_writeTextFile(text, path, false);
}

std::string driverUserErrorText(const std::function<void()>& call) {
    try {
        call();
    } catch (const clv::UserErrorException& e) {
        return e.what();
    }
    return "no user error";
}

std::vector<std::string> scannedTitlesInFile() {
    lf_readLiveriesScanned();
    std::vector<std::string> titles;
    for (const auto& livery : liveryList) titles.push_back(livery.title);
    liveryList.clear();
    return titles;
}

}  // namespace

TEST(LiveryScanFolders, PackageOrder) {
    ScanEnvironment environment;
    const std::string aig = "aig-aitraffic-oci", fsltl = "fsltl-traffic-base";
    const std::string jf = "justflight-aircraft-traffic-fleet", user = "user-aitraffic";
    const std::map<int, std::vector<std::string>> expected{
        {1, {aig, fsltl, jf, user}}, {2, {aig, jf, fsltl, user}}, {3, {fsltl, aig, jf, user}},
        {4, {fsltl, jf, aig, user}}, {5, {jf, aig, fsltl, user}}, {6, {jf, fsltl, aig, user}},
        {0, {user}},                 {7, {user}},
    };
    for (const auto& [order, names] : expected) {
        AI_PACKAGE_ORDER.value = order;
        EXPECT_EQ(folderNames(gf_automaticLiveryFolders(environment.community())), names) << "order " << order;
    }
    EXPECT_TRUE(environment.logged("Automatic FSLTL scan found folder: \"" + (environment.community() / fsltl).string() + "\""));
    EXPECT_TRUE(environment.logged("Automatic user-aitraffic scan found folder: \"" +
                                   (environment.community() / user).string() + "\""));
}

TEST(LiveryScanFolders, PackageNamesInAnyCaseButNeverACopy) {
    ScanEnvironment environment;
    struct Case {
        std::vector<std::string> entries;
        bool msfs2020;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {{"aig-aitraffic-oci-beta"}, false, {"aig-aitraffic-oci-beta"}},
        {{"aig-aitraffic-oci-beta"}, true, {"aig-aitraffic-oci-beta"}},
        {{"AIG-AITraffic-OCI"}, false, {"AIG-AITraffic-OCI"}},
        {{"aig-aitraffic-oci_CVT_"}, true, {}},
        {{"justflight-fstraffic-module", "User-AITraffic"}, true, {"justflight-fstraffic-module", "User-AITraffic"}},
        {{"asobo-aircraft-c152"}, true, {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const fs::path community = environment.root() / fmt::format("community{}", n++);
        for (const auto& entry : c.entries) fs::create_directories(community / entry);
        MSFS_2020.value = c.msfs2020;
        EXPECT_EQ(folderNames(gf_automaticLiveryFolders(community)), c.found) << c.entries.front();
    }
}

TEST(LiveryScanFolders, PrioritiesFollowTheExistingFolders) {
    ScanEnvironment environment;
    const fs::path a = environment.root() / "a", b = environment.root() / "b";
    writeCfg(a / "x/aircraft.cfg", "A320", {{"A1", "DLH"}, {"A2", "DLH"}, {"A3", "DLH"}, {"A4", "BAW"}, {"A5", "BAW"}});
    writeCfg(b / "x/aircraft.cfg", "A320", {{"B1", "KLM"}});
    clv::ScanContext context;
    lf_scanFolder(context, "");
    lf_scanFolder(context, (environment.root() / "missing").string());
    gf_writeTextFile("not a folder", environment.root() / "file", false);
    lf_scanFolder(context, (environment.root() / "file").string());
    EXPECT_EQ(context.priority, 0);
    lf_scanFolder(context, a.string());
    lf_scanFolder(context, b.string());
    EXPECT_EQ(context.priority, 2);
    EXPECT_EQ(context.total, 6u);
    ASSERT_EQ(liveryList.size(), 6u);
    EXPECT_EQ(liveryList.back().priority, 2);
    EXPECT_EQ(liveryList.front().priority, 1);
    EXPECT_TRUE(environment.logged((environment.root() / "missing").string() + " does not exist, skipped!"));
    EXPECT_TRUE(environment.logged((environment.root() / "file").string() + " is not a folder name, skipped!"));
    EXPECT_TRUE(environment.logged("5 liveries found in " + a.string()));
    EXPECT_TRUE(environment.logged("1 liverie found in " + b.string()));

    // From the tenth existing folder on, every folder has priority 10.
    clv::ScanContext many;
    for (int i = 0; i < 12; ++i) {
        fs::create_directories(environment.root() / fmt::format("f{}", i));
        lf_scanFolder(many, (environment.root() / fmt::format("f{}", i)).string());
    }
    EXPECT_EQ(many.priority, 10);
}

TEST(LiveryScanFolders, TotalOverTwoFolders) {
    ScanEnvironment environment;
    const fs::path a = environment.root() / "a", b = environment.root() / "b";
    writeCfg(a / "x/aircraft.cfg", "A320", {{"A1", "DLH"}, {"A2", "DLH"}, {"A3", "DLH"}, {"A4", "BAW"}, {"A5", "BAW"}});
    writeCfg(b / "x/aircraft.cfg", "A320", {{"B1", "KLM"}});
    EXPECT_EQ(lf_scanAllFolders({a.string(), b.string()}), clv::ScanOutcome::Found);
    EXPECT_TRUE(environment.logged("6 in total"));
    EXPECT_EQ(scannedTitlesInFile(), (std::vector<std::string>{"A4", "A5", "A1", "A2", "A3", "B1"}));
}

TEST(LiveryScanFolders, PrioritizedKeepsTheBestFolderPerAirlineAndType) {
    ScanEnvironment environment;
    const fs::path p1 = environment.root() / "p1", p2 = environment.root() / "p2", p3 = environment.root() / "p3";
    writeCfg(p1 / "x/aircraft.cfg", "A320", {{"BAW from 1", "BAW"}});
    writeCfg(p2 / "x/aircraft.cfg", "A320", {{"DLH from 2", "DLH"}, {"DLH also from 2", "DLH"}});
    writeCfg(p3 / "x/aircraft.cfg", "A320", {{"DLH from 3", "DLH"}, {"KLM from 3", "KLM"}});
    writeCfg(p3 / "y/aircraft.cfg", "B738", {{"DLH B738 from 3", "DLH"}});
    LIG_AUTOMATIC.value = false;
    lfolder0.value = p1.string();
    lfolder1.value = p2.string();
    lfolder2.value = p3.string();
    LIG_PRIORITIZE.value = true;
    ASSERT_EQ(gf_scanLiveries(), LiveryScanResult::Scanned);
    EXPECT_EQ(scannedTitlesInFile(),
              (std::vector<std::string>{"BAW from 1", "DLH also from 2", "DLH from 2", "DLH B738 from 3", "KLM from 3"}));
    EXPECT_EQ(gf_nullUiPort().statusLines().front(), "Scanning prioritized  for liveries ...");

    SCAN_LIVERIES.value = true;
    LIG_PRIORITIZE.value = false;
    ASSERT_EQ(gf_scanLiveries(), LiveryScanResult::Scanned);
    EXPECT_EQ(scannedTitlesInFile().size(), 6u);
}

// A scan that finds nothing throws its user error, keeps the scan request and
// leaves no LiveriesScanned.xml of an earlier scan behind.
TEST(LiveryScanResults, NothingFoundLeavesTheRequestOn) {
    struct Case {
        std::string name;
        bool automatic;
        std::string error;
    };
    const Case cases[] = {
        {"automatic", true,
         "43: Automatic scan has not found any liveries, switch off automatic and set lfolder parameter(-s), Manual 5.1"},
        {"manual", false, "53: no liveries found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScanEnvironment environment;
        fs::remove_all(environment.community());
        fs::create_directories(environment.community() / "fsltl-traffic-base/SimObjects/Airplanes/empty");
        gf_writeTextFile("<liveries><liv airl=\"DLH\" type=\"A320\" title=\"old\"/></liveries>", g_liveriesScannedFile, false);
        LIG_AUTOMATIC.value = c.automatic;
        lfolder4.value = (environment.community() / "fsltl-traffic-base").string();
        liveryCount = 7;
        EXPECT_EQ(driverUserErrorText([] { gf_scanLiveries(); }), c.error);
        EXPECT_TRUE(SCAN_LIVERIES.value);
        EXPECT_FALSE(fs::exists(g_liveriesScannedFile));
        EXPECT_FALSE(fs::exists(environment.root() / "parameters.xml")) << "nothing saved";
        EXPECT_EQ(liveryCount.load(), 0u);
        EXPECT_FALSE(liveryIndexBuilt.load());
    }
}

TEST(LiveryScanResults, ManualModeWithoutFolders) {
    ScanEnvironment environment;
    LIG_AUTOMATIC.value = false;
    EXPECT_EQ(driverUserErrorText([] { gf_scanLiveries(); }),
              "48: Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)");
    EXPECT_TRUE(SCAN_LIVERIES.value);
}

// Without a scan request the step builds the index from the earlier scan's file.
TEST(LiveryScanResults, NoScanRequestedBuildsTheIndexFromTheFile) {
    ScanEnvironment environment;
    SCAN_LIVERIES.value = false;
    EXPECT_EQ(driverUserErrorText([] { gf_scanLiveries(); }), "51: File " + g_liveriesScannedFile.string() + " not found");
    gf_writeTextFile("<liveries><liv airl=\"DLH\" type=\"A320\" title=\"one\"/>"
                     "<liv airl=\"BAW\" type=\"A320\" title=\"two\"/></liveries>",
                     g_liveriesScannedFile, false);
    EXPECT_EQ(gf_scanLiveries(), LiveryScanResult::NotRequested);
    EXPECT_EQ(liveryCount.load(), 2u);
    EXPECT_TRUE(liveryIndexBuilt.load());
    EXPECT_FALSE(fs::exists(g_outputErrorsFolder / "Fixes.txt"));
}

TEST(LiveryScanResults, ScanSwitchesTheRequestOffAndSavesIt) {
    ScanEnvironment environment;
    ASSERT_EQ(gf_scanLiveries(), LiveryScanResult::Scanned);
    EXPECT_FALSE(SCAN_LIVERIES.value);
    EXPECT_NE(clv::test::readFile(environment.root() / "parameters.xml").find("name=\"SCAN_LIVERIES\" value=\"false\""),
              std::string::npos);
    EXPECT_TRUE(environment.logged("++++++++++++++++++++++++ liveries scan automatic starts ++++++++++++++++++++++++++++++++"));
    EXPECT_TRUE(environment.logged("++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++"));
    // Nothing of the scan is carried into the next one.
    EXPECT_TRUE(liveryList.empty());
    EXPECT_EQ(scannedTitles.size(), 0u);
    EXPECT_TRUE(fixesList.empty());
    EXPECT_TRUE(conversionLines.empty());
    EXPECT_TRUE(incompleteSectionList.empty());
    const std::string fixes = environment.readOutput("errors/Fixes.txt");
    SCAN_LIVERIES.value = true;
    ASSERT_EQ(gf_scanLiveries(), LiveryScanResult::Scanned);
    EXPECT_EQ(environment.readOutput("errors/Fixes.txt").size(), fixes.size());
}

// A stop during the scan is its own outcome: nothing is written, the request
// stays on (and unsaved) so the next start scans again, and no index is to be
// built from a half scan.
TEST(LiveryScanResults, StoppedScanKeepsTheRequest) {
    ScanEnvironment environment;
    gf_writeTextFile("<liveries><liv airl=\"DLH\" type=\"A320\" title=\"old\"/></liveries>", g_liveriesScannedFile, false);
    for (std::atomic<bool>* flag : {&stopRequested, &userClosedWindow}) {
        *flag = true;
        EXPECT_EQ(gf_scanLiveries(), LiveryScanResult::Stopped);
        *flag = false;
        EXPECT_TRUE(SCAN_LIVERIES.value);
        EXPECT_FALSE(fs::exists(environment.root() / "parameters.xml"));
        EXPECT_FALSE(fs::exists(g_liveriesScannedFile));
        EXPECT_FALSE(fs::exists(g_outputErrorsFolder));
        EXPECT_TRUE(liveryList.empty());
        EXPECT_EQ(scannedTitles.size(), 0u);
        EXPECT_EQ(runningTasks.load(), 0);
        EXPECT_FALSE(liveryIndexBuilt.load());
    }
    EXPECT_EQ(gf_scanLiveries(), LiveryScanResult::Scanned);
    EXPECT_TRUE(fs::exists(g_liveriesScannedFile));
    EXPECT_TRUE(liveryIndexBuilt.load());
}

// A package with a folder that cannot be read: the rest of it is scanned, the
// folder is listed with the reason, and the status line says folders were skipped.
TEST(LiveryScanResults, UnreadableFolderIsSkippedReportedAndShown) {
    ScanEnvironment environment;
    const fs::path package = environment.community() / "user-aitraffic" / "SimObjects" / "Airplanes";
    writeCfg(package / "Readable_After/aircraft.cfg", "A320", {{"Readable One", "DLH"}, {"Readable Two", "DLH"}});
    const fs::path locked = package / "Closed_Model";
    writeCfg(locked / "aircraft.cfg", "A320", {{"Behind A Closed Door", "DLH"}});
    fs::permissions(locked, fs::perms::none);
    LiveryScanResult result = LiveryScanResult::NotRequested;
    {
        clv::test::FolderRightsDropped rights;
        std::error_code ec;
        fs::directory_iterator probe(locked, ec);
        if (!ec) {
            fs::permissions(locked, fs::perms::owner_all);
            GTEST_SKIP() << "this user reads every folder";
        }
        result = gf_scanLiveries();
    }
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(result, LiveryScanResult::Scanned);
    const auto titles = scannedTitlesInFile();
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Readable One"), titles.end());
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Readable Two"), titles.end());
    EXPECT_EQ(environment.readOutput("errors/UnreadableLiveryFolders.txt"),
              locked.string() + " cannot be read: Permission denied\n");
    const std::string status = "Liveries scan: 1 folder could not be read and was skipped, see " +
                               g_unreadableFoldersFile.string();
    EXPECT_TRUE(environment.logged(status));
    const auto lines = gf_nullUiPort().statusLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), status);
    EXPECT_TRUE(environment.logged("1 unreadable folder skipped, see " + g_unreadableFoldersFile.string()));
}
