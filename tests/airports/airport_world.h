#pragma once
// The airport tests' world: a fresh current folder with the airports folders,
// an open log, a loopback download server with a reply table, and the airport
// list as each test sets it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "airports/parking/airport_data.h"
#include "core/downloader.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "support/http_server.h"
#include "support/temp_folder.h"

namespace clv::test {

inline constexpr const char* kServerVariable = "CALVORINTH_SERVER_URL";

// An airport file with the given stands (id, latitude, longitude), in the
// layout the park-position readers take.
inline std::string apfWithStands(const std::vector<std::tuple<std::string, double, double>>& stands) {
    std::string text =
        "<?xml version=\"1.0\"?>\n<meta>\n  <info name=\"author\" value=\"CLVR\" />\n"
        "  <info name=\"version\" value=\"10.10.9\" />\n  <info name=\"date\" value=\"2026-12-10\" />\n</meta>\n"
        "<parameters>\n  <parameter name=\"airport_name\" value=\"Test\" />\n"
        "  <parameter name=\"publisher\" value=\"stock\" />\n  <parameter name=\"altitude\" value=\"1416\" />\n"
        "</parameters>\n<parkpositions>\n";
    for (const auto& [id, lat, lon] : stands) {
        text += "  <parkpos id=\"" + id + "\" latitude=\"" + std::to_string(lat) + "\" longitude=\"" +
                std::to_string(lon) + "\" heading=\"90.0\" radius=\"20.0\" cargo=\"false\" ramp=\"false\" />\n";
    }
    return text + "</parkpositions>\n";
}

class AirportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const Path* folder : gf_foldersCreatedAtStart()) std::filesystem::create_directories(work / folder->string());
        gf_openLog(logDir.path());
        savedMsfs2020_ = MSFS_2020.value;
        savedTimeouts_ = gf_downloadTimeouts();
        gf_forgetAirports();
    }
    void TearDown() override {
        gf_forgetAirports();
        gf_setDownloadTimeouts(savedTimeouts_);
        MSFS_2020.value = savedMsfs2020_;
        gf_closeLog();
    }
    std::string log() const { return readFile(logDir / "Log.txt"); }
    // Lines of the log without their time stamps are enough: the tests look for texts.
    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }
    // The entries of the current folder itself.
    std::set<std::string> workEntries() const {
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(work.path()))
            found.insert(entry.path().filename().string());
        return found;
    }
    // The folders the start-up check makes, and nothing else.
    void expectNothingLeftBehind() const { EXPECT_EQ(workEntries(), (std::set<std::string>{"airports", "input", "output"})); }

    TempFolder logDir, work;
    CurrentFolder current{work.path()};
    HttpServer server{HttpServer::Replies{}};
    ScopedEnv env{kServerVariable, server.url("").c_str()};
    bool savedMsfs2020_ = true;
    DownloadTimeouts savedTimeouts_;
};

}  // namespace clv::test
