#pragma once
// Small text helpers shared by every subsystem.
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace pugi {
class xml_node;
}

// The shared "no value" text.
extern const std::string g_emptyString;

// Without leading and trailing blanks, tabs, line feeds and carriage returns.
std::string gf_trim(std::string_view text);

// The pieces between delimiters, each trimmed; empty pieces are kept, so an
// empty text gives one empty piece (callers wanting none test for "" first).
std::vector<std::string> gf_split(std::string_view text, char delimiter);
std::vector<std::string> gf_splitComma(std::string_view text);

// The comma-separated pieces, trimmed, sorted byte-wise, without duplicates.
std::vector<std::string> gf_commaListToSet(std::string_view text);

std::string gf_joinComma(const std::vector<std::string>& items);

// The text between the first and second double quote; the whole text when it
// holds no quote; empty when there is no second quote.
std::string gf_betweenQuotes(std::string_view text);

// a equals b in upper case, character by character.
bool gf_equalsUpper(std::string_view a, std::string_view b);

// b is a followed by "*".
bool gf_equalsStarred(std::string_view a, std::string_view b);

// "{:.0f}" for a whole number, else "{:.1F}".
std::string gf_numberText(float x);

// A line of stars of width + extra (rounded up to even) with the text centred in it.
std::string gf_banner(int width, int extra, bool leadingBreak, bool trailingBreak, std::string_view text);

// The plural suffix: "" for 1 (and for a negative signed count), else "s".
template <typename T>
const char* gf_plural(T count) {
    static_assert(std::is_integral_v<T>);
    if constexpr (std::is_signed_v<T>) {
        if (count < 0) return "";
    }
    return count == 1 ? "" : "s";
}

// The value of the node's first attribute of that name, "" when there is none.
std::string gf_attributeValue(const pugi::xml_node& node, const char* name);

// Text from outside the program (feed lines, replies, datagrams) as it may go
// into one log line: control bytes and bytes that are not valid UTF-8 are written
// as \xNN (line feed, carriage return and tab as \n, \r, \t), a backslash as \\.
std::string gf_escapedText(std::string_view text);

// Valid UTF-8 without control characters (C0, DEL, C1): safe for a log line, a
// window and the simulator.
bool gf_isCleanText(std::string_view text);

// gf_escapedText of at most the first `maxBytes` bytes, followed by
// " ... ({} bytes)" with the whole length when the text is longer.
std::string gf_escapedExcerpt(std::string_view text, std::size_t maxBytes = 200);
