#include "support/zip_maker.h"

#include <fstream>
#include <stdexcept>

#include <zip.h>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace clv::test {

void makeZip(const fs::path& path, const std::vector<ZipMember>& members) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) throw std::runtime_error("zip_open failed for " + path.string());
    auto fail = [&](const std::string& what) {
        const std::string text = what + ": " + zip_strerror(archive);
        zip_discard(archive);
        throw std::runtime_error(text);
    };
    for (const auto& m : members) {
        if (!m.name.empty() && m.name.back() == '/') {
            if (zip_dir_add(archive, m.name.c_str(), ZIP_FL_ENC_UTF_8) < 0) fail("zip_dir_add " + m.name);
            continue;
        }
        zip_source_t* source = zip_source_buffer(archive, m.content.data(), m.content.size(), 0);
        if (source == nullptr) fail("zip_source_buffer " + m.name);
        const zip_int64_t index = zip_file_add(archive, m.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            fail("zip_file_add " + m.name);
        }
        if (m.stored && zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) != 0)
            fail("zip_set_file_compression " + m.name);
    }
    if (zip_close(archive) != 0) fail("zip_close");
}

void damageZipContent(const fs::path& path, const std::string& content) {
    std::string bytes = readFile(path);
    const auto at = bytes.find(content);
    if (at == std::string::npos || content.size() < 2) throw std::runtime_error("content not found in " + path.string());
    bytes[at + content.size() / 2] ^= 0x20;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace clv::test
