#pragma once
// Flight plan files of AI aircraft, handed to the simulator: one small AceXML
// file "{object id}.pln" per object in the folder "orig_dest" of the program data
// folder. The folder lives from the start of the run thread to the end of a run.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

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

// ---- the simulator's view of the files ----------------------------------------------
// The simulator opens the path we send on its own PC. One on another PC reads our
// files only through a share of flightPlanFolder, and SIM_PC_FLIGHT_PLAN_FOLDER
// names that share as the simulator PC sees it.

// A simulator at this address runs on this PC: a loopback address (127.x.x.x,
// "::1", "localhost"), which is also the address when SimConnect.cfg names none.
bool gf_isLocalSimAddress(std::string_view address);

// The simulator of this run listens at `address`; said when the connection opens.
// Notes whether it runs on another PC, and lets the run say a missing
// SIM_PC_FLIGHT_PLAN_FOLDER once more.
void gf_setSimAddress(std::string_view address);
bool gf_simOnOtherPc();

namespace clv {

// The path a flight plan is handed over with.
struct SimPlanPath {
    enum class Outcome {
        Send,      // hand `path` over
        NoFolder,  // the simulator is on another PC and no share is set: nothing to send
        TooLong,   // `path` does not fit the call's path field: refused, never cut
    };
    Outcome outcome = Outcome::Send;
    std::string path;
};

}  // namespace clv

// A simulator on this PC gets `localPath` as it is. One on another PC gets
// "{objectId}.pln" in `simFolder` (its surrounding blanks ignored), joined with
// the separator the folder uses (a backslash unless it has forward slashes only);
// NoFolder when `simFolder` is empty, TooLong when the result exceeds kScPathMax
// bytes.
clv::SimPlanPath gf_simPlanPath(std::uint32_t objectId, const std::string& localPath, bool simOnOtherPc,
                                std::string_view simFolder);

// Hands the flight plan of an object, written to `localPath`, to the simulator (the
// caller holds simQueueMutex) in the form of gf_simPlanPath. False when the
// simulator refused the call or the path was too long (logged with the path). A
// simulator on another PC without SIM_PC_FLIGHT_PLAN_FOLDER gets no call: the log
// and the status line say once per run what is missing, and the result is true:
// nothing failed, and the aircraft flies on without a plan.
bool gf_setFlightPlanLocked(std::uint32_t objectId, const std::string& localPath);
