#include "tools/dbasetool/dbase_listing.h"

#include <array>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/text.h"
#include "liveries/dbase_codec.h"

namespace {

enum class Coding { Plain, Type, Airline, Regcode, TypeList, AirlineList, RegcodeList };

struct Field {
    const char* attribute;
    Coding coding;
};

struct Section {
    const char* name;
    const char* child;
    std::vector<Field> fields;
};

const std::vector<Section>& lf_sections() {
    static const std::vector<Section> sections{
        {"aircrafts", "aircraft", {{"types", Coding::TypeList}}},
        {"high_performance", "hpf", {{"types", Coding::TypeList}}},
        {"heavy", "hvy", {{"types", Coding::TypeList}}},
        {"large", "lar", {{"types", Coding::TypeList}}},
        {"buzjet", "bzj", {{"types", Coding::TypeList}}},
        {"rotorcraft", "rot", {{"types", Coding::TypeList}}},
        {"cargo_types", "cargo_type", {{"types", Coding::TypeList}}},
        {"similar_types", "similar", {{"types", Coding::TypeList}}},
        {"ICAO_airlines", "ICAO", {{"codes", Coding::AirlineList}}},
        {"cargo_operators", "ICAO", {{"codes", Coding::AirlineList}}},
        {"publishers", "pub", {{"names", Coding::Plain}}},
        {"wingspans", "wingspan", {{"type", Coding::Type}, {"meters", Coding::Plain}}},
        {"fixes", "fx", {{"wro", Coding::Plain}, {"cor", Coding::Plain}}},
        {"simaddons20", "simaddon20", {{"arpts", Coding::Plain}}},
        {"thirdparties20", "thirdpartie20", {{"pub", Coding::Plain}, {"arpts", Coding::Plain}}},
        {"thirdparties24", "thirdpartie24", {{"pub", Coding::Plain}, {"arpts", Coding::Plain}}},
        {"dbase", "db",
         {{"reg", Coding::Regcode},
          {"airl", Coding::Airline},
          {"type", Coding::Type},
          {"opr", Coding::Airline},
          {"cargo", Coding::Plain}}},
    };
    return sections;
}

const Section* lf_findSection(std::string_view name) {
    for (const auto& section : lf_sections()) {
        if (name == section.name) return &section;
    }
    return nullptr;
}

constexpr const char* kAigRoot = "AIG-regcodes";
constexpr const char* kAigLivery = "livery";
const std::vector<Field> kAigFields{{"title", Coding::Plain}, {"reg", Coding::RegcodeList}, {"special", Coding::Plain}};

std::string lf_mapList(std::string_view list, std::string (*code)(std::string_view)) {
    std::string out;
    bool first = true;
    for (const auto& item : gf_split(list, ',')) {
        if (!first) out += ',';
        out += code(item);
        first = false;
    }
    return out;
}

std::string lf_encode(std::string_view value, Coding coding) {
    switch (coding) {
        case Coding::Plain: return std::string(value);
        case Coding::Type: return gf_encodeType(value);
        case Coding::Airline: return gf_encodeAirline(value);
        case Coding::Regcode: return gf_encodeRegcode(value);
        case Coding::TypeList: return lf_mapList(value, &gf_encodeType);
        case Coding::AirlineList: return lf_mapList(value, &gf_encodeAirline);
        case Coding::RegcodeList: return lf_mapList(value, &gf_encodeRegcode);
    }
    return std::string(value);
}

std::string lf_decode(std::string_view value, Coding coding) {
    switch (coding) {
        case Coding::Plain: return std::string(value);
        case Coding::Type: return gf_decodeType(value);
        case Coding::Airline: return gf_decodeAirline(value);
        case Coding::Regcode: return gf_decodeRegcode(value);
        case Coding::TypeList: return lf_mapList(value, &gf_decodeType);
        case Coding::AirlineList: return lf_mapList(value, &gf_decodeAirline);
        case Coding::RegcodeList: return lf_mapList(value, &gf_decodeRegcode);
    }
    return std::string(value);
}

// One entry line of a listing: its number, and its text after the keyword (if any).
struct ListingLine {
    int number = 0;
    std::string keyword;
    std::string rest;
};

std::vector<ListingLine> lf_listingLines(std::string_view listing, bool withKeyword) {
    std::vector<ListingLine> lines;
    std::vector<std::string> raw;
    std::istringstream in{std::string(listing)};
    for (std::string line; std::getline(in, line);) raw.push_back(std::move(line));
    for (std::size_t i = 0; i < raw.size(); ++i) {
        std::string text = gf_trim(raw[i]);
        if (text.empty() || text.front() == '#') continue;
        ListingLine line{static_cast<int>(i + 1), {}, {}};
        if (withKeyword) {
            const auto blank = text.find_first_of(" \t");
            line.keyword = text.substr(0, blank);
            if (blank != std::string::npos) line.rest = gf_trim(std::string_view(text).substr(blank));
        } else {
            line.rest = std::move(text);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// Sets the attributes of one element from a line's values.
void lf_fillElement(pugi::xml_node element, const ListingLine& line, const std::vector<Field>& fields,
                    std::string_view what) {
    const auto values = line.rest.empty() ? std::vector<std::string>{} : gf_split(line.rest, ';');
    if (values.size() > fields.size())
        throw std::runtime_error(fmt::format("line {}: {} takes at most {} value{}: \"{}\"", line.number, what,
                                             fields.size(), fields.size() == 1 ? "" : "s", line.rest));
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i].empty()) continue;
        try {
            element.append_attribute(fields[i].attribute).set_value(lf_encode(values[i], fields[i].coding).c_str());
        } catch (const std::exception& e) {
            throw std::runtime_error(fmt::format("line {}: {}", line.number, e.what()));
        }
    }
}

// The values of an element as a listing line's text, without trailing empty values.
std::string lf_elementValues(const pugi::xml_node& element, const std::vector<Field>& fields) {
    for (const pugi::xml_attribute attribute : element.attributes()) {
        bool known = false;
        for (const auto& field : fields) known = known || std::string_view(attribute.name()) == field.attribute;
        if (!known)
            throw std::runtime_error(
                fmt::format("element {} holds the unexpected attribute {}", element.name(), attribute.name()));
    }
    std::vector<std::string> values;
    for (const auto& field : fields) {
        const pugi::xml_attribute attribute = element.attribute(field.attribute);
        values.push_back(attribute ? lf_decode(attribute.value(), field.coding) : std::string());
    }
    while (!values.empty() && values.back().empty()) values.pop_back();
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) text += ';';
        text += values[i];
    }
    return text;
}

