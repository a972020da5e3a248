// The single-instance lock file: where it lives and who may hold it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/instance_lock.h"
#include "support/temp_folder.h"

namespace clv::platform {
namespace {

TEST(InstanceLock, LivesInTheUsersRuntimeFolder) {
    test::TempFolder folder;
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", folder.path().c_str());
    EXPECT_EQ(instanceLockPath("Local\\$Calvorinth$"), folder.path() / "Local_$Calvorinth$.lock");
}

TEST(InstanceLock, InTheSharedTemporaryFolderItCarriesTheUserId) {
    test::TempFolder folder;
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    test::ScopedEnv tmp("TMPDIR", folder.path().c_str());
    EXPECT_EQ(instanceLockPath("Local\\$Calvorinth$"),
              folder.path() / ("Local_$Calvorinth$." + std::to_string(getuid()) + ".lock"));
}

TEST(InstanceLock, SecondHolderIsRefused) {
    test::TempFolder folder;
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", folder.path().c_str());
    std::string error;
    EXPECT_EQ(acquireInstanceLock("Local\\$Calvorinth$", error), InstanceLockResult::Acquired);
    EXPECT_EQ(acquireInstanceLock("Local\\$Calvorinth$", error), InstanceLockResult::HeldElsewhere);
    // Another name is another instance.
    EXPECT_EQ(acquireInstanceLock("Local\\$Other$", error), InstanceLockResult::Acquired);
}

TEST(InstanceLock, UnusableFolderIsReportedNotTakenForAnotherInstance) {
    test::TempFolder folder;
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", (folder.path() / "missing").c_str());
    std::string error;
    EXPECT_EQ(acquireInstanceLock("Local\\$Calvorinth$", error), InstanceLockResult::Failed);
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

}  // namespace
}  // namespace clv::platform
