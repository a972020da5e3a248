#include "airports/files/apf_parameters.h"

#include <pugixml.hpp>

#include "core/parameter_store.h"

namespace {

constexpr const char* kValueAttribute = "value";

pugi::xml_node lf_parameterNode(const pugi::xml_document& document, const std::string& key) {
    return document.select_node(gf_parameterXPath(key).c_str()).node();
}

}  // namespace

std::optional<std::int32_t> lf_readIntParameter(const pugi::xml_document& document, const std::string& key) {
    const pugi::xml_node node = lf_parameterNode(document, key);
    if (!node) return std::nullopt;
    return node.attribute(kValueAttribute).as_int(0);
}

std::optional<std::string> lf_readTextParameter(const pugi::xml_document& document, const std::string& key) {
    const pugi::xml_node node = lf_parameterNode(document, key);
    if (!node) return std::nullopt;
    return std::string(node.attribute(kValueAttribute).value());
}

std::optional<bool> lf_readBoolParameter(const pugi::xml_document& document, const std::string& key) {
    const pugi::xml_node node = lf_parameterNode(document, key);
    if (!node) return std::nullopt;
    return node.attribute(kValueAttribute).as_bool(false);
}
