#include "core/version.h"

#include <gtest/gtest.h>

#include <string>

using clv::Version;

TEST(Version, ReadsDottedTextAndJsonObjects) {
    struct Case {
        std::string text;
        Version expected;
    };
    const Case cases[] = {
        {"10.10.9", {10, 10, 9}},
        {"0.0.1", {0, 0, 1}},
        {R"({"major": 10, "minor": 11, "patch": 0})", {10, 11, 0}},
        {R"({"patch": 3, "major": 2, "minor": 1})", {2, 1, 3}},
        // Each separator of the dotted form may be any one character.
        {"10-10-9", {10, 10, 9}},
        {"", {0, 0, 0}},
        // What cannot be read stays 0; what was read before the failure is kept.
        {R"({"major": 10})", {10, 0, 0}},
        {R"({"major": 10, "patch": 4})", {10, 0, 0}},
        {R"({"major": 10, "minor": "11", "patch": 0})", {10, 0, 0}},
        {"10.10", {0, 0, 0}},
        {"10.10.9.1", {0, 0, 0}},
        {" 10.10.9", {0, 0, 0}},
        {"version ten", {0, 0, 0}},
        {"[10, 10, 9]", {0, 0, 0}},
        {R"({"major": 10, "minor": 11)", {0, 0, 0}},
        // A part too large for 32 bits is unreadable as a whole.
        {"99999999999.1.1", {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Version v(c.text);
        EXPECT_EQ(v.major, c.expected.major);
        EXPECT_EQ(v.minor, c.expected.minor);
        EXPECT_EQ(v.patch, c.expected.patch);
    }
}

TEST(Version, ShowsItsThreeParts) {
    EXPECT_EQ(Version("10.10.9").toString(), "10.10.9");
    EXPECT_EQ(Version(R"({"major": 1, "minor": 20, "patch": 300})").asString(), "1.20.300");
    EXPECT_EQ(Version().toString(), "0.0.0");
}

TEST(Version, OrdersByMajorThenMinorThenPatch) {
    const Version running("10.10.9");
    EXPECT_LT(running, Version("10.11.0"));
    EXPECT_GT(running, Version("10.9.20"));
    EXPECT_LT(running, Version("10.10.10"));
    EXPECT_LT(running, Version("11.0.0"));
    EXPECT_GT(running, Version("9.99.99"));
    EXPECT_EQ(running, Version(R"({"major": 10, "minor": 10, "patch": 9})"));
    EXPECT_FALSE(running > Version("10.10.9"));
    // Parts compare as signed numbers.
    EXPECT_LT(Version(-1, 0, 0), Version(0, 0, 0));
    EXPECT_EQ(g_programVersion, running);
}
