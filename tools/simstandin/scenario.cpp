#include "tools/simstandin/scenario.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>

#include "tools/simstandin/zulu.h"

namespace clv::standin {

namespace {

template <class T>
T lf_get(const nlohmann::json& json, const std::string& key) {
    try {
        return json.get<T>();
    } catch (const nlohmann::json::exception&) {
        throw std::runtime_error(fmt::format("\"{}\" has a value of the wrong kind: {}", key, json.dump()));
    }
}

std::string lf_lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string lf_trim(std::string_view text) {
    const char* blanks = " \t\r\n";
    auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    auto last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::int64_t gf_parseZulu(const nlohmann::json& value) {
    if (value.is_number()) return value.get<std::int64_t>();
    if (!value.is_string()) throw std::runtime_error("\"zulu\" must be seconds since 1970 or \"YYYY-MM-DDTHH:MM:SSZ\"");
    const std::string text = value.get<std::string>();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second, &end) != 7 ||
        end != 'Z' || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
        throw std::runtime_error(fmt::format("\"zulu\" is not \"YYYY-MM-DDTHH:MM:SSZ\": {}", text));
    }
    return gf_daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

InstalledTitle gf_installedTitleFromJson(const nlohmann::json& json) {
    InstalledTitle t;
    if (json.is_string()) {
        t.title = json.get<std::string>();
    } else if (json.is_object()) {
        for (const auto& [key, value] : json.items()) {
            if (key == "title") t.title = lf_get<std::string>(value, key);
            else if (key == "static_cg_ft") t.staticCgFt = lf_get<double>(value, key);
            else if (key == "static_pitch_deg") t.staticPitchDeg = lf_get<double>(value, key);
            else throw std::runtime_error(fmt::format("unknown key \"{}\" in an installed title", key));
        }
    } else {
        throw std::runtime_error("an installed title is a text or an object with \"title\"");
    }
    if (t.title.empty()) throw std::runtime_error("an installed title is empty");
    return t;
}

void gf_applyUserJson(const nlohmann::json& json, UserAircraft& user, double groundElevationFt) {
    if (!json.is_object()) throw std::runtime_error("the user aircraft is a JSON object");
    for (const auto& [key, value] : json.items()) {
        if (key == "cmd") continue;
        if (key == "object_id") user.objectId = lf_get<std::uint32_t>(value, key);
        else if (key == "lat") user.latitude = lf_get<double>(value, key);
        else if (key == "lon") user.longitude = lf_get<double>(value, key);
        else if (key == "alt_ft") user.altitudeFt = lf_get<double>(value, key);
        else if (key == "agl_ft") user.altitudeFt = groundElevationFt + lf_get<double>(value, key);
        else if (key == "pitch_deg") user.pitchDeg = lf_get<double>(value, key);
        else if (key == "bank_deg") user.bankDeg = lf_get<double>(value, key);
        else if (key == "heading_deg") user.headingDeg = lf_get<double>(value, key);
        else if (key == "ground_speed_kt") user.groundSpeedKt = lf_get<double>(value, key);
        else if (key == "on_ground") user.onGround = lf_get<bool>(value, key);
        else if (key == "lights") user.lights = lf_get<std::int64_t>(value, key);
        else if (key == "title") user.title = lf_get<std::string>(value, key);
        else if (key == "atc_model") user.atcModel = lf_get<std::string>(value, key);
        else if (key == "atc_id") user.atcId = lf_get<std::string>(value, key);
        else if (key == "ground_elevation_ft" || key == "zulu") continue;  // world values, applied by the caller
        else throw std::runtime_error(fmt::format("unknown key \"{}\" for the user aircraft", key));
    }
}

GroundSlope gf_groundSlopeFromJson(const nlohmann::json& json) {
    if (!json.is_object()) throw std::runtime_error("\"ground_slope\" is a JSON object");
    GroundSlope slope;
    for (const auto& [key, value] : json.items()) {
        if (key == "lat") slope.latitude = lf_get<double>(value, key);
        else if (key == "lon") slope.longitude = lf_get<double>(value, key);
        else if (key == "north_percent") slope.northPercent = lf_get<double>(value, key);
        else if (key == "east_percent") slope.eastPercent = lf_get<double>(value, key);
        else throw std::runtime_error(fmt::format("unknown key \"{}\" of \"ground_slope\"", key));
    }
    return slope;
}

void gf_applyScenarioJson(const nlohmann::json& json, Scenario& s) {
    if (!json.is_object()) throw std::runtime_error("a scenario is a JSON object");
    // The ground elevation first: "agl_ft" of the user aircraft is measured from it.
    if (json.contains("ground_elevation_ft")) {
        s.groundElevationFt = lf_get<double>(json["ground_elevation_ft"], "ground_elevation_ft");
    }
    for (const auto& [key, value] : json.items()) {
        if (key == "simulator") s.simulator = lf_get<std::string>(value, key);
        else if (key == "version") {
            auto v = lf_get<std::vector<std::uint32_t>>(value, key);
            if (v.size() != 4) throw std::runtime_error("\"version\" holds four numbers: major, minor, build major, build minor");
            std::copy(v.begin(), v.end(), s.version.begin());
        } else if (key == "sim_running") s.simRunning = lf_get<bool>(value, key);
        else if (key == "frame_rate") s.frameRate = lf_get<double>(value, key);
        else if (key == "data_period_ms") s.dataPeriodMs = lf_get<int>(value, key);
        else if (key == "flight_loaded_as") {
            auto as = lf_get<std::string>(value, key);
            if (as != "filename" && as != "event") throw std::runtime_error("\"flight_loaded_as\" is \"filename\" or \"event\"");
            s.flightLoadedAsFilename = as == "filename";
        } else if (key == "flight_file") s.flightFile = lf_get<std::string>(value, key);
        else if (key == "ground_elevation_ft") continue;
        else if (key == "ground_slope") s.slope = gf_groundSlopeFromJson(value);
        else if (key == "zulu") s.zulu = gf_parseZulu(value);
        else if (key == "user") gf_applyUserJson(value, s.user, s.groundElevationFt);
        else if (key == "installed_titles") {
            if (!value.is_array()) throw std::runtime_error("\"installed_titles\" is a list");
            for (const auto& item : value) s.installed.push_back(gf_installedTitleFromJson(item));
        } else if (key == "community_folder") s.communityFolder = lf_get<std::string>(value, key);
        else if (key == "first_object_id") s.firstObjectId = lf_get<std::uint32_t>(value, key);
        else if (key == "max_ai_objects") s.maxAiObjects = lf_get<std::uint32_t>(value, key);
        else throw std::runtime_error(fmt::format("unknown scenario key \"{}\"", key));
    }
    if (s.frameRate < 0.0 || s.frameRate > 1000.0) throw std::runtime_error("\"frame_rate\" is between 0 and 1000");
    if (s.dataPeriodMs < 1) throw std::runtime_error("\"data_period_ms\" is at least 1");
    if (s.firstObjectId <= s.user.objectId) throw std::runtime_error("\"first_object_id\" must be above the user's object id");
}

Scenario gf_readScenarioFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read the scenario file {}", path.string()));
    std::stringstream text;
    text << in.rdbuf();
    Scenario s;
    try {
        gf_applyScenarioJson(nlohmann::json::parse(text.str()), s);
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(fmt::format("{}: {}", path.string(), e.what()));
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(fmt::format("{}: {}", path.string(), e.what()));
    }
    return s;
}

std::vector<std::string> gf_aircraftCfgTitles(const std::string& text) {
    std::vector<std::string> titles;
    std::istringstream in(text);
    bool inFltsim = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string t = lf_trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            inFltsim = lf_lower(t).rfind("[fltsim.", 0) == 0;
            continue;
        }
        if (!inFltsim) continue;
        auto eq = t.find('=');
        if (eq == std::string::npos || lf_lower(lf_trim(t.substr(0, eq))) != "title") continue;
        std::string value = lf_trim(t.substr(eq + 1));
        if (!value.empty() && value[0] == '"') {
            auto close = value.find('"', 1);
            value = value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        } else {
            auto comment = value.find(';');
            if (comment != std::string::npos) value = lf_trim(value.substr(0, comment));
        }
        if (!value.empty()) titles.push_back(value);
    }
    return titles;
}

std::vector<std::string> gf_scanCommunityTitles(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> titles;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        throw std::runtime_error(fmt::format("the Community folder {} does not exist", folder.string()));
    }
    for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec) || lf_lower(it->path().filename().string()) != "aircraft.cfg") continue;
        std::ifstream in(it->path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        for (auto& t : gf_aircraftCfgTitles(text.str())) titles.push_back(std::move(t));
    }
    return titles;
}

}  // namespace clv::standin
