#include "core/parameters.h"

#include <array>
#include <type_traits>

#include "core/geodesy.h"
#include "core/ui_port.h"

// One translation unit, in this order: what is derived from a setting is made
// after it.
Parameter<std::string> PROGRAM_INSTALL_PATH("PROGRAM_INSTALL_PATH", "");
Parameter<std::string> RAVUDOVODO24_VERSION("RAVUDOVODO24_VERSION", "");
ControlParameter<bool> MSFS_2020("MSFS_2020", true, 32790, 119);
ControlParameter<std::string> ALL_INSTALL_PATH("ALL_INSTALL_PATH", "", 32788, 119);
Parameter<std::string> MSFS_2024_INSTALL_PATH("MSFS_2024_INSTALL_PATH", "");
Parameter<std::string> MSFS_INSTALL_PATH("MSFS_INSTALL_PATH", "");
ControlParameter<bool> HIGH_PERF_AIRCRAFT("HIGH_PERF_AIRCRAFT", true, 32811, 203);
ControlParameter<bool> HELICOPTERS("HELICOPTERS", true, 32810, 203);
ControlParameter<bool> LIGHT_AIRCRAFT("LIGHT_AIRCRAFT", true, 32809, 203);
ControlParameter<bool> LOG("LOG", true, 32779, 147);
ControlParameter<int> LATERAL_RANGE("LATERAL_RANGE", 40, 2, 100, 32818, 231);
std::atomic<double> lateralRangeNm{static_cast<double>(LATERAL_RANGE.def)};
std::atomic<std::int32_t> lateralRangeMeters{static_cast<std::int32_t>(LATERAL_RANGE.def * clv::kMetresPerNm)};
Parameter<std::string> PROGRAM_VERSION("PROGRAM_VERSION", "");
ParameterButton FLUSH_STATIC_BUTTON("Flush static", 32858, 369);
ControlParameter<float> MAX_FIT_FL("MAX_FIT_FL", 24.0f, 0.5f, 24.0f, 32855, 371);
ControlParameter<int> MAX_LIVE("MAX_LIVE", -1, -1, 300, 32821, 315);
ControlParameter<bool> LEARN_SOFT("LEARN_SOFT", true, 32777, 175);
ControlParameter<bool> WEEK("WEEK", false, 32854, 371);
ControlParameter<int> MAX_FIT("MAX_FIT", 47, 0, 47, 32853, 371);
ControlParameter<int> parking_percentage("parking_percentage", 30, 0, 100, 32848, 371);
ControlParameter<bool> PARK_FAKE("PARK_FAKE", false, 32852, 371);
ControlParameter<bool> PARK_SOFT("PARK_SOFT", true, 32851, 371);
ControlParameter<bool> INITIAL_LOAD_ONLY("INITIAL_LOAD_ONLY", false, 32850, 371);
ControlParameter<bool> AUTO_RANGE("AUTO_RANGE", true, 32819, 231);
Parameter<int> HOLDING_THRESHOLD_METERS("HOLDING_THRESHOLD_METERS", 250, 10, 4000);
Parameter<int> MAX_HOLDING_MINUTES("MAX_HOLDING_MINUTES", 20, 1, 60);
Parameter<int> CUSTOM_PARKING_PERCENTAGE("CUSTOM_PARKING_PERCENTAGE", -1, -1, 100);
Parameter<int> LAST_EPOCH_TIME("LAST_EPOCH_TIME", 0, 0, 2147483647);
Parameter<bool> RANDOM("RANDOM", true);
Parameter<std::string> PORT_NUMBER("PORT_NUMBER", "10747");
Parameter<std::string> lfolder0("lfolder0", "");
Parameter<std::string> lfolder1("lfolder1", "");
Parameter<std::string> lfolder2("lfolder2", "");
Parameter<std::string> lfolder3("lfolder3", "");
Parameter<std::string> lfolder4("lfolder4", "");
Parameter<std::string> lfolder5("lfolder5", "");
Parameter<std::string> lfolder6("lfolder6", "");
Parameter<std::string> lfolder7("lfolder7", "");
Parameter<std::string> lfolder8("lfolder8", "");
Parameter<std::string> lfolder9("lfolder9", "");
ControlParameter<bool> SCAN_LIVERIES("SCAN_LIVERIES", true, 32797, 147);
ControlParameter<bool> LIG_AUTOMATIC("LIG_AUTOMATIC", true, 32798, 147);
ControlParameter<bool> LIG_PRIORITIZE("LIG_PRIORITIZE", false, 32799, 147);
ControlParameter<int> AI_PACKAGE_ORDER("AI_PACKAGE_ORDER", 1, 1, 6, 32800, 147);
ControlParameter<bool> SUPPRESS_STUB("SUPPRESS_STUB", true, 32801, 147);
ControlParameter<bool> ALWAYS_ON_TOP("ALWAYS_ON_TOP", false, 32771, 147);
ControlParameter<bool> SCAN_AIRPORTS("SCAN_AIRPORTS", true, 32802, 175);
ControlParameter<bool> NAV_LIGHTS_WHILE_PARKED("NAV_LIGHTS_WHILE_PARKED", true, 32778, 175);
ControlParameter<int> MATCHING_DEPTH("MATCHING_DEPTH", 4, 1, 4, 32808, 203);
ControlParameter<bool> AEROWINX("AEROWINX", false, 32775, 203);
ControlParameter<bool> GUID_CHANGES("GUID_CHANGES", true, 32773, 203);
ControlParameter<int> AUTO_RANGE_ABOVE_HEIGHT("AUTO_RANGE_ABOVE_HEIGHT", 49000, 18000, 49000, 32820, 231);
ControlParameter<bool> CALLSIGN_OBJECTIDS("CALLSIGN_OBJECTIDS", false, 32822, 231);
ControlParameter<std::string> BLOCK_CALLSIGN("BLOCK_CALLSIGN", "", 32828, 259);
ParameterButton UNBLOCK_BUTTON("Unblock", 32829, 257);
ControlParameter<std::string> CALLSIGN_2_OBJECTID("CALLSIGN_2_OBJECTID", "", 32774, 259);
ControlParameter<bool> COLLISION_USER_AIR("COLLISION_USER_AIR", true, 32833, 287);
ControlParameter<bool> COLLISION_USER_GND("COLLISION_USER_GND", true, 32834, 287);
ControlParameter<bool> COLLISION_LIVE_PARKED_GND("COLLISION_LIVE_PARKED_GND", false, 32835, 287);
ControlParameter<int> CUSTOM_MAX_PARK("CUSTOM_MAX_PARK", -1, -1, 500, 32865, 315);
ControlParameter<std::string> DESTINATION("DESTINATION", "", 32840, 343);
ControlParameter<int> AIRPORT_RANGE("AIRPORT_RANGE", 20, 8, 30, 32841, 343);
ControlParameter<int> AIRPORT_HEIGHT("AIRPORT_HEIGHT", 18000, 2000, 45000, 32842, 343);
ControlParameter<bool> STRAIGHT_PBS_ONLY("STRAIGHT_PBS_ONLY", false, 32856, 315);
ParameterButton REREAD_BUTTON("Re-read", 32838, 341);
Parameter<int> MAIN_WINDOW_X("MAIN_WINDOW_X", 400, -30000, 30000);
Parameter<int> MAIN_WINDOW_Y("MAIN_WINDOW_Y", 20, -30000, 30000);
Parameter<std::string> SIM_PC_FLIGHT_PLAN_FOLDER("SIM_PC_FLIGHT_PLAN_FOLDER", "");

