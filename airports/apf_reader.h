#pragma once
// Reading the park airport's park-position file into the stand list: its
// parameters, its stands with their options, the airport's learned file, the
// numbering and the adjacency of the stands, the report in the log and the main
// window. Run thread only.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "airports/apf_file.h"

namespace pugi {
class xml_node;
}

namespace clv {

// An option's identity as the file gives it, or as its registration record says.
struct OptIdentity {
    std::string callsign;
    std::string secondCallsign;
    std::string airline;
    std::string type;
};

// What the window shows of a file that was read.
struct ApfReadReport {
    std::size_t standCount = 0;
    std::string publisher;
    bool handmade = false;
    std::string qualityText;
    std::int32_t altitude = 0;  // feet: the park airport's altitude, the feed's reference elevation
};

// What the reader needs of the park airport, the file fetching, the learned
// files and the window, which live above it or come later. A hook left empty is
// a part not there: no park airport, no fetching, no learned file, no display.
struct ApfReadHooks {
    std::function<std::string()> parkAirportCode;                  // "" while no park airport is set
    std::function<void(std::int32_t feet)> setParkAirportAltitude;
    // Fetches an archived file into park_airport.xml; "" on success, else the error text.
    std::function<std::string(const std::string& name)> downloadApf;
    // The learned file of an airport file (by its path and publisher).
    std::function<std::filesystem::path(const std::string& name, const std::string& publisher)> archivePath;
    // Merges the learned file into the stand list; sets handmadeFile for a handmade one.
    std::function<void(const std::filesystem::path& path, ApfInfo& summary)> readLearned;
    // The file is read and parking is active: the airport panel, the "Flush static"
    // state of the planner, the feed's reference elevation.
    std::function<void(const ApfReadReport& report)> fileRead;
};

}  // namespace clv

extern clv::ApfReadHooks apfReadHooks;

// The local copy of an archived file.
inline const std::filesystem::path g_parkAirportFile{"airports/park_airport.xml"};

// Reads the park airport's file `name` (a path beginning with "airports" is a
// local file, anything else an archived file on the download server) and appends
// its stands to the stand list, which the caller empties. "" on success, else the
// error text. clv::UserErrorException (a missing altitude, a repeated stand id)
// passes through; any other error from loading the file on gives "gf_readApf: ...".
std::string gf_readApf(const std::string& name, clv::ApfInfo& summary, clv::QualityFactors& quality);

// Steps of gf_readApf without the park airport: loads `file` (named `name` in
// messages), reads its parameters into summary and quality and appends its
// stands to the stand list. "" or the error text of a file that does not load
// or is refused; throws clv::UserErrorException as gf_readApf does, and passes
// other exceptions on.
std::string gf_loadApfStands(const std::filesystem::path& file, const std::string& name, clv::ApfInfo& summary,
                             clv::QualityFactors& quality);

// Every "parkpos" of the file, as fixed stands; a repeated stand id ends the read
// with a user error.
void lf_readStands(const pugi::xml_node& parkpositions);

// One "parkpos": appends a stand named `name` to the stand list, with `fixed` on
// every option; nothing when latitude and longitude both read 0.
void lf_readParkpos(const pugi::xml_node& parkpos, std::string name, std::uint32_t fixed);

// The identity of one "opt".
clv::OptIdentity lf_readOptIdentity(const pugi::xml_node& opt);
// One "opt" as a stand option with the given id and fixed mark.
clv::StandOption lf_readOpt(const pugi::xml_node& opt, std::uint32_t id, std::uint32_t fixed);
