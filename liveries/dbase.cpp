#include "liveries/dbase.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <stdexcept>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/text.h"
#include "core/user_error.h"
#include "core/download_unzip.h"
#include "liveries/ac_data.h"
#include "liveries/dbase_codec.h"
#include "liveries/dbase_queries.h"

clv::Dbase dbase;

namespace fs = std::filesystem;

namespace {

constexpr const char* kTempFileName = "temp2.xml";
constexpr std::size_t kShortRegistrationLength = 5;
constexpr std::size_t kSimilarGroupsReserve = 64;
constexpr std::size_t kPublisherGroupsReserve = 640;
constexpr std::size_t kThirdparties20Reserve = 600;
constexpr std::size_t kThirdparties24Reserve = 300;
constexpr double kMetresPerNm = 1852.0;

// Section, child and attribute names of dbase.xml.
constexpr const char* kTypesAttr = "types";
constexpr const char* kCodesAttr = "codes";
constexpr const char* kAirportsAttr = "arpts";

std::string lf_text(const pugi::xml_node& node, const char* name) { return node.attribute(name).value(); }

// Every piece of the comma lists of one attribute of every child into `target`;
// user error 61 when the target is empty afterwards (also for a missing section).
void lf_readTypeSection(const pugi::xml_document& doc, const char* section, const char* child, const char* attribute,
                        clv::StringSet& target) {
    const pugi::xml_node sectionNode = doc.child(section);
    for (const pugi::xml_node entry : sectionNode.children(child)) {
        for (auto& piece : gf_split(entry.attribute(attribute).value(), ',')) target.insert(std::move(piece));
    }
    if (target.empty())
        throw clv::UserErrorException(
            61, fmt::format("In an xml file section {} {} {} is empty ", section, child, attribute));
}

void lf_readTypeSetSection(const pugi::xml_document& doc, const char* section, const char* child,
                           clv::StringSet& target) {
    clv::StringSet stored;
    lf_readTypeSection(doc, section, child, kTypesAttr, stored);
    for (const auto& value : stored) target.insert(gf_decodeType(value));
}

void lf_readCodeSection(const pugi::xml_document& doc, const char* section, clv::StringSet& target) {
    clv::StringSet stored;
    lf_readTypeSection(doc, section, "ICAO", kCodesAttr, stored);
    for (const auto& value : stored) target.insert(gf_decodeAirline(value));
}

void lf_readSimilarTypes(const pugi::xml_document& doc, clv::Dbase& db) {
    db.similarGroups.reserve(kSimilarGroupsReserve);
    for (const pugi::xml_node entry : doc.child("similar_types").children("similar")) {
        std::vector<std::string> group;
        for (const auto& piece : gf_split(entry.attribute(kTypesAttr).value(), ','))
            group.push_back(gf_decodeType(piece));
        std::sort(group.begin(), group.end());
        db.similarGroups.push_back(std::move(group));
    }
    db.similarGroups.shrink_to_fit();
}

void lf_readPublishers(const pugi::xml_document& doc, const fs::path& path, clv::Dbase& db) {
    try {
        std::vector<std::string> texts;
        for (const pugi::xml_node entry : doc.child("publishers").children("pub"))
            texts.push_back(lf_text(entry, "names"));
        std::sort(texts.begin(), texts.end());
        texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
        for (const auto& text : texts) db.publisherGroups.push_back(gf_split(text, ','));
        db.publisherGroups.shrink_to_fit();
    } catch (const std::exception& e) {
        throw std::runtime_error(
            fmt::format("exception {} in reading publishers from \"{}\"", e.what(), path.string()));
    }
}

// Averages per category; a category without entries takes the average of all.
void lf_computeWingspanAverages(clv::Dbase& db) {
    std::array<double, clv::kAcCategoryCount> sum{};
    std::array<int, clv::kAcCategoryCount> count{};
    double total = 0.0;
    for (const auto& [type, halfSpan] : db.wingspans) {
        const auto c = clv::categoryIndex(gf_type2Category(db, type));
        sum[c] += halfSpan;
        count[c] += 1;
        total += halfSpan;
    }
    const double overall = total / static_cast<double>(db.wingspans.size());
    for (std::size_t c = 0; c < clv::kAcCategoryCount; ++c)
        db.wingspanAverages[c] = count[c] > 0 ? sum[c] / count[c] : overall;
}

void lf_readWingspans(const pugi::xml_document& doc, const fs::path& path, clv::Dbase& db) {
    try {
        for (const pugi::xml_node entry : doc.child("wingspans").children("wingspan")) {
            const std::string type = gf_decodeType(entry.attribute("type").value());
            if (!gf_isValidModel(db, type)) {
                gf_logMarked("wingspan model {} is no valid model, skipped", type);
                continue;
            }
            const char* metresText = entry.attribute("meters").value();
            const double metres = std::atof(metresText);
            if (!std::isfinite(metres)) {
                gf_logMarked("wingspan of {} is no number: \"{}\", skipped", type, metresText);
                continue;
            }
            const double halfSpan = metres * 0.5 / kMetresPerNm;
            // A duplicate keeps the first value, and so must the largest span.
            if (db.wingspans.emplace(type, halfSpan).second)
                db.maxHalfWingspanNm = std::max(db.maxHalfWingspanNm, halfSpan);
        }
    } catch (const std::exception& e) {
        throw std::runtime_error(fmt::format("exception {} in reading wingspans from \"{}\"", e.what(), path.string()));
    }
    if (!db.wingspans.empty()) lf_computeWingspanAverages(db);
}

void lf_readFixes(const pugi::xml_document& doc, clv::Dbase& db) {
    for (const pugi::xml_node entry : doc.child("fixes").children("fx")) {
        std::string wrong = lf_text(entry, "wro");
        std::string correct = lf_text(entry, "cor");
        if (!gf_isValidModel(db, correct)) {
            gf_log("wrong fix {}->{}, the latter is not a valid model", wrong, correct);
            continue;
        }
        if (db.fixes.contains(wrong)) {
            gf_logMarked("wrong part of fix: \"{}\", already exists, skipped", wrong);
            continue;
        }
        db.fixes.emplace(std::move(wrong), std::move(correct));
    }
}

void lf_readThirdparties(const pugi::xml_document& doc, const char* section, const char* child,
                         std::vector<clv::ThirdpartyEntry>& target) {
    for (const pugi::xml_node entry : doc.child(section).children(child)) {
        target.push_back({lf_text(entry, "pub"), gf_split(entry.attribute(kAirportsAttr).value(), ',')});
    }
}

std::string lf_decodedOrEmpty(const pugi::xml_node& node, const char* name, std::string (*decode)(std::string_view)) {
    const char* stored = node.attribute(name).value();
    return stored[0] == '\0' ? std::string() : decode(stored);
}

void lf_readRegistrations(const pugi::xml_document& doc, clv::Dbase& db) {
    db.registrations.clear();
    for (const pugi::xml_node entry : doc.child("dbase").children("db")) {
        std::string registration = gf_decodeRegcode(entry.attribute("reg").value());
        clv::RegRecord record{
            lf_decodedOrEmpty(entry, "airl", &gf_decodeAirline), lf_decodedOrEmpty(entry, "type", &gf_decodeType),
            lf_decodedOrEmpty(entry, "opr", &gf_decodeAirline), gf_xmlFlag(entry.attribute("cargo").value())};
        auto [it, inserted] = db.registrations.try_emplace(std::move(registration), std::move(record));
        if (!inserted) gf_log("regcode {} already exists", it->first);
    }
    db.shortPvtRegistrations.clear();
    for (const auto& [registration, record] : db.registrations) {
        if (record.airl == clv::kPrivateAirline && registration.size() < kShortRegistrationLength)
            db.shortPvtRegistrations.push_back(registration);
    }
    std::sort(db.shortPvtRegistrations.begin(), db.shortPvtRegistrations.end());
}

}  // namespace