const std::string g_lateralRangeKey = LATERAL_RANGE.name;
const std::string g_autoRangeKey = AUTO_RANGE.name;
const std::string g_initialLoadOnlyKey = INITIAL_LOAD_ONLY.name;
const std::string g_parkSoftKey = PARK_SOFT.name;
const std::string g_parkFakeKey = PARK_FAKE.name;
const std::string g_parkingPercentageKey = parking_percentage.name;
const std::string g_maxFitKey = MAX_FIT.name;
const std::string g_weekKey = WEEK.name;
const std::string g_learnSoftKey = LEARN_SOFT.name;
const std::string g_maxLiveKey = MAX_LIVE.name;

Parameter<std::string> author("author", "");
Parameter<std::string> date("date", "");
Parameter<std::string> version("version", "");
Parameter<std::string> copyright("copyright", "Copyright (c) Calvorinth developers");
Parameter<std::string> MSFS("MSFS", "");
Parameter<std::string> P3D("P3D", "");

void gf_refreshLateralRangeCopies() {
    const std::int32_t range = LATERAL_RANGE.value;
    lateralRangeNm.store(static_cast<double>(range));
    lateralRangeMeters.store(static_cast<std::int32_t>(range * clv::kMetresPerNm));
}

const clv::ParameterLoadLists& gf_parameterLoadLists() {
    static const clv::ParameterLoadLists lists{
        {&RANDOM},
        {&AEROWINX, &MSFS_2020, &CALLSIGN_OBJECTIDS, &COLLISION_USER_AIR, &COLLISION_USER_GND,
         &COLLISION_LIVE_PARKED_GND, &SUPPRESS_STUB, &LOG, &ALWAYS_ON_TOP, &SCAN_LIVERIES, &LIG_AUTOMATIC,
         &LIG_PRIORITIZE, &SCAN_AIRPORTS, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT,
         &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE, &LEARN_SOFT, &STRAIGHT_PBS_ONLY, &PARK_SOFT, &PARK_FAKE, &WEEK,
         &INITIAL_LOAD_ONLY, &GUID_CHANGES},
        {&CUSTOM_PARKING_PERCENTAGE, &MAIN_WINDOW_X, &MAIN_WINDOW_Y, &LAST_EPOCH_TIME, &HOLDING_THRESHOLD_METERS,
         &MAX_HOLDING_MINUTES},
        {&MATCHING_DEPTH, &LATERAL_RANGE, &MAX_FIT, &AUTO_RANGE_ABOVE_HEIGHT, &MAX_LIVE, &AIRPORT_RANGE,
         &AIRPORT_HEIGHT, &CUSTOM_MAX_PARK, &AI_PACKAGE_ORDER},
        {&PROGRAM_VERSION, &MSFS_INSTALL_PATH, &PORT_NUMBER, &lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
         &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9, &PROGRAM_INSTALL_PATH, &RAVUDOVODO24_VERSION,
         &MSFS_2024_INSTALL_PATH, &DESTINATION, &SIM_PC_FLIGHT_PLAN_FOLDER},
        {&BLOCK_CALLSIGN},
    };
    return lists;
}

