#include "core/text.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

using Pieces = std::vector<std::string>;

TEST(Text, TrimAndSplit) {
    EXPECT_EQ(gf_trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(gf_trim(" \t\r\n"), "");

    struct Case {
        std::string text;
        char delimiter;
        Pieces pieces;
    };
    const Case cases[] = {
        {"a,,b ", ',', {"a", "", "b"}},
        {"", ',', {""}},               // an empty text is one empty piece
        {"a,", ',', {"a", ""}},
        {",", ',', {"", ""}},
        {" x ; y ", ';', {"x", "y"}},
        {"no delimiter", ',', {"no delimiter"}},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_split(c.text, c.delimiter), c.pieces) << "[" << c.text << "]";
    EXPECT_EQ(gf_splitComma("a, b"), (Pieces{"a", "b"}));
}

TEST(Text, CommaListsAndJoins) {
    EXPECT_EQ(gf_commaListToSet("b, a,b ,C"), (Pieces{"C", "a", "b"}));  // byte-wise: upper case first
    EXPECT_EQ(gf_joinComma({}), "");
    EXPECT_EQ(gf_joinComma({"a"}), "a");
    EXPECT_EQ(gf_joinComma({"a", "", "c"}), "a,,c");
}

TEST(Text, Quotes) {
    struct Case {
        std::string text, inside;
    };
    const Case cases[] = {
        {R"(InstalledPackagesPath "D:\MSFS")", R"(D:\MSFS)"},
        {"no quotes", "no quotes"},
        {R"(one " only)", ""},
        {R"(adjacent "" here)", ""},
        {R"("a" "b")", "a"},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_betweenQuotes(c.text), c.inside) << c.text;
}

TEST(Text, Comparisons) {
    EXPECT_TRUE(gf_equalsUpper("DLH", "dlh"));
    EXPECT_TRUE(gf_equalsUpper("DLH", "DLH"));
    EXPECT_FALSE(gf_equalsUpper("dlh", "dlh"));
    EXPECT_FALSE(gf_equalsUpper("DLH", "dlhx"));
    EXPECT_TRUE(gf_equalsStarred("BAW12", "BAW12*"));
    EXPECT_FALSE(gf_equalsStarred("BAW12", "BAW12"));
    EXPECT_FALSE(gf_equalsStarred("BAW12", "BAW1*"));
    EXPECT_FALSE(gf_equalsStarred("BAW12", "BAW12**"));
}

TEST(Text, NumbersAndPlurals) {
    EXPECT_EQ(gf_numberText(24.0f), "24");
    EXPECT_EQ(gf_numberText(0.5f), "0.5");
    EXPECT_EQ(gf_numberText(2.46f), "2.5");
    EXPECT_EQ(gf_numberText(-7.0f), "-7");
    EXPECT_STREQ(gf_plural(0), "s");
    EXPECT_STREQ(gf_plural(1), "");
    EXPECT_STREQ(gf_plural(2), "s");
    EXPECT_STREQ(gf_plural(-3), "");
    EXPECT_STREQ(gf_plural(-3LL), "");
    EXPECT_STREQ(gf_plural(1ULL), "");
    EXPECT_STREQ(gf_plural(5u), "s");
}

TEST(Text, Banners) {
    struct Case {
        int width, extra;
        bool before, after;
        std::string text, banner;
    };
    const Case cases[] = {
        {10, 0, false, false, "", "**********"},
        {9, 0, false, false, "", "**********"},  // rounded up to even
        {10, 0, false, false, "abc", "**** abc ****"},
        {10, 0, false, false, "abcdefgh", "abcdefgh"},  // not shorter than W - 2
        {10, 0, false, false, "abcdefg", "**** abcdefg ****"},
        {8, 2, true, true, "x", "\n**** x ****\n"},
        {8, 2, true, false, "x", "\n**** x ****"},
        {8, 2, false, true, "", "**********\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_banner(c.width, c.extra, c.before, c.after, c.text), c.banner) << c.text;
}

TEST(Text, AttributeValue) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<parameter name="LOG" value="true" name="second"/>)"));
    auto node = doc.child("parameter");
    EXPECT_EQ(gf_attributeValue(node, "name"), "LOG");
    EXPECT_EQ(gf_attributeValue(node, "missing"), "");
}

TEST(Text, OutsideTextForTheLog) {
    struct Case {
        const char* name;
        std::string text;
        bool clean;
        std::string escaped;
    };
    const Case cases[] = {
        {"plain callsign", "SWR123", true, "SWR123"},
        {"accented UTF-8", "Z\xC3\xBCrich", true, "Z\xC3\xBCrich"},
        {"four-byte UTF-8", "\xF0\x9F\x9B\xAB", true, "\xF0\x9F\x9B\xAB"},
        {"line feed splits a log line", "AB\nC", false, "AB\\nC"},
        {"carriage return and tab", "A\rB\tC", false, "A\\rB\\tC"},
        {"escape sequence", "\x1B[2J", false, "\\x1B[2J"},
        {"NUL byte", std::string("A\0B", 3), false, "A\\x00B"},
        {"DEL", "A\x7F", false, "A\\x7F"},
        {"C1 control as UTF-8", "A\xC2\x85", false, "A\\xC2\\x85"},
        {"lone continuation byte", "A\x80", false, "A\\x80"},
        {"truncated sequence", "A\xE2\x82", false, "A\\xE2\\x82"},
        {"overlong slash", "\xC0\xAF", false, "\\xC0\\xAF"},
        {"UTF-16 surrogate", "\xED\xA0\x80", false, "\\xED\\xA0\\x80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false, "\\xF4\\x90\\x80\\x80"},
        {"backslash stays readable", "C:\\x", true, "C:\\\\x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gf_isCleanText(c.text), c.clean);
        EXPECT_EQ(gf_escapedText(c.text), c.escaped);
    }
}

TEST(Text, LongOutsideTextIsCutForTheLog) {
    const std::string datagram(16000, 'x');
    EXPECT_EQ(gf_escapedExcerpt(datagram), std::string(200, 'x') + " ... (16000 bytes)");
    EXPECT_EQ(gf_escapedExcerpt("{\"QNH\":\n1}"), "{\"QNH\":\\n1}");
    EXPECT_EQ(gf_escapedExcerpt("abc\x01", 3), "abc ... (4 bytes)");
}
