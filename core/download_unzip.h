#pragma once
// The download server's folders and its zipped data files: the URL of the
// per-simulator folder, and fetching an archive that holds one file.
#include <filesystem>
#include <string>
#include <string_view>

// The base URL followed by "MSFS/" when MSFS_2020 is on or `sharedFolder` is
// set, else by "MSFS2024/". Empty when no download server is configured, so a
// caller never fetches a server-relative path; check gf_requireServer first.
std::string gf_downloadUrl(bool sharedFolder = false);

// Downloads `archiveName` from the server's base folder into the current
// folder, writes the file it holds to `target` (each file entry overwrites it;
// the archives hold one) and removes the archive again. True only when at least
// one file was written and every file was written completely. When the archive
// does not open or a file in it cannot be read, `target` is removed, so no
// stale or partial file passes for the new one. Without a server it logs one
// line and returns false. Throws a filesystem error naming "remove" when the
// archive cannot be removed.
bool gf_downloadAndUnzip(std::string_view archiveName, const std::filesystem::path& target);

// gf_downloadAndUnzip with "dbase.zip".
bool gf_downloadDbase(const std::filesystem::path& target);
