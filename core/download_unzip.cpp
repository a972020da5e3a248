#include "core/download_unzip.h"

#include "core/downloader.h"
#include "core/files.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/zip_archive.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kDbaseArchive = "dbase.zip";
constexpr const char* kSharedFolder = "MSFS/";
constexpr const char* kMsfs2024Folder = "MSFS2024/";

// Writes every file entry to `target`; true when there was one and all were written whole.
bool lf_unpackSingleFile(clv::ZipArchive& zip, const fs::path& target) {
    bool written = false;
    for (const auto& entry : zip.entries()) {
        if (entry.isFolder()) continue;
        if (!zip.extractTo(entry, target)) return false;
        written = true;
    }
    return written;
}

}  // namespace

std::string gf_downloadUrl(bool sharedFolder) {
    std::string base = gf_serverBaseUrl();
    if (base.empty()) return base;
    return base + (MSFS_2020.value || sharedFolder ? kSharedFolder : kMsfs2024Folder);
}

bool gf_downloadAndUnzip(std::string_view archiveName, const fs::path& target) {
    if (!gf_requireServer(archiveName)) return false;
    const std::string name(archiveName);
    const fs::path archive{name};
    {
        clv::Downloader downloader;
        if (!downloader.download(gf_serverBaseUrl() + name, archive, true)) {
            gf_log("downloading {} failed?", name);
            if (!downloader.lastError().empty()) gf_logIndented(downloader.lastError());
            return false;
        }
    }
    bool unzipped = false;
    {
        clv::ZipArchive zip;
        if (zip.open(archive)) unzipped = lf_unpackSingleFile(zip, target);
        if (!unzipped) {
            gf_removeFile(target);
            gf_log("unzipping {} failed?", name);
            if (!zip.errorText().empty()) gf_logIndented(zip.errorText());
            else if (zip.isOpen()) gf_logIndented("the archive holds no file");
        }
    }
    gf_removeFile(archive);
    return unzipped;
}

bool gf_downloadDbase(const fs::path& target) { return gf_downloadAndUnzip(kDbaseArchive, target); }
