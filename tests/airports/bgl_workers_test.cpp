// Scan workers decode their files at once, each with its own window and airport
// state, and report through the one shared scan report.
#include <gtest/gtest.h>

#include <thread>

#include "airports/airport_scan_report.h"
#include "airports/bgl_decode.h"
#include "bgl_test_support.h"
#include "core/workers.h"

using namespace clv;
using namespace clv::test;

TEST(BglWorkersTest, WorkersDecodeAtOnceAndReportThroughTheSharedReport) {
    constexpr int kWorkers = 8;
    TempFolder folder;
    std::vector<std::filesystem::path> paths;
    for (int w = 0; w < kWorkers; ++w) {
        std::vector<bgltool::ParkingSpec> entries;
        for (std::uint16_t i = 1; i <= 50; ++i) entries.push_back(parking(10, i));
        entries.push_back(parking(10, 99, 250.0f));  // one report line per file
        const std::string code = std::string("EGL") + static_cast<char>('A' + w);
        paths.push_back(folder.write(code + ".bgl", bgltool::gf_buildBgl(airportFile(
                                                        {airportWith(code, {bgltool::ParkingListSpec{entries}})}))));
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
