#include "shell/self_update.h"

#include <string>
#include <system_error>

#include <fmt/format.h>

#include "core/downloader.h"
#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "core/version.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kReleaseFolder = "release/";
constexpr const char* kVersionFileName = "version.json";
constexpr const char* kSimaddonServerFolder = "ravudovodo24";
constexpr const char* kSimaddonArchive = "ra_vudovodo2024.zip";
// The new package is unpacked here, next to its archive, before it replaces the installed one.
const fs::path kSimaddonStagingFolder{"ra_vudovodo2024.new"};
constexpr const char* kPackageFileExtension = ".txt";
constexpr int kNewVersionErrorNumber = 99;

clv::Version lf_fetchVersionJson() {
    clv::Downloader downloader;
    return downloader.downloadVersion(gf_serverBaseUrl() + kReleaseFolder + kVersionFileName);
}

clv::Version lf_fetchPackageVersionJson(const std::string& folder) {
    clv::Downloader downloader;
    return downloader.downloadVersion(gf_serverBaseUrl() + folder + "/" + kVersionFileName);
}

std::string lf_formatNewVersionMessage(fmt::format_string<std::string, std::string, std::string> format,
                                       const std::string& versionText, const fs::path& installer) {
    return fmt::format(format, std::string(versionText), std::string(clv::kProductName), installer.string());
}

void lf_logDownloadFailure(const std::string& name, const clv::Downloader& downloader) {
    gf_log("downloading {} failed?", name);
    if (!downloader.lastError().empty()) gf_logIndented(downloader.lastError());
}

// Every file entry of the installer archive becomes the installer; true only
// when there was one and each was written whole.
bool lf_unpackInstaller(clv::ZipArchive& zip) {
    bool written = false;
    for (const auto& entry : zip.entries()) {
        if (entry.isFolder()) continue;
        if (!gf_unzip(zip, entry)) return false;
        written = true;
    }
    if (!written) gf_log("the archive holds no file");
    return written;
}

bool lf_downloadInstaller(const clv::Version& version) {
    const std::string versionText = version.toString();
    const std::string name = fmt::format("setup_{}_d_v{}.zip", clv::kProductName, versionText);
    const fs::path archive{name};
    bool unpacked = false;
    gf_setStatusLine(fmt::format("Downloading {} ...", name));
    clv::Downloader downloader;
    if (!downloader.download(gf_serverBaseUrl() + kReleaseFolder + name, archive, true)) {
        gf_setStatusLine(fmt::format("Downloading program installer file version {} failed", versionText), true);
        if (!downloader.lastError().empty()) gf_logIndented(downloader.lastError());
    } else {
        gf_log("downloaded {}", name);
        clv::ZipArchive zip;
        if (!zip.open(archive)) {
            gf_log("could not open {}", name);
            if (!zip.errorText().empty()) gf_logIndented(zip.errorText());
        } else {
            unpacked = lf_unpackInstaller(zip);
        }
        // Half an update is no installer to offer.
        if (!unpacked) gf_removeFile(g_installerFile);
    }
    gf_removeFile(archive);
    return unpacked;
}

// The package file an entry becomes: its file name without folders or extension, then ".txt".
// Folders may be written with either separator; the result never leaves the package folder.
fs::path lf_packageFileName(const std::string& entryName) {
    const auto slash = entryName.find_last_of("/\\");
    const std::string leaf = slash == std::string::npos ? entryName : entryName.substr(slash + 1);
    if (leaf.empty()) return {};
    return fs::path(fs::path(leaf).stem().string() + kPackageFileExtension);
}

// Moves a file into place; a copy when the folders lie on different file systems.
bool lf_moveFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return true;
    ec.clear();
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        gf_log("could not move {} to {}: {}", from.string(), to.string(), ec.message());
        return false;
    }
    fs::remove(from, ec);
    return true;
}

void lf_removeStagingFolder() {
    std::error_code ec;
    fs::remove_all(kSimaddonStagingFolder, ec);
    if (ec) gf_log("{} could not be removed", kSimaddonStagingFolder.string());
}

// Unpacks every file entry into the staging folder; -1 when the archive is
// damaged or holds no file, else the number of entries unpacked.
int lf_stageSimaddon(clv::ZipArchive& zip) {
    lf_removeStagingFolder();
    std::error_code ec;
    fs::create_directory(kSimaddonStagingFolder, ec);
    if (ec) {
        gf_log("could not create {}: {}", kSimaddonStagingFolder.string(), ec.message());
        return -1;
    }
    int count = 0;
    for (const auto& entry : zip.entries()) {
        if (entry.isFolder()) continue;
        const fs::path file = lf_packageFileName(entry.name);
        if (file.empty()) continue;
        if (!zip.extractTo(entry, kSimaddonStagingFolder / file)) {
            gf_log("could not unzip {} from {}", entry.name, kSimaddonArchive);
            gf_logIndented(zip.errorText());
            return -1;
        }
        ++count;
    }
    if (count == 0) {
        gf_log("{} holds no file", kSimaddonArchive);
        return -1;
    }
    return count;
}

