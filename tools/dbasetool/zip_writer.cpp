#include <memory>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <zip.h>

#include "tools/dbasetool/dbase_listing.h"

void gf_writeZipFile(const std::filesystem::path& archive, std::string_view entryName, std::string_view content) {
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (zip == nullptr) {
        zip_error_t details;
        zip_error_init_with_code(&details, error);
        const std::string text = zip_error_strerror(&details);
        zip_error_fini(&details);
        throw std::runtime_error(fmt::format("cannot create {}: {}", archive.string(), text));
    }
    // libzip reads the buffer when the archive is closed, so it must live until then.
    const std::string data(content);
    zip_source_t* source = zip_source_buffer(zip, data.data(), data.size(), 0);
    if (source == nullptr ||
        zip_file_add(zip, std::string(entryName).c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        const std::string text = zip_strerror(zip);
        if (source != nullptr) zip_source_free(source);
        zip_discard(zip);
        throw std::runtime_error(fmt::format("cannot add {} to {}: {}", entryName, archive.string(), text));
    }
    if (zip_close(zip) != 0) {
        const std::string text = zip_strerror(zip);
        zip_discard(zip);
        throw std::runtime_error(fmt::format("cannot write {}: {}", archive.string(), text));
    }
}
