#pragma once
// Plain listings of airport park-position files, so that handmade files (test
// fixtures, the demo airport) are written as readable text and made by the
// program's own writer, and any airport file can be looked at.
//
// One entry per line; blank lines and lines whose first non-blank character is
// "#" are skipped; words are separated by blanks.
//
//   airport   <code>                 the ICAO code (names nothing in the file)
//   name      <airport name ...>     the rest of the line
//   publisher <publisher>            e.g. stock
//   altitude  <feet>                 whole feet
//   stand     <lat> <lon> <heading> <radius> <kinds> <name ...>
//             degrees, degrees, heading in degrees, radius in metres; kinds is a
//             comma list of gate, ramp, cargo, heli and manual (gate: not a ramp);
//             the name is the rest of the line
//   opt       <key=value> ...        one option of the stand above:
//             day=1..7 (required), hh=16,17 (required, may be empty), reg=, airl=,
//             type=, cs=CALLSIGN or cs=CALLSIGN:SECOND, and the word soft
//
// Example:
//   airport   LSZH
//   stand     47.451880 8.561610 338.0 36.0 gate A12
//   opt       day=1 hh=16,17 airl=SWR type=A320 cs=SWR100:SWR100A
//
// Errors name the line: std::runtime_error "line {}: {}".
#include <filesystem>
#include <string>
#include <string_view>

#include "airports/files/apf_file.h"

// The listing as airport data; stands carry their options with ids 1, 2, ...
clv::ApfData gf_readApfListing(std::string_view listing);

// Writes the data as a handmade file (its quality factors computed from the
// options); throws std::runtime_error when the file cannot be written.
void gf_writeHandmadeApf(clv::ApfData data, const std::filesystem::path& path);

// The airport file at `path` as a listing, with comments for the quality factors
// (the file's and those of its options), each stand's id and adjacent stands.
// The airport code is the file name's stem. Throws std::runtime_error when the
// file does not load or is refused.
std::string gf_apfFileToListing(const std::filesystem::path& path);
