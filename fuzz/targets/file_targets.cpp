// The settings file, the airport park-position files, the list of park
// airports, the add-on packages' manifest.json and the add-on airports' BGL files.
#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "airports/addons/addon_publisher.h"
#include "airports/addons/bgl_decode.h"
#include "airports/parking/airport_data.h"
#include "airports/parking/apf_reader.h"
#include "airports/parking/park_airports.h"
#include "core/folders.h"
#include "core/parameter_store.h"
#include "fuzz/fuzz_target.h"
#include "stands/stand.h"

CLV_FUZZ_TARGET(parameters_xml) {
    g_parametersXmlPath = clv::fuzz::writeInput(input, "parameters.xml").string();
    try {
        gf_readParametersXml();
    } catch (const std::exception&) {
    }
}

CLV_FUZZ_TARGET(apf_file) {
    const auto path = clv::fuzz::writeInput(input, "LSZH.xml");
    clv::ApfInfo summary;
    clv::QualityFactors quality;
    try {
        (void)gf_loadApfStands(path, "airports/LSZH.xml", summary, quality);
    } catch (const std::exception&) {
    }
    standList.clear();
}

namespace {

// The park airports' list is read from the current folder: a folder of this
// process's own, with a few airports known to the reference data and one add-on
// airport folder in my_thirdparty.
std::filesystem::path lf_parkAirportsFolder() {
    namespace fs = std::filesystem;
    static const fs::path folder = [] {
        const fs::path dir = clv::fuzz::writeInput("", "park_airports.placeholder").parent_path() / "park_airports";
        fs::create_directories(dir / "airports" / "my_thirdparty" / "LSMD");
        fs::create_directories(dir / "input");
        std::ofstream(dir / "input" / "airports_msfs.xml")
            << "<?xml version=\"1.0\"?>\n<airports>\n"
               "  <airport code=\"EDDF\" lat=\"50.0333\" lon=\"8.5706\" alt=\"364\" iata=\"FRA\" />\n"
               "  <airport code=\"LSGG\" lat=\"46.2381\" lon=\"6.1089\" alt=\"1411\" iata=\"GVA\" />\n"
               "  <airport code=\"LSMD\" lat=\"47.3986\" lon=\"8.6482\" alt=\"1470\" iata=\"\" />\n"
               "  <airport code=\"LSZH\" lat=\"47.4581\" lon=\"8.5481\" alt=\"1416\" iata=\"ZRH\" />\n"
               "</airports>\n";
        return dir;
    }();
    return folder;
}

std::set<std::string> lf_parkAirportCodes() {
    std::lock_guard lock(parkAirportsMutex);
    std::set<std::string> codes;
    for (const clv::ParkAirport& entry : parkAirports) codes.insert(entry.code);
    return codes;
}

}  // namespace

// Read, written back as the program writes it when the user aircraft parks, and
// read again: no airport of the user's list may be lost on the way.
CLV_FUZZ_TARGET(my_park_airports) {
    namespace fs = std::filesystem;
    const fs::path previous = fs::current_path();
    fs::current_path(lf_parkAirportsFolder());
    {
        std::ofstream out(g_myParkAirportsFile, std::ios::binary | std::ios::trunc);
        out.write(input.data(), static_cast<std::streamsize>(input.size()));
    }
    try {
        (void)gf_readAirports();
        (void)lf_readMyParkAirports();
        const std::set<std::string> before = lf_parkAirportCodes();
        if (!before.empty()) {
            gf_writeMyParkAirports();
            (void)lf_readMyParkAirports();
            const std::set<std::string> after = lf_parkAirportCodes();
            if (!std::includes(after.begin(), after.end(), before.begin(), before.end())) std::abort();
        }
    } catch (const std::exception&) {
    }
    {
        std::lock_guard lock(parkAirportsMutex);
        parkAirports.clear();
    }
    fs::current_path(previous);
}

CLV_FUZZ_TARGET(manifest_json) {
    const auto path = clv::fuzz::writeInput(input, "manifest.json");
    // Text that does not parse is thrown as the JSON library's error: the search
    // for a manifest catches it and reports the file.
    try {
        (void)lf_readManifestJson(path);
    } catch (const std::exception&) {
    }
}

namespace {

class CountingSink : public clv::BglAirportSink {
public:
    void airportDecoded(clv::BglAirport& airport) override { stands += airport.stands.size(); }
    std::size_t stands = 0;
};

}  // namespace

CLV_FUZZ_TARGET(bgl_file) {
    const auto path = clv::fuzz::writeInput(input, "airport.bgl");
    for (bool msfs2020 : {true, false}) {
        clv::BglDecodeSetup setup;
        setup.msfs2020 = msfs2020;
        setup.report = [](std::string_view) {};
        setup.reference.airportName = [](std::string_view) { return std::string(); };
        setup.reference.altitudeFt = [](std::string_view) { return std::optional<double>(); };
        setup.reference.firstCode = [](const std::function<bool(std::string_view)>&) {
            return std::optional<std::string>();
        };
        CountingSink sink;
        try {
            (void)lf_probeBgl(path);
            (void)gf_decodeBglFile(path, setup, sink);
        } catch (const std::exception&) {
        }
    }
}
