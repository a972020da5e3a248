#include "core/text.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include <fmt/format.h>
#include <pugixml.hpp>

const std::string g_emptyString;

namespace {
constexpr std::string_view kWhitespace = " \t\n\r";
}

std::string gf_trim(std::string_view text) {
    auto first = text.find_first_not_of(kWhitespace);
    if (first == std::string_view::npos) return {};
    auto last = text.find_last_not_of(kWhitespace);
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> gf_split(std::string_view text, char delimiter) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (true) {
        size_t end = text.find(delimiter, start);
        if (end == std::string_view::npos) {
            pieces.push_back(gf_trim(text.substr(start)));
            break;
        }
        pieces.push_back(gf_trim(text.substr(start, end - start)));
        start = end + 1;
    }
    return pieces;
}

std::vector<std::string> gf_splitComma(std::string_view text) { return gf_split(text, ','); }

std::vector<std::string> gf_commaListToSet(std::string_view text) {
    auto items = gf_split(text, ',');
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    return items;
}

std::string gf_joinComma(const std::vector<std::string>& items) {
    if (items.empty()) return {};
    size_t length = items.size() - 1;
    for (const auto& item : items) length += item.size();
    std::string joined;
    joined.reserve(length);
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) joined += ',';
        joined += items[i];
    }
    return joined;
}

std::string gf_betweenQuotes(std::string_view text) {
    auto first = text.find('"');
    if (first == std::string_view::npos) return std::string(text);
    auto second = text.find('"', first + 1);
    if (second == std::string_view::npos) return {};
    return std::string(text.substr(first + 1, second - first - 1));
}

std::string gf_upperText(std::string text) {
    for (char& c : text) c = gf_upper(c);
    return text;
}

bool gf_equalsUpper(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != static_cast<char>(std::toupper(static_cast<unsigned char>(b[i])))) return false;
    }
    return true;
}

bool gf_equalsStarred(std::string_view a, std::string_view b) {
    return b.size() == a.size() + 1 && b.back() == '*' && b.substr(0, a.size()) == a;
}

std::string gf_numberText(float x) {
    if (std::trunc(x) == x) return fmt::format("{:.0f}", x);
    return fmt::format("{:.1F}", x);
}

std::string gf_banner(int width, int extra, bool leadingBreak, bool trailingBreak, std::string_view text) {
    int w = width + extra;
    if (w % 2 != 0) ++w;
    std::string line;
    if (text.empty()) {
        line.assign(static_cast<size_t>(std::max(w, 0)), '*');
    } else if (static_cast<long>(text.size()) < w - 2) {
        std::string stars(static_cast<size_t>(w / 2 - 1), '*');
        line = stars + " " + std::string(text) + " " + stars;
    } else {
        line = std::string(text);
    }
    // Composed, not inserted at the front: an insert made g++ 12 warn of a copy
    // bound it could not rule out (-Wstringop-overflow).
    std::string out;
    out.reserve(line.size() + 2);
    if (leadingBreak) out += '\n';
    out += line;
    if (trailingBreak) out += '\n';
    return out;
}

std::string gf_attributeValue(const pugi::xml_node& node, const char* name) {
    pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? std::string(attribute.value()) : std::string();
}

namespace {

// The length of the valid UTF-8 sequence at the start of `text`, 0 when it is not
// one (overlong forms, surrogates and values above U+10FFFF are not valid).
std::size_t lf_utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) return 1;
    std::size_t length = 0;
    char32_t value = 0;
    char32_t lowest = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        value = b0 & 0x1F;
        lowest = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        value = b0 & 0x0F;
        lowest = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        value = b0 & 0x07;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return length;
}

bool lf_isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

char32_t lf_decode(std::string_view text, std::size_t length) {
    const auto b = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text[i])); };
    switch (length) {
        case 1: return b(0);
        case 2: return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
        case 3: return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
        default: return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    }
}

}  // namespace

std::string gf_escapedText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = lf_utf8SequenceLength(text);
        const char32_t c = length == 0 ? 0xFFFD : lf_decode(text, length);
        if (length != 0 && !lf_isControl(c)) {
            if (c == U'\\')
                out += "\\\\";
            else
                out.append(text.substr(0, length));
            text.remove_prefix(length);
            continue;
        }
        // Escaped byte by byte: a bad sequence shows exactly what came.
        const std::size_t bytes = length == 0 ? 1 : length;
        for (std::size_t i = 0; i < bytes; ++i) {
            const char b = text[i];
            if (b == '\n')
                out += "\\n";
            else if (b == '\r')
                out += "\\r";
            else if (b == '\t')
                out += "\\t";
            else
                out += fmt::format("\\x{:02X}", static_cast<unsigned char>(b));
        }
        text.remove_prefix(bytes);
    }
    return out;
}

bool gf_isCleanText(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = lf_utf8SequenceLength(text);
        if (length == 0 || lf_isControl(lf_decode(text, length))) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string gf_escapedExcerpt(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return gf_escapedText(text);
    return fmt::format("{} ... ({} bytes)", gf_escapedText(text.substr(0, maxBytes)), text.size());
}
