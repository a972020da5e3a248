#pragma once
// Whole-file reading and writing, with detection of the text encoding.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace pugi {
class xml_document;
}

namespace clv {

enum class TextEncoding : std::int32_t {
    None = 0,     // no byte-order mark
    Utf16Le = 1,  // FF FE
    Utf16Be = 2,  // FE FF
    Utf8 = 3,     // EF BB
    CannotOpen = 5,
};

// A path and its text; read() loads the whole file.
struct TextFile {
    std::filesystem::path path;
    std::string text;
    // The file's text, or nothing when it cannot be read or is empty.
    std::optional<std::string> read();
};

}  // namespace clv

clv::TextEncoding gf_detectEncoding(const std::filesystem::path& path);

// The whole file as UTF-8 (UTF-16 converted, a UTF-8 byte-order mark dropped).
// False when the file cannot be opened or its UTF-16 is invalid; the text is then empty.
bool gf_readTextFile(clv::TextEncoding encoding, const std::filesystem::path& path, std::string& text);

// Appends every line of the stream; one trailing carriage return per line is dropped.
void gf_readLines(std::istream& in, std::vector<std::string>& lines);

bool gf_writeTextFile(const std::string& text, const std::filesystem::path& path, bool asLine);
bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);

// Saves with the XML declaration, through a temporary file and a rename, so a
// crash never leaves half a file; logs the outcome.
bool gf_saveXml(const pugi::xml_document& document, const std::filesystem::path& path);
// Writes the document to "<path>.tmp" and renames it over the path, so that a
// failed write never leaves the file cut short; no log line of its own. Only a
// part-written file of ours is removed on failure.
bool gf_replaceXmlFile(const pugi::xml_document& document, const std::filesystem::path& path,
                       const char* indent = "  ");

// True when the file did not exist; else whether it was removed.
bool gf_removeFile(const std::filesystem::path& path);

// The number of sub-folders directly in the folder; 0 when it does not exist.
std::int32_t gf_countFolderEntries(const std::filesystem::path& folder);

// Removes every entry directly in the folder; failures are logged one by one.
void gf_clearFolder(const std::filesystem::path& folder);
