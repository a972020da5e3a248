#pragma once
// Read-only zip archives through libzip: open, list entries, read an entry whole
// or write it to a file. One archive is used by one thread at a time.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

typedef struct zip zip_t;

namespace clv {

struct ZipEntry {
    std::string name;  // the path inside the archive, "/" separated; folders end with "/"
    std::uint64_t size = 0;
    std::uint64_t index = 0;

    bool isFolder() const { return !name.empty() && name.back() == '/'; }
};

class ZipArchive {
public:
    ZipArchive() = default;
    // Opens the archive at once; check isOpen() and errorText().
    explicit ZipArchive(const std::filesystem::path& path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;
    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&& other) noexcept;

    // Opens read-only with a consistency check, so a damaged or foreign file is
    // refused here. False with errorText() set when it cannot be opened.
    bool open(const std::filesystem::path& path);
    void close();
    bool isOpen() const { return archive_ != nullptr; }

    // What went wrong last, e.g. "Not a zip archive"; empty after a success.
    const std::string& errorText() const { return error_; }

    // Every entry in archive order; empty when the archive is not open.
    std::vector<ZipEntry> entries();

    // The entry's whole content; nothing (errorText() set) when it is missing or
    // cannot be read completely, e.g. a checksum mismatch.
    std::optional<std::string> read(const std::string& name);
    std::optional<std::string> read(const ZipEntry& entry);

    // Writes the entry's content to `target` through a ".part" temporary of its
    // own (gf_temporaryPath), renamed only when the entry was read completely; an
    // existing target is otherwise left as it was. The content is streamed in blocks.
    bool extractTo(const std::string& name, const std::filesystem::path& target);
    bool extractTo(const ZipEntry& entry, const std::filesystem::path& target);

private:
    std::optional<ZipEntry> find(const std::string& name);
    void setLibzipError();

    zip_t* archive_ = nullptr;
    std::string error_;
};

}  // namespace clv
