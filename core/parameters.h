#pragma once
// Every setting of the program as one global parameter object, constructed with
// its default before main runs, filled from parameters.xml by the store
// (core/parameter_store.h) and read directly by every subsystem.
#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "core/parameter.h"

// ---- the settings, in the order of their construction -----------------------
extern Parameter<std::string> PROGRAM_INSTALL_PATH;
extern Parameter<std::string> RAVUDOVODO24_VERSION;
extern ControlParameter<bool> MSFS_2020;               // on: MSFS 2020, off: MSFS 2024
extern ControlParameter<std::string> ALL_INSTALL_PATH;  // the install path edit; never stored
extern Parameter<std::string> MSFS_2024_INSTALL_PATH;
extern Parameter<std::string> MSFS_INSTALL_PATH;
extern ControlParameter<bool> HIGH_PERF_AIRCRAFT;
extern ControlParameter<bool> HELICOPTERS;
extern ControlParameter<bool> LIGHT_AIRCRAFT;
extern ControlParameter<bool> LOG;                      // the detail lines of the log
extern ControlParameter<int> LATERAL_RANGE;             // nautical miles, 2..100
extern Parameter<std::string> PROGRAM_VERSION;          // the version of the last run
extern ParameterButton FLUSH_STATIC_BUTTON;             // "Flush static"
extern ControlParameter<float> MAX_FIT_FL;              // MAX_FIT in hours; never stored
extern ControlParameter<int> MAX_LIVE;
extern ControlParameter<bool> LEARN_SOFT;
extern ControlParameter<bool> WEEK;
extern ControlParameter<int> MAX_FIT;                   // half-hours, 0..47; edited through MAX_FIT_FL
extern ControlParameter<int> parking_percentage;        // never read from the file
extern ControlParameter<bool> PARK_FAKE;
extern ControlParameter<bool> PARK_SOFT;
extern ControlParameter<bool> INITIAL_LOAD_ONLY;
extern ControlParameter<bool> AUTO_RANGE;
extern Parameter<int> HOLDING_THRESHOLD_METERS;
extern Parameter<int> MAX_HOLDING_MINUTES;
extern Parameter<int> CUSTOM_PARKING_PERCENTAGE;
extern Parameter<int> LAST_EPOCH_TIME;
extern Parameter<bool> RANDOM;
extern Parameter<std::string> PORT_NUMBER;              // the RealTraffic link's port
extern Parameter<std::string> lfolder0;                 // lfolder0..9: folders of a manual livery scan
extern Parameter<std::string> lfolder1;
extern Parameter<std::string> lfolder2;
extern Parameter<std::string> lfolder3;
extern Parameter<std::string> lfolder4;
extern Parameter<std::string> lfolder5;
extern Parameter<std::string> lfolder6;
extern Parameter<std::string> lfolder7;
extern Parameter<std::string> lfolder8;
extern Parameter<std::string> lfolder9;
extern ControlParameter<bool> SCAN_LIVERIES;
extern ControlParameter<bool> LIG_AUTOMATIC;
extern ControlParameter<bool> LIG_PRIORITIZE;
extern ControlParameter<int> AI_PACKAGE_ORDER;
extern ControlParameter<bool> SUPPRESS_STUB;
extern ControlParameter<bool> ALWAYS_ON_TOP;
extern ControlParameter<bool> SCAN_AIRPORTS;
extern ControlParameter<bool> NAV_LIGHTS_WHILE_PARKED;
extern ControlParameter<int> MATCHING_DEPTH;
extern ControlParameter<bool> AEROWINX;
extern ControlParameter<bool> GUID_CHANGES;
extern ControlParameter<int> AUTO_RANGE_ABOVE_HEIGHT;
extern ControlParameter<bool> CALLSIGN_OBJECTIDS;
extern ControlParameter<std::string> BLOCK_CALLSIGN;
extern ParameterButton UNBLOCK_BUTTON;                  // "Unblock"
extern ControlParameter<std::string> CALLSIGN_2_OBJECTID;  // never stored
extern ControlParameter<bool> COLLISION_USER_AIR;
extern ControlParameter<bool> COLLISION_USER_GND;
extern ControlParameter<bool> COLLISION_LIVE_PARKED_GND;
extern ControlParameter<int> CUSTOM_MAX_PARK;
extern ControlParameter<std::string> DESTINATION;       // the load does not refresh its edit
extern ControlParameter<int> AIRPORT_RANGE;
extern ControlParameter<int> AIRPORT_HEIGHT;
extern ControlParameter<bool> STRAIGHT_PBS_ONLY;
extern ParameterButton REREAD_BUTTON;                   // "Re-read"
extern Parameter<int> MAIN_WINDOW_X;                    // the main window's position
extern Parameter<int> MAIN_WINDOW_Y;
// The flight plan folder as a simulator on another PC opens it (a share of
// flightPlanFolder, like \\MYPC\calvorinth\orig_dest); empty: not shared.
extern Parameter<std::string> SIM_PC_FLIGHT_PLAN_FOLDER;

