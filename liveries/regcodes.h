#pragma once
// Registration codes: which installed livery title belongs to which registration,
// from three sources applied in this order, a later one overriding an earlier one:
//   1. in-line: the atc_id of each scanned livery,
//   2. the AI traffic package's AIG-regcodes.xml (downloaded as AIG-regcodes.zip),
//   3. the user's text files in input/my_regcodes.
// The same files name titles not to be used at all (entries without registrations,
// read during a livery scan) and special titles (only matched by registration).
//
// User file format, one entry per line, fields separated by ";" and trimmed:
//   title                      a title not to be used
//   title;REG                  REG flies this livery; the title becomes special
//   title;REG1,REG2            both fly it; not special
//   title;REG1,REG2;#          both fly it; special
// A registration has 3 to 12 characters; four or more fields are a wrong format.
//
// Everything here runs on the run thread (the scan, the livery processing and
// matching); the parser threads of a scan only read dontUseTitles.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/folders.h"
#include "liveries/dbase.h"

namespace clv {

// One line of a user file or one livery of AIG-regcodes.xml.
struct RegcodeEntry {
    std::string title;
    std::vector<std::string> registrations;  // ascending, without duplicates
    bool special = false;
};

// Registration -> installed title (a view of the livery index's own text).
using RegcodeMap = StringHashMap<std::string_view>;
// Titles only matched by registration (views of the livery index's texts).
using SpecialTitles = std::vector<std::string_view>;
// Titles the livery scan drops.
using DontUseTitles = std::vector<std::string>;

// The in-line registration of one scanned livery, in the livery list's order.
struct InlineRegcode {
    std::string_view airline;
    std::string_view type;
    std::string_view title;
    std::string_view atcid;
};

}  // namespace clv

inline constexpr const char* kAigRegcodesArchive = "AIG-regcodes.zip";
inline const Path g_aigRegcodesFile = g_inputFolder / "AIG-regcodes.xml";
inline const Path g_offlineRegcodesFile = g_outputInfoFolder / "OfflineRegcodes.txt";

// Built by the in-line and offline passes; emptied with the livery index.
extern clv::RegcodeMap regcodeMap;
extern clv::SpecialTitles specialTitles;
// Filled by the don't-use pass before a scan; emptied by the scan driver after it.
extern clv::DontUseTitles dontUseTitles;
// The lines of OfflineRegcodes.txt.
extern std::vector<std::string> regcodeReport;

// One line of a user file `file` (named in log lines); appends its entry, if any.
// False when the line had a wrong registration length or a wrong format.
bool gf_readRegcodeFile(std::string_view file, std::string_view line, std::vector<clv::RegcodeEntry>& entries);

// Every *.txt file of the folder (extension in any case), in name order. False
// when any line had a problem or a file could not be read.
bool gf_readRegcodeFolder(const std::filesystem::path& folder, std::vector<clv::RegcodeEntry>& entries);

// AIG-regcodes.xml: root "AIG-regcodes", elements "livery" with "title", "reg"
// (encoded registrations, comma list) and "special". False when it does not load.
bool gf_readAigRegcodes(const std::filesystem::path& path, std::vector<clv::RegcodeEntry>& entries);

// The livery index hands over every installed title once it is built; the views
// must stay valid until gf_clearRegcodes.
void gf_setInstalledTitles(const std::vector<std::string_view>& titles);

// The index's own copy of the title; empty when the title is not installed.
std::string_view gf_findInstalledTitle(std::string_view title);

// Empties regcodeMap, specialTitles and the installed titles (with the livery index).
void gf_clearRegcodes();

// Don't-use pass, called by the livery scan before the folders are scanned:
// appends the titles without registrations of both file sources to dontUseTitles.
void lf_loadAigRegcodes();

// In-line pass over the scanned liveries; clashes go to output/errors/InlineRegcodes.txt.
void lf_inlineRegcodeClashes(const std::vector<clv::InlineRegcode>& liveries);

// Offline pass, after the in-line pass: applies AIG-regcodes.xml, then the user's
// files; the report goes to output/info/OfflineRegcodes.txt.
void lf_processRegcodeFiles();

// Binds the entries of one source, replacing earlier bindings; one summary line
// (and one line per replacement) goes to regcodeReport.
void lf_applyRegcodes(const std::vector<clv::RegcodeEntry>& entries);
