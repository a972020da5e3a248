#pragma once
// Zip archives for tests, written through libzip itself.
#include <filesystem>
#include <string>
#include <vector>

namespace clv::test {

struct ZipMember {
    std::string name;     // ending in "/" for a folder
    std::string content;
    bool stored = false;  // uncompressed, so that damageZipContent finds its bytes
};

// Writes the archive (parents created); throws std::runtime_error when libzip fails.
void makeZip(const std::filesystem::path& path, const std::vector<ZipMember>& members);

// Flips one byte inside the stored `content` of an archive: the archive still
// opens and lists its entries, but that entry fails its checksum when read.
// Throws std::runtime_error when the content is not found.
void damageZipContent(const std::filesystem::path& path, const std::string& content);

}  // namespace clv::test
