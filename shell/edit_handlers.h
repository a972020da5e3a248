#pragma once
// The edit fields of the options panel: what the user typed is read when Enter
// is pressed, parsed, limited, saved, shown back in the field and reported on
// the status line; some settings then start a follow-up (a renewal of the static
// parked aircraft, a new traffic range, a restart with a new install path).
// Everything here runs on the UI thread, unless said otherwise.
#include <cstdint>
#include <optional>
#include <string>

#include "core/geodesy.h"
#include "core/parameter.h"
#include "shell/window_services.h"

// Enter in the edit with this control id; the text is read from the field. No
// exception leaves it (a failure is logged). Ids of no edit do nothing.
void gf_editEnter(std::uint16_t controlId);
// The same with the text the field held.
void gf_editEnter(std::uint16_t controlId, const std::string& text);

// An int edit's text: true when it set a new value (also the default for an
// empty text). The field shows the value in force afterwards.
bool gf_processTbInt(ControlParameter<int>& parameter, const std::string& text);
// MAX_FIT_FL's text, in hours: MAX_FIT follows in half-hours and is saved.
bool gf_processTbFloat(const std::string& text);

// A parking setting changed: while static parking is active, the static parked
// aircraft are renewed at the next multiple of 15 data steps.
void gf_requestParkingRenewal();

// The blocked callsign is released (also the "Unblock" button); nothing when none is blocked.
void gf_unblockCallsign();

// Any thread: a known destination becomes DESTINATION (saved) and the first park airport.
void gf_newDestination(const std::string& code, double latitude, double longitude);

// The lateral range for the user aircraft (nautical miles, not yet limited):
// 10 on the ground; 100 above AUTO_RANGE_ABOVE_HEIGHT; 40 above AIRPORT_HEIGHT;
// lower down by the distance to the first park airport.
int gf_autoLateralRange(const clv::UserAcFix& user, std::optional<clv::LatLon> parkAirport);
// Any thread: LATERAL_RANGE (not saved) and its copies follow the user aircraft;
// the field is rewritten when the value changed.
void gf_updateRangeLimits();
// Any thread: the range in use is nm; LATERAL_RANGE takes it within its limits.
void gf_setLateralRangeNm(double nm);
