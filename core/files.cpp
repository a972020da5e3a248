#include "core/files.h"

#include <cerrno>
#include <fstream>
#include <iterator>

#include <pugixml.hpp>

#include "core/encoding.h"
#include "core/log.h"
#include "core/ui_port.h"

namespace fs = std::filesystem;
using clv::TextEncoding;

namespace {

constexpr unsigned char kBomUtf16Le[] = {0xFF, 0xFE};
constexpr unsigned char kBomUtf16Be[] = {0xFE, 0xFF};
constexpr unsigned char kBomUtf8[] = {0xEF, 0xBB};
constexpr size_t kUtf8BomLength = 3;

std::optional<std::string> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::optional<std::string> clv::TextFile::read() {
    auto bytes = readBytes(path);
    if (!bytes || bytes->empty()) return std::nullopt;
    text = std::move(*bytes);
    return text;
}

TextEncoding gf_detectEncoding(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        gf_log("cannot open file {} for character encoding, err: {}", path.string(), errno);
        return TextEncoding::CannotOpen;
    }
    unsigned char bom[2] = {0, 0};
    in.read(reinterpret_cast<char*>(bom), 2);
    if (in.gcount() < 2) return TextEncoding::None;
    if (bom[0] == kBomUtf16Le[0] && bom[1] == kBomUtf16Le[1]) return TextEncoding::Utf16Le;
    if (bom[0] == kBomUtf16Be[0] && bom[1] == kBomUtf16Be[1]) return TextEncoding::Utf16Be;
    if (bom[0] == kBomUtf8[0] && bom[1] == kBomUtf8[1]) return TextEncoding::Utf8;
    return TextEncoding::None;
}

bool gf_readTextFile(TextEncoding encoding, const fs::path& path, std::string& text) {
    text.clear();
    auto bytes = readBytes(path);
    if (!bytes) return false;
    switch (encoding) {
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            try {
                text = gf_utf16ToUtf8(gf_decodeUtf16Bytes(*bytes, encoding == TextEncoding::Utf16Be));
            } catch (const win32::Utf8ConversionException& e) {
                gf_uiPort().setStatusLine(
                    fmt::format("conversion from error from utf16 to utf8, code: {}", e.errorCode()), true);
                text.clear();
                return false;
            } catch (const std::exception& e) {
                gf_uiPort().setStatusLine(std::string("conversion from error from utf16 to utf8: ") + e.what(), true);
                text.clear();
                return false;
            }
            return true;
        case TextEncoding::Utf8:
            text = bytes->size() >= kUtf8BomLength ? bytes->substr(kUtf8BomLength) : std::string();
            return true;
        default:
            text = std::move(*bytes);
            return true;
    }
}

void gf_readLines(std::istream& in, std::vector<std::string>& lines) {
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
}

bool gf_writeTextFile(const std::string& text, const fs::path& path, bool asLine) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    if (asLine) out << '\n';
    out.flush();
    return static_cast<bool>(out);
}

bool gf_writeLines(const std::vector<std::string>& lines, const fs::path& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const auto& line : lines) out << line << '\n';
    out.flush();
    return static_cast<bool>(out);
}

bool gf_replaceXmlFile(const pugi::xml_document& document, const fs::path& path, const char* indent) {
    fs::path temporary = path;
    temporary += ".tmp";
    bool written = document.save_file(temporary.c_str(), indent, pugi::format_default, pugi::encoding_utf8);
    if (written) {
        std::error_code ec;
        fs::rename(temporary, path, ec);
        written = !ec;
    }
    if (!written) {
        std::error_code ignored;
        if (fs::is_regular_file(temporary, ignored)) fs::remove(temporary, ignored);
    }
    return written;
}

bool gf_saveXml(const pugi::xml_document& document, const fs::path& path) {
    if (!gf_replaceXmlFile(document, path)) {
        gf_log("could not save to \"{}\"", path.string());
        return false;
    }
    gf_log("\"{}\" saved", path.string());
    return true;
}

bool gf_removeFile(const fs::path& path) {
    std::error_code ec;
    bool exists = fs::exists(path, ec);
    if (ec) throw fs::filesystem_error("remove", path, ec);
    if (!exists) return true;
    bool removed = fs::remove(path, ec);
    if (ec) throw fs::filesystem_error("remove", path, ec);
    return removed;
}

std::int32_t gf_countFolderEntries(const fs::path& folder) {
    std::error_code ec;
    if (!fs::exists(folder, ec)) return 0;
    std::int32_t count = 0;
    fs::directory_iterator it(folder, ec);
    if (ec) throw fs::filesystem_error("directory_iterator::directory_iterator", folder, ec);
    for (; it != fs::directory_iterator(); ) {
        bool isFolder = it->is_directory(ec);
        if (ec) throw fs::filesystem_error("directory_entry::status", it->path(), ec);
        if (isFolder) ++count;
        it.increment(ec);
        if (ec) throw fs::filesystem_error("directory_iterator::operator++", folder, ec);
    }
    return count;
}

void gf_clearFolder(const fs::path& folder) {
    std::error_code ec;
    if (!fs::exists(folder, ec)) return;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
    for (const auto& entry : entries) {
        std::error_code removeError;
        fs::remove_all(entry, removeError);
        if (removeError) gf_log("{} could not be removed", entry.string());
    }
}
