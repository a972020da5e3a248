// The demo's add-on airport: its BGL file is what bgltool builds from its
// description, and a scan of the demo install, set up as scripts/run sets it up,
// generates its airport file and the scan report.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <pugixml.hpp>

#include "airports/addons/addon_airports.h"
#include "airports/addons/addon_scan.h"
#include "airports/addons/airport_scan_report.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/workers.h"
#include "support/temp_folder.h"
#include "tools/bgltool/bgl_builder.h"

namespace fs = std::filesystem;
using clv::test::CurrentFolder;
using clv::test::readFile;
using clv::test::TempFolder;

namespace {

fs::path demoFolder() { return fs::path(__FILE__).parent_path().parent_path().parent_path() / "demo"; }

const fs::path kDemoBgl = fs::path("Community") / "demo-airport-lsmd" / "scenery" / "LSMD.bgl";

}  // namespace

TEST(DemoAirport, BglIsBuiltFromItsDescription) {
    const std::string description = readFile(demoFolder() / "airports" / "LSMD_addon.txt");
    EXPECT_EQ(clv::bgltool::gf_buildBgl(clv::bgltool::gf_parseBglDescription(description)),
              readFile(demoFolder() / kDemoBgl));
    EXPECT_TRUE(fs::exists(demoFolder() / "Community" / "demo-airport-lsmd" / "manifest.json"));
}

TEST(DemoAirport, ScanOfTheDemoInstallGeneratesItsFile) {
    TempFolder work;
    CurrentFolder current(work.path());
    gf_openLog(work.path());
    const std::string install = MSFS_INSTALL_PATH.value.get();
    const std::string parameters = g_parametersXmlPath;
    const bool msfs2020 = MSFS_2020.value;
    MSFS_INSTALL_PATH.value = demoFolder().string();
    g_parametersXmlPath = (work.path() / "parameters.xml").string();
    MSFS_2020.value = true;
    SCAN_AIRPORTS.value = true;
    stopRequested = false;
    userClosedWindow = false;
    g_addonAirportFound = false;
    gf_initWorkerThrottle();
    for (const auto* folder : gf_foldersCreatedAtStart()) fs::create_directories(*folder);

    gf_scanAddonAirports();

    pugi::xml_document generated;
    ASSERT_TRUE(generated.load_file((work.path() / g_myThirdpartyFolder / "LSMD.xml").c_str()));
    EXPECT_EQ(generated.select_nodes("//parkpos").size(), 12u);
    EXPECT_STREQ(generated.select_node("//parameter[@name='publisher']").node().attribute("value").value(),
                 "unknown");
    EXPECT_STREQ(generated.select_node("//parameter[@name='manufacturer']").node().attribute("value").value(),
                 "Calvorinth Demo Sceneries");
    const std::string report = readFile(work.path() / g_airportsScanLogFile);
    EXPECT_NE(report.find("Generated LSMD.xml: 12 positions, of which 1 helipad"), std::string::npos) << report;
    EXPECT_FALSE(SCAN_AIRPORTS.value);
    EXPECT_EQ(runningTasks.load(), 0);

    MSFS_INSTALL_PATH.value = install;
    g_parametersXmlPath = parameters;
    MSFS_2020.value = msfs2020;
    g_addonAirportFound = false;
    gf_closeLog();
}
