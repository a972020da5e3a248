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
    if (leadingBreak) line.insert(0, "\n");
    if (trailingBreak) line += "\n";
    return line;
}

std::string gf_attributeValue(const pugi::xml_node& node, const char* name) {
    pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? std::string(attribute.value()) : std::string();
}
