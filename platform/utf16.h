#pragma once
// Strict UTF-8 <-> UTF-16 conversion in place of the system's code-page calls.
// Invalid input (a lone surrogate, a malformed or overlong UTF-8 sequence, a
// code point past U+10FFFF) is refused, never replaced.
#include <cstdint>
#include <string>
#include <string_view>

namespace clv::platform {

// The system error code for text that has no valid mapping.
inline constexpr std::uint32_t kErrorNoUnicodeTranslation = 1113;

// Both return false on invalid input and leave `out` unspecified.
bool utf16ToUtf8(std::u16string_view in, std::string& out);
bool utf8ToUtf16(std::string_view in, std::u16string& out);

}  // namespace clv::platform
