#pragma once
// Airport park-position files: one airport's stands with their options and a few
// per-airport parameters. Three top-level elements side by side, no enclosing
// root: "meta" (core/meta.h), "parameters" and "parkpositions". Positions and
// headings are kept in degrees and radii in metres in the file; a Stand keeps its
// heading in radians and its radius in nautical miles.
//
// Four variants share the layout: archived files (fetched), generated files
// (add-on airport scan: full stands, no options), learned files (what learning
// added, plus copies of the parking settings) and handmade files (learned files
// with the parameter "handmade", which replace the archived file).
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "stands/stand.h"

namespace clv {

// One airport file's content as the writer takes it.
struct ApfData {
    std::string code;          // ICAO code; names the file, not written into it
    std::string airport_name;
    std::string BGLpath;       // the add-on airport's BGL file
    std::string publisher;     // "simaddon", a publisher of the reference data, or "unknown"
    std::string manufacturer;  // from the add-on package's manifest
    std::string creator;
    std::string title;         // the add-on package's title; not written
    std::int32_t RT_traffic_week = 0;  // not written
    std::int32_t Qf_real = -1;
    std::int32_t Qf_soft = -1;
    std::int32_t altitude = 0;  // feet
    std::vector<Stand> stands;
};

// What the reader keeps of the park airport's file.
struct ApfInfo {
    std::string airport_name;
    std::string publisher;
    std::int32_t altitude = 0;  // feet
};

// How well the real and the soft options describe an airport's traffic, in
// percent; -1 where a file gives no value.
struct QualityFactors {
    std::int32_t real = -1;
    std::int32_t soft = -1;

    friend constexpr bool operator==(const QualityFactors&, const QualityFactors&) = default;

    // One 64-bit value: real in the low 32 bits, soft in the high 32 bits.
    constexpr std::uint64_t toBits() const {
        return static_cast<std::uint32_t>(real) | (static_cast<std::uint64_t>(static_cast<std::uint32_t>(soft)) << 32);
    }
    static constexpr QualityFactors fromBits(std::uint64_t bits) {
        return QualityFactors{static_cast<std::int32_t>(bits & 0xFFFFFFFFu), static_cast<std::int32_t>(bits >> 32)};
    }
};

}  // namespace clv

// ---- names in the files ------------------------------------------------------
// Top-level elements and their children.
inline constexpr const char* kApfParametersElement = "parameters";
inline constexpr const char* kApfParameterElement = "parameter";
inline constexpr const char* kApfParkpositionsElement = "parkpositions";
inline constexpr const char* kApfParkposElement = "parkpos";
inline constexpr const char* kApfOptElement = "opt";

// Attributes of "parkpos".
inline constexpr const char* kParkposId = "id";
inline constexpr const char* kParkposRadiusChange = "radius_change";
inline constexpr const char* kParkposCargoChange = "cargo_change";
inline constexpr const char* kParkposLatitude = "latitude";
inline constexpr const char* kParkposLongitude = "longitude";
inline constexpr const char* kParkposHeading = "heading";
inline constexpr const char* kParkposRadius = "radius";
inline constexpr const char* kParkposHeli = "heli";
inline constexpr const char* kParkposCargo = "cargo";
inline constexpr const char* kParkposRamp = "ramp";
inline constexpr const char* kParkposManual = "manual";

// Attributes of "opt".
inline constexpr const char* kOptReg = "reg";
inline constexpr const char* kOptAirline = "airl";
inline constexpr const char* kOptType = "type";
inline constexpr const char* kOptSoft = "soft";
inline constexpr const char* kOptDay = "day";
inline constexpr const char* kOptHours = "hh";
inline constexpr const char* kOptCallsigns = "cs";

// Parameter keys and the other fixed texts, each one object for the whole run.
inline const std::string g_apfAirportNameKey{"airport_name"};
inline const std::string g_apfPublisherKey{"publisher"};
inline const std::string g_apfHandmadeKey{"handmade"};
inline const std::string g_apfAltitudeKey{"altitude"};
inline const std::string g_apfNumParkposKey{"num_parkpos"};
inline const std::string g_apfRtTrafficWeekKey{"RT_traffic_week"};
inline const std::string g_apfQfRealKey{"Qf_real"};
inline const std::string g_apfQfSoftKey{"Qf_soft"};
inline const std::string g_apfBglPathKey{"BGLpath"};
inline const std::string g_apfManufacturerKey{"manufacturer"};
inline const std::string g_apfCreatorKey{"creator"};
inline const std::string g_apfCallsignSeparator{":"};
inline const std::string g_apfPathSeparator{"\\"};
inline const std::string g_apfZeroText{"0"};


// Writer modes.
inline constexpr std::uint32_t kApfLearnedMode = 0;    // learned or handmade file
inline constexpr std::uint32_t kApfGeneratedMode = 1;  // generated file of the add-on scan

// ---- the park airport's file (run thread, unless marked) -------------------------
// What the reader kept of the park airport's file.
extern clv::ApfInfo parkApfInfo;
// The park airport's file is handmade. Cleared by each read, set by the
// learned-file reader; read by the writer on scan workers too.
extern std::atomic<bool> handmadeFile;
// RT_traffic_week of the park airport's file, shown in the main window.
extern std::atomic<std::int32_t> rtTrafficWeek;
// A park airport's file is loaded (read by the UI thread's handlers).
extern std::atomic<bool> parkingActive;
