#include "tools/apftool/apf_listing.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "airports/files/apf_quality.h"
#include "airports/files/apf_writer.h"
#include "airports/files/stand_adjacency.h"
#include "airports/parking/apf_reader.h"
#include "core/text.h"
#include "stands/half_hours.h"

namespace {

[[noreturn]] void lf_fail(std::size_t line, const std::string& message) {
    throw std::runtime_error(fmt::format("line {}: {}", line, message));
}

std::vector<std::string_view> lf_words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

// The text after the first `count` words.
std::string lf_restAfter(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t w = 0; w < count; ++w) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    }
    return gf_trim(text.substr(i));
}

double lf_number(std::size_t line, std::string_view word, const char* what) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) {
        lf_fail(line, fmt::format("{} \"{}\" is not a number", what, word));
    }
    return value;
}

std::int64_t lf_integer(std::size_t line, std::string_view word, const char* what) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size()) {
        lf_fail(line, fmt::format("{} \"{}\" is not a whole number", what, word));
    }
    return value;
}

// Every element of the hours text must be a half-hour 0..47: a listing is
// written by hand, and a wrong hour would otherwise vanish with a log line.
clv::HalfHourSet lf_hours(std::size_t line, std::string_view text) {
    if (text.empty()) return {};
    for (const std::string& element : gf_split(text, ',')) {
        const std::int64_t h = lf_integer(line, element, "half-hour");
        if (h < 0 || h >= clv::kHalfHoursInDay) lf_fail(line, fmt::format("half-hour {} is not 0..47", h));
    }
    return gf_hours2bitset(text);
}

void lf_readStand(std::size_t line, std::string_view text, clv::ApfData& data) {
    const std::vector<std::string_view> words = lf_words(text);
    if (words.size() < 7) lf_fail(line, "a stand needs: lat lon heading radius kinds name");
    const double lat = lf_number(line, words[1], "latitude");
    const double lon = lf_number(line, words[2], "longitude");
    if (lat < -90.0 || lat > 90.0 || lon < -180.0 || lon > 180.0) lf_fail(line, "position out of range");
    if (lat == 0.0 && lon == 0.0) lf_fail(line, "a stand at 0,0 is not read back");
    const double heading = lf_number(line, words[3], "heading");
    const double radius = lf_number(line, words[4], "radius");
    if (radius <= 0.0) lf_fail(line, "the radius must be above 0");
    clv::StandKinds kinds;
    bool manual = false;
    for (const std::string& kind : gf_split(words[5], ',')) {
        if (kind == "gate") {
        } else if (kind == "ramp") {
            kinds.ramp = true;
        } else if (kind == "cargo") {
            kinds.cargo = true;
        } else if (kind == "heli") {
            kinds.heli = true;
        } else if (kind == "manual") {
            manual = true;
        } else {
            lf_fail(line, fmt::format("unknown stand kind \"{}\"", kind));
        }
    }
    if (kinds.heli && kinds.cargo) lf_fail(line, "a helipad is written without its cargo kind: drop cargo");
    std::string name = lf_restAfter(text, 6);
    for (const clv::Stand& s : data.stands) {
        if (s.name == name) lf_fail(line, fmt::format("stand {} appears more than once", name));
    }
    data.stands.emplace_back(std::move(name), std::vector<clv::StandOption>{}, lat, lon, heading * clv::kDegToRad, radius,
                             kinds);
    data.stands.back().manual = manual;
}

void lf_readOption(std::size_t line, std::string_view text, clv::ApfData& data) {
    if (data.stands.empty()) lf_fail(line, "an option before the first stand");
    clv::Stand& stand = data.stands.back();
    clv::StandOption option;
    bool hasDay = false;
    bool hasHours = false;
    const std::vector<std::string_view> words = lf_words(text);
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (word == "soft") {
            option.real = 0;
            continue;
        }
        const std::size_t eq = word.find('=');
        if (eq == std::string_view::npos) lf_fail(line, fmt::format("\"{}\" is not key=value", word));
        const std::string_view key = word.substr(0, eq);
        const std::string_view value = word.substr(eq + 1);
        if (key == "day") {
            const std::int64_t day = lf_integer(line, value, "day");
            if (day < 1 || day > 7) lf_fail(line, "the day must be 1..7");
            option.weekday = static_cast<std::uint32_t>(day);
            hasDay = true;
        } else if (key == "hh") {
            option.hours = lf_hours(line, value);
            hasHours = true;
        } else if (key == "reg") {
            option.registration = value;
        } else if (key == "airl") {
            option.airline = value;
        } else if (key == "type") {
            option.type = value;
        } else if (key == "cs") {
            const std::size_t colon = value.find(':');
            option.callsign = value.substr(0, colon);
            if (colon != std::string_view::npos) {
                option.secondCallsign = value.substr(colon + 1);
                if (option.callsign.empty() || option.secondCallsign.empty() ||
                    option.secondCallsign.find(':') != std::string::npos) {
                    lf_fail(line, "cs takes CALLSIGN or CALLSIGN:SECOND");
                }
            }
        } else {
            lf_fail(line, fmt::format("unknown option key \"{}\"", key));
        }
    }
    if (!hasDay || !hasHours) lf_fail(line, "an option needs day= and hh=");
    option.id = static_cast<std::uint32_t>(stand.options.size() + 1);
    stand.options.push_back(std::move(option));
}

