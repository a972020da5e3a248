#pragma once
// aircraft.cfg files of AI liveries: the key syntax, the [fltsim.N] sections and
// the parser task that turns each section into one scanned livery.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/files.h"
#include "liveries/liveries_scanned.h"

namespace clv {

using CfgLines = std::vector<std::string>;

// Gives back the worker slot when a parser task ends, however it ends; inside a
// batch task (below) the batch gives it back instead.
struct WorkerSlotRelease {
    WorkerSlotRelease() = default;
    WorkerSlotRelease(const WorkerSlotRelease&) = delete;
    WorkerSlotRelease& operator=(const WorkerSlotRelease&) = delete;
    ~WorkerSlotRelease();
};

// A task that parses a batch of files on this thread holds one worker slot for
// all of them: the parsers it calls give none back, and the batch gives its slot
// back when it ends, however it ends.
struct BatchSlot {
    BatchSlot();
    BatchSlot(const BatchSlot&) = delete;
    BatchSlot& operator=(const BatchSlot&) = delete;
    ~BatchSlot();
};

// The cutting of a file into sections, one line at a time.
struct SectionCut {
    bool open = false;  // a section is being collected
    CfgLines lines;     // the current section, its header first
};

}  // namespace clv

// ---- key syntax ----------------------------------------------------------------
// A key line is matched whole and case-insensitively, as the ECMAScript pattern
// "\s*(key)\s*=\s*(.*\S)\s*" would: the value runs from the first to the last
// non-blank character after "=", and an empty value is no key line. `key` is
// given in lower case. Returns the value (group 2), or "" when the line is no
// line of that key.
std::string lf_cfgKeyValue(std::string_view line, std::string_view key);

// Key readers: whether the key was found, and its value after the rules of each
// key (quotes and what follows them dropped first).
bool lf_readTitle(std::string_view line, std::string& title);            // non-empty value
bool lf_readTexture(std::string_view line, std::string& texture);
bool lf_readIcaoAirline(std::string_view line, std::string& airline);    // "" or ZZZZ -> ZZZ, upper case
bool lf_readAtcId(std::string_view line, std::string& atcId);            // 5 characters or more
bool lf_readParkingTypes(std::string_view line, std::string& types);     // non-empty value

// A line whose first non-blank characters are ";" or "//": a key commented out.
bool lf_isCommentLine(std::string_view line);

// Plain, case-sensitive presence tests used for the duplicate-key reports; a key
// commented out is no second key.
bool lf_hasAtcIdKey(std::string_view line);         // contains "atc_id="
bool lf_hasParkingTypesKey(std::string_view line);  // contains "atc_parking_types"
bool lf_hasIcaoAirlineKey(std::string_view line);   // contains "icao_airline"

// ---- sections --------------------------------------------------------------------
// The digits of a "[fltsim.N]" header line; "10000" for a line holding "[fltsim."
// or "[FLTSIM." that is no well-formed header; "" otherwise and for "//" lines.
std::string lf_fltsimNumber(std::string_view line);
inline constexpr const char* kFltsimWithoutNumber = "10000";

// False when the section numbering is broken (reported to invalidCfgList, or the
// marked log line for a number that does not fit); a file without any section is
// listed in emptyCfgList and passes.
bool lf_checkFltsimNumbers(const clv::CfgLines& lines, const std::filesystem::path& cfgPath);

// One line of the general cut: true when `completed` received a finished section.
// A header opens a section; a line with "[" among its first six characters ends one.
// The line is taken over by the section it belongs to.
bool lf_fltsimLineStep(std::string line, clv::SectionCut& cut, clv::CfgLines& completed);

// The two moves of every cut, shared by the aircraft.cfg and the IVAO cuts; each is
// true when `completed` received a finished section.
// A header line opens a new section and hands over the one being collected.
bool gf_openSection(std::string header, clv::SectionCut& cut, clv::CfgLines& completed);
// A line that ends the section without opening another.
bool gf_closeSection(clv::SectionCut& cut, clv::CfgLines& completed);

// Empty and "//" lines at the end of a section are dropped.
void lf_trimSectionEnd(clv::CfgLines& section);

// ---- parsing ---------------------------------------------------------------------
// The livery of one [fltsim.N] section (none or one record).
std::vector<clv::LiveryData> lf_procesFltSimSection(std::int32_t priority, clv::CfgLines& section,
                                                    const std::string& modelType,
                                                    const std::filesystem::path& cfgPath,
                                                    const std::filesystem::path& folder);

// The parser task of one aircraft.cfg: its liveries in section order. Gives back
// its worker slot as its last act, also when it fails.
std::vector<clv::LiveryData> lf_searchLiveriesinFile(std::int32_t priority, std::filesystem::path cfgPath);

// Reads the file's lines (UTF-8 with or without BOM, UTF-16 LE or BE; one "\r"
// per line dropped). False when it cannot be opened or read.
bool lf_readCfgLines(const std::filesystem::path& cfgPath, clv::CfgLines& lines);
// The same with the encoding already detected.
bool lf_readCfgLines(const std::filesystem::path& cfgPath, clv::TextEncoding encoding, clv::CfgLines& lines);
// The same, giving the reason in words when it fails.
bool lf_readCfgLines(const std::filesystem::path& cfgPath, clv::TextEncoding encoding, clv::CfgLines& lines,
                     std::string& failure);
// The lines of a file's text; one "\r" per line dropped.
void lf_splitCfgLines(const std::string& text, clv::CfgLines& lines);
// A parser task's file that cannot be opened or decoded: "{path} {failure}" in
// invalidCfgList, so the user learns which file and why.
void lf_reportUnreadableCfg(const std::filesystem::path& cfgPath, const std::string& failure);

// The folder of the file: its parent path.
std::filesystem::path lf_cfgFolder(const std::filesystem::path& cfgPath);

// Case-insensitive (ASCII) helpers for names the simulator owns.
bool gf_cfgContainsNoCase(std::string_view text, std::string_view part);
std::string gf_cfgUpper(std::string_view text);
