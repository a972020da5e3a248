#pragma once
// Strict UTF-8 <-> UTF-16 conversion; every failure is a Utf8ConversionException.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace win32 {

class Utf8ConversionException : public std::runtime_error {
public:
    static constexpr std::uint32_t kFromUtf16 = 1;  // UTF-16 -> UTF-8
    static constexpr std::uint32_t kFromUtf8 = 0;   // UTF-8 -> UTF-16

    Utf8ConversionException(const std::string& message, std::uint32_t errorCode, std::uint32_t direction)
        : std::runtime_error(message), errorCode_(errorCode), direction_(direction) {}

    std::uint32_t errorCode() const { return errorCode_; }
    std::uint32_t direction() const { return direction_; }

private:
    std::uint32_t errorCode_;
    std::uint32_t direction_;
};

}  // namespace win32

std::string gf_utf16ToUtf8(std::u16string_view text);
std::u16string gf_utf8ToUtf16(std::string_view text);

// UTF-16 bytes (without or with their byte-order mark) as text; an odd byte count
// or an invalid sequence throws like gf_utf16ToUtf8.
std::u16string gf_decodeUtf16Bytes(std::string_view bytes, bool bigEndian);

// Appends each line of UTF-16 text, converted to UTF-8, to `lines`. A line's
// trailing carriage return is dropped, so CR LF and LF files read alike.
void lf_readWideLines(std::u16string_view text, std::vector<std::string>& lines);

// A comma-separated list with white space is rewritten as its trimmed items
// joined by ","; a list without white space is left as it is.
void gf_normalizeList(std::string& list);
