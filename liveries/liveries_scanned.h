#pragma once
// The scanned liveries: one record per installed livery, the program's list of
// them, and LiveriesScanned.xml, which keeps the list between starts and is the
// only source of the livery index.
#include <cstdint>
#include <string>
#include <vector>

namespace pugi {
class xml_node;
}

namespace clv {

// One scanned livery. An empty `airl` stands for "no livery" where a single
// record is returned.
struct LiveryData {
    std::string airl;            // ICAO airline code; "ZZZ" generic, "PVT" private
    std::string type;            // ICAO type designator of the model
    std::string title;           // the name the simulator creates the AI object by
    std::string atcid;           // registration from atc_id; empty when none is usable
    std::int32_t priority = 0;   // livery folder priority (1 best); not stored in the file
    bool cargo = false;          // a freighter
};

}  // namespace clv

// The program's list of scanned liveries: filled by the scan's folder walks or
// by reading LiveriesScanned.xml, read by the index build. Run thread only.
extern std::vector<clv::LiveryData> liveryList;

// Title, airline, type, registration and cargo flag equal; the priority is not compared.
bool lf_sameLivery(const clv::LiveryData& a, const clv::LiveryData& b);

// The order of the file and of the index: airline, then type, then title, byte-wise.
bool gf_liveryOrderLess(const clv::LiveryData& a, const clv::LiveryData& b);

// Appends the "liv" element of one livery.
void lf_writeLivery(pugi::xml_node liveries, const clv::LiveryData& livery);

// Writes liveryList (already filtered, sorted and unique) to LiveriesScanned.xml
// with the meta header; an empty list writes nothing and leaves the earlier file.
void lf_writeLiveriesScanned();

// Replaces liveryList with the liveries of LiveriesScanned.xml, sorted. Throws
// clv::UserErrorException 51 (no readable file), 52 (no <liveries>) or 533 (no
// livery in it).
void lf_readLiveriesScanned();
