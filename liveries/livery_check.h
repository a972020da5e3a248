#pragma once
// The checks the livery scan makes while it parses aircraft.cfg files: model
// types, airline codes and registrations against the data base, the fixed table
// of simulator stock models, unique titles, and the report lists of what was
// found wrong. Everything here is called from the parser tasks' worker threads.
#include <cstdint>
#include <filesystem>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "liveries/aircraft_cfg.h"
#include "liveries/liveries_scanned.h"

namespace clv {

// A list of report lines that many parser tasks append to; each append takes the
// list's own lock, and no two of these locks are ever held together.
template <typename Container>
class ScanReportList {
public:
    void add(std::string line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }
    // A copy of the lines, in the order they were added.
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return std::vector<std::string>(lines_.begin(), lines_.end());
    }
    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return lines_.size();
    }
    bool empty() const { return size() == 0; }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    Container lines_;
};

// The titles taken during the current scan; the first section to claim a title keeps it.
class ScannedTitles {
public:
    // True when the title was new and is now taken.
    bool claim(const std::string& title) {
        std::lock_guard lock(mutex_);
        return titles_.insert(title).second;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        titles_.clear();
    }
    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return titles_.size();
    }

private:
    mutable std::mutex mutex_;
    std::set<std::string> titles_;
};

// What the airline code check decided about an icao_airline value.
enum class AirlineCheck {
    Accepted,  // a known code
    Dropped,   // unknown, reported; the section goes on without airline
    Rejected,  // "RFO": the section yields no livery
};

}  // namespace clv

// Model name of a simulator stock aircraft (as base_container names it) -> type.
extern const std::unordered_map<std::string, std::string> stockModelTypes;

extern clv::ScannedTitles scannedTitles;

// The report lists of one scan (files: see scan_report.h).
extern clv::ScanReportList<std::list<std::string>> emptyCfgList;           // AircraftCfgWithNoFltsimSection.txt
extern clv::ScanReportList<std::list<std::string>> invalidCfgList;         // InvalidAircraftCfgFiles.txt
extern clv::ScanReportList<std::list<std::string>> incompleteSectionList;  // IncompleFltsimSections.txt
extern clv::ScanReportList<std::list<std::string>> invalidAirlineList;     // InvalidAirlineCodes.txt
extern clv::ScanReportList<std::list<std::string>> invalidModelList;       // InvalidAircraftCodes.txt
extern clv::ScanReportList<std::vector<std::string>> fixesList;            // Fixes.txt
extern clv::ScanReportList<std::list<std::string>> unreadableFolderList;   // UnreadableLiveryFolders.txt

void lf_reportInvalidAirline(const std::string& code, const std::filesystem::path& cfgPath,
                             const std::string& header);
void lf_reportInvalidModel(const std::string& type, const std::filesystem::path& cfgPath);
void lf_addFixLine(std::string line);
void lf_addInvalidCfgLine(std::string line);
void lf_addIncompleteSectionLine(std::string line);
// A folder the walk could not read and skipped: "{folder} cannot be read: {reason}".
void lf_reportUnreadableFolder(const std::filesystem::path& folder, const std::error_code& error);

// ---- model types ---------------------------------------------------------------
// icao_type_designator: first 4 characters, upper case.
bool lf_readTypeDesignator(std::string_view line, std::string& type);
// base_container without its first three characters, looked up in stockModelTypes.
// A value shorter than 3 characters throws std::out_of_range (ending the file's task).
bool lf_readBaseContainer(std::string_view line, std::string& type);

// The type of the stock model base_container names; else the icao_type_designator
// of the base aircraft's own aircraft.cfg (in this package, or at the same place
// in another package of the folder beside it); else "" and the missing-designator line.
std::string lf_baseContainerModelType(const std::filesystem::path& cfgPath, const clv::CfgLines& lines);
// The icao_type_designator of the aircraft a base_container value names, "" when
// its folder or a designator in it is not found.
std::string lf_baseFolderTypeDesignator(const std::filesystem::path& cfgPath, std::string_view container);
// The file's model type, checked against the data base (fixed when a fix is
// known); "" when the file has none that can be used.
std::string lf_cfgModelType(const std::filesystem::path& cfgPath, const clv::CfgLines& lines);
// A candidate type: valid -> itself; fixable -> the fix (Fixes line); else
// reported as an invalid model and "".
std::string lf_checkModelType(const std::string& candidate, const std::filesystem::path& cfgPath);

// ---- airline codes and registrations -----------------------------------------------
// Normalises the code in place (a 4-character code ending in X or C loses it).
clv::AirlineCheck lf_checkAirlineCode(std::string& code, const std::filesystem::path& cfgPath,
                                      const std::string& header);

// The registration of an atc_id value (5 characters or more) of a general
// section; "" when it holds none that can be used (logged).
std::string lf_registrationFromAtcId(const std::string& value, const std::string& title);

// Completes the airline of a general section from its registration. False when
// the section is to be dropped (reported).
bool lf_completeAirline(std::string& airline, std::string& registration, const std::string& modelType,
                        const std::string& title, const std::filesystem::path& folder, const std::string& header);

// The data base's airline for a registration, through its spellings; false when
// none of them is known.
bool lf_airlineOfRegistration(const std::string& registration, std::string& airline);

// A title the registration-code files say is not to be used.
bool lf_isDontUseTitle(const std::string& title);

// ---- unique titles -------------------------------------------------------------------
// The full record when the title was not yet taken in this scan (now it is);
// else an empty record. Cargo is the negation of `passenger`.
clv::LiveryData lf_newLivery(std::int32_t priority, const std::string& airline, const std::string& type,
                             bool passenger, const std::string& title, const std::string& registration);
