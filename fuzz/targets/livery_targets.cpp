// The livery data's parsers: aircraft.cfg and IVAO files, dbase.xml and its
// stored values, the registration-code files. Errors they report for bad input
// (exceptions of the documented kinds) are answers, not faults.
#include <exception>
#include <stdexcept>

#include "fuzz/fuzz_target.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/dbase.h"
#include "liveries/dbase_codec.h"
#include "liveries/ivao_cfg.h"
#include "liveries/regcodes.h"
#include "liveries/scan_report.h"

CLV_FUZZ_TARGET(aircraft_cfg) {
    const auto path = clv::fuzz::writeInput(input, "aircraft.cfg");
    try {
        (void)lf_searchLiveriesinFile(1, path);
    } catch (const std::exception&) {
    }
    conversionLines.clear();
}

CLV_FUZZ_TARGET(ivao_cfg) {
    const auto path = clv::fuzz::writeInput(input, "aircraft.cfg");
    try {
        (void)lf_parseIvaoAircraftCfg(1, path);
    } catch (const std::exception&) {
    }
    conversionLines.clear();
}

CLV_FUZZ_TARGET(dbase_xml) {
    const auto path = clv::fuzz::writeInput(input, "dbase.xml");
    clv::Dbase db;
    try {
        gf_readDbaseFile(path, db);
    } catch (const std::exception&) {
    }
}

// A value that does not decode is thrown as std::runtime_error: the reading of
// dbase.xml ends with it.
CLV_FUZZ_TARGET(dbase_values) {
    for (auto decode : {&gf_decodeAirline, &gf_decodeType, &gf_decodeRegcode}) {
        try {
            (void)decode(input);
        } catch (const std::runtime_error&) {
        }
    }
}

CLV_FUZZ_TARGET(regcode_file) {
    std::vector<clv::RegcodeEntry> entries;
    std::string_view rest = input;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        (void)gf_readRegcodeFile("my_regcodes.txt", rest.substr(0, end), entries);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    regcodeReport.clear();
}

CLV_FUZZ_TARGET(aig_regcodes_xml) {
    const auto path = clv::fuzz::writeInput(input, "AIG-regcodes.xml");
    std::vector<clv::RegcodeEntry> entries;
    (void)gf_readAigRegcodes(path, entries);
    regcodeReport.clear();
}