bool gf_xmlFlag(const char* text) {
    const char first = text[0];
    return first == '1' || first == 't' || first == 'T' || first == 'y' || first == 'Y';
}

fs::path gf_dbaseTempPath() { return g_inputFolder / kTempFileName; }

void gf_readDbaseFile(const fs::path& path, clv::Dbase& db) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    if (parsed.status != pugi::status_ok)
        throw clv::UserErrorException(
            60, fmt::format("\"{}\" not read because of {}", path.string(), parsed.description()));

    // Order matters: later sections test types against aircrafts, and the
    // wing span averages need the category sets.
    lf_readTypeSetSection(doc, "aircrafts", "aircraft", db.aircrafts);
    lf_readTypeSetSection(doc, "high_performance", "hpf", db.high_performance);
    lf_readTypeSetSection(doc, "heavy", "hvy", db.heavy);
    lf_readTypeSetSection(doc, "large", "lar", db.large);
    lf_readTypeSetSection(doc, "buzjet", "bzj", db.buzjet);
    lf_readTypeSetSection(doc, "rotorcraft", "rot", db.rotorcraft);
    lf_readTypeSetSection(doc, "cargo_types", "cargo_type", db.cargo_types);
    lf_readSimilarTypes(doc, db);
    lf_readCodeSection(doc, "ICAO_airlines", db.ICAO_airlines);
    lf_readCodeSection(doc, "cargo_operators", db.cargo_operators);
    db.publisherGroups.reserve(kPublisherGroupsReserve);
    lf_readPublishers(doc, path, db);
    lf_readWingspans(doc, path, db);
    lf_readFixes(doc, db);
    lf_readTypeSection(doc, "simaddons20", "simaddon20", kAirportsAttr, db.simaddons20);
    db.thirdparties20.reserve(kThirdparties20Reserve);
    lf_readThirdparties(doc, "thirdparties20", "thirdpartie20", db.thirdparties20);
    db.thirdparties24.reserve(kThirdparties24Reserve);
    lf_readThirdparties(doc, "thirdparties24", "thirdpartie24", db.thirdparties24);
    lf_readRegistrations(doc, db);
}

bool gf_readDbase() {
    const fs::path path = gf_dbaseTempPath();
    if (!gf_downloadDbase(path))
        throw std::runtime_error("data base could not be read from on-line?");
    gf_readDbaseFile(path, dbase);
    gf_removeFile(path);
    return true;
}
