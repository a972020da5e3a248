#pragma once
// What a livery scan tells the user: report files below output/errors and
// output/info with a summary in the log, and the corrections of scanned liveries
// from the data base's registrations. Run thread only, after the parser tasks
// have delivered.
#include <filesystem>
#include <string>
#include <vector>

#include "liveries/liveries_scanned.h"

// One line per change lf_applyRegData made in this scan (AirlineModelConversions.txt).
extern std::vector<std::string> conversionLines;

// Removes the report files and LiveriesScanned.xml of the previous scan, then the
// errors folder when it is empty. A failure ends the removals with the log line
// "problems with removing previous files: {}"; the scan goes on.
void lf_removeScanReports();

// Corrects the livery's cargo flag, airline and type from the data base record of
// its registration, one conversion line per change. Only known values replace the
// livery's: a record without airline, operator or type leaves those alone.
void lf_applyRegData(clv::LiveryData& livery);

// Writes the non-empty report lists to their files and their summary lines to the log.
void lf_writeScanReports();

// Writes the lines, each followed by a line end, replacing the file; false when it
// cannot be written.
bool gf_writeReportFile(const std::vector<std::string>& lines, const std::filesystem::path& path);
