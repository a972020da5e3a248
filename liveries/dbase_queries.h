#pragma once
// Read-only questions to the reference data base: category, validity and wing span
// of a type, known airlines, registration records and their spellings, and the
// publisher of an add-on airport. Valid once dbase.xml is read (liveries/dbase.h);
// safe from every thread afterwards.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/ac_category.h"
#include "liveries/dbase.h"

// The first of large, heavy, buzjet, rotorcraft, high_performance that holds the
// type decides; Light when none does (also for the empty text).
clv::AcCategory gf_type2Category(std::string_view type);
clv::AcCategory gf_type2Category(const clv::Dbase& db, std::string_view type);

// The type is in aircrafts; false for the empty text.
bool gf_isValidModel(std::string_view type);
bool gf_isValidModel(const clv::Dbase& db, std::string_view type);

// The code is in ICAO_airlines; false for the empty text.
bool gf_isIcaoAirline(std::string_view code);

// Half the wing span in nautical miles; the category's average for a type without one.
double gf_wingspan(std::string_view type);

// The spellings of a registration to look up, in order: for 5 or more characters,
// not beginning with "N" and without "-": first two + "-" + rest, first one + "-" +
// rest; then always the registration itself. DABCD -> DA-BCD, D-ABCD, DABCD.
std::vector<std::string> gf_regcodeVariants(std::string_view registration);

// The record stored under exactly this spelling.
std::optional<clv::RegRecord> gf_findRegRecord(std::string_view registration);
// The same, filling `record`; returns whether it was found.
bool gf_findRegRecord(std::string_view registration, std::optional<clv::RegRecord>& record);

// The record of the first spelling (gf_regcodeVariants) that is stored; none for "".
std::optional<clv::RegRecord> gf_regRecordOf(std::string_view registration);

// A field of gf_regRecordOf's record; "" when there is none.
std::string gf_reg2Airline(std::string_view registration);
std::string gf_reg2Type(std::string_view registration);
std::string gf_reg2Operator(std::string_view registration);

// A private ("PVT") registration of fewer than 5 characters that occurs in the
// text; the first in sorted order when several do; "" when none does.
std::string gf_pvtRegPrefix(std::string_view text);

// The publisher's name for a folder or file name: the first group one of whose
// names occurs in the text (case-sensitive) or matches it by gf_patternMatch;
// "unknown" when none does.
std::string gf_publisherOf(std::string_view text);

// The text begins with a match of the pattern (ECMAScript, case ignored); an
// invalid pattern gives false.
bool gf_patternMatch(std::string_view text, std::string_view pattern);
