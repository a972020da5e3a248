#include "liveries/regcodes.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/files.h"
#include "dbase_fixture.h"

namespace fs = std::filesystem;
using clv::RegcodeEntry;
using clv::test::aigFixture;
using clv::test::CurrentFolder;
using clv::test::FileServer;
using clv::test::LogCapture;
using clv::test::readFile;
using clv::test::TempFolder;

namespace {

using Strings = std::vector<std::string>;

constexpr const char* kFolderErrors =
    "There were errors in processing the regcode files in folder \"input/my_regcodes\", see the Log.txt";

Strings lines(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    Strings out;
    gf_readLines(in, out);
    return out;
}

void resetRegcodes() {
    gf_clearRegcodes();
    dontUseTitles.clear();
    regcodeReport.clear();
}

// ---- the line rules of the user's files ------------------------------------------

TEST(RegcodeLineTest, LineRules) {
    const struct {
        const char* line;
        bool ok;
        std::optional<RegcodeEntry> entry;
    } cases[] = {
        {"", true, std::nullopt},
        {"   ", true, std::nullopt},
        {"A320 Lufthansa", true, RegcodeEntry{"A320 Lufthansa", {}, false}},  // title only: don't use
        {"A320 Lufthansa;D-AIBL", true, RegcodeEntry{"A320 Lufthansa", {"D-AIBL"}, true}},
        {"A320 Lufthansa;D-AIBL;x", true, RegcodeEntry{"A320 Lufthansa", {"D-AIBL"}, true}},
        {"A320 Lufthansa;D-AIBL,D-AIBL", true, RegcodeEntry{"A320 Lufthansa", {"D-AIBL"}, true}},
        {"A320 Lufthansa;D-AIBL,D-AIBC", true, RegcodeEntry{"A320 Lufthansa", {"D-AIBC", "D-AIBL"}, false}},
        {" A320 Lufthansa ; D-AIBL , D-AIBC ; # ", true, RegcodeEntry{"A320 Lufthansa", {"D-AIBC", "D-AIBL"}, true}},
        {"A320 Lufthansa;D-AIBL,D-AIBC;x", true, RegcodeEntry{"A320 Lufthansa", {"D-AIBC", "D-AIBL"}, false}},
        {"A320 Lufthansa;", true, std::nullopt},  // no registration
        {"A320 Lufthansa;DA", false, std::nullopt},  // too short
        {"A320 Lufthansa;DA,D-AIBL", false, RegcodeEntry{"A320 Lufthansa", {"D-AIBL"}, false}},
        {"A320 Lufthansa;ABC", true, RegcodeEntry{"A320 Lufthansa", {"ABC"}, true}},
        {"A320 Lufthansa;ABCDEFGHIJKL", true, RegcodeEntry{"A320 Lufthansa", {"ABCDEFGHIJKL"}, true}},
        {"A320 Lufthansa;ABCDEFGHIJKLM", false, std::nullopt},  // too long
        {"A320 Lufthansa;D-AIBL;#;extra", false, std::nullopt},  // four fields
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<RegcodeEntry> entries;
        EXPECT_EQ(gf_readRegcodeFile("f.txt", c.line, entries), c.ok);
        if (!c.entry) {
            EXPECT_TRUE(entries.empty());
            continue;
        }
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].title, c.entry->title);
        EXPECT_EQ(entries[0].registrations, c.entry->registrations);
        EXPECT_EQ(entries[0].special, c.entry->special);
    }
}

TEST(RegcodeLineTest, ProblemsAreLogged) {
    LogCapture log;
    std::vector<RegcodeEntry> entries;
    gf_readRegcodeFile("my.txt", "A320 Lufthansa;DA", entries);
    gf_readRegcodeFile("my.txt", "A;B;C;D", entries);
    EXPECT_EQ(log.lines(), (Strings{"===> wrong regcode length \"DA\" in my.txt", "my.txt ; regs empty? ",
                                    "===> my.txt: wrong format \"A;B;C;D\""}));
}

// ---- files ------------------------------------------------------------------------

TEST(RegcodeFileTest, FolderReadsTextFilesInNameOrder) {
    TempFolder dir;
    LogCapture log;
    dir.write("my_regcodes/b.TXT", "Title B;D-BBBB\r\nTitle Bad;B\r\n");
    // UTF-16 little endian with its byte-order mark, as Windows editors save it.
    const std::u16string wide = u"Title A;D-AAAA\r\nTitle Ä alone\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : wide) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    dir.write("my_regcodes/a.txt", bytes);
    dir.write("my_regcodes/c.csv", "Title C;D-CCCC\n");

    std::vector<RegcodeEntry> entries;
    EXPECT_FALSE(gf_readRegcodeFolder(dir / "my_regcodes", entries));  // "B" is too short
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].title, "Title A");
    EXPECT_EQ(entries[1].title, "Title Ä alone");
    EXPECT_TRUE(entries[1].registrations.empty());
    EXPECT_EQ(entries[2].title, "Title B");
    EXPECT_TRUE(log.contains(fmt::format("Processing regcodes file \"{}\"", (dir / "my_regcodes" / "a.txt").string())));
    EXPECT_TRUE(log.contains("3 liveries read"));

    std::vector<RegcodeEntry> none;
    EXPECT_FALSE(gf_readRegcodeFolder(dir / "missing", none));
}

