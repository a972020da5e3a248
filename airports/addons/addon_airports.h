#pragma once
// What becomes of a decoded add-on airport: linked to an archived airport file
// (the simulator's own airports, "simaddon", or a listed thirdparty publisher's) by
// a small link file, or written as a generated airport park-position file when no
// archived file serves or the archived one has fewer stands. An airport file that
// cannot be decoded is identified by its code and handed over as a TBLO entry.
// Runs on the scan workers, several at once.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "airports/addons/bgl_decode.h"
#include "airports/files/apf_file.h"
#include "airports/parking/addon_reference.h"

// Held for the whole registration of one airport (publisher, link, link file) and
// for writing a TBLO entry.
extern std::mutex g_addonRegistrationMutex;
// Raised when an add-on airport was linked or its file generated.
extern std::atomic<bool> g_addonAirportFound;
// TBLO entries written in this scan.
extern std::atomic<std::int32_t> g_tbloCount;
// The reference data the scan workers decode with; set before they start.
extern clv::AddonReference g_addonReference;

// Fills BGLpath and the publisher texts, and links the airport to an archived file
// when its publisher has one; true when linked. Takes the registration lock.
bool lf_registerAddonAirport(clv::ApfData& airport, std::int32_t& archivedCount, const std::string& path,
                             const clv::BglDecodeSetup& setup);
bool lf_linkSimaddon(const clv::ApfData& airport, const clv::BglDecodeSetup& setup);
bool lf_linkThirdparty(const std::string& publisher, const clv::ApfData& airport, std::int32_t& archivedCount,
                       const clv::BglDecodeSetup& setup);

// Whether a thirdparty list text names the airport: it begins with the code; the
// stand count read from its fifth character on goes to `count`. A text without a
// number still names the airport (count unchanged), with a marked log line.
bool gf_prefixedNumber(std::string_view text, std::string_view code, std::string_view publisher,
                       std::int32_t& count);

// Writes the generated file of a decoded airport (none for an airport without stands).
void lf_generateApf(clv::ApfData& airport, std::int32_t helipadCounter, const clv::BglDecodeSetup& setup);

// Identifies an airport the decoder cannot read by its file's stem, its package's
// manifest title or a "-code-" in its path, and writes its TBLO entry.
void lf_notRecognisedAirport(const std::filesystem::path& path, const clv::BglDecodeSetup& setup);

// The path from "Community" on; unchanged without "Community".
std::string lf_stripToCommunity(std::string_view path);
// "-" + code + "-" in the text, as written or in lower case.
bool lf_hasDashedCode(std::string_view text, std::string_view code);

namespace clv {

// Registers, decodes and generates the airports of one BGL file (one per worker).
class AddonAirportSink : public BglAirportSink {
public:
    AddonAirportSink(const std::filesystem::path& path, const BglDecodeSetup& setup) : path_(path), setup_(setup) {}
    bool beginAirport(const std::string& code) override;
    void airportDecoded(BglAirport& airport) override;
    void notRecognised(const std::filesystem::path& path) override;

private:
    std::filesystem::path path_;
    const BglDecodeSetup& setup_;
    ApfData current_;
    std::int32_t archivedCount_ = 0;
    bool linked_ = false;
};

}  // namespace clv

// The scan worker for one BGL file, for the simulator of the MSFS_2020 setting and
// the reference data of g_addonReference.
void lf_toParkingPositions(const std::filesystem::path& path);
