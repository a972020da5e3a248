#pragma once
// Fetching a zipped data file (dbase.zip, AIG-regcodes.zip) from the download server.
#include <filesystem>
#include <string_view>

// Downloads `archiveName` from the server's base folder into the current folder,
// writes the file it holds to `target` and removes the archive again. False, with
// a log line, when no server is configured, the download fails, the archive does
// not open or holds no file; a target of an archive that did not open is removed.
bool gf_fetchDataArchive(std::string_view archiveName, const std::filesystem::path& target);
