#include "liveries/dbase_queries.h"

#include <exception>
#include <regex>

namespace {

constexpr std::size_t kMinDashedLength = 5;

std::optional<clv::RegRecord> lf_find(std::string_view registration) {
    const auto it = dbase.registrations.find(registration);
    if (it == dbase.registrations.end()) return std::nullopt;
    return it->second;
}

}  // namespace

clv::AcCategory gf_type2Category(const clv::Dbase& db, std::string_view type) {
    using clv::AcCategory;
    if (db.large.contains(type)) return AcCategory::Large;
    if (db.heavy.contains(type)) return AcCategory::Heavy;
    if (db.buzjet.contains(type)) return AcCategory::Buzjets;
    if (db.rotorcraft.contains(type)) return AcCategory::Rotorcraft;
    if (db.high_performance.contains(type)) return AcCategory::HighPerf;
    return AcCategory::Light;
}

clv::AcCategory gf_type2Category(std::string_view type) { return gf_type2Category(dbase, type); }

bool gf_isValidModel(const clv::Dbase& db, std::string_view type) {
    return !type.empty() && db.aircrafts.contains(type);
}

bool gf_isValidModel(std::string_view type) { return gf_isValidModel(dbase, type); }

bool gf_isIcaoAirline(std::string_view code) { return !code.empty() && dbase.ICAO_airlines.contains(code); }

double gf_wingspan(std::string_view type) {
    const auto it = dbase.wingspans.find(type);
    if (it != dbase.wingspans.end()) return it->second;
    return dbase.wingspanAverages[clv::categoryIndex(gf_type2Category(type))];
}

std::vector<std::string> gf_regcodeVariants(std::string_view registration) {
    std::vector<std::string> variants;
    if (registration.size() >= kMinDashedLength && registration.front() != 'N' &&
        registration.find('-') == std::string_view::npos) {
        variants.reserve(3);
        std::string twoLetter(registration.substr(0, 2));
        twoLetter += '-';
        twoLetter += registration.substr(2);
        variants.push_back(std::move(twoLetter));
        std::string oneLetter(registration.substr(0, 1));
        oneLetter += '-';
        oneLetter += registration.substr(1);
        variants.push_back(std::move(oneLetter));
    }
    variants.emplace_back(registration);
    return variants;
}

std::optional<clv::RegRecord> gf_findRegRecord(std::string_view registration) { return lf_find(registration); }

bool gf_findRegRecord(std::string_view registration, std::optional<clv::RegRecord>& record) {
    record = lf_find(registration);
    return record.has_value();
}

std::optional<clv::RegRecord> gf_regRecordOf(std::string_view registration) {
    if (registration.empty()) return std::nullopt;
    for (const auto& spelling : gf_regcodeVariants(registration)) {
        if (auto record = lf_find(spelling)) return record;
    }
    return std::nullopt;
}

std::string gf_reg2Airline(std::string_view registration) {
    auto record = gf_regRecordOf(registration);
    return record ? std::move(record->airl) : std::string();
}

std::string gf_reg2Type(std::string_view registration) {
    auto record = gf_regRecordOf(registration);
    return record ? std::move(record->type) : std::string();
}

std::string gf_reg2Operator(std::string_view registration) {
    auto record = gf_regRecordOf(registration);
    return record ? std::move(record->opr) : std::string();
}

std::string gf_pvtRegPrefix(std::string_view text) {
    for (const auto& registration : dbase.shortPvtRegistrations) {
        if (text.find(registration) != std::string_view::npos) return registration;
    }
    return {};
}

std::string gf_publisherOf(std::string_view text) {
    for (const auto& group : dbase.publisherGroups) {
        for (const auto& name : group) {
            const bool contained = name.size() <= text.size() && text.find(name) != std::string_view::npos;
            if (contained || gf_patternMatch(text, name)) return group.front();
        }
    }
    return "unknown";
}

bool gf_patternMatch(std::string_view text, std::string_view pattern) {
    try {
        std::string full(pattern);
        full += ".*";
        const std::regex expression(full, std::regex::ECMAScript | std::regex::icase);
        return std::regex_match(text.begin(), text.end(), expression);
    } catch (const std::exception&) {
        return false;
    }
}
