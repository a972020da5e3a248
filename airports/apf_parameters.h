#pragma once
// One entry of an airport file's "parameters": the "value" of the "parameter"
// element whose "name" is the key. Shared by every reader of airport files.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pugi {
class xml_document;
}

// No such element: nothing. An element without "value": false, 0 or "".
// Otherwise the value by the XML library's rules (a bool is true for a first
// character 1, t, T, y or Y; an int is decimal or "0x" hexadecimal after leading
// blanks, saturated to 32 bits).
std::optional<bool> lf_readBoolParameter(const pugi::xml_document& document, std::string_view key);
std::optional<std::int32_t> lf_readIntParameter(const pugi::xml_document& document, std::string_view key);
std::optional<std::string> lf_readTextParameter(const pugi::xml_document& document, std::string_view key);
