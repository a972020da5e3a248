#pragma once
// What matching learns and reports: titles the simulator refused to create (never
// matched again; too many stop the run with user error 81), the per-step summary
// of the matching and the list of aircraft for which no livery was found.
//
// Run thread only; the lists have no lock. They live as long as the process:
// neither a restart of the run nor a new scan empties them.
#include <cstddef>
#include <deque>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/ac_data.h"

// The refusal that brings excludedTitles to this many entries stops the run.
inline constexpr std::size_t kMaxExcludedTitles = 20;

// Titles the simulator refused, in the order of the refusals (a title refused
// twice is in it twice). Owned copies: the livery index may be rebuilt meanwhile.
extern std::vector<std::string> excludedTitles;
// "{type} {airline}" of each refusal, newest first.
extern std::deque<std::string> failedLiveryKeys;
// The aircraft for which no livery was found; filled and emptied by the engine.
extern std::set<std::string> noMatchList;

// Whether the title is one the simulator refused (byte-wise equal text).
bool gf_isExcludedTitle(std::string_view title);

// The engine's report of a failed creation: the status line (logged) names the
// aircraft and its title, the title is excluded from matching and the aircraft's
// type and airline are kept for the summary. Ignored while the run is stopping or
// the window was closed. Throws clv::UserErrorException 81 once kMaxExcludedTitles
// titles are excluded.
void gf_liveryNotCreated(const clv::AcData& ac);

// Logs the matching summary: a banner, the matches of each step, the distinct
// refused types and airlines, a closing banner. Counters are not reset.
void gf_livMatchingSummary();

// The summary's lines of refused liveries: sorts failedLiveryKeys and drops
// repeated entries (in place), then one line "  {type} {airline}" per entry.
std::vector<std::string> lf_failedLiveryLines();
void lf_addFailedLine(std::vector<std::string>& lines, const std::string& key);

// With LOG on, logs noMatchList (when not empty); the list stays as it is.
void gf_logNoMatchList();
// Empties noMatchList (the window's request, carried out by the main loop).
void gf_clearNoMatchList();
