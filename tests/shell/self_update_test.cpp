#include "shell/self_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/folders.h"
#include "core/log.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "support/http_server.h"
#include "support/temp_folder.h"
#include "support/zip_maker.h"

using clv::test::CurrentFolder;
using clv::test::makeZip;
using clv::test::readFile;
using clv::test::ScopedEnv;
using clv::test::TempFolder;
using clv::test::ZipMember;
namespace fs = std::filesystem;

namespace {

constexpr const char* kServerVariable = "CALVORINTH_SERVER_URL";
constexpr const char* kSetupArchive = "release/setup_Calvorinth_d_v10.10.10.zip";
constexpr const char* kFetchFailed =
    "The downloading/unzipping of the new version failed? Try manually via Tessivor website";
// An installer is binary: line ends and zero bytes must arrive unchanged.
const std::string kInstaller = std::string("MZ\x90\0\x03\r\n\x1a setup", 13) + std::string(3000, '\x7f');

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string versionJson(int major, int minor, int patch) {
    return "{\"major\": " + std::to_string(major) + ", \"minor\": " + std::to_string(minor) +
           ", \"patch\": " + std::to_string(patch) + "}\n";
}

// Every file below a folder, by its path relative to it, with its content.
std::map<std::string, std::string> filesBelow(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = readFile(entry.path());
    return files;
}

// The current folder is a fresh program folder; the download server is a folder
// reached by file:// URLs; parameters.xml lives in a folder of its own.
class SelfUpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_openLog(logDir.path());
        savedParametersPath_ = g_parametersXmlPath;
        g_parametersXmlPath = (appData / "parameters.xml").string();
        savedMsfs2020_ = MSFS_2020.value;
        MSFS_2020.value = false;
        RAVUDOVODO24_VERSION.value = "";
        gf_setUiPort(nullptr);
        gf_nullUiPort().clear();
    }
    void TearDown() override {
        MSFS_2020.value = savedMsfs2020_;
        RAVUDOVODO24_VERSION.value = "";
        g_parametersXmlPath = savedParametersPath_;
        gf_nullUiPort().clear();
        gf_closeLog();
    }

    std::string log() const { return readFile(logDir / "Log.txt"); }
    std::string serverUrl() const { return "file://" + server.path().string() + "/"; }
    std::vector<std::string> statusLines() const { return gf_nullUiPort().statusLines(); }
    bool statusShown(const std::string& text) const {
        const auto lines = statusLines();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    std::string storedValue(const std::string& key) const {
        pugi::xml_document document;
        if (!document.load_file(g_parametersXmlPath.c_str())) return "<no file>";
        auto found = document.select_node(gf_parameterXPath(key).c_str());
        return found ? found.node().attribute("value").value() : "<no entry>";
    }
    // The program folder holds nothing but these (no archive, no staging folder left behind).
    void expectWorkFolderHolds(std::initializer_list<const char*> names) const {
        std::set<std::string> expected(names.begin(), names.end()), found;
        for (const auto& entry : fs::directory_iterator(work.path())) found.insert(entry.path().filename().string());
        EXPECT_EQ(found, expected);
    }

    // The package on the server: its version and its archive.
    void servePackage(const std::string& version, const std::vector<ZipMember>& members) {
        server.write("ravudovodo24/version.json", version);
        makeZip(server / "ravudovodo24/ra_vudovodo2024.zip", members);
    }
    // An installed package of version 1.0.0.
    void installOldPackage() {
        work.write("airports/ra_vudovodo/EGLL.txt", "old EGLL");
        work.write("airports/ra_vudovodo/LOWW.txt", "old LOWW");
        RAVUDOVODO24_VERSION.set("1.0.0");
    }

    TempFolder logDir, appData, work, server;
    CurrentFolder current{work.path()};
    ScopedEnv env{kServerVariable, serverUrl().c_str()};

private:
    std::string savedParametersPath_;
    bool savedMsfs2020_ = true;
};

const std::vector<ZipMember> kNewPackage = {
    {"ra_vudovodo/", ""},
    {"ra_vudovodo/EGLL.xml", "new EGLL"},
    {"ra_vudovodo/stock/KJFK.park.dat", "new KJFK"},
    {"LFPG", "new LFPG"},
};
const std::map<std::string, std::string> kNewPackageFiles = {
    {"EGLL.txt", "new EGLL"}, {"KJFK.park.txt", "new KJFK"}, {"LFPG.txt", "new LFPG"}};
