#include "platform/utf16.h"

namespace clv::platform {
namespace {

constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

void appendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

bool utf16ToUtf8(std::u16string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t unit = in[i];
        if (unit < kHighSurrogateFirst || unit >= kSurrogateEnd) {
            appendUtf8(unit, out);
            continue;
        }
        if (unit >= kLowSurrogateFirst) return false;  // low surrogate without a high one
        if (i + 1 >= in.size()) return false;
        char32_t low = in[i + 1];
        if (low < kLowSurrogateFirst || low >= kSurrogateEnd) return false;
        appendUtf8(0x10000 + ((unit - kHighSurrogateFirst) << 10) + (low - kLowSurrogateFirst), out);
        ++i;
    }
    return true;
}

bool utf8ToUtf16(std::string_view in, std::u16string& out) {
    out.clear();
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        auto lead = static_cast<unsigned char>(in[i]);
        char32_t cp = 0;
        size_t length = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            out.push_back(static_cast<char16_t>(lead));
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            length = 2;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            length = 3;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            length = 4;
            minimum = 0x10000;
        } else {
            return false;  // continuation byte or 0xF8..0xFF as a lead
        }
        if (i + length > in.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(in[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < minimum || cp > kMaxCodePoint || (cp >= kHighSurrogateFirst && cp < kSurrogateEnd)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(kHighSurrogateFirst + (cp >> 10)));
            out.push_back(static_cast<char16_t>(kLowSurrogateFirst + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return true;
}

}  // namespace clv::platform
