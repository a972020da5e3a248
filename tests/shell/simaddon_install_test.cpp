// The start-up checks install the ra_vudovodo data package whenever it is not
// there, also after a restart, which otherwise skips the update check.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/run_state.h"
#include "core/stop_flags.h"
#include "shell/run_controller.h"
#include "shell_support.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;

struct PackageCase {
    const char* name;
    bool msfs2020;
    bool restart;  // the run follows a restart
    enum class Folder { Missing, Empty, OnlySubfolder, WithFile } folder;
    int updateCalls;  // the install, when the package is missing, then the update check unless restarting
};

void PrintTo(const PackageCase& c, std::ostream* os) { *os << c.name; }

class SimaddonPackageTest : public ShellTest, public ::testing::WithParamInterface<PackageCase> {};

TEST_P(SimaddonPackageTest, MissingOrEmptyPackageFolderIsInstalled) {
    const PackageCase& c = GetParam();
    writeParameters({{"MSFS_2020", c.msfs2020 ? "true" : "false"}});
    const fs::path package = folder / "work" / "airports" / "ra_vudovodo";
    switch (c.folder) {
        case PackageCase::Folder::Missing: break;
        case PackageCase::Folder::Empty: fs::create_directories(package); break;
        case PackageCase::Folder::OnlySubfolder: fs::create_directories(package / "stock"); break;
        case PackageCase::Folder::WithFile:
            folder.write("work/airports/ra_vudovodo/EGLL.txt", "installed");
            break;
    }
    restartPending = c.restart;
    doubles.dataStep = [] {
        gf_requestStop(ExitReason::SimWasClosed, 0);
        return true;
    };
    install();
    gf_runThread();

    EXPECT_EQ(doubles.count("updateSimaddon"), c.updateCalls);
    EXPECT_EQ(doubles.count("checkNewVersion"), c.restart ? 0 : 1);
    EXPECT_EQ(doubles.count("trafficTick"), 1) << "the run went on after the package step";
}

using Folder = PackageCase::Folder;

INSTANTIATE_TEST_SUITE_P(
    Cases, SimaddonPackageTest,
    ::testing::Values(PackageCase{"firstRunMissing", false, false, Folder::Missing, 2},
                      PackageCase{"firstRunEmpty", false, false, Folder::Empty, 2},
                      PackageCase{"firstRunInstalled", false, false, Folder::WithFile, 1},
                      PackageCase{"restartMissing", false, true, Folder::Missing, 1},
                      PackageCase{"restartEmpty", false, true, Folder::Empty, 1},
                      PackageCase{"restartOnlySubfolder", false, true, Folder::OnlySubfolder, 1},
                      PackageCase{"restartInstalled", false, true, Folder::WithFile, 0},
                      PackageCase{"msfs2020Missing", true, false, Folder::Missing, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace clv::test
