// The walk of one livery folder on worker threads.
#include "liveries/livery_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/files.h"
#include "core/workers.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_check.h"
#include "liveries/livery_scan.h"
#include "scan_fixture.h"

namespace fs = std::filesystem;
using clv::test::FolderRightsDropped;
using clv::test::ScanEnvironment;

namespace {

void walkWriteCfg(const fs::path& path, const std::string& title) {
    fs::create_directories(path.parent_path());
    gf_writeTextFile("[GENERAL]\nicao_type_designator = A320\n[fltsim.0]\ntitle = " + title + "\nicao_airline = DLH\n",
                     path, false);
}

std::vector<std::string> listTitles() {
    std::vector<std::string> titles;
    for (const auto& livery : liveryList) titles.push_back(livery.title);
    return titles;
}

// The titles of the aircraft.cfg files in the order a walk meets them: files
// are named after their title's folder.
std::vector<std::string> titlesInWalkOrder(const fs::path& folder) {
    std::vector<std::string> titles;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().filename() == "aircraft.cfg") titles.push_back(entry.path().parent_path().filename().string());
    }
    return titles;
}

}  // namespace

TEST(LiveryWalk, FindsAircraftCfgFilesOnly) {
    ScanEnvironment environment;
    const fs::path root = environment.root() / "walk";
    walkWriteCfg(root / "a/Aircraft.CFG", "upper case name");
    walkWriteCfg(root / "b/aircraft.cfg", "plain name");
    walkWriteCfg(root / "c/aircraft.cfg.bak", "backup");
    walkWriteCfg(root / "d/aircraft_cfg", "wrong name");
    walkWriteCfg(root / "my-airport-pack/x/aircraft.cfg", "below an airport");
    walkWriteCfg(root / "inibuilds-a310/aircraft.cfg", "in a skipped folder");
    fs::create_directories(root / "e");
    fs::create_symlink(root / "e/missing.cfg", root / "e/aircraft.cfg");  // a link to nothing
    const std::string deep(240, 'x');
    walkWriteCfg(root / deep / "y/aircraft.cfg", "below a long path");
    taskLimit = 4;
    lf_findAircraftCfgs(5, root);
    auto titles = listTitles();
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"plain name", "upper case name"}));
    for (const auto& livery : liveryList) EXPECT_EQ(livery.priority, 5);
    EXPECT_EQ(runningTasks.load(), 0);
    for (const auto& line : environment.logLines()) EXPECT_EQ(line.find("aborted"), std::string::npos) << line;
}

TEST(LiveryWalk, LiveryFolderWithASkippedWordIsReadOnlyAtItsTop) {
    ScanEnvironment environment;
    const fs::path root = environment.root() / "airport-liveries";
    walkWriteCfg(root / "aircraft.cfg", "top");
    walkWriteCfg(root / "sub/aircraft.cfg", "below");
    lf_findAircraftCfgs(1, root);
    EXPECT_EQ(listTitles(), std::vector<std::string>{"top"});
}

TEST(LiveryWalk, EmptyFolderAddsNothing) {
    ScanEnvironment environment;
    fs::create_directories(environment.root() / "empty/sub");
    lf_findAircraftCfgs(1, environment.root() / "empty");
    EXPECT_TRUE(liveryList.empty());
    EXPECT_EQ(runningTasks.load(), 0);
}

// Liveries reach the list in the order the files were found, whatever the limit.
TEST(LiveryWalk, ResultsInTheOrderTheFilesWereFound) {
    for (std::int32_t limit : {1, 4, 64}) {
        SCOPED_TRACE(limit);
        ScanEnvironment environment;
        const fs::path root = environment.root() / "many";
        for (int i = 0; i < 10; ++i) walkWriteCfg(root / fmt::format("L{:02}", i) / "aircraft.cfg", fmt::format("L{:02}", i));
        taskLimit = limit;
        lf_findAircraftCfgs(1, root);
        EXPECT_EQ(listTitles(), titlesInWalkOrder(root));
        EXPECT_EQ(runningTasks.load(), 0);
    }
}

