#include "core/downloader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/log.h"
#include "core/stop_flags.h"
#include "support/http_server.h"
#include "support/temp_folder.h"

using clv::Downloader;
using clv::Version;
using clv::test::CurrentFolder;
using clv::test::HttpServer;
using clv::test::occurrences;
using clv::test::readFile;
using clv::test::temporariesBeside;
using clv::test::ScopedEnv;
using clv::test::TempFolder;
namespace fs = std::filesystem;

namespace {

// Bytes a text-mode or line-ending conversion would change, and a zero byte.
const std::string kPayload = std::string("PK\x03\x04 line one\r\nline two\n") + std::string(1, '\0') + "end";

std::string fileUrl(const fs::path& path) { return "file://" + path.string(); }

class DownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_openLog(logDir.path());
        served.write("data/file.bin", kPayload);
    }
    void TearDown() override {
        gf_closeLog();
        stopRequested = false;
        userClosedWindow = false;
    }
    std::string log() const { return readFile(logDir / "Log.txt"); }
    // A target that already holds an earlier, good download.
    fs::path existingTarget() const { return out.write("target.bin", "earlier good content"); }

    TempFolder logDir, served, out;
};

}  // namespace

TEST_F(DownloaderTest, CopiesBytesExactlyOverFileAndHttp) {
    HttpServer server(served.path());
    const std::string urls[] = {fileUrl(served / "data/file.bin"), server.url("data/file.bin")};
    for (const auto& url : urls) {
        SCOPED_TRACE(url);
        for (bool binary : {true, false}) {
            auto target = existingTarget();
            Downloader downloader;
            ASSERT_TRUE(downloader.download(url, target, binary)) << downloader.lastError();
            EXPECT_EQ(readFile(target), kPayload);
            EXPECT_TRUE(downloader.lastError().empty());
            EXPECT_TRUE(temporariesBeside(out / "target.bin").empty());
        }
    }
    EXPECT_EQ(server.lastUserAgent(), "CLVR");
}

