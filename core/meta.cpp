#include "core/meta.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/clock.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/product.h"
#include "core/version.h"

clv::ParamValue<std::string> g_simulatorWord{"MSFS"};

namespace {

constexpr const char* kMetaName = "meta";
constexpr const char* kInfoName = "info";
constexpr const char* kNameAttribute = "name";
constexpr const char* kValueAttribute = "value";

bool lf_appendInfo(pugi::xml_node meta, const std::string& name, const std::string& text) {
    pugi::xml_node info = meta.append_child(kInfoName);
    if (!info) return false;
    pugi::xml_attribute nameAttribute = info.append_attribute(kNameAttribute);
    if (!nameAttribute || !nameAttribute.set_value(name.c_str())) return false;
    pugi::xml_attribute valueAttribute = info.append_attribute(kValueAttribute);
    return valueAttribute && valueAttribute.set_value(text.c_str());
}

bool lf_readMetaEntry(const pugi::xml_document& document, Parameter<std::string>& entry) {
    pugi::xml_node info = document.select_node(gf_metaXPath(entry.name).c_str()).node();
    if (!info) {
        entry.value = std::string();
        return false;
    }
    entry.value = std::string(info.attribute(kValueAttribute).value());
    return true;
}

}  // namespace

std::string gf_metaXPath(std::string_view key) { return fmt::format("/meta/info[@name='{}']", key); }

bool gf_writeMeta(pugi::xml_document& document) { return gf_writeMeta(document, g_simulatorWord.get()); }

bool gf_writeMeta(pugi::xml_document& document, std::string_view simulatorWord) {
    pugi::xml_node meta = document.append_child(kMetaName);
    if (!meta) return false;
    return lf_appendInfo(meta, author.name, clv::kProductName) &&
           lf_appendInfo(meta, version.name, g_programVersion.toString()) &&
           lf_appendInfo(meta, date.name, gf_dateString()) &&
           lf_appendInfo(meta, copyright.name, copyright.value.get()) &&
           lf_appendInfo(meta, MSFS.name, simulatorWord == "MSFS" ? "2020" : "2024");
}

bool gf_readMeta(const pugi::xml_document& document) {
    if (lf_readMetaEntry(document, author) && lf_readMetaEntry(document, date) &&
        lf_readMetaEntry(document, version)) {
        return true;
    }
    gf_logMarked("meta data incorrect?");
    return false;
}
