#pragma once
// What a run needs of the other subsystems, as named hooks. The product fills
// in what its build has (shell/product_services.cpp); tests fill in doubles.
//
// A hook left empty is a part this build does not have: the run stops at the
// first step that needs it and shows the text of the hook's group on the error
// line (SYSTEM ERROR, so the window stays until the user closes it). A hook of a
// tidying or display step is skipped when empty.
//
// Every hook is called on the run thread unless its comment says otherwise.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "core/clock.h"
#include "core/geodesy.h"

namespace clv {

// The simulator link (SimConnect thread, requests, queues, flight plans).
struct SimLinkServices {
    // Body of the SimConnect thread: connects (retrying until the simulator
    // answers), dispatches, and returns once the token asks it to stop.
    std::function<void(std::stop_token)> simClient;
    std::function<void()> reserveSimQueues;  // gf_reserveSimQueues; also clears simConnectFailed
    // simRunning set and simConnectFailed clear: the traffic tick may run.
    std::function<bool()> simLinkUsable;
    // The SIM ON GROUND request (once a second); false when the request failed.
    std::function<bool()> requestSimOnGround;
    std::function<void()> simConnectRequestError;  // gf_simConnectRequestError
    // gf_requestUserAcData: the user aircraft's position, nothing before its first data.
    std::function<std::optional<LatLon>()> requestUserAcData;
    std::function<void()> requestUserAcTitleModel;  // gf_requestUserAcTitleModel
    // newDataStep: consume it (compare-exchange true -> false), or only look at it.
    std::function<bool()> consumeNewDataStep;
    std::function<bool()> newDataStepPending;
    std::function<void()> clearPositionBuffers;  // both position buffers, under simQueueMutex
    std::function<void()> clearSimLinkMark;      // the window's simulator-link mark
    std::function<void()> createPlnFolder;       // gf_createPlnFolder
    std::function<void()> removeFlightPlanFolder;  // gf_removeFlightPlanFolder (tidying)
    // The reset before a restart: pending creations, new objects, simRunning,
    // the handle, simConnectFailed, both position buffers, the queues, the
    // received text, newDataStep, the user's stand text and aircraft type.
    std::function<void()> resetSimLink;
};

// The RealTraffic feed: TCP link and the two UDP readers. (Its flags, such as
// realTrafficConnected, readerError and flightRunning, are read and set directly.)
struct FeedServices {
    std::function<void(const std::string&)> setupTcpServer;  // gf_setupTcpServer(PORT_NUMBER)
    // gf_connectRealTraffic: waits for RealTraffic, polling the stop flags at
    // least every 200 ms; does nothing when RealTraffic is not on this PC.
    std::function<void()> connectRealTraffic;
    std::function<void()> sendQs121;
    std::function<void()> sendQs123;
    std::function<void()> startQnhReader;      // "QNH Reader", UDP 49004
    std::function<void()> startTrafficReader;  // "Traffic Reader", UDP 49005
    std::function<void()> stopReaders;         // stop flags raised, sockets closed (tidying)
    std::function<void()> closeRealTrafficLink;  // "exit\r\n" when connected, sockets closed (tidying)
    std::function<void()> centreReaderRange;  // the reader's range centre = the user aircraft
    std::function<void()> startCallsignCollection;  // empty the reader's callsigns, raise its collect flag
    std::function<void()> updateFeedLamps;
    std::function<bool()> feedLampSilent;  // either lamp shows silence
    std::function<void()> resetTrafficFeed;  // gf_resetTrafficFeed, userAcDataReceived cleared
};

// The live traffic engine; it owns its containers, so every walk over them is its own.
struct EngineServices {
    std::function<void()> startTraffic;  // gf_startTraffic
    std::function<void()> stopTraffic;   // gf_stopTraffic (reset before a restart)
    std::function<void()> trafficTick;   // TrafficTick::operator()
    std::function<void()> handleSimEvents;  // gf_handleSimEvents
    std::function<void()> recountLive;      // gf_recountLive
    // The coupled-callsign check list: its first hexid, and dropping it.
    std::function<std::optional<std::uint32_t>()> coupledCheckFront;
    std::function<void()> coupledCheckPop;
    // The check of the live aircraft with this hexid; false when none has it.
    std::function<bool(std::uint32_t hexid, Slot slot)> checkCoupledCallsigns;
    // After that check: the first static aircraft duplicating that live aircraft leaves.
    std::function<void(std::uint32_t hexid)> removeStaticDuplicate;
    std::function<void()> callsign2ObjectId;  // gf_callsign2ObjectId
    std::function<void()> removeAllStatic;    // gf_removeAllStatic
    std::function<void()> avoidUserCollisions;  // the user-collision passes of one data step
    std::function<void()> avoidStaticCollisions;  // the live-parked pass of one data step
    std::function<void(const std::string&)> removeBlockedCallsign;  // first active live aircraft of the callsign
    std::function<void()> removeStaticDuplicatesOfLive;  // every 61 data steps
    std::function<void()> removeAcAtStand;  // gf_removeAcAtStand
    std::function<void()> clearRememberedTitles;  // the livery title remembered per hexid
    std::function<void()> clearBlockedCallsigns;
};

// Aircraft, airline and livery data.
struct LiveryServices {
    std::function<void()> readDbase;     // gf_readDbase, once per process
    std::function<void()> scanLiveries;  // gf_scanLiveries: a scan or LiveriesScanned.xml
    std::function<void()> reserveLiveryLists;  // gf_reserveLiveryLists
    std::function<void()> livMatchingSummary;  // gf_livMatchingSummary
    std::function<void()> logNoMatchList;      // gf_logNoMatchList
    std::function<void()> clearNoMatchList;
};

// Airports and parking.
struct AirportServices {
    std::function<bool()> readAirports;  // gf_readAirports
    std::function<void()> scanAddonAirports;
    std::function<bool()> readMyParkAirports;  // lf_readMyParkAirports
    std::function<std::optional<LatLon>(const std::string&)> findAirport;  // gf_findAirport
    std::function<void(bool)> refreshParking;  // gf_refreshParking
    std::function<void()> continueParkRead;    // gf_continueParkRead, every tick
    std::function<bool()> parkingBusy;
    std::function<bool()> parkingActive;
    std::function<bool()> parkAirportSet;
    std::function<bool()> parkStandsEmpty;
    // gf_rereadParkAirports(true, text): true with a message in the text.
    std::function<bool(std::string&)> rereadParkAirports;
    std::function<void()> lockParkingControls;
    std::function<void()> parkingAdjustments;
    std::function<void()> logParkedList;       // gf_logParkedList
    std::function<void()> clearGroundTraffic;  // gf_clearGroundTraffic (tidying)
    std::function<std::string()> userStandText;  // the stand under the user aircraft
};

// The main window's panels and controls (they come with the window's controls).
struct WindowServices {
    std::function<void(const std::string&, double, double)> newDestination;  // lf_newDestination
    std::function<void()> updateRangeLimits;  // gf_updateRangeLimits
    std::function<void()> resetDisplay;  // counters, marks and lamps of the panels
};

// The self-update of the program and of its data package.
struct UpdateServices {
    std::function<void()> checkNewVersion;  // lf_checkNewVersion; may throw user error 99
    std::function<void()> updateSimaddon;   // lf_updateSimaddon
};

struct RunServices {
    SimLinkServices sim;
    FeedServices feed;
    EngineServices engine;
    LiveryServices liveries;
    AirportServices airports;
    WindowServices window;
    UpdateServices update;
};

// Every wait of the run goes through these, so tests run without real time.
struct RunTiming {
    std::function<void(std::chrono::milliseconds)> sleep;
    std::function<void(std::chrono::steady_clock::time_point)> sleepUntil;
};

// What the shell asks of the desktop window; the product fills it from the
// window layer, tests with a recording double.
struct ShellWindow {
    std::function<void(std::function<void()>)> post;  // any thread: run on the UI thread, in order
    std::function<void()> repaint;                     // any thread: one repaint soon
    // The UI thread:
    std::function<std::optional<std::pair<int, int>>()> position;
    std::function<void(bool)> setOnTop;
    std::function<void(int)> quit;  // ends the UI loop with this exit code
};

}  // namespace clv

// Real time.
clv::RunTiming gf_realTiming();
