#pragma once
// The add-on airport scan's report: lines from every scan worker, gathered under
// one lock and written to AirportsScanLog.txt when the scan ends.
#include <string>
#include <string_view>
#include <vector>

// Appends one line; callable from any thread.
void gf_addScanReport(std::string_view line);

// The lines so far, in the order they were added.
std::vector<std::string> gf_scanReportLines();

void gf_clearScanReport();

// Makes room for that many lines when the list has less.
void gf_reserveScanReport(std::size_t lines);
