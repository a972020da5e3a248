#include "core/encoding.h"

#include <gtest/gtest.h>

using win32::Utf8ConversionException;

namespace {

template <typename F>
Utf8ConversionException catchConversion(F f) {
    try {
        f();
    } catch (const Utf8ConversionException& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return Utf8ConversionException("", 0, 99);
}

}  // namespace

TEST(Encoding, RoundTripsIncludingOutsideTheBasicPlane) {
    const std::string texts[] = {"", "plain ASCII", "Zürich Flughafen", "東京", "pilot \xF0\x9F\x9B\xA9 emoji",
                                 "\xF4\x8F\xBF\xBF"};  // U+10FFFF
    for (const auto& t : texts) EXPECT_EQ(gf_utf16ToUtf8(gf_utf8ToUtf16(t)), t);
    // U+1F6E9 is one surrogate pair: two UTF-16 units.
    EXPECT_EQ(gf_utf8ToUtf16("\xF0\x9F\x9B\xA9"), (std::u16string{0xD83D, 0xDEE9}));
}

TEST(Encoding, InvalidUtf16IsRefusedWithCode1113) {
    const std::u16string bad[] = {{0xD800}, {u'a', 0xD83D}, {0xDC00, u'a'}, {0xD83D, u'x'}};
    for (const auto& s : bad) {
        auto e = catchConversion([&] { gf_utf16ToUtf8(s); });
        EXPECT_STREQ(e.what(), "Invalid UTF-16 sequence found in input string.");
        EXPECT_EQ(e.errorCode(), 1113u);
        EXPECT_EQ(e.direction(), 1u);
        Utf8ConversionException copy = e;  // copies keep all three
        EXPECT_EQ(copy.errorCode(), 1113u);
        EXPECT_EQ(copy.direction(), 1u);
        EXPECT_STREQ(copy.what(), e.what());
    }
}

TEST(Encoding, InvalidUtf8IsRefusedWithCode1113) {
    const std::string bad[] = {
        "\xC3\x28",          // bad continuation
        "\x80",              // stray continuation
        "\xC0\xAF",          // overlong "/"
        "\xE0\x80\xAF",      // overlong three-byte
        "\xED\xA0\x80",      // encoded surrogate
        "\xF4\x90\x80\x80",  // past U+10FFFF
        "abc\xE2\x82",       // truncated at the end
        "\xFF",
    };
    for (const auto& s : bad) {
        auto e = catchConversion([&] { gf_utf8ToUtf16(s); });
        EXPECT_STREQ(e.what(), "Invalid UTF-8 sequence found in input string.");
        EXPECT_EQ(e.errorCode(), 1113u);
        EXPECT_EQ(e.direction(), 0u);
    }
}

TEST(Encoding, Utf16BytesInBothByteOrders) {
    // "Aé" with byte-order marks.
    EXPECT_EQ(gf_decodeUtf16Bytes(std::string("\xFF\xFE" "A\0\xE9\0", 6), false), u"Aé");
    EXPECT_EQ(gf_decodeUtf16Bytes(std::string("\xFE\xFF\0A\0\xE9", 6), true), u"Aé");
    EXPECT_EQ(gf_decodeUtf16Bytes(std::string("\xFF\xFE", 2), false), u"");
    EXPECT_THROW(gf_decodeUtf16Bytes(std::string("\xFF\xFE" "A", 3), false), Utf8ConversionException);
}

TEST(Encoding, WideLinesDropOnlyACarriageReturn) {
    struct Case {
        std::u16string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {u"one\r\ntwo\r\n", {"one", "two"}},
        {u"one\ntwo\n", {"one", "two"}},      // LF only: no character lost
        {u"one\r\nlast", {"one", "last"}},    // last line without a line end
        {u"\n\n", {"", ""}},                  // empty lines stay empty
        {u"a\r\n\r\nb", {"a", "", "b"}},
        {u"", {}},
        {u"Zürich\r\n", {"Zürich"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        lf_readWideLines(c.text, got);
        EXPECT_EQ(got, c.lines);
    }
}

TEST(Encoding, NormalizeList) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"a, b, c", "a,b,c"},
        {"a,b,c", "a,b,c"},
        {"a\t,b\t,", "a,b,"},   // tab-separated, empty last item kept
        {"", ""},
        {" a ,, b ", "a,,b"},
        {"x y", "x y"},         // no comma: one trimmed item
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        gf_normalizeList(s);
        EXPECT_EQ(s, c.out) << "[" << c.in << "]";
    }
}
