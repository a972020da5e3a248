#include "airports/parking/airport_data.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include <pugixml.hpp>

#include "airports/parking/apf_locate.h"
#include "core/log.h"
#include "core/user_error.h"

std::vector<clv::Airport> g_airports;
std::unordered_map<std::string, std::string> g_airportNames;

namespace {

constexpr std::int32_t kAirportsReadError = 88;
constexpr std::int32_t kAirportsXPathError = 87;
constexpr const char* kAirportsRoot = "airports";
constexpr const char* kAirportElement = "airport";
constexpr const char* kCodeAttribute = "code";
constexpr const char* kLatAttribute = "lat";
constexpr const char* kLonAttribute = "lon";
constexpr const char* kAltAttribute = "alt";
constexpr const char* kIataAttribute = "iata";
constexpr const char* kNamesRoot = "AirportNames";
constexpr const char* kIcaoAttribute = "ICAO";
constexpr const char* kNameAttribute = "name";
// The texts users quote from the error line, whatever the library says.
constexpr const char* kInvalidNumberText = "invalid stod argument";
constexpr const char* kNumberRangeText = "stod argument out of range";

// Set after a successful read: the list is then never read again.
std::atomic<bool> g_airportsRead{false};

std::filesystem::path lf_airportsPath() { return g_inputFolder / g_airportsMsfsFile; }
std::filesystem::path lf_namesPath() { return g_inputFolder / g_airportsMsfsNamesFile; }

// The whole text must be one decimal number within a double's range.
double lf_toDouble(const char* text) {
    if (text == nullptr || *text == '\0') throw std::invalid_argument(kInvalidNumberText);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0') throw std::invalid_argument(kInvalidNumberText);
    if (errno == ERANGE) throw std::out_of_range(kNumberRangeText);
    return value;
}

void lf_readAirportList() {
    const std::string path = gf_pathText(lf_airportsPath());
    pugi::xml_document document;
    const pugi::xml_parse_result loaded = document.load_file(lf_airportsPath().c_str());
    if (!loaded) throw std::runtime_error(path + " not loaded " + loaded.description());
    const pugi::xml_node root = document.child(kAirportsRoot);
    if (!root) throw std::runtime_error(path + " not found");
    for (const pugi::xml_node node : root.children(kAirportElement)) {
        clv::Airport airport;
        airport.code = node.attribute(kCodeAttribute).value();
        airport.alt = lf_toDouble(node.attribute(kAltAttribute).as_string(nullptr));
        airport.lat = lf_toDouble(node.attribute(kLatAttribute).as_string(nullptr));
        airport.lon = lf_toDouble(node.attribute(kLonAttribute).as_string(nullptr));
        airport.iata = node.attribute(kIataAttribute).value();
        g_airports.push_back(std::move(airport));
    }
    std::sort(g_airports.begin(), g_airports.end(),
              [](const clv::Airport& a, const clv::Airport& b) { return a.code < b.code; });
    gf_log("{} airports read from \"{}\"", g_airports.size(), path);
    if (g_airports.capacity() > g_airports.size()) std::vector<clv::Airport>(g_airports).swap(g_airports);
}

}  // namespace

bool gf_readAirports() {
    if (g_airportsRead.load()) return !g_airports.empty();
    if (g_airports.capacity() < clv::kAirportCapacity) g_airports.reserve(clv::kAirportCapacity);
    try {
        lf_readAirportList();
    } catch (const pugi::xpath_exception& e) {
        g_airports.clear();
        throw clv::UserErrorException(kAirportsXPathError, e.what());
    } catch (const std::exception& e) {
        // A half-read list would pass for the world's airports.
        g_airports.clear();
        throw clv::UserErrorException(kAirportsReadError, e.what());
    }
    g_airportsRead = true;
    return !g_airports.empty();
}

bool gf_readAirportNames() {
    const std::string path = gf_pathText(lf_namesPath());
    pugi::xml_document document;
    const pugi::xml_node root =
        document.load_file(lf_namesPath().c_str()) ? document.child(kNamesRoot) : pugi::xml_node();
    for (const pugi::xml_node node : root.children(kAirportElement)) {
        g_airportNames.try_emplace(node.attribute(kIcaoAttribute).value(), node.attribute(kNameAttribute).value());
    }
    gf_log("{} airport names read from \"{}\"", g_airportNames.size(), path);
    return !g_airportNames.empty();
}

std::optional<clv::Airport> gf_findAirport(const std::string& code) {
    for (const clv::Airport& airport : g_airports) {
        if (airport.code == code) return airport;
    }
    return std::nullopt;
}

std::optional<clv::Airport> gf_nearestAirport(clv::LatLon position) {
    double best = clv::kNoStandNm;
    const clv::Airport* nearest = nullptr;
    const clv::Airport* neighbour = nullptr;
    for (const clv::Airport& airport : g_airports) {
        const double d = gf_distanceNm(position, clv::LatLon{airport.lat, airport.lon});
        if (d <= clv::kNearestAirportNm && d < best) {
            if (nearest != nullptr) neighbour = nearest;
            nearest = &airport;
            best = d;
        }
    }
    if (nearest == nullptr) return std::nullopt;
    if (neighbour == nullptr) return *nearest;
    gf_log("Airport {} is closest, neighbour is {}", nearest->code, neighbour->code);
    std::string nearestStand;
    const double a = gf_readDestApfForClosestStand(nearest->code, position, nearestStand);
    std::string neighbourStand;
    const double b = gf_readDestApfForClosestStand(neighbour->code, position, neighbourStand);
    if (b >= a) return *nearest;
    gf_log("Airport {} is closest, but stand {} at neighbouring airport {} is closest at {:.0F} meters ...",
           nearest->code, neighbourStand, neighbour->code, b * clv::kMetresPerNm);
    return *neighbour;
}

std::string gf_airportDisplayName(const clv::Airport& airport) {
    std::string text = airport.code.empty() ? std::string("?") : airport.code;
    if (!airport.iata.empty()) text += " (" + airport.iata + ")";
    return text;
}

clv::AddonReference gf_airportReference() {
    clv::AddonReference reference;
    reference.airportName = [](std::string_view code) {
        const auto found = g_airportNames.find(std::string(code));
        return found == g_airportNames.end() ? std::string() : found->second;
    };
    reference.altitudeFt = [](std::string_view code) -> std::optional<double> {
        const auto airport = gf_findAirport(std::string(code));
        if (!airport) return std::nullopt;
        return airport->alt;
    };
    reference.firstCode = [](const std::function<bool(std::string_view)>& test) -> std::optional<std::string> {
        for (const clv::Airport& airport : g_airports) {
            if (test(airport.code)) return airport.code;
        }
        return std::nullopt;
    };
    return reference;
}

void gf_forgetAirports() {
    g_airports.clear();
    g_airports.shrink_to_fit();
    g_airportNames.clear();
    g_airportsRead = false;
}
