#include "core/zip_archive.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <zip.h>

#include "core/files.h"

namespace fs = std::filesystem;

namespace {

// Entries are streamed in blocks of this size, so a large entry never sits in memory twice.
constexpr size_t kBlockSize = 0x80000;
constexpr const char* kPartSuffix = ".part";

struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string lf_libzipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

// Hands the entry's content to `sink` block by block; false (with the reason in
// `error`) unless every byte the archive promises arrived and its checksum held.
bool lf_readBlocks(zip_t* archive, const clv::ZipEntry& entry, const std::function<bool(const char*, size_t)>& sink,
                   std::string& error) {
    ZipFilePtr file(zip_fopen_index(archive, entry.index, 0));
    if (!file) {
        error = fmt::format("cannot open entry {}: {}", entry.name, zip_strerror(archive));
        return false;
    }
    std::vector<char> block(kBlockSize);
    std::uint64_t total = 0;
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), block.data(), block.size());
        if (got < 0) {
            error = fmt::format("cannot read entry {}: {}", entry.name, zip_file_strerror(file.get()));
            return false;
        }
        if (got == 0) break;
        total += static_cast<std::uint64_t>(got);
        if (!sink(block.data(), static_cast<size_t>(got))) {
            error = fmt::format("cannot write entry {}", entry.name);
            return false;
        }
    }
    if (total != entry.size) {
        error = fmt::format("entry {} is incomplete: {} of {} bytes", entry.name, total, entry.size);
        return false;
    }
    return true;
}

}  // namespace

namespace clv {

ZipArchive::ZipArchive(const fs::path& path) { open(path); }

ZipArchive::~ZipArchive() { close(); }

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : archive_(std::exchange(other.archive_, nullptr)), error_(std::move(other.error_)) {}

ZipArchive& ZipArchive::operator=(ZipArchive&& other) noexcept {
    if (this != &other) {
        close();
        archive_ = std::exchange(other.archive_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool ZipArchive::open(const fs::path& path) {
    close();
    error_.clear();
    // Some libzip versions take an empty file for an empty archive; a download
    // that came back empty is no archive.
    std::error_code ec;
    if (fs::is_regular_file(path, ec) && fs::file_size(path, ec) == 0 && !ec) {
        error_ = lf_libzipErrorText(ZIP_ER_NOZIP);
        return false;
    }
    int code = 0;
    archive_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (archive_ == nullptr) {
        error_ = lf_libzipErrorText(code);
        return false;
    }
    return true;
}

void ZipArchive::close() {
    // Read-only: nothing to write back, so discard never fails.
    if (archive_ != nullptr) zip_discard(archive_);
    archive_ = nullptr;
}

void ZipArchive::setLibzipError() { error_ = zip_strerror(archive_); }

std::vector<ZipEntry> ZipArchive::entries() {
    std::vector<ZipEntry> list;
    if (archive_ == nullptr) return list;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(i), 0, &st) != 0) {
            setLibzipError();
            continue;
        }
        ZipEntry entry;
        entry.index = static_cast<std::uint64_t>(i);
        if ((st.valid & ZIP_STAT_NAME) != 0 && st.name != nullptr) entry.name = st.name;
        if ((st.valid & ZIP_STAT_SIZE) != 0) entry.size = st.size;
        list.push_back(std::move(entry));
    }
    return list;
}

std::optional<ZipEntry> ZipArchive::find(const std::string& name) {
    if (archive_ == nullptr) {
        error_ = "archive not open";
        return std::nullopt;
    }
    const zip_int64_t index = zip_name_locate(archive_, name.c_str(), 0);
    if (index < 0) {
        error_ = fmt::format("no entry {}", name);
        return std::nullopt;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0) {
        setLibzipError();
        return std::nullopt;
    }
    return ZipEntry{name, st.size, static_cast<std::uint64_t>(index)};
}

std::optional<std::string> ZipArchive::read(const std::string& name) {
    auto entry = find(name);
    if (!entry) return std::nullopt;
    return read(*entry);
}

std::optional<std::string> ZipArchive::read(const ZipEntry& entry) {
    error_.clear();
    if (archive_ == nullptr) {
        error_ = "archive not open";
        return std::nullopt;
    }
    std::string content;
    auto append = [&content](const char* data, size_t size) {
        content.append(data, size);
        return true;
    };
    if (!lf_readBlocks(archive_, entry, append, error_)) return std::nullopt;
    return content;
}

bool ZipArchive::extractTo(const std::string& name, const fs::path& target) {
    auto entry = find(name);
    if (!entry) return false;
    return extractTo(*entry, target);
}

bool ZipArchive::extractTo(const ZipEntry& entry, const fs::path& target) {
    error_.clear();
    if (archive_ == nullptr) {
        error_ = "archive not open";
        return false;
    }
    const fs::path part = gf_temporaryPath(target, kPartSuffix);
    FilePtr file(std::fopen(part.c_str(), "wb"));
    if (!file) {
        error_ = fmt::format("cannot write {}", part.string());
        return false;
    }
    auto write = [&file](const char* data, size_t size) { return std::fwrite(data, 1, size, file.get()) == size; };
    bool ok = lf_readBlocks(archive_, entry, write, error_);
    const bool closed = std::fclose(file.release()) == 0;
    if (ok && !closed) {
        error_ = fmt::format("cannot write {}", part.string());
        ok = false;
    }
    std::error_code ec;
    if (ok) {
        fs::rename(part, target, ec);
        if (ec) {
            error_ = fmt::format("cannot rename {}: {}", part.string(), ec.message());
            ok = false;
        }
    }
    if (!ok) fs::remove(part, ec);
    return ok;
}

}  // namespace clv
