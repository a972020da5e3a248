#include "core/files.h"

#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <random>
#include <string_view>
#include <system_error>

#include <fmt/format.h>
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
    // A folder opens as a stream here and tells a size of no meaning: refuse it
    // before that size is believed.
    std::error_code ignored;
    if (fs::is_directory(path, ignored)) {
        errno = EISDIR;
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    // Sized once where the size is known; the scan reads many thousands of files.
    std::string bytes;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0 && in) {
        bytes.resize(static_cast<std::size_t>(size));
        in.read(bytes.data(), size);
        bytes.resize(static_cast<std::size_t>(in.gcount()));
        if (in.gcount() < size) return bytes;
        in.clear();
    } else {
        in.clear();
        in.seekg(0, std::ios::beg);
    }
    // Whatever the size did not tell (a growing file, a pipe).
    bytes.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bytes;
}

TextEncoding lf_encodingOfBytes(std::string_view bytes) {
    if (bytes.size() < 2) return TextEncoding::None;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    if (b0 == kBomUtf16Le[0] && b1 == kBomUtf16Le[1]) return TextEncoding::Utf16Le;
    if (b0 == kBomUtf16Be[0] && b1 == kBomUtf16Be[1]) return TextEncoding::Utf16Be;
    if (b0 == kBomUtf8[0] && b1 == kBomUtf8[1]) return TextEncoding::Utf8;
    return TextEncoding::None;
}

bool lf_decodeText(TextEncoding encoding, std::string bytes, std::string& text, std::string& failure) {
    switch (encoding) {
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            try {
                text = gf_utf16ToUtf8(gf_decodeUtf16Bytes(bytes, encoding == TextEncoding::Utf16Be));
            } catch (const win32::Utf8ConversionException& e) {
                gf_uiPort().setStatusLine(
                    fmt::format("conversion from error from utf16 to utf8, code: {}", e.errorCode()), true);
                failure = std::string("cannot be decoded as UTF-16: ") + e.what();
                text.clear();
                return false;
            } catch (const std::exception& e) {
                gf_uiPort().setStatusLine(std::string("conversion from error from utf16 to utf8: ") + e.what(), true);
                failure = std::string("cannot be decoded as UTF-16: ") + e.what();
                text.clear();
                return false;
            }
            return true;
        case TextEncoding::Utf8:
            text = bytes.size() >= kUtf8BomLength ? bytes.substr(kUtf8BomLength) : std::string();
            return true;
        default:
            text = std::move(bytes);
            return true;
    }
}

// "cannot be opened: Permission denied": the reason in words, for reports that name the file.
std::string lf_openFailure(int error) {
    if (error == 0) return "cannot be opened";
    return "cannot be opened: " + std::generic_category().message(error);
}

}  // namespace

std::optional<std::string> clv::TextFile::read() {
    auto bytes = readBytes(path);
    if (!bytes || bytes->empty()) return std::nullopt;
    text = std::move(*bytes);
    return text;
}

TextEncoding gf_detectEncoding(const fs::path& path) {
    std::string failure;
    return gf_detectEncoding(path, failure);
}

TextEncoding gf_detectEncoding(const fs::path& path, std::string& failure) {
    failure.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        failure = lf_openFailure(error);
        gf_log("cannot open file {} for character encoding, err: {}", path.string(), error);
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
    std::string failure;
    return gf_readTextFile(encoding, path, text, failure);
}

bool gf_readTextFile(TextEncoding encoding, const fs::path& path, std::string& text, std::string& failure) {
    text.clear();
    failure.clear();
    errno = 0;
    auto bytes = readBytes(path);
    if (!bytes) {
        failure = lf_openFailure(errno);
        return false;
    }
    return lf_decodeText(encoding, std::move(*bytes), text, failure);
}