TEST(RegcodeFileTest, AigFileDecodesItsRegistrations) {
    LogCapture log;
    std::vector<RegcodeEntry> entries;
    EXPECT_TRUE(gf_readAigRegcodes(aigFixture(), entries));
    ASSERT_EQ(entries.size(), 4u);  // the livery without a title is skipped
    EXPECT_EQ(entries[0].title, "Airbus A319 Lufthansa Star Alliance");
    EXPECT_EQ(entries[0].registrations, (Strings{"D-AIBL"}));
    EXPECT_FALSE(entries[0].special);
    EXPECT_EQ(entries[1].registrations, (Strings{"D-ALFA", "D-ALFB"}));
    EXPECT_TRUE(entries[1].special);
    EXPECT_TRUE(entries[2].registrations.empty());
    EXPECT_EQ(entries[3].registrations, (Strings{"N999XX"}));
    EXPECT_TRUE(log.contains(fmt::format("4 liveries read from {}", aigFixture().string())));

    TempFolder dir;
    EXPECT_FALSE(gf_readAigRegcodes(dir / "missing.xml", entries));
    EXPECT_TRUE(log.contains(fmt::format("Failed to load {}", (dir / "missing.xml").string())));
}

// ---- the passes -----------------------------------------------------------------

class RegcodePassTest : public ::testing::Test {
protected:
    RegcodePassTest() : here(dir.path()), server(serverRoot.path()) {
        fs::create_directories(dir / "input");
        fs::create_directories(dir / "output" / "info");
        resetRegcodes();
    }
    ~RegcodePassTest() override { resetRegcodes(); }

    // Hands the installed titles to the binding step, as the livery index does.
    void install(const Strings& titles) {
        installed = titles;
        std::vector<std::string_view> views(installed.begin(), installed.end());
        gf_setInstalledTitles(views);
    }
    void offerAig() const { server.offer("AIG-regcodes.zip", "AIG-regcodes.xml", readFile(aigFixture())); }
    bool ownedByIndex(std::string_view title) const {
        for (const auto& t : installed)
            if (t.data() == title.data()) return true;
        return false;
    }

    TempFolder dir;
    TempFolder serverRoot;
    CurrentFolder here;
    FileServer server;
    LogCapture log;
    Strings installed;
};

TEST_F(RegcodePassTest, FindInstalledTitleGivesTheIndexCopy) {
    install({"Title A", "Title B"});
    const std::string asked = "Title B";
    const std::string_view found = gf_findInstalledTitle(asked);
    EXPECT_EQ(found, "Title B");
    EXPECT_EQ(found.data(), installed[1].data());
    EXPECT_TRUE(gf_findInstalledTitle("Title C").empty());
    gf_clearRegcodes();
    EXPECT_TRUE(gf_findInstalledTitle("Title A").empty());
}

TEST_F(RegcodePassTest, InlineThenAigThenUserFiles) {
    install({"A319 Lufthansa D-AIBL", "Airbus A319 Lufthansa Star Alliance", "A319 Lufthansa Retro",
             "Boeing 777F Lufthansa Cargo"});
    offerAig();
    dir.write("input/my_regcodes/mine.txt", "A319 Lufthansa Retro;D-AIBL\n");

    lf_inlineRegcodeClashes({{"DLH", "A319", "A319 Lufthansa D-AIBL", "D-AIBL"}});
    EXPECT_EQ(regcodeMap.at("D-AIBL"), "A319 Lufthansa D-AIBL");
    lf_processRegcodeFiles();

    EXPECT_EQ(regcodeMap.at("D-AIBL"), "A319 Lufthansa Retro");
    EXPECT_EQ(regcodeMap.at("D-ALFA"), "Boeing 777F Lufthansa Cargo");
    EXPECT_EQ(regcodeMap.at("D-ALFB"), "Boeing 777F Lufthansa Cargo");
    EXPECT_FALSE(regcodeMap.contains("N999XX"));  // its title is not installed
    EXPECT_EQ(regcodeMap.size(), 3u);
    for (const auto& [registration, title] : regcodeMap) EXPECT_TRUE(ownedByIndex(title)) << registration;
    EXPECT_EQ(specialTitles, (std::vector<std::string_view>{"Boeing 777F Lufthansa Cargo", "A319 Lufthansa Retro"}));

    const Strings report{
        "Processing file input/AIG-regcodes.xml",
        "   regcode D-AIBL for \"Airbus A319 Lufthansa Star Alliance\", "
        "instead of the same for \"A319 Lufthansa D-AIBL\"",
        "2 new regcodes added, 1 regcode replaced, 1 regcode defined as special",
        "Processing files in input/my_regcodes",
        "   regcode D-AIBL for \"A319 Lufthansa Retro\", "
        "instead of the same for \"Airbus A319 Lufthansa Star Alliance\"",
        "0 new regcodes added, 1 regcode replaced, 1 regcode defined as special",
    };
    EXPECT_EQ(lines(dir / "output" / "info" / "OfflineRegcodes.txt"), report);
    EXPECT_TRUE(log.contains(
        "Offline regcode files processed, results can be found in \"output/info/OfflineRegcodes.txt\""));
    EXPECT_TRUE(log.contains("2 special liveries"));
    EXPECT_FALSE(fs::exists(dir / "input" / "AIG-regcodes.xml"));
    EXPECT_FALSE(fs::exists(dir / "AIG-regcodes.zip"));
    EXPECT_FALSE(fs::exists(dir / "output" / "errors" / "InlineRegcodes.txt"));
}