TEST(LiveryWalk, AFailingTaskLosesOnlyItsOwnFile) {
    ScanEnvironment environment;
    const fs::path root = environment.root() / "tasks";
    walkWriteCfg(root / "good1/aircraft.cfg", "good one");
    fs::create_directories(root / "bad");
    // A base_container value too short for its folder prefix ends the task.
    gf_writeTextFile("[fltsim.0]\ntitle = bad\nbase_container = ab\n", root / "bad/aircraft.cfg", false);
    walkWriteCfg(root / "good2/aircraft.cfg", "good two");
    for (std::int32_t limit : {1, 8}) {
        liveryList.clear();
        lf_clearScanLists();
        taskLimit = limit;
        lf_findAircraftCfgs(1, root);
        auto titles = listTitles();
        std::sort(titles.begin(), titles.end());
        EXPECT_EQ(titles, (std::vector<std::string>{"good one", "good two"}));
        EXPECT_EQ(runningTasks.load(), 0);
    }
    const auto lines = environment.logLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("===> liveries search aborted, futs ");
    }));
}

// A subfolder that cannot be read is skipped and named with the reason in words;
// the walk goes on with the rest of the package, in the order the files were found.
TEST(LiveryWalk, UnreadableFolderIsSkippedAndReported) {
    ScanEnvironment environment;
    const fs::path root = environment.root() / "locked";
    for (int i = 0; i < 12; ++i) walkWriteCfg(root / fmt::format("L{:02}", i) / "aircraft.cfg", fmt::format("L{:02}", i));
    // The closed folder goes into a folder the walk meets in the middle, so that
    // files come before and after it.
    const std::vector<std::string> order = titlesInWalkOrder(root);
    const fs::path locked = root / order[5] / "closed";
    walkWriteCfg(locked / "aircraft.cfg", "behind a closed door");
    fs::permissions(locked, fs::perms::none);
    {
        FolderRightsDropped rights;
        std::error_code ec;
        fs::directory_iterator probe(locked, ec);
        if (!ec) {
            fs::permissions(locked, fs::perms::owner_all);
            GTEST_SKIP() << "this user reads every folder";
        }
        for (std::int32_t limit : {1, 64}) {
            SCOPED_TRACE(limit);
            liveryList.clear();
            lf_clearScanLists();
            taskLimit = limit;
            lf_findAircraftCfgs(1, root);
            EXPECT_EQ(listTitles(), order);
            EXPECT_EQ(unreadableFolderList.lines(),
                      std::vector<std::string>{locked.string() + " cannot be read: Permission denied"});
            EXPECT_EQ(runningTasks.load(), 0);
        }
    }
    fs::permissions(locked, fs::perms::owner_all);
    for (const auto& line : environment.logLines()) EXPECT_EQ(line.find("aborted"), std::string::npos) << line;
}

// A livery folder that cannot be read at all is reported the same way, with the
// iterator line in the log.
TEST(LiveryWalk, UnreadableLiveryFolderIsReported) {
    ScanEnvironment environment;
    const fs::path root = environment.root() / "closed";
    walkWriteCfg(root / "a/aircraft.cfg", "A");
    fs::permissions(root, fs::perms::none);
    {
        FolderRightsDropped rights;
        std::error_code ec;
        fs::directory_iterator probe(root, ec);
        if (!ec) {
            fs::permissions(root, fs::perms::owner_all);
            GTEST_SKIP() << "this user reads every folder";
        }
        lf_findAircraftCfgs(1, root);
    }
    fs::permissions(root, fs::perms::owner_all);
    EXPECT_TRUE(liveryList.empty());
    EXPECT_EQ(unreadableFolderList.lines(), std::vector<std::string>{root.string() + " cannot be read: Permission denied"});
    EXPECT_TRUE(environment.logged("===> liveries search in folder " + root.string() +
                                   " aborted because of iterator problem: Permission denied"));
}