std::string lf_kinds(const clv::Stand& s) {
    std::vector<std::string> kinds;
    if (s.heli) kinds.emplace_back("heli");
    if (s.cargo) kinds.emplace_back("cargo");
    if (s.ramp) {
        kinds.emplace_back("ramp");
    } else if (!s.heli) {
        kinds.emplace_back("gate");
    }
    if (s.manual) kinds.emplace_back("manual");
    std::string text;
    for (const std::string& k : kinds) text += (text.empty() ? "" : ",") + k;
    return text;
}

}  // namespace

clv::ApfData gf_readApfListing(std::string_view listing) {
    clv::ApfData data;
    std::size_t lineNumber = 0;
    std::istringstream in{std::string(listing)};
    std::string line;
    bool hasAltitude = false;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string_view> words = lf_words(line);
        if (words.empty() || words[0].starts_with('#')) continue;
        const std::string_view keyword = words[0];
        if (keyword == "stand") {
            lf_readStand(lineNumber, line, data);
        } else if (keyword == "opt") {
            lf_readOption(lineNumber, line, data);
        } else if (keyword == "airport" || keyword == "publisher") {
            if (words.size() != 2) lf_fail(lineNumber, fmt::format("{} takes one word", keyword));
            (keyword == "airport" ? data.code : data.publisher) = words[1];
        } else if (keyword == "name") {
            data.airport_name = lf_restAfter(line, 1);
        } else if (keyword == "altitude") {
            if (words.size() != 2) lf_fail(lineNumber, "altitude takes one number");
            const std::int64_t feet = lf_integer(lineNumber, words[1], "altitude");
            if (feet < INT32_MIN || feet > INT32_MAX) lf_fail(lineNumber, "altitude out of range");
            data.altitude = static_cast<std::int32_t>(feet);
            hasAltitude = true;
        } else {
            lf_fail(lineNumber, fmt::format("unknown entry \"{}\"", keyword));
        }
    }
    if (!hasAltitude) throw std::runtime_error("the listing has no altitude (the reader requires it)");
    if (data.stands.empty()) throw std::runtime_error("the listing has no stand");
    return data;
}

void gf_writeHandmadeApf(clv::ApfData data, const std::filesystem::path& path) {
    const clv::QualityFactors quality = gf_qualityFactor(data.stands);
    data.Qf_real = quality.real;
    data.Qf_soft = quality.soft;
    const bool wasHandmade = handmadeFile.exchange(true);
    const bool written = gf_writeApf(data, path, kApfLearnedMode);
    handmadeFile = wasHandmade;
    if (!written) throw std::runtime_error(fmt::format("cannot write {}", path.string()));
}

std::string gf_apfFileToListing(const std::filesystem::path& path) {
    std::vector<clv::Stand> previous = std::exchange(standList, {});
    clv::ApfInfo summary;
    clv::QualityFactors fileQuality;
    std::string failure;
    try {
        failure = gf_loadApfStands(path, path.string(), summary, fileQuality);
    } catch (...) {
        standList = std::move(previous);
        throw;
    }
    std::vector<clv::Stand> stands = std::exchange(standList, std::move(previous));
    if (!failure.empty()) throw std::runtime_error(failure);
    for (std::size_t k = 0; k < stands.size(); ++k) stands[k].id = static_cast<std::uint32_t>(k + 1);
    gf_computeAdjacency(stands);

    std::string out;
    out += fmt::format("airport   {}\n", path.stem().string());
    if (!summary.airport_name.empty()) out += fmt::format("name      {}\n", summary.airport_name);
    if (!summary.publisher.empty()) out += fmt::format("publisher {}\n", summary.publisher);
    out += fmt::format("altitude  {}\n", summary.altitude);
    out += fmt::format("# stands: {}\n", stands.size());
    out += fmt::format("# quality factor of the file:    {}\n", gf_qualityText(fileQuality));
    out += fmt::format("# quality factor of the options: {}\n", gf_qualityText(gf_qualityFactor(stands)));
    for (const clv::Stand& s : stands) {
        out += fmt::format("stand     {:.6f} {:.6f} {:.1f} {:.1f} {} {}\n", s.latitude, s.longitude,
                           s.heading * clv::kRadToDeg, s.radius * clv::kMetresPerNm, lf_kinds(s), s.name);
        std::string adjacent;
        for (std::uint32_t id : s.adjacent) adjacent += fmt::format(" {}", id);
        out += fmt::format("# id {}, adjacent:{}\n", s.id, adjacent.empty() ? " none" : adjacent);
        for (const clv::StandOption& o : s.options) {
            std::string line = fmt::format("opt       day={} hh={}", o.weekday, gf_bitset2hours(o.hours));
            if (!o.registration.empty()) line += " reg=" + o.registration;
            if (!o.airline.empty()) line += " airl=" + o.airline;
            if (!o.type.empty()) line += " type=" + o.type;
            if (!o.callsign.empty() || !o.secondCallsign.empty()) {
                line += " cs=" + o.callsign + (o.secondCallsign.empty() ? "" : ":" + o.secondCallsign);
            }
            if (o.real == 0) line += " soft";
            out += line + "\n";
        }
    }
    return out;
}
