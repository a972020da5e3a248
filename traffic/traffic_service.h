#pragma once
// The program's one engine and the calls the run thread, the main loop and the
// window make on it. Everything here runs on the run thread, except the calls
// marked "any thread", which only post a request that the run thread carries out
// at the top of its next tick (or of its next inbox handling while no flight runs).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "traffic/traffic_engine.h"

// The engine, built on first use with the real simulator link, livery data and
// movement, and no parking until that is installed.
clv::TrafficEngine& gf_trafficEngine();

// Replace a port of the engine (nullptr restores the default). Not while a run is on.
void gf_setParkingPort(clv::ParkingPort* port);
void gf_setMovementPort(clv::MovementPort* port);

// The run: containers reserved (first run only), left-over files removed, and the
// handler installed that takes the live aircraft out when RealTraffic is gone.
void gf_startTraffic();
// The reset before a restart: every container, queue and list emptied.
void gf_stopTraffic();
// TrafficTick::operator() of the engine: every 10 ms tick of a running flight.
void gf_trafficTick();
// Every tick while no flight runs.
void gf_handleSimEvents();
// The data step's lookup of the callsign typed into CALLSIGN_2_OBJECTID.
void gf_callsign2ObjectId();
// The data step's removal of the first active live aircraft with this callsign.
void gf_removeBlockedCallsign(const std::string& callsign);
// The hexids for the data step's coupled-callsign and duplicate check, one per
// step: the spawned ones first, then those that began a landing or arrived at a
// stand. The first, and dropping it.
std::optional<std::uint32_t> gf_coupledCheckFront();
void gf_coupledCheckPop();
// The livery title remembered per hexid (daily, and at closing down).
void gf_clearRememberedTitles();
void gf_clearBlockedCallsigns();

// The status panel's live count: active live aircraft not parked.
std::uint64_t gf_countLiveNotParked();
// The listing of the active live aircraft with their object ids and stands,
// written afresh to kParkedListFile in the working folder.
inline constexpr const char* kParkedListFile = "Callsign2ObjectId.txt";
void gf_logParkedList();

// Any thread: what the window shows for CALLSIGN_2_OBJECTID.
std::string gf_objectIdText();
// Any thread: a request that the run thread carries out on the engine.
void gf_postEngineRequest(std::function<void(clv::TrafficEngine&)> request);
// Any thread (the window's NAV_LIGHTS_WHILE_PARKED box): the parked aircraft's
// navigation lights follow the setting.
void gf_requestParkedNavLights(bool on);
