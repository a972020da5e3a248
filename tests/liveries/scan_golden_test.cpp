// Whole scans of the Community fixture, compared with golden files: what
// LiveriesScanned.xml and every report file hold after a scan.
#include <gtest/gtest.h>

#include <string>

#include "core/files.h"
#include "core/parameters.h"
#include "core/workers.h"
#include "liveries/livery_scan.h"
#include "scan_fixture.h"

using clv::LiveryScanResult;
using clv::test::ScanEnvironment;
using clv::test::testDataFolder;

namespace {

// A title alone on a line of a user's regcode file: never to be used.
void writeDontUseTitles() {
    std::filesystem::create_directories("input/my_regcodes");
    gf_writeTextFile("User B737 MAX Dont Use\n", "input/my_regcodes/dont_use.txt", false);
}

}  // namespace

// The same tree gives the same files whether the parser tasks run one at a time
// or eight at once; the package order decides which folder's duplicate title wins.
TEST(LiveryScanGolden, AutomaticScanForPackageOrdersAndTaskLimits) {
    struct Case {
        int packageOrder;
        std::int32_t limit;
        const char* golden;
    };
    const Case cases[] = {{1, 1, "order1"}, {1, 8, "order1"}, {4, 1, "order4"}, {4, 8, "order4"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "AI_PACKAGE_ORDER " << c.packageOrder << ", taskLimit " << c.limit);
        ScanEnvironment environment;
        writeDontUseTitles();
        AI_PACKAGE_ORDER.value = c.packageOrder;
        taskLimit = c.limit;
        EXPECT_EQ(gf_scanLiveries(), LiveryScanResult::Scanned);
        EXPECT_FALSE(SCAN_LIVERIES.value);
        EXPECT_EQ(runningTasks.load(), 0);
        clv::test::expectOutputMatchesGolden(environment, testDataFolder() / "scan_golden" / c.golden);
    }
}

// Manual folders, among them the IVAO package, a missing folder and a gap in the settings.
TEST(LiveryScanGolden, ManualScanWithIvaoPackage) {
    for (std::int32_t limit : {1, 8}) {
        SCOPED_TRACE(testing::Message() << "taskLimit " << limit);
        ScanEnvironment environment;
        writeDontUseTitles();
        LIG_AUTOMATIC.value = false;
        taskLimit = limit;
        lfolder0.value = (environment.community() / "IVAO_MTL").string();
        lfolder2.value = (environment.community() / "no-such-package").string();
        lfolder3.value = (environment.community() / "justflight-aircraft-traffic-fleet").string();
        lfolder7.value = (environment.community() / "user-aitraffic").string();
        EXPECT_EQ(gf_scanLiveries(), LiveryScanResult::Scanned);
        EXPECT_TRUE(environment.logged(lfolder2.value.get() + " does not exist, skipped!"));
        clv::test::expectOutputMatchesGolden(environment, testDataFolder() / "scan_golden" / "manual");
    }
}
