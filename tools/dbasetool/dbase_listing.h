#pragma once
// Plain listings of the data files whose values are stored encoded (dbase.xml and
// AIG-regcodes.xml), so that test and demo data are written as readable text and
// turned into the stored form by the tool, and stored files can be read back.
//
// dbase listing: one XML entry per line, "<section> <values>".
//   - Blank lines and lines whose first non-blank character is "#" are skipped.
//   - The first word names the section; the rest of the line holds the entry's
//     attribute values in the order below, separated by ";" and trimmed. Fewer
//     values than attributes is fine; an empty value leaves its attribute out.
//   - Values are written plain; types, airline codes and registrations are encoded
//     (liveries/dbase_codec.h), comma lists item by item. Values cannot hold ";".
//   - Sections come out in the order of their first line, entries in line order.
//
//     section            element        values
//     aircrafts          aircraft       types (comma list)
//     high_performance   hpf            types
//     heavy              hvy            types
//     large              lar            types
//     buzjet             bzj            types
//     rotorcraft         rot            types
//     cargo_types        cargo_type     types
//     similar_types      similar        types
//     ICAO_airlines      ICAO           codes (comma list of airline codes)
//     cargo_operators    ICAO           codes
//     publishers         pub            names (comma list, plain)
//     wingspans          wingspan       type ; meters
//     fixes              fx             wro ; cor (plain)
//     simaddons20        simaddon20     arpts (comma list, plain)
//     thirdparties20     thirdpartie20  pub ; arpts (plain)
//     thirdparties24     thirdpartie24  pub ; arpts (plain)
//     dbase              db             reg ; airl ; type ; opr ; cargo (cargo plain)
//
//   Example:   dbase  D-AIBL;DLH;A319
//              dbase  N601FE;FDX;MD11;;yes
//
// AIG listing: one livery per line, "title ; registrations ; special", the
// registrations a comma list (encoded item by item), special the attribute's text
// (e.g. "1"); comments and blank lines as above. It becomes the root element
// "AIG-regcodes" with one "livery" element per line.
//
// Errors name the line: std::runtime_error "line {}: {}".
#include <filesystem>
#include <string>
#include <string_view>

std::string gf_dbaseListingToXml(std::string_view listing);
// Throws std::runtime_error when the XML does not parse or holds an element that
// has no place in a listing (nothing is dropped silently).
std::string gf_dbaseXmlToListing(std::string_view xml);

std::string gf_aigListingToXml(std::string_view listing);
std::string gf_aigXmlToListing(std::string_view xml);

// Writes a zip archive holding one file; throws std::runtime_error on failure.
void gf_writeZipFile(const std::filesystem::path& archive, std::string_view entryName, std::string_view content);
