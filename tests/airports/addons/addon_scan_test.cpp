// The add-on airport scan over generated simulator folders: which folders and files
// it takes, how its workers are bounded and waited for, and what it leaves behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "addon_scan_support.h"

using namespace clv;
using namespace clv::test;
namespace fs = std::filesystem;

TEST(AddonScanTest, SkipWordsLengthAndExtension) {
    struct Case {
        std::string path;
        bool skipped;
    };
    const std::vector<Case> cases{
        {"/sim/Community/my-airport/scenery/EGLL.bgl", false},
        {"/sim/Official/OneStore/fs-base-genericairports/scenery/0101/APX.bgl", true},
        {"/sim/Community/aircraft-museum-airport", true},  // the word anywhere, also in a package name
        {"/sim/Community/pkg/SimObjects/Airplanes", false},  // case-sensitive: "SimObjects" is not "simobjects"
        {"/sim/Official/OneStore/asobo-simobjects-x", true},
        {"/sim/Community/fsltl-traffic-base", true},
        {"/sim/Community/gsx-pro-data", true},
        {"/sim/Community/landingchallenge-egll", true},
        {"/sim/Community/point-of-interest-eiffel", true},
        {"/sim/Community/justflight-aicraft-traffic", true},
        {"/" + std::string(247, 'a') + "b", false},  // 249 characters
        {"/" + std::string(249, 'a'), true},         // 250 characters
    };
    for (const auto& c : cases) EXPECT_EQ(lf_isSkippedScanPath(c.path), c.skipped) << c.path.size() << " " << c.path;

    for (const auto& [extension, bgl] : std::vector<std::pair<std::string, bool>>{
             {".bgl", true}, {".BGL", true}, {".Bgl", false}, {".bGL", false}, {".bgl2", false}, {"", false}}) {
        EXPECT_EQ(lf_isBglExtension(extension), bgl) << extension;
    }
}

// 2020 mode walks Official, then Community; 2024 mode only Community. Each mode
// empties the folders the scan writes into, and the scan switches itself off.
TEST(AddonScanTest, FoldersOfEachSimulatorModeAndWhatTheScanClears) {
    for (const bool msfs2020 : {true, false}) {
        SCOPED_TRACE(msfs2020 ? "MSFS 2020" : "MSFS 2024");
        ScanWorld world;
        MSFS_2020.value = msfs2020;
        world.airportBgl("Official/OneStore/maker-airport-lfpg/scenery/LFPG.bgl", "LFPG");
        world.airportBgl("Community/other-airport-lszh/scenery/LSZH.bgl", "LSZH");
        world.write("sim/Official2024/pkg/scenery/EDDM.bgl", "never read");
        world.write("airports/ra_vudovodo/OLD1.txt", "archive/simaddon/OLD1.xml");
        world.write("airports/my_thirdparty/OLD2.xml", "old");

        gf_scanAddonAirports();

        const auto report = world.reportFile();
        std::vector<std::string> walked;
        for (const auto& line : report)
            if (line.starts_with("Scanning for addon airports in ")) walked.push_back(line.substr(31));
        std::vector<std::string> expected;
        if (msfs2020) expected.push_back(world.sim("Official").string());
        expected.push_back(world.sim("Community").string());
        EXPECT_EQ(walked, expected);
        const std::set<std::string> generated =
            msfs2020 ? std::set<std::string>{"LFPG.xml", "LSZH.xml"} : std::set<std::string>{"LSZH.xml"};
        EXPECT_EQ(world.filesIn(g_myThirdpartyFolder), generated);
        // Only 2020 mode writes simulator add-ons there, so only it empties the folder.
        const std::set<std::string> kept = msfs2020 ? std::set<std::string>{} : std::set<std::string>{"OLD1.txt"};
        EXPECT_EQ(world.filesIn(g_raVudovodoFolder), kept);
        EXPECT_TRUE(g_addonAirportFound);
        EXPECT_FALSE(SCAN_AIRPORTS.value);
        EXPECT_FALSE(gf_nullUiPort().control(SCAN_AIRPORTS.handle.load()).checked);
        EXPECT_TRUE(ScanWorld::has(ScanWorld::lines(world.root() / "parameters.xml"),
                                   "name=\"SCAN_AIRPORTS\" value=\"false\""));
        EXPECT_TRUE(ScanWorld::has(world.log(), "Airports scan successful"));
        EXPECT_TRUE(ScanWorld::has(world.log(), "airports scan ends"));
        EXPECT_EQ(runningTasks.load(), 0);
    }
}

