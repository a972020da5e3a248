#pragma once
// The livery index: the scanned liveries of LiveriesScanned.xml turned into the
// lookups that livery matching searches (per airline and type, per type alone,
// the generic airline "ZZZ", the installed types of three categories), with the
// log report of what is installed, category by category. Built once per process
// by the run's scan step and kept across restarts until the user switches the
// simulator or asks for a rescan.
//
// Threads: built, read and cleared on the run thread only. The window's handlers
// (UI thread) ask for a clear with gf_requestLiveryIndexClear; the run thread
// carries it out at a point where no aircraft record or queued creation holds a
// title any more (the next scan step does so itself).
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/dbase.h"

namespace clv {

// One title of the tree. The text lives in LiveryTree::texts.
struct LiveryTitle {
    std::string_view title;
    bool cargo = false;
};

using TitleViews = std::vector<std::string_view>;
// Type designator -> titles.
using TypeTitles = StringHashMap<TitleViews>;

struct LiveryTree {
    // Owns every title text while the index lives. A deque never moves an element
    // it already holds, so the views handed to aircraft records stay valid until
    // the index is cleared.
    std::deque<std::string> texts;
    // Airline -> type -> titles, in the order of the livery list (ascending title).
    StringHashMap<StringHashMap<std::vector<LiveryTitle>>> airlines;
};

inline constexpr std::size_t kPaxHalf = 0;
inline constexpr std::size_t kCargoHalf = 1;

// Per half (passenger, cargo): airline -> type -> titles. A type is present only
// with at least one title, an airline only with at least one type.
using LiveryIndex = std::array<StringHashMap<TypeTitles>, 2>;
// Per half: type -> titles of every airline.
using TypeLiveryMaps = std::array<TypeTitles, 2>;

}  // namespace clv

// The generic airline, whose liveries fit any operator of their type.
inline constexpr std::string_view kGenericAirline = "ZZZ";

extern clv::LiveryTree liveryTree;
extern clv::LiveryIndex liveryIndex;
extern clv::TypeLiveryMaps typeLiveryMaps;

// Set once the index is complete; cleared with it.
extern std::atomic<bool> liveryIndexBuilt;
// The number of liveries the main window shows ("# liveries: {}").
extern std::atomic<std::uint64_t> liveryCount;

// The build, after the scan step (a scan or none): reads LiveriesScanned.xml and
// builds every structure, the registration codes (in-line, then the files), the
// similar models and the category report; categories without liveries are switched
// off (LIGHT_AIRCRAFT, HIGH_PERF_AIRCRAFT, HELICOPTERS). Skipped with a log line when
// the index is already built. Empties liveryList in every case. Carries out a
// pending clear request first. Throws what reading the file throws (user errors
// 51, 52, 533); the index then stays unbuilt and the next start builds afresh.
void lf_processScannedLiveries();

// Empties every structure of the index, the registration codes, the similar models
// and the category types, and clears liveryIndexBuilt. Run thread, while no aircraft holds a title.
void gf_clearLiveryIndex();

// UI thread: the next safe point of the run thread clears the index.
void gf_requestLiveryIndexClear();
// Run thread, at a safe point: carries out a requested clear; returns whether it did.
bool gf_clearLiveryIndexIfRequested();

// Reserves the lists' capacities once per process (later calls do nothing).
void gf_reserveLiveryLists();

// Queries for the similar-model building.
bool gf_airlineHasType(std::string_view airline, std::string_view type);
bool gf_typeHasLivery(std::string_view type);
// The airline codes of the tree, each cut to three characters, in the map's order.
std::vector<std::string> gf_liveryAirlines();

// The log lines of a type list: "  T1,T2,...", at most 20 types a line.
std::vector<std::string> gf_typeListLines(const std::vector<std::string>& types);
