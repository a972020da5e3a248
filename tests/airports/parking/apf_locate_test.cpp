#include "airports/parking/apf_locate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "airports/airport_world.h"

using namespace clv::test;
using Reply = HttpServer::Reply;
namespace fs = std::filesystem;

namespace {

class ApfLocateTest : public AirportsTest {
protected:
    void SetUp() override {
        AirportsTest::SetUp();
        MSFS_2020.value = true;
    }
    // The request targets the server saw, in order.
    std::vector<std::string> targets() const {
        std::vector<std::string> found;
        for (const std::string& line : server.requestLines()) {
            const auto first = line.find(' ');
            found.push_back(line.substr(first + 1, line.rfind(' ') - first - 1));
        }
        return found;
    }
};

TEST_F(ApfLocateTest, FileNameHelpers) {
    EXPECT_EQ(gf_xmlFileName("EHAM"), "EHAM.xml");
    EXPECT_EQ(gf_xmlFilePath("EHAM"), fs::path("EHAM.xml"));
    EXPECT_EQ(gf_txtFilePath("EHAM"), fs::path("EHAM.txt"));
    EXPECT_EQ(gf_pathText(fs::path("airports") / "my_thirdparty" / "LOWI.xml"), "airports/my_thirdparty/LOWI.xml");
    EXPECT_EQ(lf_readApfErrorText("{}: {}", "bad file"), "gf_readApf: bad file");
    EXPECT_EQ(gf_formatNameMessage("{} said {}", "lf_readLearned", "no"), "lf_readLearned said no");
}

TEST_F(ApfLocateTest, PathPrecedence) {
    const std::string link = "archive/thirdparty/Abc%20Def/LOWI.xml";
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;  // relative path, content
        bool stockOnServer;
        std::string path;    // gf_apfPath
        bool exists;         // gf_apfExists
    };
    const Case cases[] = {
        {"my_thirdparty link before its file",
         {{"airports/my_thirdparty/LOWI.txt", link + "\r\n"}, {"airports/my_thirdparty/LOWI.xml", "x"},
          {"airports/ra_vudovodo/LOWI.txt", "archive/other.xml"}},
         true, link, true},
        {"my_thirdparty file before ra_vudovodo",
         {{"airports/my_thirdparty/LOWI.xml", "x"}, {"airports/ra_vudovodo/LOWI.txt", "archive/other.xml"}},
         true, "airports/my_thirdparty/LOWI.xml", true},
        {"an empty link falls through to the file",
         {{"airports/my_thirdparty/LOWI.txt", ""}, {"airports/my_thirdparty/LOWI.xml", "x"}}, false,
         "airports/my_thirdparty/LOWI.xml", true},
        {"an empty link alone still counts as a file",
         {{"airports/my_thirdparty/LOWI.txt", ""}}, false, "", true},
        {"ra_vudovodo link before its file",
         {{"airports/ra_vudovodo/LOWI.txt", "archive/simaddon/LOWI.xml  \n"}, {"airports/ra_vudovodo/LOWI.xml", "x"}},
         true, "archive/simaddon/LOWI.xml", true},
        {"ra_vudovodo file", {{"airports/ra_vudovodo/LOWI.xml", "x"}}, true, "airports/ra_vudovodo/LOWI.xml", true},
        {"the stock archive last", {}, true, "archive/stock/LOWI.xml", true},
        {"nowhere", {}, false, "", false},
        {"a link without the letter l names no file", {{"airports/ra_vudovodo/LOWI.txt", "archive/x.zip\n"}}, false,
         "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(work / "airports/my_thirdparty");
        fs::remove_all(work / "airports/ra_vudovodo");
        fs::create_directories(work / "airports/my_thirdparty");
        fs::create_directories(work / "airports/ra_vudovodo");
        for (const auto& [relative, content] : c.files) work.write(relative, content);
        server.setReply("/MSFS/archive/stock/LOWI.xml", c.stockOnServer ? Reply{200, "<stock/>"} : Reply{404, "no"});
        EXPECT_EQ(gf_apfPath("LOWI"), c.path);
        EXPECT_EQ(gf_apfExists("LOWI"), c.exists);
        // The stock probe's file never stays.
        expectNothingLeftBehind();
    }
}

TEST_F(ApfLocateTest, LinkTextEndsAtItsLastLetterL) {
    struct Case {
        std::string content;
        bool read;
        std::string text;
    };
    const Case cases[] = {
        {"archive/thirdparty/Abc%20Def/LOWI.xml\n", true, "archive/thirdparty/Abc%20Def/LOWI.xml"},
        {"archive/stock/LOWI.xml \r\n\r\n", true, "archive/stock/LOWI.xml"},
        {"archive/stock/LOWI.xm", true, ""},
        {"", false, "untouched"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        const fs::path path = work.write("link.txt", c.content);
        std::string text = "untouched";
        EXPECT_EQ(lf_readApfLink(path, text), c.read);
        EXPECT_EQ(text, c.text);
    }
    std::string text = "untouched";
    EXPECT_FALSE(lf_readApfLink(work / "missing.txt", text));
    EXPECT_EQ(text, "untouched");
}

TEST_F(ApfLocateTest, CodesThatCouldLeaveTheFolderNameNoFile) {
    work.write("airports/secret.xml", "x");
    for (const char* code : {"", "..", ".", "../secret", "a/b", "a\\b"}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(gf_apfPath(code), "");
        EXPECT_FALSE(gf_apfExists(code));
        EXPECT_FALSE(gf_downloadStockApf(code));
    }
    EXPECT_TRUE(server.requestLines().empty());
}

TEST_F(ApfLocateTest, FetchesBelowTheRightFolderWithTheTargetAsWritten) {
    server.setReply("/MSFS/archive/stock/EHAM.xml", {200, "stock file"});
    server.setReply("/MSFS/archive/simaddon/EHAM.xml", {200, "simaddon file"});
    server.setReply("/MSFS/archive/thirdparty/Abc%20Def/LOWI.xml", {200, "2020 file"});
    server.setReply("/MSFS2024/archive/thirdparty/Abc%20Def/LOWI.xml", {200, "2024 file"});
    struct Case {
        bool msfs2020;
        std::string path;
        std::string body;
    };
    const Case cases[] = {
        {false, "archive/stock/EHAM.xml", "stock file"},
        {false, "archive/simaddon/EHAM.xml", "simaddon file"},
        {false, "archive/thirdparty/Abc%20Def/LOWI.xml", "2024 file"},
        {true, "archive/thirdparty/Abc%20Def/LOWI.xml", "2020 file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        MSFS_2020.value = c.msfs2020;
        EXPECT_EQ(lf_downloadApf(c.path, work / "airports/park_airport.xml"), "");
        EXPECT_EQ(readFile(work / "airports/park_airport.xml"), c.body);
    }
    EXPECT_EQ(targets(), (std::vector<std::string>{"/MSFS/archive/stock/EHAM.xml", "/MSFS/archive/simaddon/EHAM.xml",
                                                   "/MSFS2024/archive/thirdparty/Abc%20Def/LOWI.xml",
                                                   "/MSFS/archive/thirdparty/Abc%20Def/LOWI.xml"}));
    EXPECT_EQ(server.lastUserAgent(), "CLVR");
}

TEST_F(ApfLocateTest, AFailedFetchLeavesNoFileAndSaysWhichUrl) {
    // An earlier copy of the park airport's file is not to pass for the new one.
    gf_setDownloadTimeouts({std::chrono::milliseconds(2000), 1, std::chrono::seconds(1)});
    const std::string body(64 * 1024, 'x');
    server.setReply("/MSFS/archive/stock/E404.xml", {404, "missing"});
    server.setReply("/MSFS/archive/stock/E500.xml", {500, "broken"});
    server.setReply("/MSFS/archive/stock/HALF.xml", {200, body, {}, Reply::Kind::CloseMidBody});
    server.setReply("/MSFS/archive/stock/MUTE.xml", {200, "", {}, Reply::Kind::Silent});
    for (const char* code : {"E404", "E500", "HALF", "MUTE"}) {
        SCOPED_TRACE(code);
        const std::string path = std::string("archive/stock/") + code + ".xml";
        const std::string url = server.url("MSFS/" + path);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(lf_downloadApf(path, work / "airports/neighbour.xml"), "failed to download: \"" + url + "\"");
        // The low-speed limit ends a server that never answers (1 s here); far below the test's own limit.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
        EXPECT_TRUE(logHas("failed to download: \"" + url + "\""));
        EXPECT_FALSE(fs::exists(work / "airports/neighbour.xml"));
        EXPECT_TRUE(temporariesBeside(work / "airports/neighbour.xml").empty());
        EXPECT_FALSE(gf_downloadStockApf(code));
        expectNothingLeftBehind();
    }
}

TEST_F(ApfLocateTest, ASlowServerIsWaitedForUntilTheLowSpeedLimit) {
    gf_setDownloadTimeouts({std::chrono::milliseconds(2000), 1, std::chrono::seconds(1)});
    server.setReply("/MSFS/archive/stock/SLOW.xml", {200, "slow file", std::chrono::milliseconds(300)});
    server.setReply("/MSFS/archive/stock/STUK.xml", {200, "too late", std::chrono::milliseconds(4000)});
    EXPECT_EQ(lf_downloadApf("archive/stock/SLOW.xml", work / "airports/park_airport.xml"), "");
    EXPECT_EQ(readFile(work / "airports/park_airport.xml"), "slow file");
    EXPECT_NE(lf_downloadApf("archive/stock/STUK.xml", work / "airports/neighbour.xml"), "");
    EXPECT_FALSE(fs::exists(work / "airports/neighbour.xml"));
}

TEST_F(ApfLocateTest, WithoutAServerOnlyLocalFilesAreFound) {
    ScopedEnv noServer(kServerVariable, "");
    work.write("airports/ra_vudovodo/LOWI.xml", "x");
    EXPECT_EQ(gf_apfPath("LOWI"), "airports/ra_vudovodo/LOWI.xml");
    EXPECT_EQ(gf_apfPath("EHAM"), "");
    EXPECT_FALSE(gf_apfExists("EHAM"));
    EXPECT_EQ(lf_downloadApf("archive/stock/EHAM.xml", work / "airports/park_airport.xml"),
              "failed to download: \"archive/stock/EHAM.xml\"");
    EXPECT_TRUE(logHas("No download server configured, airport files of the server skipped"));
    expectNothingLeftBehind();
}

TEST_F(ApfLocateTest, ClosestStand) {
    const clv::LatLon user{47.0, 8.0};
    std::string name = "before";
    // No file anywhere.
    EXPECT_EQ(gf_readDestApfForClosestStand("NONE", user, name), 100.0);
    EXPECT_EQ(name, "before");
    // A local file: of two equally near stands the first wins.
    work.write("airports/my_thirdparty/LOCL.xml",
               apfWithStands({{"B2", 47.0, 8.04}, {"A1", 47.02, 8.0}, {"C3", 47.02, 8.0}}));
    const double d = gf_readDestApfForClosestStand("LOCL", user, name);
    EXPECT_EQ(name, "A1");
    EXPECT_NEAR(d, 1.2, 1e-9);
    // Stands farther than 100 nm leave the name alone.
    name = "before";
    work.write("airports/my_thirdparty/FARR.xml", apfWithStands({{"F1", 50.0, 8.0}}));
    EXPECT_EQ(gf_readDestApfForClosestStand("FARR", user, name), 100.0);
    EXPECT_EQ(name, "before");
    // A file without parkpositions, and one that is no XML.
    work.write("airports/my_thirdparty/NOPP.xml", "<?xml version=\"1.0\"?>\n<meta />\n");
    work.write("airports/my_thirdparty/BROK.xml", "<parkpositions><parkpos");
    EXPECT_EQ(gf_readDestApfForClosestStand("NOPP", user, name), 100.0);
    EXPECT_EQ(gf_readDestApfForClosestStand("BROK", user, name), 100.0);
    EXPECT_EQ(name, "before");
    // A served file is kept as airport.xml; a broken served one is removed.
    server.setReply("/MSFS/archive/stock/SRVD.xml", {200, apfWithStands({{"S1", 47.01, 8.0}})});
    EXPECT_NEAR(gf_readDestApfForClosestStand("SRVD", user, name), 0.6, 1e-9);
    EXPECT_EQ(name, "S1");
    EXPECT_TRUE(fs::exists(work / "airport.xml"));
    server.setReply("/MSFS/archive/stock/SRVD.xml", {200, "<parkpositions"});
    EXPECT_EQ(gf_readDestApfForClosestStand("SRVD", user, name), 100.0);
    expectNothingLeftBehind();
}

}  // namespace
