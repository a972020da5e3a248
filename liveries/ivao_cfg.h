#pragma once
// aircraft.cfg files of the IVAO model packages (below "IVAO_MTL" or
// "ivao_x-csl"): the model type comes from the model's folder name and the
// airline from the start of each livery title.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/aircraft_cfg.h"
#include "liveries/liveries_scanned.h"

// The path belongs to an IVAO model package (its names compared without regard to case).
bool gf_isIvaoCfgPath(std::string_view path);

// The model type from the path ".../IVAO_MTL/SimObjects/Airplanes/IVAO_<name>/aircraft.cfg"
// (or ivao_x-csl; either separator): the first 4 characters of <name>, checked
// against the data base. "" (reported) when the path does not fit or the type is unknown.
std::string lf_ivaoModelType(const std::filesystem::path& cfgPath);

// As the general cut, but any "[" in a line without a header number ends the section.
bool lf_ivaoLineStep(std::string line, clv::SectionCut& cut, clv::CfgLines& completed);

// The title's airline for the model type (and the "W" of winglet models): the
// three word characters after the type and blanks at the title's start.
bool lf_ivaoTitleAirline(std::string_view title, std::string_view modelType, bool winglets, std::string& airline);

// The livery of one section; an empty `airl` when it yields none.
clv::LiveryData lf_parseIvaoFltsim(std::int32_t priority, clv::CfgLines& section, const std::string& modelType,
                                   const std::filesystem::path& cfgPath, const std::filesystem::path& folder);

// The parser task of one IVAO aircraft.cfg. Gives back its worker slot as its
// last act, also when it fails.
std::vector<clv::LiveryData> lf_parseIvaoAircraftCfg(std::int32_t priority, std::filesystem::path cfgPath);