const std::map<std::string, std::string> kOldPackageFiles = {{"EGLL.txt", "old EGLL"}, {"LOWW.txt", "old LOWW"}};

}  // namespace

// ---- the program's version check ------------------------------------------------------

TEST_F(SelfUpdateTest, NewerProgramVersionWritesInstallerAndStopsWithUserError99) {
    server.write("release/version.json", versionJson(10, 10, 10));
    makeZip(server / kSetupArchive, {{"setup/", ""}, {"setup/Calvorinth_setup.exe", kInstaller}});
    // Left from an older update; the new one replaces it.
    work.write("install_new_version.exe", "older installer");

    std::string message;
    try {
        gf_checkNewVersion();
        ADD_FAILURE() << "no user error";
    } catch (const clv::UserErrorException& e) {
        message = e.what();
    }
    const fs::path installer = fs::current_path() / "install_new_version.exe";
    EXPECT_EQ(message, "New version 10.10.10 available, exit Calvorinth. Run as administrator: \"" +
                           installer.string() + "\"");
    EXPECT_EQ(readFile(installer), kInstaller);
    EXPECT_FALSE(statusShown(kFetchFailed));
    expectWorkFolderHolds({"install_new_version.exe"});
    const std::string text = log();
    EXPECT_EQ(countOf(text, "downloaded setup_Calvorinth_d_v10.10.10.zip"), 1) << text;
    EXPECT_EQ(countOf(text, "setup/Calvorinth_setup.exe unzipped to install_new_version.exe"), 1) << text;
}

TEST_F(SelfUpdateTest, SameOrOlderServerVersionChangesNothing) {
    makeZip(server / kSetupArchive, {{"setup.exe", kInstaller}});
    for (const std::string& version : {std::string("10.10.9\n"), versionJson(10, 9, 20), versionJson(9, 99, 99)}) {
        SCOPED_TRACE(version);
        server.write("release/version.json", version);
        EXPECT_NO_THROW(gf_checkNewVersion());
        expectWorkFolderHolds({});
    }
    EXPECT_TRUE(statusLines().empty());
    EXPECT_EQ(countOf(log(), "downloaded"), 0);
}

