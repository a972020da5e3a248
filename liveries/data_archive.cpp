#include "liveries/data_archive.h"

#include <string>

#include "core/downloader.h"
#include "core/files.h"
#include "core/log.h"
#include "core/zip_archive.h"

namespace fs = std::filesystem;

bool gf_fetchDataArchive(std::string_view archiveName, const fs::path& target) {
    if (!gf_requireServer(archiveName)) return false;
    const fs::path archive{std::string(archiveName)};
    clv::Downloader downloader;
    if (!downloader.download(gf_serverBaseUrl() + std::string(archiveName), archive, true)) {
        gf_log("downloading {} failed?", archiveName);
        if (!downloader.lastError().empty()) gf_logIndented(downloader.lastError());
        return false;
    }
    bool unzipped = false;
    {
        clv::ZipArchive zip;
        if (zip.open(archive)) {
            // The archives hold one file; should there be more, the last one stands.
            for (const auto& entry : zip.entries()) {
                if (entry.isFolder()) continue;
                unzipped = zip.extractTo(entry, target);
                if (!unzipped) break;
            }
        }
        if (!unzipped) {
            gf_removeFile(target);
            gf_log("unzipping {} failed?", archiveName);
            if (!zip.errorText().empty()) gf_logIndented(zip.errorText());
        }
    }
    gf_removeFile(archive);
    return unzipped;
}
