#pragma once
// Shared pieces of the reference-data tests: the generated fixture files, a
// download server folder reached through file:// URLs, and the log's lines.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <zip.h>

#include "core/log.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace clv::test {

// tests/data/dbase: the listings and the files dbasetool generates from them.
inline std::filesystem::path dbaseDataFolder() {
    return std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "dbase";
}
inline std::filesystem::path dbaseFixture() { return dbaseDataFolder() / "dbase.xml"; }
inline std::filesystem::path aigFixture() { return dbaseDataFolder() / "AIG-regcodes.xml"; }

// A zip archive with one file, as the download server offers its data files.
inline void writeZip(const std::filesystem::path& archive, const std::string& entryName, const std::string& content) {
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (zip == nullptr) throw std::runtime_error("cannot create " + archive.string());
    zip_source_t* source = zip_source_buffer(zip, content.data(), content.size(), 0);
    if (source == nullptr || zip_file_add(zip, entryName.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
        if (source != nullptr) zip_source_free(source);
        zip_discard(zip);
        throw std::runtime_error("cannot add to " + archive.string());
    }
    if (zip_close(zip) != 0) {
        zip_discard(zip);
        throw std::runtime_error("cannot write " + archive.string());
    }
}

// A server folder below `root`, made the download server for the lifetime.
class FileServer {
public:
    explicit FileServer(const std::filesystem::path& root)
        : folder_(root / "server"),
          url_("file://" + folder_.string() + "/"),
          env_("CALVORINTH_SERVER_URL", url_.c_str()) {
        std::filesystem::create_directories(folder_);
    }
    const std::filesystem::path& folder() const { return folder_; }
    void offer(const std::string& archiveName, const std::string& entryName, const std::string& content) const {
        writeZip(folder_ / archiveName, entryName, content);
    }

private:
    std::filesystem::path folder_;
    std::string url_;
    ScopedEnv env_;
};

}  // namespace clv::test
