#include "airports/parking/learned_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LearnedFiles, PathOfTheLearnedFile) {
    struct Case {
        std::string path;
        std::string publisher;
        std::string learned;
    };
    const Case cases[] = {
        {"archive/stock/EHAM.xml", "stock", "airports/learned/stock/EHAM.xml"},
        {"archive/simaddon/EDDM.xml", "simaddon", "airports/learned/simaddon/EDDM.xml"},
        {"archive/thirdparty/Abc%20Def/LOWI.xml", "Abc Def", "airports/learned/thirdparty/Abc Def/LOWI.xml"},
        {"archive/thirdparty/A%20B%20%20C/LOWI%20.xml", "A B  C", "airports/learned/thirdparty/A B  C/LOWI .xml"},
        {"airports/my_thirdparty/LOWI.xml", "Abc", "airports/learned/thirdparty/Abc/LOWI.xml"},
        {"airports/my_thirdparty/LOWI.xml", "Abc Def", "airports/learned/thirdparty/Abc Def/LOWI.xml"},
        {"airports/my_thirdparty2024/LOWI.xml", "Abc", "airports/learned/thirdparty/Abc/LOWI.xml"},
        // Read where gf_saveApf writes it.
        {"airports/ra_vudovodo/EDDM.xml", "simaddon", "airports/learned/simaddon/EDDM.xml"},
        {"airports/ra_vudovodo/EDDM.xml", "Abc", "airports/learned/thirdparty/Abc/EDDM.xml"},
        {"airports/my_thirdparty/LOWI.xml", "stock", "airports/learned/stock/LOWI.xml"},
        // A publisher never leads out of the thirdparty folder.
        {"airports/my_thirdparty/LOWI.xml", "../../..", "airports/learned/thirdparty/.._.._../LOWI.xml"},
        {"airports/my_thirdparty/LOWI.xml", "..", "airports/learned/thirdparty/_/LOWI.xml"},
        {"other/EHAM.xml", "stock", "other/EHAM.xml"},
        {"", "stock", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " by " + c.publisher);
        EXPECT_EQ(gf_archivePath(c.path, c.publisher).string(), c.learned);
    }
}

TEST(LearnedFiles, FolderOfAPublisher) {
    EXPECT_EQ(gf_learnedFolderOf("stock").string(), "airports/learned/stock");
    EXPECT_EQ(gf_learnedFolderOf("simaddon").string(), "airports/learned/simaddon");
    EXPECT_EQ(gf_learnedFolderOf("Abc Def").string(), "airports/learned/thirdparty/Abc Def");
    EXPECT_EQ(gf_learnedFolderOf("a/b\\c").string(), "airports/learned/thirdparty/a_b_c");
}

}  // namespace