TEST_F(RegcodePassTest, InlineClashesKeepTheFirstBinding) {
    install({"A320 Lufthansa", "A320 Lufthansa Retro"});
    lf_inlineRegcodeClashes({
        {"DLH", "A320", "A320 Lufthansa", "D-AIZZ"},
        {"DLH", "A320", "A320 Lufthansa", "D-AIZZ"},  // the same title again: no clash
        {"DLH", "A320", "A320 Lufthansa Retro", "D-AIZZ"},
        {"DLH", "A20N", "Not Installed", "D-AINA"},
        {"DLH", "A320", "A320 Lufthansa Retro", ""},
    });
    EXPECT_EQ(regcodeMap.at("D-AIZZ"), "A320 Lufthansa");
    EXPECT_EQ(regcodeMap.size(), 1u);
    EXPECT_EQ(lines(dir / "output" / "errors" / "InlineRegcodes.txt"),
              (Strings{"D-AIZZ \"A320 Lufthansa Retro\" => already in use by \"A320 Lufthansa\"",
                       "==> [DLH A20N] D-AINA \"Not Installed\" not available, system error, should not happen?"}));
    EXPECT_TRUE(log.contains("2 in-line regcode clashes, see \"output/errors/InlineRegcodes.txt\""));
}

TEST_F(RegcodePassTest, ErrorsInUserFilesAreReportedAndTheValidLinesApplied) {
    install({"A320 Lufthansa", "A320 Lufthansa Retro", "A321 Lufthansa"});
    dir.write("input/my_regcodes/mine.txt",
              "A320 Lufthansa;D-AIZZ,D-AIZY\n"
              "A320 Lufthansa Retro;D-AIZX;#;what\n"
              "A321 Lufthansa;DA,D-AIDA;#\n");
    lf_processRegcodeFiles();

    EXPECT_EQ(regcodeMap.size(), 3u);
    EXPECT_EQ(regcodeMap.at("D-AIDA"), "A321 Lufthansa");
    EXPECT_EQ(specialTitles, (std::vector<std::string_view>{"A321 Lufthansa"}));
    EXPECT_EQ(lines(dir / "output" / "info" / "OfflineRegcodes.txt"),
              (Strings{"Processing files in input/my_regcodes",
                       kFolderErrors,
                       "3 new regcodes added, 1 regcode defined as special"}));
    EXPECT_TRUE(log.contains("===> reading AIG-regcodes failed?"));  // nothing on the server
}

TEST_F(RegcodePassTest, AnEmptyReportLeavesNoFile) {
    dir.write("output/info/OfflineRegcodes.txt", "from an earlier run\n");
    clv::test::ScopedEnv noServer("CALVORINTH_SERVER_URL", "");
    lf_processRegcodeFiles();
    EXPECT_FALSE(fs::exists(dir / "output" / "info" / "OfflineRegcodes.txt"));
    EXPECT_TRUE(log.contains("0 special liveries"));
}

TEST_F(RegcodePassTest, DontUseTitlesComeFromBothSources) {
    offerAig();
    dir.write("input/my_regcodes/mine.txt", "Title Alone\nA320 Lufthansa;D-AIZZ\nWrong;;;\n");
    lf_loadAigRegcodes();

    EXPECT_EQ(dontUseTitles, (Strings{"Boeing 737-800 Ryanair Old", "Title Alone"}));
    EXPECT_TRUE(log.contains("1 don't use title read"));
    EXPECT_TRUE(log.contains("1 don't use title read from files in input/my_regcodes"));
    EXPECT_EQ(regcodeReport,
              (Strings{kFolderErrors}));
    EXPECT_TRUE(regcodeMap.empty());
    EXPECT_FALSE(fs::exists(dir / "input" / "AIG-regcodes.xml"));

    fs::remove(server.folder() / "AIG-regcodes.zip");
    lf_loadAigRegcodes();
    EXPECT_TRUE(log.contains("===> reading input/AIG-regcodes.xml failed?"));
}

}  // namespace
