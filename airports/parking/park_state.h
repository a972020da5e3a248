#pragma once
// The park airport in force, shared by the park-airport list, the refresh and
// the reading of its stands. The run thread changes it; the SimConnect thread
// asks for its code (reserving the user's stand), so it sits behind a lock.
#include <atomic>
#include <functional>
#include <string>

#include "airports/parking/airport_data.h"

// The current park airport; an empty code: none.
clv::Airport gf_currentParkAirport();
std::string gf_currentParkAirportCode();
void gf_setCurrentParkAirport(const clv::Airport& airport);
void gf_clearCurrentParkAirport();

// The name of the reserved stand in force for the current park airport (the
// stand the planner keeps free for the user aircraft); the run thread's.
extern std::string reservedStand;

// Static parked aircraft are being calculated or placed; the parking controls
// are disabled and a Re-read waits.
extern std::atomic<bool> parkingBusy;

// Takes the aircraft off a stand by its name (the static aircraft, else the live
// parked one); installed by the traffic engine, nothing until then.
void gf_setRemoveAcAtStand(std::function<void(const std::string&)> remove);
void gf_removeAcAtStandHook(const std::string& standName);
