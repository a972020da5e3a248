// The settings file, the airport park-position files, the add-on packages'
// manifest.json and the add-on airports' BGL files.
#include <exception>

#include "airports/addon_publisher.h"
#include "airports/apf_reader.h"
#include "airports/bgl_decode.h"
#include "airports/stands/stand.h"
#include "core/folders.h"
#include "core/parameter_store.h"
#include "fuzz/fuzz_target.h"

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