// Replaces the installed package by the staged one; false when a file could not be moved.
bool lf_installStagedSimaddon() {
    std::error_code ec;
    if (fs::is_directory(g_raVudovodoFolder, ec)) {
        gf_clearFolder(g_raVudovodoFolder);
    } else {
        fs::create_directories(g_raVudovodoFolder, ec);
        if (ec) throw fs::filesystem_error("create_directory", g_raVudovodoFolder, ec);
    }
    bool moved = true;
    for (fs::directory_iterator it(kSimaddonStagingFolder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!lf_moveFile(it->path(), g_raVudovodoFolder / it->path().filename())) moved = false;
    }
    if (ec) {
        gf_log("could not list {}: {}", kSimaddonStagingFolder.string(), ec.message());
        moved = false;
    }
    return moved;
}

bool lf_fetchAndInstallSimaddon(const fs::path& archive, const clv::Version& server) {
    gf_setStatusLine(fmt::format("Downloading {} ...", kSimaddonArchive));
    clv::Downloader downloader;
    if (!downloader.download(gf_serverBaseUrl() + kSimaddonServerFolder + "/" + kSimaddonArchive, archive, true)) {
        lf_logDownloadFailure(kSimaddonArchive, downloader);
        return false;
    }
    clv::ZipArchive zip;
    if (!zip.open(archive)) {
        gf_log("could not open {}", archive.string());
        if (!zip.errorText().empty()) gf_logIndented(zip.errorText());
        return false;
    }
    // The installed package is touched only once the new one is known to be whole.
    const int count = lf_stageSimaddon(zip);
    zip.close();
    if (count < 0 || !lf_installStagedSimaddon()) return false;
    gf_setStatusLine(fmt::format("{} unzipped {} files", archive.string(), count), true);
    RAVUDOVODO24_VERSION.set(server.toString());
    gf_setStatusLine(fmt::format("ravudovodo has been updated to version {}", server.toString()), true);
    return true;
}

}  // namespace

void gf_checkNewVersion() {
    if (!gf_requireServer("program update check")) return;
    const clv::Version server = lf_fetchVersionJson();
    if (server == clv::Version{}) {
        gf_log("Program Version file not found?");
        return;
    }
    if (!(server > g_programVersion)) return;
    if (lf_downloadInstaller(server)) {
        // The installer was written to the current folder, which is the program's folder.
        const fs::path installer = fs::absolute(g_installerFile);
        throw clv::UserErrorException(
            kNewVersionErrorNumber,
            lf_formatNewVersionMessage("New version {} available, exit {}. Run as administrator: \"{}\"",
                                       server.toString(), installer));
    }
    gf_setStatusLine("The downloading/unzipping of the new version failed? Try manually via Tessivor website", true);
}

bool gf_unzip(clv::ZipArchive& zip, const clv::ZipEntry& entry) {
    gf_removeFile(g_installerFile);
    if (!zip.extractTo(entry, g_installerFile)) {
        gf_log("unzipping error code : {}", zip.errorText());
        return false;
    }
    gf_log("{} unzipped to {}", entry.name, g_installerFile.string());
    return true;
}

bool gf_simaddonFolderMissing() {
    std::error_code ec;
    if (!fs::is_directory(g_raVudovodoFolder, ec)) return true;
    for (fs::directory_iterator it(g_raVudovodoFolder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec)) return false;
    }
    // No file found (or none could be seen): install it afresh.
    return true;
}

bool gf_updateSimaddon() {
    if (!gf_requireServer("ravudovodo update")) return false;
    const clv::Version server = lf_fetchPackageVersionJson(kSimaddonServerFolder);
    if (server == clv::Version{}) {
        gf_log("No ravudovodo version info found at the CLVR server?");
        return false;
    }
    const clv::Version installed(RAVUDOVODO24_VERSION.value.get());
    if (!(server > installed) && !gf_simaddonFolderMissing()) return false;

    const fs::path archive{kSimaddonArchive};
    bool updated = false;
    try {
        updated = lf_fetchAndInstallSimaddon(archive, server);
    } catch (...) {
        // Leave no half-unpacked package or archive behind for the next start.
        lf_removeStagingFolder();
        std::error_code ignored;
        fs::remove(archive, ignored);
        throw;
    }
    lf_removeStagingFolder();
    gf_removeFile(archive);
    return updated;
}
