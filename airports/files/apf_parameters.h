#pragma once
// One entry of an airport file's "parameters": the "value" attribute of the
// "parameter" element whose "name" is the key. Shared by every reader of
// airport files.
#include <cstdint>
#include <optional>
#include <string>

namespace pugi {
class xml_document;
}

// By the XML library's integer rule (an entry without "value" reads 0); none
// when the entry is missing.
std::optional<std::int32_t> lf_readIntParameter(const pugi::xml_document& document, const std::string& key);
// The text unchanged; none when the entry is missing.
std::optional<std::string> lf_readTextParameter(const pugi::xml_document& document, const std::string& key);
// By the XML library's boolean rule (true for a first character 1, t, T, y or Y;
// an entry without "value" reads false); none when the entry is missing.
std::optional<bool> lf_readBoolParameter(const pugi::xml_document& document, const std::string& key);
