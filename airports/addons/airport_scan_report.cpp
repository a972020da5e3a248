#include "airports/addons/airport_scan_report.h"

#include <mutex>

namespace {

std::mutex g_airportScanReportMutex;
std::vector<std::string> g_airportScanReport;

}  // namespace

void gf_addScanReport(std::string_view line) {
    std::lock_guard lock(g_airportScanReportMutex);
    g_airportScanReport.emplace_back(line);
}

std::vector<std::string> gf_scanReportLines() {
    std::lock_guard lock(g_airportScanReportMutex);
    return g_airportScanReport;
}

void gf_clearScanReport() {
    std::lock_guard lock(g_airportScanReportMutex);
    g_airportScanReport.clear();
}

void gf_reserveScanReport(std::size_t lines) {
    std::lock_guard lock(g_airportScanReportMutex);
    if (g_airportScanReport.capacity() < lines) g_airportScanReport.reserve(lines);
}
