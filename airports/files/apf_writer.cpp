#include "airports/files/apf_writer.h"

#include <optional>
#include <string>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/files.h"
#include "core/meta.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "liveries/dbase_queries.h"
#include "stands/half_hours.h"

namespace {

constexpr const char* kTrue = "true";
constexpr const char* kFalse = "false";
constexpr const char* kUnknownPublisher = "unknown";

const char* lf_boolText(bool value) { return value ? kTrue : kFalse; }

void lf_set(pugi::xml_node node, const char* name, const std::string& text) {
    node.append_attribute(name).set_value(text.c_str());
}

// The handmade form applies to the park airport's own file only: a generated
// file written by a scan worker never takes it from whatever airport is parked at.
bool lf_handmade(std::uint32_t mode) { return mode == kApfLearnedMode && handmadeFile.load(); }

void lf_writeFullShape(pugi::xml_node parkpos, const clv::Stand& stand) {
    lf_set(parkpos, kParkposLatitude, fmt::format("{:.6f}", stand.latitude));
    lf_set(parkpos, kParkposLongitude, fmt::format("{:.6f}", stand.longitude));
    lf_set(parkpos, kParkposHeading, fmt::format("{:.1F}", stand.heading * clv::kRadToDeg));
    lf_set(parkpos, kParkposRadius, fmt::format("{:.1F}", stand.radius * clv::kMetresPerNm));
    if (stand.heli) {
        lf_set(parkpos, kParkposHeli, kTrue);
    } else {
        lf_set(parkpos, kParkposCargo, lf_boolText(stand.cargo));
    }
    lf_set(parkpos, kParkposRamp, lf_boolText(stand.ramp));
    if (stand.manual) lf_set(parkpos, kParkposManual, kTrue);
}

}  // namespace

bool gf_writeApf(const clv::ApfData& info, const std::filesystem::path& path, std::uint32_t mode) {
    return gf_writeApf(info, path, mode, g_simulatorWord.get());
}

bool gf_writeApf(const clv::ApfData& info, const std::filesystem::path& path, std::uint32_t mode,
                 std::string_view simulatorWord) {
    pugi::xml_document document;
    if (!gf_writeMeta(document, simulatorWord)) return false;
    if (!lf_writeApfParameters(document, info, mode)) return false;
    pugi::xml_node parkpositions = document.append_child(kApfParkpositionsElement);
    if (!parkpositions) return false;
    for (const clv::Stand& stand : info.stands) lf_writeParkpos(parkpositions, mode, stand);

    // A learned file holds what the user's traffic taught: a failed write must not
    // leave it cut short, so the new file replaces the old one only when complete.
    return gf_replaceXmlFile(document, path, "\t");
}

bool lf_writeApfParameters(pugi::xml_document& document, const clv::ApfData& info, std::uint32_t mode) {
    pugi::xml_node parameters = document.append_child(kApfParametersElement);
    if (!parameters) return false;
    const bool handmade = lf_handmade(mode);
    gf_appendParameterNode(parameters, g_apfAirportNameKey, info.airport_name);
    gf_appendParameterNode(parameters, g_apfPublisherKey, info.publisher);
    if (handmade) gf_appendParameterNode(parameters, g_apfHandmadeKey, kTrue);
    if (handmade || mode == kApfGeneratedMode) {
        gf_appendParameterNode(parameters, g_apfAltitudeKey, fmt::format("{}", info.altitude));
    }
    gf_appendParameterNode(parameters, g_apfNumParkposKey, fmt::format("{}", info.stands.size()));
    if (handmade) {
        gf_appendIntParameterNode(parameters, g_apfQfRealKey, info.Qf_real);
        gf_appendIntParameterNode(parameters, g_apfQfSoftKey, info.Qf_soft);
    }
    if (info.publisher == kUnknownPublisher) {
        gf_appendParameterNode(parameters, g_apfBglPathKey, info.BGLpath);
        gf_appendParameterNode(parameters, g_apfManufacturerKey, info.manufacturer);
        gf_appendParameterNode(parameters, g_apfCreatorKey, info.creator);
    }
    if (mode == kApfLearnedMode) {
        gf_appendIntParameterNode(parameters, LATERAL_RANGE.name, LATERAL_RANGE.value);
        gf_appendBoolParameterNode(parameters, AUTO_RANGE.name, AUTO_RANGE.value);
        gf_appendBoolParameterNode(parameters, WEEK.name, WEEK.value);
        gf_appendBoolParameterNode(parameters, PARK_FAKE.name, PARK_FAKE.value);
        gf_appendBoolParameterNode(parameters, PARK_SOFT.name, PARK_SOFT.value);
        gf_appendIntParameterNode(parameters, parking_percentage.name, parking_percentage.value);
        gf_appendBoolParameterNode(parameters, INITIAL_LOAD_ONLY.name, INITIAL_LOAD_ONLY.value);
        gf_appendIntParameterNode(parameters, MAX_FIT.name, MAX_FIT.value);
        const std::int32_t maxLive = MAX_LIVE.value;
        if (maxLive >= 0) gf_appendIntParameterNode(parameters, MAX_LIVE.name, maxLive);
        gf_appendBoolParameterNode(parameters, LEARN_SOFT.name, LEARN_SOFT.value);
    }
    return true;
}

void lf_writeParkpos(pugi::xml_node parkpositions, std::uint32_t mode, const clv::Stand& stand) {
    pugi::xml_node parkpos = parkpositions.append_child(kApfParkposElement);
    if (!parkpos) return;
    lf_set(parkpos, kParkposId, stand.name);
    if (mode == kApfGeneratedMode) {
        lf_writeFullShape(parkpos, stand);
        return;
    }
    if (lf_handmade(mode) || stand.manual) {
        lf_writeFullShape(parkpos, stand);
    } else {
        if (stand.radiusChanged) {
            lf_set(parkpos, kParkposRadiusChange, kTrue);
            lf_set(parkpos, kParkposRadius, fmt::format("{:.1F}", stand.radius * clv::kMetresPerNm));
        }
        if (stand.cargoChanged) {
            lf_set(parkpos, kParkposCargoChange, kTrue);
            lf_set(parkpos, kParkposCargo, lf_boolText(stand.cargo));
        }
    }
    for (const clv::StandOption& option : stand.options) lf_writeOpts(parkpos, option);
}

void lf_writeOpts(pugi::xml_node parkpos, const clv::StandOption& option) {
    if (option.id == 0) return;
    pugi::xml_node opt = parkpos.append_child(kApfOptElement);
    if (!opt) return;
    lf_set(opt, kOptReg, option.registration);
    // With a registration record the reader takes airline and type from it.
    const bool known = !option.registration.empty() && gf_regRecordOf(option.registration).has_value();
    if (!known) {
        lf_set(opt, kOptAirline, option.airline);
        lf_set(opt, kOptType, option.type);
    }
    if (option.real == 0) lf_set(opt, kOptSoft, kTrue);
    lf_set(opt, kOptDay, fmt::format("{}", option.weekday));
    lf_set(opt, kOptHours, gf_bitset2hours(option.hours));
    std::string callsigns = option.callsign;
    if (!option.secondCallsign.empty()) callsigns += g_apfCallsignSeparator + option.secondCallsign;
    if (!callsigns.empty()) lf_set(opt, kOptCallsigns, callsigns);
}