pugi::xml_document lf_newDocument() {
    pugi::xml_document doc;
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");
    return doc;
}

std::string lf_documentText(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

void lf_parse(pugi::xml_document& doc, std::string_view xml) {
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
    if (!parsed) throw std::runtime_error(fmt::format("the XML does not parse: {}", parsed.description()));
}

}  // namespace

std::string gf_dbaseListingToXml(std::string_view listing) {
    pugi::xml_document doc = lf_newDocument();
    std::map<std::string, pugi::xml_node, std::less<>> written;
    for (const auto& line : lf_listingLines(listing, true)) {
        const Section* section = lf_findSection(line.keyword);
        if (section == nullptr)
            throw std::runtime_error(fmt::format("line {}: unknown section \"{}\"", line.number, line.keyword));
        auto it = written.find(line.keyword);
        if (it == written.end()) it = written.emplace(line.keyword, doc.append_child(section->name)).first;
        lf_fillElement(it->second.append_child(section->child), line, section->fields, section->name);
    }
    return lf_documentText(doc);
}

std::string gf_dbaseXmlToListing(std::string_view xml) {
    pugi::xml_document doc;
    lf_parse(doc, xml);
    std::string listing;
    for (const pugi::xml_node sectionNode : doc.children()) {
        if (sectionNode.type() != pugi::node_element) continue;
        const Section* section = lf_findSection(sectionNode.name());
        if (section == nullptr) throw std::runtime_error(fmt::format("unknown section \"{}\"", sectionNode.name()));
        for (const pugi::xml_node entry : sectionNode.children()) {
            if (entry.type() != pugi::node_element) continue;
            if (std::string_view(entry.name()) != section->child)
                throw std::runtime_error(
                    fmt::format("section {} holds the unexpected element {}", section->name, entry.name()));
            const std::string values = lf_elementValues(entry, section->fields);
            listing += section->name;
            if (!values.empty()) listing += ' ' + values;
            listing += '\n';
        }
    }
    return listing;
}

std::string gf_aigListingToXml(std::string_view listing) {
    pugi::xml_document doc = lf_newDocument();
    pugi::xml_node root = doc.append_child(kAigRoot);
    for (const auto& line : lf_listingLines(listing, false))
        lf_fillElement(root.append_child(kAigLivery), line, kAigFields, kAigLivery);
    return lf_documentText(doc);
}

std::string gf_aigXmlToListing(std::string_view xml) {
    pugi::xml_document doc;
    lf_parse(doc, xml);
    const pugi::xml_node root = doc.child(kAigRoot);
    if (!root) throw std::runtime_error(fmt::format("the root element {} is missing", kAigRoot));
    std::string listing;
    for (const pugi::xml_node entry : root.children()) {
        if (entry.type() != pugi::node_element) continue;
        if (std::string_view(entry.name()) != kAigLivery)
            throw std::runtime_error(fmt::format("{} holds the unexpected element {}", kAigRoot, entry.name()));
        listing += lf_elementValues(entry, kAigFields);
        listing += '\n';
    }
    return listing;
}
