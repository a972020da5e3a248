#pragma once
// Flight plan files of AI aircraft, handed to the simulator: one small AceXML
// file "{object id}.pln" per object in the folder "orig_dest" of the program data
// folder. The folder lives from the start of the run thread to the end of a run.
#include <cstdint>
#include <filesystem>
#include <string>

// The flight plan folder; set by gf_createPlnFolder.
extern std::filesystem::path flightPlanFolder;

// Sets flightPlanFolder and creates the program data folder and the flight plan
// folder when missing; true when the folder exists afterwards. File system
// failures other than "not found" are thrown as std::filesystem::filesystem_error
// naming the operation ("exists", "create_directory").
bool gf_createPlnFolder();

// "{}.pln" of the object id, relative to flightPlanFolder.
std::string gf_plnPath(std::uint32_t objectId);

// "IFR" for Buzjets, Large and Heavy, "VFR" for the other categories (AcCategory numbers).
const char* gf_flightRules(std::uint32_t category);

// Writes the flight plan of an aircraft of this category from origin to
// destination (texts as the feed gave them; escaped as XML needs). False when
// the file cannot be written.
bool gf_writePln(const std::filesystem::path& path, std::uint32_t category, const std::string& origin,
                 const std::string& destination);

// Removes flightPlanFolder with its files; true when it no longer exists. A
// failure is logged, never thrown.
bool gf_removeFlightPlanFolder();
