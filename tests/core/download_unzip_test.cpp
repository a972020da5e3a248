#include "core/download_unzip.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>

#include "core/log.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "support/http_server.h"
#include "support/temp_folder.h"
#include "support/zip_maker.h"

using clv::test::CurrentFolder;
using clv::test::HttpServer;
using clv::test::makeZip;
using clv::test::readFile;
using clv::test::temporariesBeside;
using clv::test::ScopedEnv;
using clv::test::TempFolder;
namespace fs = std::filesystem;

namespace {

constexpr const char* kServerVariable = "CALVORINTH_SERVER_URL";
// Line ends and a zero byte, which a text conversion would change.
const std::string kDbaseXml = std::string("<?xml version=\"1.0\"?>\r\n<dbase>\n") + std::string(1, '\0') + "</dbase>\n";

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The current folder is a fresh folder; the server is a folder reached by file:// URLs.
class DownloadUnzipTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_openLog(logDir.path());
        savedMsfs2020_ = MSFS_2020.value;
    }
    void TearDown() override {
        MSFS_2020.value = savedMsfs2020_;
        gf_closeLog();
    }
    std::string log() const { return readFile(logDir / "Log.txt"); }
    std::string serverUrl() const { return "file://" + server.path().string() + "/"; }
    // Nothing but the files the test put there is left in the current folder.
    void expectOnlyInWorkFolder(std::initializer_list<const char*> names) const {
        std::set<std::string> expected(names.begin(), names.end()), found;
        for (const auto& entry : fs::directory_iterator(work.path())) found.insert(entry.path().filename().string());
        EXPECT_EQ(found, expected);
    }

    TempFolder logDir, work, server;
    CurrentFolder current{work.path()};
    bool savedMsfs2020_ = true;
};

}  // namespace

TEST_F(DownloadUnzipTest, DownloadUrlNamesTheSimulatorsFolder) {
    ScopedEnv env(kServerVariable, "https://files.example.org/clv");
    struct Case {
        bool msfs2020;
        bool shared;
        const char* url;
    };
    const Case cases[] = {
        {true, false, "https://files.example.org/clv/MSFS/"},
        {true, true, "https://files.example.org/clv/MSFS/"},
        {false, false, "https://files.example.org/clv/MSFS2024/"},
        {false, true, "https://files.example.org/clv/MSFS/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "MSFS_2020 " << c.msfs2020 << ", shared " << c.shared);
        MSFS_2020.value = c.msfs2020;
        EXPECT_EQ(gf_downloadUrl(c.shared), c.url);
    }
}

TEST_F(DownloadUnzipTest, NoServerMeansNoUrlAndOneLogLinePerFetch) {
    ScopedEnv env(kServerVariable, "");
    MSFS_2020.value = false;
    EXPECT_EQ(gf_downloadUrl(false), "");
    EXPECT_EQ(gf_downloadUrl(true), "");

    auto target = work.write("input/temp2.xml", "earlier");
    EXPECT_FALSE(gf_downloadDbase(target));
    EXPECT_FALSE(gf_downloadAndUnzip("AIG-regcodes.zip", work / "input/AIG-regcodes.xml"));
    const std::string text = log();
    EXPECT_EQ(countOf(text, "No download server configured, dbase.zip skipped"), 1) << text;
    EXPECT_EQ(countOf(text, "No download server configured, AIG-regcodes.zip skipped"), 1) << text;
    EXPECT_EQ(countOf(text, "failed"), 0) << text;
    EXPECT_EQ(readFile(target), "earlier");
    expectOnlyInWorkFolder({"input"});
}

TEST_F(DownloadUnzipTest, WritesTheArchivesFileAndRemovesTheArchive) {
    makeZip(server / "dbase.zip", {{"data/", ""}, {"data/dbase.xml", kDbaseXml}});
    makeZip(server / "AIG-regcodes.zip", {{"AIG-regcodes.xml", "<regcodes/>\n"}});
    HttpServer http(server.path());
    const std::string bases[] = {serverUrl(), http.url("")};
    for (const auto& base : bases) {
        SCOPED_TRACE(base);
        ScopedEnv env(kServerVariable, base.c_str());
        auto target = work.write("input/temp2.xml", "an earlier download");
        ASSERT_TRUE(gf_downloadDbase(target)) << log();
        EXPECT_EQ(readFile(target), kDbaseXml);
        ASSERT_TRUE(gf_downloadAndUnzip("AIG-regcodes.zip", work / "input/AIG-regcodes.xml")) << log();
        EXPECT_EQ(readFile(work / "input/AIG-regcodes.xml"), "<regcodes/>\n");
        expectOnlyInWorkFolder({"input"});
    }
    EXPECT_EQ(http.lastUserAgent(), "CLVR");
}

TEST_F(DownloadUnzipTest, BadArchiveLeavesNoTargetAndReportsFailure) {
    ScopedEnv env(kServerVariable, serverUrl().c_str());
    const std::string damaged = "registration table whose bytes get damaged on the way";
    makeZip(server / "damaged.zip", {{"first.xml", "fine"}, {"second.xml", damaged, true}});
    clv::test::damageZipContent(server / "damaged.zip", damaged);
    makeZip(server / "folders.zip", {{"data/", ""}, {"more/", ""}});
    server.write("page.zip", "<html><body>not an archive</body></html>\n");
    server.write("empty.zip", "");
    struct Case {
        const char* archive;
        const char* logged;
    };
    const Case cases[] = {
        {"page.zip", "unzipping page.zip failed?"},
        {"empty.zip", "unzipping empty.zip failed?"},
        {"damaged.zip", "unzipping damaged.zip failed?"},
        {"folders.zip", "unzipping folders.zip failed?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive);
        // A stale file from an earlier fetch must not pass for this one.
        auto target = work.write("input/temp2.xml", "stale content");
        EXPECT_FALSE(gf_downloadAndUnzip(c.archive, target));
        EXPECT_FALSE(fs::exists(target));
        EXPECT_EQ(countOf(log(), c.logged), 1) << log();
        expectOnlyInWorkFolder({"input"});
        EXPECT_TRUE(temporariesBeside(work / "input/temp2.xml").empty());
    }
}

TEST_F(DownloadUnzipTest, MissingArchiveOnServerKeepsTheTarget) {
    ScopedEnv env(kServerVariable, serverUrl().c_str());
    auto target = work.write("input/temp2.xml", "earlier");
    EXPECT_FALSE(gf_downloadDbase(target));
    EXPECT_EQ(countOf(log(), "downloading dbase.zip failed?"), 1) << log();
    EXPECT_EQ(readFile(target), "earlier");
    expectOnlyInWorkFolder({"input"});
}