TEST_F(DownloaderTest, FailedTransferLeavesExistingTargetUntouched) {
    HttpServer server(served.path());
    HttpServer truncating(served.path(), HttpServer::Mode::Truncated);
    HttpServer refused(served.path());
    const std::string refusedUrl = refused.url("data/file.bin");
    refused.stop();  // nothing listens on its port any more
    struct Case {
        const char* what;
        std::string url;
    };
    const Case cases[] = {
        {"http 404", server.url("data/missing.bin")},
        {"http path outside the folder", server.url("../etc/passwd")},
        {"answer cut short", truncating.url("data/file.bin")},
        {"connection refused", refusedUrl},
        {"missing local file", fileUrl(served / "data/missing.bin")},
        {"malformed url", "htp:/nothing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto target = existingTarget();
        Downloader downloader;
        EXPECT_FALSE(downloader.download(c.url, target, true));
        EXPECT_EQ(readFile(target), "earlier good content");
        EXPECT_TRUE(temporariesBeside(out / "target.bin").empty());
        EXPECT_FALSE(downloader.lastError().empty());
    }
}

TEST_F(DownloaderTest, ServerThatNeverAnswersEndsAtTheLowSpeedLimit) {
    HttpServer silent(served.path(), HttpServer::Mode::Silent);
    auto target = existingTarget();
    Downloader downloader;
    downloader.timeouts.connect = std::chrono::milliseconds(1000);
    downloader.timeouts.lowSpeedTime = std::chrono::seconds(1);
    EXPECT_FALSE(downloader.download(silent.url("data/file.bin"), target, true));
    EXPECT_EQ(readFile(target), "earlier good content");
    EXPECT_EQ(silent.requestCount(), 1);
}

TEST_F(DownloaderTest, NewDownloadersTakeTheProcessWideTimeouts) {
    const auto saved = gf_downloadTimeouts();
    clv::DownloadTimeouts shortLimits;
    shortLimits.lowSpeedTime = std::chrono::seconds(1);
    gf_setDownloadTimeouts(shortLimits);
    Downloader downloader;
    gf_setDownloadTimeouts(saved);
    EXPECT_EQ(downloader.timeouts.lowSpeedTime, std::chrono::seconds(1));
    EXPECT_EQ(Downloader().timeouts.lowSpeedTime, saved.lowSpeedTime);
}

TEST_F(DownloaderTest, RequestedStopAbortsTheTransfer) {
    HttpServer server(served.path());
    auto target = existingTarget();
    stopRequested = true;
    Downloader downloader;
    EXPECT_FALSE(downloader.download(server.url("data/file.bin"), target, true));
    EXPECT_EQ(readFile(target), "earlier good content");
}

TEST_F(DownloaderTest, WithoutHandleOrWritableTargetNothingIsFetched) {
    Downloader none(nullptr);
    EXPECT_FALSE(none.download(fileUrl(served / "data/file.bin"), out / "a.bin", true));
    EXPECT_FALSE(fs::exists(out / "a.bin"));

    Downloader downloader;
    const auto unwritable = out / "no-such-folder" / "a.bin";
    EXPECT_FALSE(downloader.download(fileUrl(served / "data/file.bin"), unwritable, true));
    EXPECT_NE(log().find("could not open output file: " + unwritable.string() + "\n"), std::string::npos);
}

TEST_F(DownloaderTest, CallersHandleServesSeveralDownloads) {
    clv::CurlHandle handle;
    ASSERT_TRUE(handle);
    Downloader downloader(handle.get());
    EXPECT_TRUE(downloader.download(fileUrl(served / "data/file.bin"), out / "a.bin", true));
    EXPECT_FALSE(downloader.download(fileUrl(served / "data/missing.bin"), out / "b.bin", true));
    EXPECT_TRUE(downloader.download(fileUrl(served / "data/file.bin"), out / "c.bin", true));
    EXPECT_EQ(readFile(out / "c.bin"), kPayload);
    EXPECT_FALSE(fs::exists(out / "b.bin"));
}

TEST_F(DownloaderTest, VersionFileIsReadAndRemoved) {
    served.write("release/version.json", "{\"major\": 10, \"minor\": 11, \"patch\": 0}\r\n");
    served.write("dotted/version.json", "10.10.9\nignored second line\n");
    served.write("empty/version.json", "");
    served.write("bad/version.json", "<html>Moved</html>\n");
    HttpServer server(served.path());
    CurrentFolder inOut(out.path());
    struct Case {
        const char* path;
        Version expected;
    };
    const Case cases[] = {
        {"release/version.json", {10, 11, 0}},
        {"dotted/version.json", {10, 10, 9}},
        {"empty/version.json", {0, 0, 0}},
        {"bad/version.json", {0, 0, 0}},
        {"missing/version.json", {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Downloader downloader;
        EXPECT_EQ(downloader.downloadVersion(server.url(c.path)), c.expected);
        EXPECT_FALSE(fs::exists(out / "version.json"));
        EXPECT_TRUE(temporariesBeside(out / "version.json").empty());
    }
    const std::string failedLine = "downloading \"" + server.url("missing/version.json") + "\" failed\n";
    EXPECT_NE(log().find(failedLine), std::string::npos);
}

TEST_F(DownloaderTest, ServerBaseUrlComesFromTheEnvironment) {
    {
        ScopedEnv env("CALVORINTH_SERVER_URL", "https://downloads.example.org/clv");
        EXPECT_EQ(gf_serverBaseUrl(), "https://downloads.example.org/clv/");
        EXPECT_TRUE(gf_serverConfigured());
        EXPECT_TRUE(gf_requireServer("the update check"));
    }
    {
        ScopedEnv env("CALVORINTH_SERVER_URL", "http://127.0.0.1:8080/files/");
        EXPECT_EQ(gf_serverBaseUrl(), "http://127.0.0.1:8080/files/");
    }
    {
        // Set but empty: no server, whatever the build says.
        ScopedEnv env("CALVORINTH_SERVER_URL", "");
        EXPECT_EQ(gf_serverBaseUrl(), "");
        EXPECT_FALSE(gf_serverConfigured());
        EXPECT_FALSE(gf_requireServer("the update check"));
        EXPECT_FALSE(gf_requireServer("the dbase download"));
    }
    // One line per skipped check, none while a server is set.
    const std::string text = log();
    EXPECT_NE(text.find("\nNo download server configured, the update check skipped\n"), std::string::npos);
    EXPECT_NE(text.find("\nNo download server configured, the dbase download skipped\n"), std::string::npos);
    EXPECT_EQ(occurrences(text, "No download server configured"), 2);
}