// Which files become workers: skip words in any ancestor, exact extensions, and
// statics, _heliports and AFCAD Updates files passed over while their folders are
// still walked.
TEST(AddonScanTest, FilesTakenAndPassedOver) {
    ScanWorld world;
    WorkerObserver workers;
    world.airportBgl("Community/a-airport/scenery/AIRPORT.BGL", "AAAA");
    world.airportBgl("Community/b-airport/scenery/airport.bgl", "BBBB");
    world.airportBgl("Community/c-airport/scenery/CCCC.Bgl", "CCCC");
    world.airportBgl("Community/aircraft-museum/scenery/DDDD.bgl", "DDDD");
    world.airportBgl("Community/e-airport/statics/deep/EEEE.bgl", "EEEE");
    world.airportBgl("Community/f-airport/scenery/_heliports/FFFF.bgl", "FFFF");
    world.airportBgl("Community/AFCAD Updates/GGGG.bgl", "GGGG");
    world.otherBgl("Community/h-scenery/scenery/objects.bgl");
    world.write("sim/Community/i-airport/scenery/IIII.bgl.txt", "not a bgl");

    ASSERT_FALSE(lf_scanAirports({world.sim("Community").string()}));

    auto files = workers.files();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"AIRPORT.BGL", "airport.bgl"}));
    // a, b, c, h, i with their scenery folders, e with statics and statics/deep,
    // f with scenery and _heliports, AFCAD Updates; not aircraft-museum.
    EXPECT_EQ(gf_addonScanProgress().folders, 17);
    EXPECT_EQ(gf_addonScanProgress().airportFiles, 2);
    EXPECT_EQ(runningTasks.load(), 0);
}

TEST(AddonScanTest, WorkersNeverExceedTheLimitAndOneRunsStrictlyAlone) {
    for (const std::int32_t limit : {1, 3}) {
        SCOPED_TRACE(limit);
        ScanWorld world;
        taskLimit = limit;
        WorkerObserver workers(std::chrono::milliseconds(3));
        for (int i = 0; i < 12; ++i) {
            const std::string code = std::string("EA") + static_cast<char>('A' + i) + "A";
            world.airportBgl("Community/p" + std::to_string(i % 3) + "/scenery/" + code + ".bgl", code);
        }
        lf_scanAirports({world.sim("Community").string()});
        EXPECT_EQ(workers.files().size(), 12u);
        EXPECT_EQ(workers.finished(), 12);
        EXPECT_LE(workers.mostAtOnce(), limit);
        if (limit == 1) {
            EXPECT_EQ(workers.mostAtOnce(), 1);
        }
        EXPECT_EQ(runningTasks.load(), 0);
    }
}

// A failing worker is reported and the walk goes on: the ones waited for during
// the walk as "futs inner", the last one in the final wait.
TEST(AddonScanTest, FailingWorkersAreReportedAndTheWalkGoesOn) {
    ScanWorld world;
    taskLimit = 1;
    WorkerObserver workers;
    workers.onStart = [](const fs::path& path) { throw std::runtime_error("cannot decode " + path.filename().string()); };
    for (const std::string code : {"KAAA", "KBBB", "KCCC", "KDDD"}) {
        world.airportBgl("Community/pkg-" + code + "/scenery/" + code + ".bgl", code);
    }
    lf_scanAirports({world.sim("Community").string()});
    const auto report = world.reportFile();
    EXPECT_EQ(workers.finished(), 4);
    EXPECT_EQ(ScanWorld::count(report, "===>  airports search aborted, futs inner, "), 3);
    EXPECT_EQ(ScanWorld::count(report, "cannot decode"), 4);
    EXPECT_EQ(ScanWorld::count(report, "aborted, futs outer error: cannot decode"), 1);
    EXPECT_EQ(runningTasks.load(), 0);
}

// A real worker's failure: the generated file's folder is taken by a file.
TEST(AddonScanTest, RealWorkerFailureReachesTheReportAndTheLog) {
    ScanWorld world;
    world.airportBgl("Community/pkg/scenery/LSGG.bgl", "LSGG");
    fs::remove_all(g_myThirdpartyFolder);
    world.write(g_myThirdpartyFolder.string(), "in the way");
    lf_searchAirportsInFolder(world.sim("Community"));
    EXPECT_TRUE(ScanWorld::has(gf_scanReportLines(), "futs outer error: filesystem error"));
    EXPECT_TRUE(ScanWorld::has(world.log(), "===> Exception in lf_toParkingPositions: "));
    EXPECT_EQ(runningTasks.load(), 0);
}

