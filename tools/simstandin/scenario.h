#pragma once
// What the stand-in simulator starts with: the simulator's identity, its timing,
// the user aircraft and the installed aircraft titles, read from a JSON scenario.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace clv::standin {

// An aircraft title the simulator can create, with its static values.
struct InstalledTitle {
    std::string title;
    double staticCgFt = 5.0;      // "Static CG to Ground"
    double staticPitchDeg = 0.0;  // "Static Pitch"
};

// The user aircraft as the scenario and the control channel set it.
struct UserAircraft {
    std::uint32_t objectId = 1;
    double latitude = 0.0;  // degrees
    double longitude = 0.0;
    double altitudeFt = 0.0;
    double pitchDeg = 0.0;
    double bankDeg = 0.0;
    double headingDeg = 0.0;  // true
    double groundSpeedKt = 0.0;
    bool onGround = true;
    std::int64_t lights = 0;  // LIGHT STATES bits
    std::string title = "Stand-in Cessna 172";
    std::string atcModel = "C172";
    std::string atcId = "N172SI";
};

// A ground that rises from a reference point: percent of the distance north and east.
struct GroundSlope {
    double latitude = 0.0;
    double longitude = 0.0;
    double northPercent = 0.0;
    double eastPercent = 0.0;
};

// Reads {"lat", "lon", "north_percent", "east_percent"}; an unknown key throws.
GroundSlope gf_groundSlopeFromJson(const nlohmann::json& json);

struct Scenario {
    std::string simulator = "SunRise";  // "KittyHawk" is MSFS 2020, "SunRise" MSFS 2024
    std::array<std::uint32_t, 4> version{1, 0, 0, 0};  // application major, minor, build major, build minor
    bool simRunning = true;
    double frameRate = 30.0;  // "Frame" events per second, also the rate they report
    int dataPeriodMs = 1000;  // the period "second" of data requests
    bool flightLoadedAsFilename = true;  // FlightLoaded as the file-name event, else a plain event
    std::string flightFile = "flights\\custom.FLT";
    double groundElevationFt = 0.0;  // at the slope's reference point; everywhere when flat
    GroundSlope slope;
    std::int64_t zulu = 0;  // seconds since 1970 at start; 0: the system clock
    UserAircraft user;
    std::vector<InstalledTitle> installed;
    std::string communityFolder;  // titles of every aircraft.cfg below it are installed too
    std::uint32_t firstObjectId = 1000;
    std::uint32_t maxAiObjects = 1000;
};

// Reads scenario keys onto `scenario`; an unknown key or a value of the wrong kind
// throws std::runtime_error naming it.
void gf_applyScenarioJson(const nlohmann::json& json, Scenario& scenario);
// Applies the user-aircraft keys ("lat", "lon", "alt_ft", "agl_ft", "on_ground", ...).
void gf_applyUserJson(const nlohmann::json& json, UserAircraft& user, double groundElevationFt);
// An installed title from "Title" or {"title": ..., "static_cg_ft": ..., "static_pitch_deg": ...}.
InstalledTitle gf_installedTitleFromJson(const nlohmann::json& json);

// Reads a scenario file; throws std::runtime_error with the file name and the problem.
Scenario gf_readScenarioFile(const std::filesystem::path& path);

// "2024-03-01T12:00:00Z" (or a number of seconds since 1970) as seconds since 1970.
std::int64_t gf_parseZulu(const nlohmann::json& value);

// The titles of the [fltsim.N] sections of every aircraft.cfg below the folder.
std::vector<std::string> gf_scanCommunityTitles(const std::filesystem::path& folder);
// The titles of the [fltsim.N] sections of one aircraft.cfg text.
std::vector<std::string> gf_aircraftCfgTitles(const std::string& text);

}  // namespace clv::standin
