#include "core/encoding.h"

#include <limits>

#include "core/text.h"
#include "platform/utf16.h"

namespace {

using win32::Utf8ConversionException;

void checkLength(size_t size) {
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        throw std::overflow_error("Input string too long: size_t-length doesn't fit into int.");
}

// The codec reports only invalid input; the other messages belong to failures of
// the size query or the conversion itself, which carry other error codes.
[[noreturn]] void throwInvalid(std::uint32_t direction) {
    const char* message = direction == Utf8ConversionException::kFromUtf16
                              ? "Invalid UTF-16 sequence found in input string."
                              : "Invalid UTF-8 sequence found in input string.";
    throw Utf8ConversionException(message, clv::platform::kErrorNoUnicodeTranslation, direction);
}

}  // namespace

std::string gf_utf16ToUtf8(std::u16string_view text) {
    if (text.empty()) return {};
    checkLength(text.size());
    std::string out;
    if (!clv::platform::utf16ToUtf8(text, out)) throwInvalid(Utf8ConversionException::kFromUtf16);
    return out;
}

std::u16string gf_utf8ToUtf16(std::string_view text) {
    if (text.empty()) return {};
    checkLength(text.size());
    std::u16string out;
    if (!clv::platform::utf8ToUtf16(text, out)) throwInvalid(Utf8ConversionException::kFromUtf8);
    return out;
}

std::u16string gf_decodeUtf16Bytes(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) throwInvalid(Utf8ConversionException::kFromUtf16);
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto b0 = static_cast<unsigned char>(bytes[i]);
        auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0));
    }
    if (!out.empty() && out.front() == u'\uFEFF') out.erase(0, 1);
    return out;
}

void lf_readWideLines(std::u16string_view text, std::vector<std::string>& lines) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        std::u16string_view line = text.substr(start, end == std::u16string_view::npos ? end : end - start);
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        lines.push_back(gf_utf16ToUtf8(line));
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
}

void gf_normalizeList(std::string& list) {
    if (list.empty() || list.find_first_of(" \t\n\r") == std::string::npos) return;
    std::string joined;
    bool first = true;
    for (const auto& item : gf_split(list, ',')) {
        if (!first) joined += ',';
        joined += item;
        first = false;
    }
    list = std::move(joined);
}
