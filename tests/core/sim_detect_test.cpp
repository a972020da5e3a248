#include "core/sim_detect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/parameters.h"
#include "support/temp_folder.h"

using clv::test::occurrences;
using clv::test::readFile;
using clv::test::ScopedEnv;
using clv::test::TempFolder;
namespace fs = std::filesystem;

namespace {

// UTF-16 little endian with its byte-order mark, as the simulator may write UserCfg.opt.
std::string utf16le(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

// A fake user profile: the two application-data folders point into a temporary
// folder, the log goes to another, and the simulator choice is restored after.
class SimDetectTest : public ::testing::Test {
protected:
    SimDetectTest()
        : roamingEnv("XDG_CONFIG_HOME", (home / "roaming").c_str()),
          localEnv("XDG_DATA_HOME", (home / "local").c_str()) {}
    void SetUp() override {
        fs::create_directories(home / "roaming");
        fs::create_directories(home / "local");
        gf_openLog(logDir.path());
        savedMsfs2020 = MSFS_2020.value.get();
        saved2020Path = MSFS_INSTALL_PATH.value.get();
        saved2024Path = MSFS_2024_INSTALL_PATH.value.get();
    }
    void TearDown() override {
        gf_closeLog();
        MSFS_2020.value = savedMsfs2020;
        MSFS_INSTALL_PATH.value = saved2020Path;
        MSFS_2024_INSTALL_PATH.value = saved2024Path;
    }
    std::string log() const { return readFile(logDir / "Log.txt"); }

    // A packages folder holding the named sub-folders.
    fs::path packagesFolder(const std::string& relative, std::initializer_list<const char*> children) const {
        fs::path folder = home / relative;
        fs::create_directories(folder);
        for (const char* child : children) fs::create_directories(folder / child);
        return folder;
    }
    fs::path storeUserCfg2020() const {
        return home / "local/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/UserCfg.opt";
    }

    TempFolder home, logDir;
    ScopedEnv roamingEnv, localEnv;
    bool savedMsfs2020 = true;
    std::string saved2020Path, saved2024Path;
};

}  // namespace

TEST_F(SimDetectTest, NamesFollowTheSelectedSimulator) {
    MSFS_2020.value = true;
    EXPECT_EQ(gf_simPackageFamily(), "Microsoft.FlightSimulator_8wekyb3d8bbwe");
    EXPECT_EQ(gf_simFolderName(), "Microsoft Flight Simulator");
    EXPECT_EQ(gf_simOfficialFolderName(), "Official");
    MSFS_2020.value = false;
    EXPECT_EQ(gf_simPackageFamily(), "Microsoft.Limitless_8wekyb3d8bbwe");
    EXPECT_EQ(gf_simFolderName(), "Microsoft Flight Simulator 2024");
    EXPECT_EQ(gf_simOfficialFolderName(), "Official2024");
}

TEST_F(SimDetectTest, ApplicationDataFoldersComeFromThePlatform) {
    EXPECT_EQ(gf_shellFolderPath(kCsidlAppData), (home / "roaming").string());
    EXPECT_EQ(gf_shellFolderPath(kCsidlLocalAppData), (home / "local").string());
    EXPECT_FALSE(gf_shellFolderPath(5).has_value());
    EXPECT_EQ(gf_appDataPath(), home / "roaming");
    EXPECT_EQ(gf_localAppDataPath(), home / "local");
}

TEST_F(SimDetectTest, InstalledPackagesPathLine) {
    struct Case {
        std::string line;
        bool found;
        std::string path;
    };
    const Case cases[] = {
        {R"(InstalledPackagesPath "D:\MSFS\Packages")", true, R"(D:\MSFS\Packages)"},
        {R"(InstalledPackagesPath "/mnt/games/My Sim/Packages")", true, "/mnt/games/My Sim/Packages"},
        {"\tinstalledpackagespath \"/sim\" ", true, "/sim"},
        {R"(InstalledPackagesPath "/sim" "/other")", true, "/sim"},
        {R"(InstalledPackagesPath "")", false, ""},
        {R"(InstalledPackagesPath "/sim)", false, ""},
        {"InstalledPackagesPath /sim", false, ""},
        {R"(Version "1.0")", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        fs::path path("untouched");
        EXPECT_EQ(lf_parseInstalledPackagesPath(c.line, path), c.found);
        EXPECT_EQ(path, c.found ? fs::path(c.path) : fs::path("untouched"));
    }
}

TEST_F(SimDetectTest, UserCfgCandidatesInOrder) {
    MSFS_2020.value = true;
    struct Candidate {
        const char* label;
        std::string relative;
    };
    const Candidate candidates[] = {
        {"Store", "local/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/UserCfg.opt"},
        {"Steam1", "roaming/Microsoft Flight Simulator/UserCfg.opt"},
        {"Steam2", "local/Packages/Microsoft.FlightDashboard_8wekyb3d8bbwe/LocalCache/UserCfg.opt"},
        {"Boxed", "local/MSFSPackages/UserCfg.opt"},
    };
    // Add the candidates from the last to the first: each new one must win, and
    // only the misses before it are logged.
    for (int i = static_cast<int>(std::size(candidates)) - 1; i >= 0; --i) {
        SCOPED_TRACE(candidates[i].label);
        home.write(candidates[i].relative, "");
        gf_openLog(logDir.path());
        EXPECT_EQ(gf_findUserCfgOpt(), home / candidates[i].relative);
        const std::string text = log();
        for (int j = 0; j < static_cast<int>(std::size(candidates)); ++j) {
            const std::string miss =
                std::string("MSFS detection, no ") + candidates[j].label + ":" + (home / candidates[j].relative).string();
            EXPECT_EQ(occurrences(text, miss + "\n"), j < i ? 1 : 0) << miss;
        }
    }
}

TEST_F(SimDetectTest, UserCfgNameIgnoresCaseAndEitherEncodingIsRead) {
    MSFS_2020.value = false;
    const std::string folder = "roaming/Microsoft Flight Simulator 2024/";
    struct Case {
        const char* what;
        std::string fileName, bytes;
    };
    const Case cases[] = {
        {"utf-8, lf", "UserCfg.opt", "Graphics {\n}\nInstalledPackagesPath \"/games/sim 2024\"\n"},
        {"utf-8 bom, crlf", "usercfg.OPT",
         "\xEF\xBB\xBFGraphics {\r\n}\r\nInstalledPackagesPath \"/games/sim 2024\"\r\n"},
        {"utf-16, crlf", "USERCFG.opt", utf16le("Graphics {\r\n}\r\nInstalledPackagesPath \"/games/sim 2024\"\r\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(home / folder);
        home.write(folder + c.fileName, c.bytes);
        gf_openLog(logDir.path());
        EXPECT_EQ(gf_readInstalledPackagesPath(), fs::path("/games/sim 2024"));
        EXPECT_EQ(occurrences(log(), "\nUserCfg.opt: InstalledPackagesPath=/games/sim 2024\n"), 1);
    }
}

TEST_F(SimDetectTest, SteamPackagesFolderComesFirst) {
    MSFS_2020.value = true;
    auto steam = packagesFolder("roaming/Microsoft Flight Simulator/Packages", {"Community", "Official"});
    auto other = packagesFolder("elsewhere", {"Community", "Official"});
    home.write("roaming/Microsoft Flight Simulator/UserCfg.opt", "InstalledPackagesPath \"" + other.string() + "\"\n");
    EXPECT_EQ(gf_findPackagesPath(), steam);
    EXPECT_NE(log().find("\nSteam packages:" + steam.string() + "\n"), std::string::npos);
    // UserCfg.opt is not even looked at.
    EXPECT_EQ(log().find("UserCfg.opt: InstalledPackagesPath"), std::string::npos);

    // A Steam folder without the official packages gives way to UserCfg.opt.
    fs::remove_all(steam / "Official");
    EXPECT_EQ(gf_findPackagesPath(), other);
}

TEST_F(SimDetectTest, PackagesFolderNeedsCommunityAndTheSimulatorsOfficialFolder) {
    struct Case {
        const char* what;
        bool msfs2020;
        std::initializer_list<const char*> children;
        bool accepted;
    };
    const Case cases[] = {
        {"2020 complete", true, {"Community", "Official"}, true},
        {"2020, names in other case", true, {"community", "OFFICIAL"}, true},
        {"2020 without Official", true, {"Community", "Official2024"}, false},
        {"2020 without Community", true, {"Official"}, false},
        {"2024 complete", false, {"Community", "Official2024"}, true},
        {"2024, names in other case", false, {"COMMUNITY", "official2024"}, true},
        {"2024 with the 2020 official folder only", false, {"Community", "Official"}, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MSFS_2020.value = c.msfs2020;
        auto folder = packagesFolder("case" + std::to_string(n++), c.children);
        EXPECT_EQ(gf_isPackagesFolder(folder), c.accepted);
    }
    EXPECT_FALSE(gf_isPackagesFolder(""));
    EXPECT_FALSE(gf_isPackagesFolder(home / "missing"));
    // A file of the right name is no folder.
    MSFS_2020.value = true;
    auto withFile = packagesFolder("with-file", {"Community"});
    home.write("with-file/Official", "");
    EXPECT_FALSE(gf_isPackagesFolder(withFile));
}

TEST_F(SimDetectTest, Msfs2024NeedsOfficial2024InTheFolderUserCfgNames) {
    MSFS_2020.value = false;
    auto folder = packagesFolder("sim2024", {"Community", "Official"});
    home.write("local/Packages/Microsoft.Limitless_8wekyb3d8bbwe/LocalCache/UserCfg.opt",
               "InstalledPackagesPath \"" + folder.string() + "\"\n");
    EXPECT_EQ(gf_findPackagesPath(), fs::path());
    EXPECT_NE(log().find("MSFS detection, not a packages folder (needs Community and Official2024):" + folder.string()),
              std::string::npos);

    fs::create_directories(folder / "Official2024");
    EXPECT_EQ(gf_findPackagesPath(), folder);
}

TEST_F(SimDetectTest, NothingFoundGivesEmptyPathAndOneLinePerCandidate) {
    MSFS_2020.value = true;
    EXPECT_EQ(gf_findPackagesPath(), fs::path());
    const std::string text = log();
    const std::string lines[] = {
        "MSFS detection, no Store:" + storeUserCfg2020().string(),
        "MSFS detection, no Steam1:" + (home / "roaming/Microsoft Flight Simulator/UserCfg.opt").string(),
        "MSFS detection, no Steam2:" +
            (home / "local/Packages/Microsoft.FlightDashboard_8wekyb3d8bbwe/LocalCache/UserCfg.opt").string(),
        "MSFS detection, no Boxed:" + (home / "local/MSFSPackages/UserCfg.opt").string(),
        "No UserCfg.opt found?",
    };
    for (const auto& line : lines) EXPECT_EQ(occurrences(text, "\n" + line + "\n"), 1) << line;
    EXPECT_EQ(occurrences(text, "MSFS detection"), 4);
    EXPECT_EQ(text.find("Steam packages:"), std::string::npos);
}

TEST_F(SimDetectTest, UserCfgWithoutTheKeyOrWithAMissingFolderGivesNothing) {
    MSFS_2020.value = true;
    home.write("local/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/UserCfg.opt", "Graphics {\n}\n");
    EXPECT_EQ(gf_readInstalledPackagesPath(), fs::path());
    EXPECT_NE(log().find("\nUserCfg.opt: InstalledPackagesPath=\n"), std::string::npos);

    home.write("local/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/UserCfg.opt",
               "InstalledPackagesPath \"" + (home / "gone").string() + "\"\n");
    EXPECT_EQ(gf_readInstalledPackagesPath(), home / "gone");
    EXPECT_EQ(gf_findPackagesPath(), fs::path());
}

TEST_F(SimDetectTest, SimPathJoinsTheSelectedSimulatorsInstallPath) {
    MSFS_INSTALL_PATH.value = "/games/msfs2020";
    MSFS_2024_INSTALL_PATH.value = "/games/msfs2024";
    MSFS_2020.value = true;
    EXPECT_EQ(gf_simPath("Community"), fs::path("/games/msfs2020/Community"));
    MSFS_2020.value = false;
    EXPECT_EQ(gf_simPath("Official2024/asobo-base"), fs::path("/games/msfs2024/Official2024/asobo-base"));
}

TEST_F(SimDetectTest, ChildLookupPrefersTheExactName) {
    fs::create_directories(home / "pkgs/community");
    EXPECT_EQ(gf_findChildIgnoringCase(home / "pkgs", "Community"), home / "pkgs/community");
    fs::create_directories(home / "pkgs/Community");
    EXPECT_EQ(gf_findChildIgnoringCase(home / "pkgs", "Community"), home / "pkgs/Community");
    EXPECT_EQ(gf_findChildIgnoringCase(home / "pkgs", "Official"), std::nullopt);
    EXPECT_EQ(gf_findChildIgnoringCase(home / "missing", "Community"), std::nullopt);
}
