#pragma once
// Writing an airport park-position file. Mode 1 (kApfGeneratedMode): a generated
// file of the add-on airport scan: altitude, full stands, no options, no setting
// copies. Mode 0 (kApfLearnedMode): the park airport's learned file (only what
// learning changed, with the options and copies of the parking settings) or,
// while handmadeFile is set, its handmade file (every stand in full, with the
// quality factors). Runs on the run thread and on scan workers at once, each
// with its own data and file; scan workers pass the meta header's simulator word,
// the other writers take the global one.
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "airports/files/apf_file.h"

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

// Writes the whole file, replacing an existing one only once the new one is
// complete. True when it was saved; reports nothing itself.
bool gf_writeApf(const clv::ApfData& info, const std::filesystem::path& path, std::uint32_t mode);
// The same with the meta header's simulator word ("MSFS" or "MSFS2024") given, for
// scan workers that write at the same time for the simulator of their scan.
bool gf_writeApf(const clv::ApfData& info, const std::filesystem::path& path, std::uint32_t mode,
                 std::string_view simulatorWord);

// Appends "parameters"; false when it cannot be appended.
bool lf_writeApfParameters(pugi::xml_document& document, const clv::ApfData& info, std::uint32_t mode);
// Appends one "parkpos" with its "opt" children.
void lf_writeParkpos(pugi::xml_node parkpositions, std::uint32_t mode, const clv::Stand& stand);
// Appends one "opt"; an option with id 0 is not written.
void lf_writeOpts(pugi::xml_node parkpos, const clv::StandOption& option);