TEST(AddonScanTest, StopRequestStartsNoFurtherWorkerAndStillWritesTheReport) {
    ScanWorld world;
    taskLimit = 1;
    WorkerObserver workers;
    workers.onStart = [](const fs::path&) { stopRequested = true; };
    for (const std::string code : {"LIAA", "LIBB", "LICC", "LIDD"}) {
        world.airportBgl("Community/pkg-" + code + "/scenery/" + code + ".bgl", code);
    }
    lf_scanAirports({world.sim("Community").string()});
    // The walk may have started the second worker while the first was setting the flag.
    EXPECT_GE(workers.files().size(), 1u);
    EXPECT_LE(workers.files().size(), 2u);
    EXPECT_EQ(workers.finished(), static_cast<int>(workers.files().size()));
    EXPECT_TRUE(fs::exists(world.root() / g_airportsScanLogFile));
    EXPECT_EQ(runningTasks.load(), 0);
}

// The walk fails after workers were started: those workers are still waited for
// before the scan writes and empties the report.
TEST(AddonScanTest, WalkFailureStillWaitsForEveryStartedWorker) {
    ScanWorld world;
    taskLimit = 1;
    // Three package folders; the walk meets them in the order the file system
    // lists them, so the roles are given by that order.
    for (const std::string code : {"ESAA", "ESBB", "ESCC"}) {
        world.airportBgl("Community/" + code + "/" + code + ".bgl", code);
    }
    std::vector<fs::path> order;
    for (const auto& entry : fs::directory_iterator(world.sim("Community"))) order.push_back(entry.path());
    ASSERT_EQ(order.size(), 3u);
    const fs::path last = order[2];
    std::atomic<bool> secondDone{false};
    WorkerObserver workers;
    workers.onStart = [&](const fs::path& path) {
        // The first worker takes the last folder away before the walk, held at the
        // second file by the limit, descends into it.
        if (path.parent_path() == order[0]) fs::remove_all(last);
        if (path.parent_path() == order[1]) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            gf_addScanReport("second worker's line");
            secondDone = true;
        }
    };
    lf_searchAirportsInFolder(world.sim("Community"));
    EXPECT_TRUE(secondDone);
    EXPECT_EQ(runningTasks.load(), 0);
    const auto report = gf_scanReportLines();
    EXPECT_TRUE(ScanWorld::has(report, "aborted because of iterator problem"));
    EXPECT_TRUE(ScanWorld::has(report, "second worker's line"));
}

TEST(AddonScanTest, MissingFoldersAreSkippedWithAWarning) {
    ScanWorld world;
    world.write("sim/Official", "a file, not a folder");
    gf_scanAddonAirports();
    const auto status = gf_nullUiPort().statusLines();
    EXPECT_TRUE(ScanWorld::has(status, world.sim("Official").string() + " is not a folder name, skipped!"));
    EXPECT_TRUE(ScanWorld::has(status, world.sim("Community").string() + " does not exist, skipped!"));
    EXPECT_EQ(status.back(), "Warning: Scan has not found any add-on airports");
    EXPECT_FALSE(SCAN_AIRPORTS.value);
    // The report is written also when nothing was walked.
    EXPECT_TRUE(fs::exists(world.root() / g_airportsScanLogFile));
}

// The report file holds the walk's lines and the workers' lines; the list is
// empty after it was written, and the status line showed the walk's figures.
TEST(AddonScanTest, ReportFileAndProgress) {
    ScanWorld world;
    world.write(g_airportsScanLogFile.string(), "an earlier scan's report\n");
    world.airportBgl("Community/pkg/scenery/LOWW.bgl", "LOWW", 4);
    world.otherBgl("Community/pkg/scenery/objects.bgl");
    gf_scanAddonAirports();
    EXPECT_EQ(world.reportFile(),
              (std::vector<std::string>{"Scanning for addon airports in " + world.sim("Community").string(), "",
                                        "Try find publisher in: " + world.sim("Community/pkg/scenery/LOWW.bgl").string(),
                                        "===> No publisher found", "===> LOWW has 4 parkpos while archived one has 0",
                                        "Generated LOWW.xml: 4 positions"}));
    EXPECT_TRUE(gf_scanReportLines().empty());
    const auto status = gf_nullUiPort().statusLines();
    EXPECT_TRUE(ScanWorld::has(status, "Scanning for addon airports ... 2 folders walked, 1 airport file found"));
    EXPECT_EQ(status.back(), "Airports scan successful: 1 airport file in 2 folders");
}
