#pragma once
// Where an airport's park-position file comes from: the user's folder
// airports/my_thirdparty, the folder airports/ra_vudovodo (each with the file
// itself or a one-line link to the server's archive), or the download server's
// stock archive. Also the file-name and message helpers the airport files share.
#include <filesystem>
#include <string>
#include <string_view>

#include "core/geodesy.h"

namespace clv {

// A neighbour's file that was fetched to find its closest stand.
inline const std::filesystem::path kNeighbourApfFile{"airport.xml"};
// The distance that stands for "no stand found".
inline constexpr double kNoStandNm = 100.0;

}  // namespace clv

// This platform's path separator, and a path as text written with it: every path
// text of the airport files is built through these two.
char gf_pathSeparator();
std::string gf_pathText(const std::filesystem::path& path);

// text + ".xml"; the path of text + ".xml"; the path of text + ".txt".
std::string gf_xmlFileName(std::string_view text);
std::filesystem::path gf_xmlFilePath(std::string_view text);
std::filesystem::path gf_txtFilePath(std::string_view text);

// Whether the code can name a file in a folder: not empty, no separator, not "."
// or "..". Codes come from the user's files; one that could leave the folder is
// no airport.
bool gf_isSafeAirportCode(std::string_view code);

// The airport has a file: a local file or link (an empty link counts), else
// the server's stock archive has one.
bool gf_apfExists(const std::string& code);
// The file to read: a local path text ("airports/...") or a server path; empty
// when there is none. my_thirdparty before ra_vudovodo, a link before the file,
// the stock archive last.
std::string gf_apfPath(const std::string& code);
// Reads a link file: its text up to and with its last letter "l". False (the
// out text untouched) when it cannot be read or is empty.
bool lf_readApfLink(const std::filesystem::path& path, std::string& out);

// Whether a download server is configured; without one a line says once per
// process that the server's airport files are skipped.
bool gf_airportFileServer();

// Whether the server's stock archive has the airport's file (fetched into
// <code>.xml in the current folder, which is removed again).
bool gf_downloadStockApf(const std::string& code);
// Fetches a server path into the destination; "" on success, else the logged
// text "failed to download: \"<url>\"". "MSFS/" for paths with "stock" or
// "simaddon", the simulator mode's folder otherwise; the path goes unchanged
// into the URL ("%20" stays encoded).
std::string lf_downloadApf(const std::string& pathText, const std::filesystem::path& destination);

// Distance in nm from the position to the nearest stand of the airport's file,
// and that stand's id in `standName`; 100.0 (name untouched) when there is none.
double gf_readDestApfForClosestStand(const std::string& code, clv::LatLon position, std::string& standName);

// The format filled with "gf_readApf" and the text.
std::string lf_readApfErrorText(std::string_view format, std::string_view text);
// The format filled with a function name and the text.
std::string gf_formatNameMessage(std::string_view format, std::string_view functionName, std::string_view text);
