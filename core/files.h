#pragma once
// Whole-file reading and writing, with detection of the text encoding.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <ostream>
#include <optional>
#include <string>
#include <string_view>
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
// The same; a file that cannot be opened also gives the reason in words
// ("cannot be opened: Permission denied"), for reports that name the file.
clv::TextEncoding gf_detectEncoding(const std::filesystem::path& path, std::string& failure);

// The whole file as UTF-8 (UTF-16 converted, a UTF-8 byte-order mark dropped).
// False when the file cannot be opened or its UTF-16 is invalid; the text is then empty.
bool gf_readTextFile(clv::TextEncoding encoding, const std::filesystem::path& path, std::string& text);
// The same; a failure also gives the reason in words ("cannot be opened: ...",
// "cannot be decoded as UTF-16: ...").
bool gf_readTextFile(clv::TextEncoding encoding, const std::filesystem::path& path, std::string& text,
                     std::string& failure);

// gf_detectEncoding and gf_readTextFile in one reading of the file. A file that
// does not exist sets `missing` and gives no reason; one that cannot be opened is
// logged as gf_detectEncoding logs it.
bool gf_readDetectedTextFile(const std::filesystem::path& path, std::string& text, std::string& failure,
                             bool& missing);

// Appends every line of the stream; one trailing carriage return per line is dropped.
void gf_readLines(std::istream& in, std::vector<std::string>& lines);

// The steps of replacing a file, each of which can fail.
namespace clv {
enum class ReplaceStep : std::int32_t { None, Open, Write, Flush, Rename };
}  // namespace clv

// Writes through a temporary of its own beside the path (gf_temporaryPath, ".tmp")
// that is renamed over the path once complete: readers and other writers of the
// path meet the old file or the new one, never a part, and a failed step leaves
// the old file as it was. "" on success; else the step that failed and the
// system's reason (the temporary is then removed).
std::string gf_replaceFile(const std::filesystem::path& path, const std::function<void(std::ostream&)>& write);
// For the tests of those failures: the next replacement on the calling thread
// fails at this step as if the system had refused it.
void gf_failNextReplaceStep(clv::ReplaceStep step);

// The text, with a line end when asLine, through gf_replaceFile; "" or why not.
std::string gf_replaceTextFile(const std::string& text, const std::filesystem::path& path, bool asLine);
// The same; true when written.
bool gf_writeTextFile(const std::string& text, const std::filesystem::path& path, bool asLine);
// Each line with its line end, through gf_replaceFile; "" or why not.
std::string gf_replaceLines(const std::vector<std::string>& lines, const std::filesystem::path& path);
// The same; true when written.
bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);

// A temporary name beside the target for one writer: "<target>.<token>-<n><suffix>",
// with a token drawn once per process and a number counted per call. Two writers
// of one file (threads, or another process) never share a temporary, so neither
// can rename the other's half-written file or find its own gone.
std::filesystem::path gf_temporaryPath(const std::filesystem::path& target, std::string_view suffix);

// Saves with the XML declaration, through a temporary file and a rename, so a
// crash never leaves half a file; logs the outcome.
bool gf_saveXml(const pugi::xml_document& document, const std::filesystem::path& path);
// Writes the document through gf_replaceFile, so that a failed write never
// leaves the file cut short; no log line of its own.
bool gf_replaceXmlFile(const pugi::xml_document& document, const std::filesystem::path& path,
                       const char* indent = "  ");

// True when the file did not exist; else whether it was removed.
bool gf_removeFile(const std::filesystem::path& path);

// The number of sub-folders directly in the folder; 0 when it does not exist.
std::int32_t gf_countFolderEntries(const std::filesystem::path& folder);

// Removes every entry directly in the folder; failures are logged one by one.
void gf_clearFolder(const std::filesystem::path& folder);
