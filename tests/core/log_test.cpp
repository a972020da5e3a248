#include "core/log.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "core/stop_flags.h"
#include "support/temp_folder.h"

using clv::test::readFile;
using clv::test::TempFolder;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// 2026-12-09 09:41:44 UTC, a Wednesday.
std::int64_t fixedNow() { return 1796809304; }

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { gf_setClock(&fixedNow); }
    void TearDown() override {
        gf_closeLog();
        gf_setClock(nullptr);
        stopRequested = false;
        userClosedWindow = false;
    }
    TempFolder dir;
};

const char* kHeader = "Wed Dec 09 09:41:44 2026 (utc) Calvorinth version 10.10.9 for MSFS 2020/2024";

}  // namespace

TEST_F(LogTest, FirstStartCreatesLogWithHeaderAndNoCopies) {
    gf_openLog(dir.path());
    EXPECT_EQ(readFile(dir / "Log.txt"), std::string(kHeader) + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "Log0.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "Log00.txt"));
}

TEST_F(LogTest, RotationKeepsTwoPreviousLogs) {
    dir.write("Log.txt", "newest run\n");
    dir.write("Log0.txt", "older run\n");
    dir.write("Log00.txt", "oldest run\n");
    gf_openLog(dir.path());
    EXPECT_EQ(dir.read("Log00.txt"), "older run\n");
    EXPECT_EQ(dir.read("Log0.txt"), "newest run\n");
    EXPECT_EQ(dir.read("Log.txt"), std::string(kHeader) + "\n");
}

TEST_F(LogTest, RotateFileIgnoresPathsWithoutDot) {
    dir.write("README", "x");
    gf_rotateFile(dir.path() / "README");  // the folder name holds no dot either
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(LogTest, WritersPrefixAndStopFlagsSilenceOnlyIfRunning) {
    gf_openLog(dir.path());
    gf_log("plain");
    gf_logMarked("");
    gf_logMarked("warn {}", 3);
    gf_logIndented("under");
    gf_logIfRunning("running");
    stopRequested = true;
    gf_logIfRunning("dropped while stopping");
    gf_log("still written");
    stopRequested = false;
    userClosedWindow = true;
    gf_logIfRunning("dropped after close");
    gf_logMarked("marked still written");

    auto got = lines(dir.read("Log.txt"));
    std::vector<std::string> want{kHeader,       "plain",         "===> ",
                                  "===> warn 3", "          under", "running",
                                  "still written", "===> marked still written"};
    EXPECT_EQ(got, want);
}

TEST_F(LogTest, WritersDoNothingWhileClosedAndCloseWritesDateLine) {
    gf_log("before open");  // must not crash or create anything
    gf_openLog(dir.path());
    gf_closeLog();
    gf_log("after close");
    EXPECT_EQ(lines(dir.read("Log.txt")), (std::vector<std::string>{kHeader, "Wed Dec 09 09:41:44 2026"}));
}

TEST_F(LogTest, OpenFailsWhenLogCannotBeCreated) {
    std::filesystem::create_directory(dir / "Log.txt");  // a folder where the file should be
    try {
        gf_openLog(dir.path());
        FAIL() << "expected an error";
    } catch (const std::exception& e) {
        // Either the rotation's copy or the open itself refuses; both name the path.
        EXPECT_NE(std::string(e.what()).find("Log.txt"), std::string::npos) << e.what();
    }
}

TEST_F(LogTest, EightThreadsWriteWholeLines) {
    gf_openLog(dir.path());
    constexpr int kThreads = 8;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) gf_logMarked("thread {} line {} {}", t, i, std::string(40, 'a' + t));
        });
    }
    for (auto& th : threads) th.join();

    auto got = lines(dir.read("Log.txt"));
    ASSERT_EQ(got.size(), 1u + kThreads * kLines);
    std::regex whole("===> thread ([0-7]) line ([0-9]+) ([a-h]{40})");
    std::vector<int> next(kThreads, 0);
    for (size_t i = 1; i < got.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(got[i], m, whole)) << got[i];
        int t = std::stoi(m[1]);
        EXPECT_EQ(m[3].str(), std::string(40, static_cast<char>('a' + t)));
        EXPECT_EQ(std::stoi(m[2]), next[t]++) << "lines of one thread keep their order";
    }
}

TEST_F(LogTest, LinesHeldOnAThreadAreWrittenWhereTheyAreLetGo) {
    gf_openLog(dir.path());
    std::vector<std::string> held;
    std::thread worker([&] {
        const clv::LogHold hold(held);
        gf_log("worker plain");
        gf_logMarked("worker {}", "marked");
        {
            std::vector<std::string> inner;
            const clv::LogHold innerHold(inner);
            gf_logIndented("inner");
            EXPECT_EQ(inner, std::vector<std::string>{"          inner"});
        }
        gf_logIndented("worker indented");
    });
    worker.join();
    gf_log("run thread");  // not held: the hold is the worker's
    gf_logLines(held);
    gf_log("after");
    const std::vector<std::string> want{kHeader, "run thread", "worker plain", "===> worker marked",
                                        "          worker indented", "after"};
    EXPECT_EQ(lines(dir.read("Log.txt")), want);
}
