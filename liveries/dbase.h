#pragma once
// The reference data base dbase.xml: what the program knows of aircraft types,
// airlines, registrations, wing spans and add-on airport publishers. Read once per
// process on the run thread, before any traffic; read-only afterwards, so every
// thread queries it without a lock (queries: liveries/dbase_queries.h).
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "liveries/ac_category.h"

namespace clv {

// Hashes std::string keys and looks them up by std::string_view without a copy.
struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

using StringSet = std::set<std::string, std::less<>>;
template <typename V>
using StringHashMap = std::unordered_map<std::string, V, StringHash, std::equal_to<>>;

// Airports of one publisher for one simulator (sections thirdparties20/24).
struct ThirdpartyEntry {
    std::string pub;
    std::vector<std::string> arpts;  // in the order of the file
};

// What the data base knows of one registration; every field may be empty.
struct RegRecord {
    std::string airl;  // airline code
    std::string type;  // type designator
    std::string opr;   // operating airline code
    bool cargo = false;
};

struct Dbase {
    StringSet aircrafts;  // the valid models
    StringSet high_performance;
    StringSet heavy;
    StringSet large;
    StringSet buzjet;
    StringSet rotorcraft;
    StringSet cargo_types;
    std::vector<std::vector<std::string>> similarGroups;    // each sorted ascending
    StringSet ICAO_airlines;
    StringSet cargo_operators;
    std::vector<std::vector<std::string>> publisherGroups;  // first name = the publisher
    std::map<std::string, double, std::less<>> wingspans;   // half wing span, nautical miles
    // Average half wing span of each category, nautical miles. A category without
    // a wing span entry takes the average of all entries; all stay 0 without any.
    std::array<double, kAcCategoryCount> wingspanAverages{};
    double maxHalfWingspanNm = 0.0;
    std::map<std::string, std::string, std::less<>> fixes;  // wrong designator -> correct one
    StringSet simaddons20;
    std::vector<ThirdpartyEntry> thirdparties20;
    std::vector<ThirdpartyEntry> thirdparties24;
    StringHashMap<RegRecord> registrations;
    // Registrations of fewer than 5 characters whose airline is "PVT", sorted, for
    // the search of a private registration inside a livery title.
    std::vector<std::string> shortPvtRegistrations;
};

}  // namespace clv

// A boolean attribute of the data files: true when its first character is "1",
// "t", "T", "y" or "Y"; false otherwise and when it is empty.
bool gf_xmlFlag(const char* text);

// The process-wide data base.
extern clv::Dbase dbase;

// "temp2.xml" in the input folder: where dbase.zip is unpacked while it is read.
std::filesystem::path gf_dbaseTempPath();

// What the run shows when dbase.zip cannot be had; without a configured server
// the advice to name one follows.
inline constexpr const char* kDbaseNotRead = "data base could not be read from on-line?";
inline constexpr const char* kNoServerAdvice =
    "No download server is configured: set CALVORINTH_SERVER_URL to the address (or file:// folder) that offers "
    "dbase.zip, then start Calvorinth again.";

// Fetches dbase.zip from the download server, reads it into `dbase` and removes the
// unpacked file. Returns true after a complete read. Throws std::runtime_error
// kDbaseNotRead (with kNoServerAdvice when no server is configured) when the fetch
// fails, and whatever gf_readDbaseFile throws. Called once per process.
bool gf_readDbase();

// Reads a dbase.xml into `db` (which should be empty). Throws
// clv::UserErrorException 60 when the file does not parse, 61 when a required
// section is missing or empty, std::runtime_error for a bad airline value or a
// failure in the publishers or wing spans. What was read before a failure stays.
void gf_readDbaseFile(const std::filesystem::path& path, clv::Dbase& db);