bool gf_readDetectedTextFile(const fs::path& path, std::string& text, std::string& failure, bool& missing) {
    text.clear();
    failure.clear();
    missing = false;
    errno = 0;
    auto bytes = readBytes(path);
    if (!bytes) {
        const int error = errno;
        if (error == ENOENT) {
            missing = true;
            return false;
        }
        failure = lf_openFailure(error);
        gf_log("cannot open file {} for character encoding, err: {}", path.string(), error);
        return false;
    }
    const TextEncoding encoding = lf_encodingOfBytes(*bytes);
    return lf_decodeText(encoding, std::move(*bytes), text, failure);
}

void gf_readLines(std::istream& in, std::vector<std::string>& lines) {
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
}

bool gf_writeTextFile(const std::string& text, const fs::path& path, bool asLine) {
    return gf_replaceTextFile(text, path, asLine).empty();
}

std::string gf_replaceTextFile(const std::string& text, const fs::path& path, bool asLine) {
    return gf_replaceFile(path, [&](std::ostream& out) {
        out << text;
        if (asLine) out << '\n';
    });
}

bool gf_writeLines(const std::vector<std::string>& lines, const fs::path& path) {
    return gf_replaceLines(lines, path).empty();
}

std::string gf_replaceLines(const std::vector<std::string>& lines, const fs::path& path) {
    return gf_replaceFile(path, [&](std::ostream& out) {
        for (const auto& line : lines) out << line << '\n';
    });
}

fs::path gf_temporaryPath(const fs::path& target, std::string_view suffix) {
    static const std::uint32_t processToken = std::random_device{}();
    static std::atomic<std::uint64_t> counter{0};
    fs::path temporary = target;
    temporary += fmt::format(".{:08x}-{}{}", processToken, counter.fetch_add(1, std::memory_order_relaxed), suffix);
    return temporary;
}

namespace {

thread_local clv::ReplaceStep t_failingStep = clv::ReplaceStep::None;

// Whether the step is to fail on purpose; errno then says why, as the system would.
bool lf_failsOnPurpose(clv::ReplaceStep step, int error) {
    if (t_failingStep != step) return false;
    t_failingStep = clv::ReplaceStep::None;
    errno = error;
    return true;
}

std::string lf_stepFailure(const char* what, const fs::path& file, int error) {
    std::string text = fmt::format("{} {}", file.string(), what);
    if (error != 0) text += ": " + std::generic_category().message(error);
    return text;
}

}  // namespace

void gf_failNextReplaceStep(clv::ReplaceStep step) { t_failingStep = step; }

std::string gf_replaceFile(const fs::path& path, const std::function<void(std::ostream&)>& write) {
    const fs::path temporary = gf_temporaryPath(path, ".tmp");
    std::string failure;
    {
        errno = 0;
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out || lf_failsOnPurpose(clv::ReplaceStep::Open, EACCES)) {
            const int error = errno;
            std::error_code ignored;
            // Only our own temporary, never a file of that name someone else made.
            if (out.is_open()) {
                out.close();
                fs::remove(temporary, ignored);
            }
            return lf_stepFailure("cannot be opened", temporary, error);
        }
        errno = 0;
        write(out);
        if (!out || lf_failsOnPurpose(clv::ReplaceStep::Write, ENOSPC)) {
            failure = lf_stepFailure("cannot be written", temporary, errno);
        } else {
            errno = 0;
            out.close();
            if (out.fail() || lf_failsOnPurpose(clv::ReplaceStep::Flush, EIO)) {
                failure = lf_stepFailure("cannot be written to the end", temporary, errno);
            }
        }
    }
    if (failure.empty()) {
        std::error_code ec;
        if (lf_failsOnPurpose(clv::ReplaceStep::Rename, EACCES)) {
            ec = std::make_error_code(std::errc::permission_denied);
        } else {
            fs::rename(temporary, path, ec);
        }
        if (!ec) return failure;
        failure = fmt::format("{} cannot replace {}: {}", temporary.string(), path.string(), ec.message());
    }
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return failure;
}

bool gf_replaceXmlFile(const pugi::xml_document& document, const fs::path& path, const char* indent) {
    return gf_replaceFile(path, [&](std::ostream& out) {
        document.save(out, indent, pugi::format_default, pugi::encoding_utf8);
    }).empty();
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