// ---- derived values ----------------------------------------------------------
// The current lateral range, in nautical miles and in metres (x 1852); made from
// LATERAL_RANGE's default (40.0, 74080) and refreshed whenever its value changes.
extern std::atomic<double> lateralRangeNm;
extern std::atomic<std::int32_t> lateralRangeMeters;
// Sets both from LATERAL_RANGE.value.
void gf_refreshLateralRangeCopies();

// Copies of the keys, the parameter names of the airport files.
extern const std::string g_lateralRangeKey;
extern const std::string g_autoRangeKey;
extern const std::string g_initialLoadOnlyKey;
extern const std::string g_parkSoftKey;
extern const std::string g_parkFakeKey;
extern const std::string g_parkingPercentageKey;
extern const std::string g_maxFitKey;
extern const std::string g_weekKey;
extern const std::string g_learnSoftKey;
extern const std::string g_maxLiveKey;

// ---- meta entry objects of data files (never stored in parameters.xml) -----
// gf_readMeta (core/meta.h) fills author, date and version; copyright is written.
extern Parameter<std::string> author;
extern Parameter<std::string> date;
extern Parameter<std::string> version;
extern Parameter<std::string> copyright;
extern Parameter<std::string> MSFS;
extern Parameter<std::string> P3D;

// ---- load lists --------------------------------------------------------------
namespace clv {

// The six lists through which the store reads the settings at start.
struct ParameterLoadLists {
    std::vector<Parameter<bool>*> bools;
    std::vector<ControlParameter<bool>*> checkboxes;
    std::vector<Parameter<int>*> ints;
    std::vector<ControlParameter<int>*> intEdits;
    std::vector<Parameter<std::string>*> strings;
    std::vector<ControlParameter<std::string>*> stringEdits;
};

}  // namespace clv

// The program's load lists: every stored setting in its list, in file order.
const clv::ParameterLoadLists& gf_parameterLoadLists();

// ---- controls ------------------------------------------------------------------
// The check box command: false and nothing done when `id` is not the box's own
// control id; else the box and the value are inverted and saved; true.
// Called on the UI thread.
bool gf_toggleCheckboxParameter(std::uint16_t id, ControlParameter<bool>& parameter);

namespace clv {

inline constexpr std::int32_t kCheckboxSize = 12;   // width and height
inline constexpr std::int32_t kCheckboxDrop = 2;    // a check box sits this far below its row
inline constexpr std::int32_t kEditHeight = 16;
inline constexpr std::int32_t kButtonHeight = 20;

// A control of the options panel: its setting (the alternative tells the kind:
// check box, int edit, float edit, text edit, button) and its horizontal place.
struct ControlPlacement {
    std::variant<ControlParameter<bool>*, ControlParameter<int>*, ControlParameter<float>*,
                 ControlParameter<std::string>*, ParameterButton*>
        target;
    std::int32_t x;
    std::int32_t width;

    ParameterControl& control() const;
    // The control's box in the window: check boxes 12 x 12 two pixels below the
    // row, edits `width` x 16, buttons `width` x 20.
    std::int32_t top() const;
    std::int32_t height() const;
};

}  // namespace clv

// Every control of the options panel, in the order the window creates them.
std::span<const clv::ControlPlacement> gf_controlLayout();
// The placement of one control id; nullptr when the id has no control.
const clv::ControlPlacement* gf_controlPlacement(std::uint16_t controlId);
