#pragma once
// The state of the RealTraffic feed and link that the shell and the main window
// read: every flag and number is an atomic, the edition text sits behind a lock.
#include <atomic>
#include <cstdint>
#include <string>

// RealTraffic was found on this PC (set by the start-up checks).
extern std::atomic<bool> realTrafficOnThisPc;
// RealTraffic is connected over TCP (or no TCP link is used), for the lamps and window.
extern std::atomic<bool> realTrafficConnected;
// A client is accepted and the last send to it did not fail.
extern std::atomic<bool> clientConnected;
// From the reset of a run until RealTraffic first connects.
extern std::atomic<bool> awaitingRealTraffic;

// What the main window shows as RealTraffic's edition, "RT prof edition: 9.0.1".
std::string gf_rtEditionText();
void gf_setRtEditionText(std::string text);

// Feed lamp states.
inline constexpr std::uint32_t kLampReceiving = 1;
inline constexpr std::uint32_t kLampSilent = 2;
inline constexpr std::uint32_t kLampStopped = 3;  // the traffic lamp only
extern std::atomic<std::uint32_t> trafficLamp;
extern std::atomic<std::uint32_t> weatherLamp;
// The lamp was switched to receiving since it last went silent.
extern std::atomic<bool> trafficLampLit;
extern std::atomic<bool> weatherLampLit;

// The QNH (hPa) the engine uses, and the one the window shows as "qnh: {:4}".
inline constexpr std::int32_t kStandardQnh = 1013;
extern std::atomic<std::int32_t> currentQnh;
extern std::atomic<std::int32_t> qnhDisplay;

// A reader thread stopped with an error; the run ends with SYSTEM ERROR on it.
extern std::atomic<bool> readerError;

// A reader thread that stops with an error reports here (trafficReader: which one):
// "The {} has stopped with an error: {}" on the status line (logged), and readerError set.
void gf_readerStopped(bool trafficReader, const std::string& errorText);