bool gf_toggleCheckboxParameter(std::uint16_t id, ControlParameter<bool>& parameter) {
    if (id != parameter.controlId) return false;
    clv::UiPort& port = gf_uiPort();
    const clv::ControlHandle box = parameter.handle.load();
    const bool checked = !port.isChecked(box);
    port.setChecked(box, checked);
    parameter.value = checked;
    parameter.save();
    return true;
}

namespace clv {

ParameterControl& ControlPlacement::control() const {
    return std::visit([](auto* p) -> ParameterControl& { return *p; }, target);
}

std::int32_t ControlPlacement::top() const {
    const bool checkbox = std::holds_alternative<ControlParameter<bool>*>(target);
    return control().y + (checkbox ? kCheckboxDrop : 0);
}

std::int32_t ControlPlacement::height() const {
    if (std::holds_alternative<ControlParameter<bool>*>(target)) return kCheckboxSize;
    if (std::holds_alternative<ParameterButton*>(target)) return kButtonHeight;
    return kEditHeight;
}

}  // namespace clv

namespace {

// The options panel, in creation order; x and width in pixels.
const std::array<clv::ControlPlacement, 42> kLayout{{
    {&MSFS_2020, 5, clv::kCheckboxSize},
    {&ALL_INSTALL_PATH, 111, 1200},
    {&SCAN_LIVERIES, 5, clv::kCheckboxSize},
    {&LIG_AUTOMATIC, 217, clv::kCheckboxSize},
    {&AI_PACKAGE_ORDER, 368, 24},
    {&LIG_PRIORITIZE, 430, clv::kCheckboxSize},
    {&SUPPRESS_STUB, 536, clv::kCheckboxSize},
    {&LOG, 652, clv::kCheckboxSize},
    {&ALWAYS_ON_TOP, 748, clv::kCheckboxSize},
    {&SCAN_AIRPORTS, 5, clv::kCheckboxSize},
    {&NAV_LIGHTS_WHILE_PARKED, 652, clv::kCheckboxSize},
    {&LEARN_SOFT, 748, clv::kCheckboxSize},
    {&MATCHING_DEPTH, 217, 24},
    {&LIGHT_AIRCRAFT, 323, clv::kCheckboxSize},
    {&HELICOPTERS, 430, clv::kCheckboxSize},
    {&HIGH_PERF_AIRCRAFT, 536, clv::kCheckboxSize},
    {&AEROWINX, 652, clv::kCheckboxSize},
    {&GUID_CHANGES, 748, clv::kCheckboxSize},
    {&LATERAL_RANGE, 217, 34},
    {&AUTO_RANGE, 323, clv::kCheckboxSize},
    {&AUTO_RANGE_ABOVE_HEIGHT, 455, 50},
    {&CALLSIGN_OBJECTIDS, 748, clv::kCheckboxSize},
    {&COLLISION_USER_GND, 217, clv::kCheckboxSize},
    {&COLLISION_USER_AIR, 323, clv::kCheckboxSize},
    {&COLLISION_LIVE_PARKED_GND, 430, clv::kCheckboxSize},
    {&BLOCK_CALLSIGN, 217, 100},
    {&UNBLOCK_BUTTON, 323, 70},
    {&CALLSIGN_2_OBJECTID, 460, 95},
    {&CUSTOM_MAX_PARK, 353, 34},
    {&MAX_LIVE, 601, 34},
    {&DESTINATION, 217, 50},
    {&AIRPORT_RANGE, 353, 34},
    {&AIRPORT_HEIGHT, 566, 50},
    {&STRAIGHT_PBS_ONLY, 652, clv::kCheckboxSize},
    {&PARK_FAKE, 5, clv::kCheckboxSize},
    {&WEEK, 71, clv::kCheckboxSize},
    {&PARK_SOFT, 151, clv::kCheckboxSize},
    {&parking_percentage, 323, 34},
    {&INITIAL_LOAD_ONLY, 430, clv::kCheckboxSize},
    {&MAX_FIT_FL, 566, 34},
    {&REREAD_BUTTON, 758, 90},
    {&FLUSH_STATIC_BUTTON, 758, 90},
}};

}  // namespace

std::span<const clv::ControlPlacement> gf_controlLayout() { return kLayout; }

const clv::ControlPlacement* gf_controlPlacement(std::uint16_t controlId) {
    for (const clv::ControlPlacement& placement : kLayout) {
        if (placement.control().controlId == controlId) return &placement;
    }
    return nullptr;
}
