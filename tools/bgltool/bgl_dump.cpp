#include <numbers>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/addons/bgl_decode.h"
#include "tools/bgltool/bgl_builder.h"

namespace {

// Keeps every airport the decoder hands on.
class DumpSink : public clv::BglAirportSink {
public:
    std::vector<clv::BglAirport> airports;
    bool notRecognised_ = false;
    void airportDecoded(clv::BglAirport& airport) override { airports.push_back(airport); }
    void notRecognised(const std::filesystem::path&) override { notRecognised_ = true; }
};

const char* lf_kind(const clv::BglStand& stand) {
    if (stand.heli) return "heli";
    if (stand.cargo) return "cargo";
    if (stand.ramp) return "ramp";
    return "gate";
}

}  // namespace

std::string gf_bglDumpText(const std::string& path, bool msfs2020) {
    bool airportFile = false;
    return gf_bglDumpText(path, msfs2020, airportFile);
}

std::string gf_bglDumpText(const std::string& path, bool msfs2020, bool& airportFile) {
    std::vector<std::string> reports;
    clv::BglDecodeSetup setup;
    setup.msfs2020 = msfs2020;
    setup.report = [&](std::string_view line) { reports.emplace_back(line); };
    DumpSink sink;
    std::string out;
    if (!lf_probeBgl(path)) out += "probe: no airport section\n";
    const clv::BglFileKind kind = gf_decodeBglFile(path, setup, sink);
    airportFile = kind != clv::BglFileKind::NotAirportFile;
    if (!airportFile) out += "not a BGL airport file\n";
    if (kind == clv::BglFileKind::NotRecognised) out += "airport not recognised (newer generation)\n";
    for (const clv::BglAirport& a : sink.airports) {
        out += fmt::format("airport {} at {:.6f},{:.6f} altitude {} ft ({} mm{}) record at {}: {} stand{}, {} helipad{}\n",
                           a.code, a.lat, a.lon, a.altitudeFt, a.altitudeMm,
                           a.altitudeFromReference ? ", out of range: reference altitude" : "", a.recordOffset,
                           a.stands.size(), a.stands.size() == 1 ? "" : "s", a.helipadCounter - 1,
                           a.helipadCounter == 2 ? "" : "s");
        for (const clv::BglStand& s : a.stands) {
            out += fmt::format("  {} {:.7f},{:.7f} heading {:.4f} radius {:.2f} m {} type {}\n", s.name, s.lat, s.lon,
                               s.headingRad * 180.0 / std::numbers::pi, s.radiusM, lf_kind(s), s.parkingType);
        }
    }
    for (const std::string& line : reports) out += "report: " + line + "\n";
    return out;
}