TEST_F(SelfUpdateTest, FailedInstallerFetchIsReportedAndTheRunGoesOn) {
    server.write("release/version.json", versionJson(10, 10, 10));
    const std::string damagedBytes = kInstaller + " whose bytes get damaged on the way";
    struct Case {
        const char* what;
        std::vector<ZipMember> archive;  // none: the server lacks the archive
        std::string serverBytes;         // instead of an archive: these bytes
        bool damage = false;
        const char* logged;
    };
    const Case cases[] = {
        {"archive missing on the server", {}, "", false, "Downloading program installer file version 10.10.10 failed"},
        {"no zip archive", {}, "<html>moved</html>\n", false, "could not open setup_Calvorinth_d_v10.10.10.zip"},
        {"installer fails its checksum", {{"setup.exe", damagedBytes, true}}, "", true, "unzipping error code : "},
        {"second entry fails its checksum",
         {{"readme.txt", "read me"}, {"setup.exe", damagedBytes, true}},
         "",
         true,
         "unzipping error code : "},
        {"only folders", {{"setup/", ""}}, "", false, "the archive holds no file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(server / kSetupArchive);
        if (!c.archive.empty()) makeZip(server / kSetupArchive, c.archive);
        if (!c.serverBytes.empty()) server.write(kSetupArchive, c.serverBytes);
        if (c.damage) clv::test::damageZipContent(server / kSetupArchive, damagedBytes);
        gf_nullUiPort().clear();
        const int before = countOf(log(), c.logged);

        EXPECT_NO_THROW(gf_checkNewVersion());
        EXPECT_TRUE(statusShown(kFetchFailed));
        EXPECT_EQ(countOf(log(), c.logged), before + 1) << log();
        // No installer, whole or partial, is offered or left behind.
        expectWorkFolderHolds({});
    }
}

TEST_F(SelfUpdateTest, UnzipIsTrueOnlyForAWholeInstaller) {
    const std::string damagedBytes = kInstaller + " whose bytes get damaged on the way";
    makeZip(work / "setup.zip", {{"good.exe", kInstaller}, {"bad.exe", damagedBytes, true}});
    clv::test::damageZipContent(work / "setup.zip", damagedBytes);
    clv::ZipArchive zip(work / "setup.zip");
    ASSERT_TRUE(zip.isOpen()) << zip.errorText();
    const auto entries = zip.entries();
    ASSERT_EQ(entries.size(), 2u);

    EXPECT_TRUE(gf_unzip(zip, entries[0]));
    EXPECT_EQ(readFile(work / "install_new_version.exe"), kInstaller);

    // A read error.
    EXPECT_FALSE(gf_unzip(zip, entries[1]));
    EXPECT_FALSE(fs::exists(work / "install_new_version.exe"));

    // The installer cannot be written: the current folder is gone.
    {
        const fs::path gone = work / "gone";
        fs::create_directory(gone);
        CurrentFolder inGone(gone);
        fs::remove(gone);
        EXPECT_FALSE(gf_unzip(zip, entries[0]));
    }
    EXPECT_FALSE(fs::exists(work / "install_new_version.exe"));
    EXPECT_FALSE(fs::exists(work / "gone"));
    EXPECT_TRUE(clv::test::temporariesBeside(work / "install_new_version.exe").empty());
}

TEST_F(SelfUpdateTest, MissingVersionFileIsLoggedAndTheRunGoesOn) {
    EXPECT_NO_THROW(gf_checkNewVersion());
    EXPECT_EQ(countOf(log(), "Program Version file not found?"), 1) << log();
    EXPECT_TRUE(statusLines().empty());
    expectWorkFolderHolds({});
}

TEST_F(SelfUpdateTest, NoServerSkipsEachCheckWithOneLogLine) {
    ScopedEnv noServer(kServerVariable, "");
    work.write("airports/ra_vudovodo/EGLL.txt", "installed");
    EXPECT_NO_THROW(gf_checkNewVersion());
    EXPECT_FALSE(gf_updateSimaddon());
    fs::remove_all(work / "airports/ra_vudovodo");
    EXPECT_FALSE(gf_updateSimaddon());

    const std::string text = log();
    EXPECT_EQ(countOf(text, "No download server configured, program update check skipped"), 1) << text;
    EXPECT_EQ(countOf(text, "No download server configured, ravudovodo update skipped"), 2) << text;
    EXPECT_EQ(countOf(text, "failed"), 0) << text;
    EXPECT_EQ(countOf(text, "not found"), 0) << text;
    EXPECT_TRUE(statusLines().empty());
    EXPECT_TRUE(gf_nullUiPort().errorLines().empty());
    expectWorkFolderHolds({"airports"});
}

// ---- the ra_vudovodo package ----------------------------------------------------------

TEST_F(SelfUpdateTest, PackageFolderMissingMeansMissingOrWithoutFile) {
    struct Case {
        const char* what;
        bool folder;                     // airports/ra_vudovodo is made
        std::vector<std::string> files;  // below it; "x/" a folder
        bool missing;
    };
    const Case cases[] = {
        {"no folder", false, {}, true},
        {"an empty folder, as the start-up folder check leaves it", true, {}, true},
        {"only a sub-folder", true, {"stock/"}, true},
        {"one file", true, {"EGLL.txt"}, false},
        {"a file beside a sub-folder", true, {"stock/", "EGLL.txt"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(work / "airports");
        if (c.folder) fs::create_directories(work / "airports/ra_vudovodo");
        for (const auto& f : c.files) {
            if (f.back() == '/') fs::create_directories(work / "airports/ra_vudovodo" / f);
            else work.write("airports/ra_vudovodo/" + f, "x");
        }
        EXPECT_EQ(gf_simaddonFolderMissing(), c.missing);
    }
    fs::remove_all(work / "airports");
    work.write("airports/ra_vudovodo", "a file where the folder belongs");
    EXPECT_TRUE(gf_simaddonFolderMissing());
}

TEST_F(SelfUpdateTest, MissingOrEmptyPackageIsInstalledEvenAtTheSameVersion) {
    servePackage(versionJson(1, 2, 3), kNewPackage);
    for (bool createEmptyFolder : {false, true}) {
        SCOPED_TRACE(createEmptyFolder ? "empty folder" : "no folder");
        fs::remove_all(work / "airports");
        if (createEmptyFolder) fs::create_directories(work / "airports/ra_vudovodo");
        RAVUDOVODO24_VERSION.set("1.2.3");
        gf_nullUiPort().clear();

        EXPECT_TRUE(gf_updateSimaddon());
        EXPECT_EQ(filesBelow(work / "airports/ra_vudovodo"), kNewPackageFiles);
        EXPECT_EQ(storedValue("RAVUDOVODO24_VERSION"), "1.2.3");
        EXPECT_TRUE(statusShown("ra_vudovodo2024.zip unzipped 3 files"));
        EXPECT_TRUE(statusShown("ravudovodo has been updated to version 1.2.3"));
        expectWorkFolderHolds({"airports"});
    }
}

TEST_F(SelfUpdateTest, NewerPackageReplacesTheInstalledFiles) {
    installOldPackage();
    servePackage(versionJson(1, 2, 3), kNewPackage);
    EXPECT_TRUE(gf_updateSimaddon());
    // LOWW.txt is not in the new package and goes.
    EXPECT_EQ(filesBelow(work / "airports/ra_vudovodo"), kNewPackageFiles);
    EXPECT_EQ(RAVUDOVODO24_VERSION.value.get(), "1.2.3");
    EXPECT_EQ(storedValue("RAVUDOVODO24_VERSION"), "1.2.3");
    expectWorkFolderHolds({"airports"});

    // Once installed, the same version on the server is left alone.
    gf_nullUiPort().clear();
    EXPECT_FALSE(gf_updateSimaddon());
    EXPECT_EQ(filesBelow(work / "airports/ra_vudovodo"), kNewPackageFiles);
    EXPECT_TRUE(statusLines().empty());
}

TEST_F(SelfUpdateTest, UpToDatePackageIsNotFetched) {
    installOldPackage();
    // Whatever sits on the server must not be fetched: a damaged archive would show.
    server.write("ravudovodo24/version.json", "1.0.0");
    server.write("ravudovodo24/ra_vudovodo2024.zip", "not an archive");
    EXPECT_FALSE(gf_updateSimaddon());
    EXPECT_EQ(filesBelow(work / "airports/ra_vudovodo"), kOldPackageFiles);
    EXPECT_EQ(countOf(log(), "could not open"), 0) << log();
}

TEST_F(SelfUpdateTest, BadPackageArchiveKeepsTheInstalledPackage) {
    const std::string damaged = "park positions whose bytes get damaged on the way";
    struct Case {
        const char* what;
        std::vector<ZipMember> archive;  // none: the server lacks the archive
        std::string serverBytes;         // instead of an archive: these bytes
        bool damage = false;
        const char* logged;
    };
    const Case cases[] = {
        {"archive missing on the server", {}, "", false, "downloading ra_vudovodo2024.zip failed?"},
        {"no zip archive", {}, "<html>moved</html>\n", false, "could not open ra_vudovodo2024.zip"},
        {"a later entry fails its checksum",
         {{"EGLL.xml", "new EGLL"}, {"KJFK.xml", damaged, true}},
         "",
         true,
         "could not unzip KJFK.xml from ra_vudovodo2024.zip"},
        {"only folders", {{"ra_vudovodo/", ""}}, "", false, "ra_vudovodo2024.zip holds no file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(work / "airports");
        installOldPackage();
        server.write("ravudovodo24/version.json", versionJson(1, 2, 3));
        const fs::path archive = server / "ravudovodo24/ra_vudovodo2024.zip";
        fs::remove(archive);
        if (!c.archive.empty()) makeZip(archive, c.archive);
        if (!c.serverBytes.empty()) server.write("ravudovodo24/ra_vudovodo2024.zip", c.serverBytes);
        if (c.damage) clv::test::damageZipContent(archive, damaged);
        const int before = countOf(log(), c.logged);

        EXPECT_FALSE(gf_updateSimaddon());
        EXPECT_EQ(filesBelow(work / "airports/ra_vudovodo"), kOldPackageFiles);
        EXPECT_EQ(storedValue("RAVUDOVODO24_VERSION"), "1.0.0");
        EXPECT_EQ(countOf(log(), c.logged), before + 1) << log();
        expectWorkFolderHolds({"airports"});
    }
}

TEST_F(SelfUpdateTest, PackageVersionMissingOnServerIsLogged) {
    installOldPackage();
    EXPECT_FALSE(gf_updateSimaddon());
    EXPECT_EQ(countOf(log(), "No ravudovodo version info found at the CLVR server?"), 1) << log();
    EXPECT_EQ(filesBelow(work / "airports/ra_vudovodo"), kOldPackageFiles);
}

TEST_F(SelfUpdateTest, PackageComesOverHttpToo) {
    servePackage(versionJson(1, 2, 3), kNewPackage);
    clv::test::HttpServer http(server.path());
    ScopedEnv viaHttp(kServerVariable, http.url("").c_str());
    EXPECT_TRUE(gf_updateSimaddon());
    EXPECT_EQ(filesBelow(work / "airports/ra_vudovodo"), kNewPackageFiles);
    EXPECT_EQ(http.lastUserAgent(), "CLVR");
}
