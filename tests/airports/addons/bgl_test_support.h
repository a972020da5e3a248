#pragma once
// Decodes builder-made BGL files in a temporary folder and keeps what came out.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "airports/addons/bgl_decode.h"
#include "support/temp_folder.h"
#include "tools/bgltool/bgl_builder.h"

namespace clv::test {

struct BglDecoded {
    BglFileKind kind = BglFileKind::NotAirportFile;
    std::vector<BglAirport> airports;
    std::vector<std::string> reports;
    int notRecognised = 0;
    int begun = 0;
};

class CollectingSink : public BglAirportSink {
public:
    explicit CollectingSink(BglDecoded& out) : out_(out) {}
    bool beginAirport(const std::string&) override {
        ++out_.begun;
        return true;
    }
    void airportDecoded(BglAirport& airport) override { out_.airports.push_back(airport); }
    void notRecognised(const std::filesystem::path&) override { ++out_.notRecognised; }

private:
    BglDecoded& out_;
};

// A small reference table: code -> (name, altitude in feet).
struct RefTable {
    std::map<std::string, std::pair<std::string, double>> airports;
    AddonReference reference() const {
        AddonReference ref;
        ref.airportName = [this](std::string_view code) {
            const auto it = airports.find(std::string(code));
            return it == airports.end() ? std::string() : it->second.first;
        };
        ref.altitudeFt = [this](std::string_view code) -> std::optional<double> {
            const auto it = airports.find(std::string(code));
            if (it == airports.end()) return std::nullopt;
            return it->second.second;
        };
        ref.firstCode = [this](const std::function<bool(std::string_view)>& test) -> std::optional<std::string> {
            for (const auto& [code, entry] : airports) {
                if (test(code)) return code;
            }
            return std::nullopt;
        };
        return ref;
    }
};

inline BglDecoded decodeFile(const std::filesystem::path& path, bool msfs2020 = true, const RefTable* ref = nullptr) {
    BglDecoded out;
    BglDecodeSetup setup;
    setup.msfs2020 = msfs2020;
    setup.report = [&out](std::string_view line) { out.reports.emplace_back(line); };
    if (ref != nullptr) setup.reference = ref->reference();
    CollectingSink sink(out);
    out.kind = gf_decodeBglFile(path, setup, sink);
    return out;
}

inline BglDecoded decodeBytes(const std::string& bytes, bool msfs2020 = true, const RefTable* ref = nullptr) {
    TempFolder folder;
    return decodeFile(folder.write("airport.bgl", bytes), msfs2020, ref);
}

inline BglDecoded decodeBlueprint(const bgltool::BglDescription& blueprint, bool msfs2020 = true, const RefTable* ref = nullptr) {
    return decodeBytes(bgltool::gf_buildBgl(blueprint), msfs2020, ref);
}

// One airport section holding the airports.
inline bgltool::BglDescription airportFile(std::vector<bgltool::AirportDescription> airports) {
    bgltool::BglDescription blueprint;
    bgltool::SectionDescription section;
    for (auto& airport : airports) section.records.emplace_back(std::move(airport));
    blueprint.sections.push_back(std::move(section));
    return blueprint;
}

inline bgltool::AirportDescription airportWith(std::string code, std::vector<bgltool::AirportChild> children,
                                        double altitudeM = 25.0) {
    bgltool::AirportDescription airport;
    airport.code = std::move(code);
    airport.lat = 51.4775;
    airport.lon = -0.4614;
    airport.altitudeM = altitudeM;
    airport.children = std::move(children);
    return airport;
}

inline bgltool::ParkingDescription parking(std::uint8_t nameIndex, std::uint16_t number, float radiusM = 20.0f,
                                    std::uint8_t type = 4, float headingDeg = 90.0f, double lat = 51.47,
                                    double lon = -0.45) {
    bgltool::ParkingDescription p;
    p.nameIndex = nameIndex;
    p.number = number;
    p.type = type;
    p.radiusM = radiusM;
    p.headingDeg = headingDeg;
    p.lat = lat;
    p.lon = lon;
    return p;
}

inline std::vector<std::string> standNames(const BglAirport& airport) {
    std::vector<std::string> names;
    for (const auto& stand : airport.stands) names.push_back(stand.name);
    return names;
}

}  // namespace clv::test
