#pragma once

namespace clv {

// The product name in user messages, file headers and folder names.
inline constexpr const char* kProductName = "Calvorinth";

}  // namespace clv
