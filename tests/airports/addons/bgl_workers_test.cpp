// Scan workers decode their files at once, each with its own window and airport
// state, and report through the one shared scan report.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include <pugixml.hpp>

#include "airports/addons/addon_airports.h"
#include "airports/addons/airport_scan_report.h"
#include "airports/addons/bgl_decode.h"
#include "bgl_test_support.h"
#include "core/parameters.h"
#include "core/workers.h"
#include "liveries/dbase.h"

using namespace clv;
using namespace clv::test;

TEST(BglWorkersTest, WorkersDecodeAtOnceAndReportThroughTheSharedReport) {
    constexpr int kWorkers = 8;
    TempFolder folder;
    std::vector<std::filesystem::path> paths;
    for (int w = 0; w < kWorkers; ++w) {
        std::vector<bgltool::ParkingDescription> entries;
        for (std::uint16_t i = 1; i <= 50; ++i) entries.push_back(parking(10, i));
        entries.push_back(parking(10, 99, 250.0f));  // one report line per file
        const std::string code = std::string("EGL") + static_cast<char>('A' + w);
        paths.push_back(folder.write(code + ".bgl", bgltool::gf_buildBgl(airportFile(
                                                        {airportWith(code, {bgltool::ParkingListDescription{entries}})}))));
    }
    gf_clearScanReport();
    std::vector<BglDecoded> results(kWorkers);
    std::vector<std::unique_ptr<CollectingSink>> sinks;
    for (auto& result : results) sinks.push_back(std::make_unique<CollectingSink>(result));
    const BglDecodeSetup setup;  // reports go to the scan report
    runningTasks = 0;
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        ++runningTasks;
        workers.emplace_back([&, w] { lf_toParkingPositions(paths[w], setup, *sinks[w]); });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(runningTasks.load(), 0);
    for (int w = 0; w < kWorkers; ++w) {
        ASSERT_EQ(results[w].airports.size(), 1u);
        EXPECT_EQ(results[w].airports[0].code, std::string("EGL") + static_cast<char>('A' + w));
        EXPECT_EQ(results[w].airports[0].stands.size(), 50u);
    }
    EXPECT_EQ(gf_scanReportLines().size(), static_cast<std::size_t>(kWorkers));
}

// Whole scan workers: registration under its lock, generated files of several
// airports written at once, each with the scan's simulator word.
TEST(BglWorkersTest, WorkersRegisterAndGenerateAtOnce) {
    constexpr int kWorkers = 6;
    TempFolder folder;
    CurrentFolder current(folder.path());
    dbase.publisherGroups = {{"Some Studio", "somestudio"}};
    dbase.thirdparties20 = {{"Some Studio", {"EGLA2", "EGLB2", "EGLC2"}}};
    RefTable ref;
    std::vector<std::filesystem::path> paths;
    for (int w = 0; w < kWorkers; ++w) {
        const std::string code = std::string("EGL") + static_cast<char>('A' + w);
        ref.airports[code] = {"Airport " + code, 100.0};
        std::vector<bgltool::ParkingDescription> entries;
        for (std::uint16_t i = 1; i <= 5; ++i) entries.push_back(parking(10, i));
        const std::string package = w % 2 == 0 ? "somestudio-" : "other-";
        paths.push_back(folder.write("Community/" + package + code + "/scenery/" + code + ".bgl",
                                     bgltool::gf_buildBgl(airportFile(
                                         {airportWith(code, {bgltool::ParkingListDescription{entries}})}))));
    }
    g_addonReference = ref.reference();
    MSFS_2020.value = true;
    g_addonAirportFound = false;
    runningTasks = 0;
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        ++runningTasks;
        workers.emplace_back([&, w] { lf_toParkingPositions(paths[w]); });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(runningTasks.load(), 0);
    EXPECT_TRUE(g_addonAirportFound);
    for (int w = 0; w < kWorkers; ++w) {
        const std::string code = std::string("EGL") + static_cast<char>('A' + w);
        // Every airport has more stands than an archived file lists: all are generated.
        EXPECT_TRUE(std::filesystem::exists(folder / ("airports/my_thirdparty/" + code + ".xml"))) << code;
        EXPECT_EQ(std::filesystem::exists(folder / ("airports/my_thirdparty/" + code + ".txt")), w == 0 || w == 2)
            << code;
    }
    g_addonReference = {};
    dbase.publisherGroups.clear();
    dbase.thirdparties20.clear();
}

// An old package beside its update: several add-on files of one airport, decoded at
// once, each writing the airport's generated file. Each writer has its own temporary,
// so none reports a failure and the file ends whole, as one of the versions wrote it.
TEST(BglWorkersTest, AddonFilesOfOneAirportWriteItsFileAtOnceWithoutAFalseFailure) {
    constexpr int kWorkers = 8;
    constexpr int kRounds = 10;
    constexpr std::size_t kFirstCount = 100;
    TempFolder folder;
    CurrentFolder current(folder.path());
    RefTable ref;
    ref.airports["EGLL"] = {"London Heathrow", 83.0};
    std::vector<std::filesystem::path> paths;
    for (int w = 0; w < kWorkers; ++w) {
        std::vector<bgltool::ParkingDescription> entries;
        for (std::uint16_t i = 1; i <= kFirstCount + static_cast<std::size_t>(w); ++i) entries.push_back(parking(10, i));
        paths.push_back(folder.write("Community/egll-v" + std::to_string(w) + "/scenery/EGLL.bgl",
                                     bgltool::gf_buildBgl(airportFile(
                                         {airportWith("EGLL", {bgltool::ParkingListDescription{entries}})}))));
    }
    g_addonReference = ref.reference();
    MSFS_2020.value = true;
    const std::filesystem::path generated = folder / "airports/my_thirdparty/EGLL.xml";
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        gf_clearScanReport();
        runningTasks = 0;
        std::atomic<bool> go{false};
        std::vector<std::thread> workers;
        for (int w = 0; w < kWorkers; ++w) {
            ++runningTasks;
            workers.emplace_back([&, w] {
                while (!go) std::this_thread::yield();
                lf_toParkingPositions(paths[w]);
            });
        }
        go = true;
        for (auto& worker : workers) worker.join();
        EXPECT_EQ(runningTasks.load(), 0);
        for (const std::string& line : gf_scanReportLines()) {
            EXPECT_EQ(line.find("did not succeed"), std::string::npos) << line;
        }
        pugi::xml_document document;
        ASSERT_TRUE(document.load_file(generated.c_str())) << "the file is whole";
        const std::string bglPath =
            document.select_node("//parameter[@name='BGLpath']").node().attribute("value").value();
        // The path as the file records it: from the package folder on.
        const auto version = std::find_if(paths.begin(), paths.end(), [&bglPath](const std::filesystem::path& p) {
            return !bglPath.empty() && p.string().ends_with(bglPath);
        });
        ASSERT_NE(version, paths.end()) << bglPath;
        const std::size_t stands = document.select_nodes("//parkpos").size();
        EXPECT_EQ(stands, kFirstCount + static_cast<std::size_t>(version - paths.begin())) << bglPath;
        EXPECT_TRUE(temporariesBeside(generated).empty());
    }
    g_addonReference = {};
}
