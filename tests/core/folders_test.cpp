#include "core/folders.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/log.h"
#include "support/temp_folder.h"

using clv::test::ScopedEnv;
using clv::test::TempFolder;

TEST(Folders, ProgramDataFolderFollowsXdgConfigHome) {
    TempFolder dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
    gf_initProgramFolders();
    EXPECT_EQ(g_programDataFolder, dir.path() / "Calvorinth");
    EXPECT_EQ(g_parametersXmlPath, (dir.path() / "Calvorinth" / "parameters.xml").string());
}

TEST(Folders, HomeIsUsedWhenXdgIsUnsetOrRelative) {
    TempFolder dir;
    ScopedEnv home("HOME", dir.path().c_str());
    ScopedEnv config("XDG_CONFIG_HOME", "relative/is/ignored");
    gf_initProgramFolders();
    EXPECT_EQ(g_programDataFolder, dir.path() / ".config" / "Calvorinth");
}

TEST(Folders, RelativeNamesAndCreationOrder) {
    EXPECT_EQ(g_learnedStockFolder, Path("airports/learned/stock"));
    EXPECT_EQ(g_incompleteFltsimFile, Path("output/errors/IncompleFltsimSections.txt"));
    EXPECT_EQ(g_liveriesScannedFile, Path("output/LiveriesScanned.xml"));
    EXPECT_TRUE(g_docsFolder.is_relative());

    // Every folder's parent comes before it, so creating them in order never fails
    // for a missing parent (input/ itself is not created: it ships with the program).
    const auto& folders = gf_foldersCreatedAtStart();
    for (size_t i = 0; i < folders.size(); ++i) {
        Path parent = folders[i]->parent_path();
        if (parent.empty() || parent == g_inputFolder) continue;
        bool before = false;
        for (size_t k = 0; k < i; ++k) before = before || *folders[k] == parent;
        EXPECT_TRUE(before) << folders[i]->string();
    }
}
