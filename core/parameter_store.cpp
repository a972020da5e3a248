#include "core/parameter_store.h"

#include <filesystem>
#include <mutex>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/text.h"
#include "core/ui_port.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kRootName = "parameters";
constexpr const char* kElementName = "parameter";
constexpr const char* kNameAttribute = "name";
constexpr const char* kValueAttribute = "value";
constexpr const char* kMarker = "===> ";

// Held around every load-change-write of parameters.xml.
std::mutex g_storeMutex;

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

pugi::xml_node lf_findParameter(const pugi::xml_document& document, std::string_view key) {
    return document.select_node(gf_parameterXPath(key).c_str()).node();
}


// A file that exists but cannot be parsed is about to be replaced: keep a copy,
// so the user's settings can still be recovered by hand.
void lf_keepUnreadableFile(const pugi::xml_parse_result& result, const fs::path& path) {
    if (result.status == pugi::status_file_not_found) return;
    fs::path copy = path;
    copy += ".bad";
    std::error_code ec;
    fs::copy_file(path, copy, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        gf_logMarked("{} could not be read ({}), nor kept: {}", path.string(), result.description(), ec.message());
    } else {
        gf_logMarked("{} could not be read ({} at offset {}), kept as {}", path.string(), result.description(),
                     result.offset, copy.string());
    }
}

// The save of one setting: its value text replaces the one in the file.
void lf_saveValue(const std::string& key, const std::string& text) {
    const fs::path path(g_parametersXmlPath);
    std::lock_guard lock(g_storeMutex);
    pugi::xml_document document;
    const pugi::xml_parse_result loaded = document.load_file(path.c_str());
    pugi::xml_node root = loaded ? document.child(kRootName) : pugi::xml_node();
    if (!root) {
        if (!loaded) {
            lf_keepUnreadableFile(loaded, path);
            document.reset();
        }
        root = document.append_child(kRootName);
        gf_appendParameterNode(root, key, text);
    } else if (pugi::xml_node element = lf_findParameter(document, key)) {
        pugi::xml_attribute attribute = element.attribute(kValueAttribute);
        // An element without a value gets one, or the save would be lost.
        if (!attribute) attribute = element.append_attribute(kValueAttribute);
        attribute.set_value(text.c_str());
    } else {
        gf_appendParameterNode(root, key, text);
    }
    gf_logIfRunning("{}={}", key, text);
    if (!gf_replaceXmlFile(document, path)) gf_logIfRunning("saving xml did not work?");
}

bool lf_isLfolder(const std::string& key) { return key.find("lfolder") != std::string::npos; }

// A livery folder setting: read like a string, but logged only when not empty.
bool lf_readLfolder(const pugi::xml_document& document, Parameter<std::string>& parameter) {
    const bool found = parameter.read(document, false);
    if (!parameter.value.empty()) parameter.logValue();
    return found;
}

// Removes the setting's element from the loaded document (the load's closing
// save writes the file without it).
void lf_removeParameter(pugi::xml_document& document, const std::string& key) {
    pugi::xml_node root = document.child(kRootName);
    if (!root) return;
    pugi::xml_node element = root.select_node(gf_parameterXPath(key).c_str()).node();
    if (!element) return;
    element.parent().remove_child(element);
    gf_logIfRunning("Parameter " + key + " removed");
}

template <typename T>
void lf_logAddFailed(const Parameter<T>& parameter) {
    gf_logIfRunning("{}adding init xml parameter {} with {} failed!", kMarker, parameter.name, parameter.value);
}

void lf_showInControls(const clv::ParameterLoadLists& lists) {
    clv::UiPort& port = gf_uiPort();
    for (ControlParameter<bool>* p : lists.checkboxes) port.setChecked(p->handle.load(), p->value);
    for (ControlParameter<int>* p : lists.intEdits) gf_setIntEdit(*p);
    for (ControlParameter<std::string>* p : lists.stringEdits) gf_setStringEdit(*p);
}

void lf_fillNewFile(pugi::xml_document& document, const clv::ParameterLoadLists& lists) {
    document.reset();
    pugi::xml_node root = document.append_child(kRootName);
    for (Parameter<bool>* p : lists.bools) p->addToXml(root);
    for (ControlParameter<bool>* p : lists.checkboxes) p->addToXml(root);
    for (Parameter<int>* p : lists.ints) p->addToXml(root);
    for (ControlParameter<int>* p : lists.intEdits) p->addToXml(root);
    for (Parameter<std::string>* p : lists.strings) {
        if (!lf_isLfolder(p->name)) p->addToXml(root);  // empty livery folders are not written
    }
    for (ControlParameter<std::string>* p : lists.stringEdits) p->addToXml(root);
}

void lf_readAll(pugi::xml_document& document, const clv::ParameterLoadLists& lists) {
    for (Parameter<bool>* p : lists.bools) gf_readOrAddBool(document, *p);
    for (ControlParameter<bool>* p : lists.checkboxes) gf_readOrAddBool(document, *p);
    for (Parameter<int>* p : lists.ints) gf_readOrAddInt(document, *p);
    for (ControlParameter<int>* p : lists.intEdits) gf_readOrAddInt(document, *p);
    for (Parameter<std::string>* p : lists.strings) {
        if (lf_isLfolder(p->name)) {
            lf_readLfolder(document, *p);
            if (p->value.empty()) lf_removeParameter(document, p->name);
        } else {
            gf_readOrAddString(document, *p);
        }
    }
    for (ControlParameter<std::string>* p : lists.stringEdits) gf_readOrAddString(document, *p);
}

template <typename T, typename Append>
void lf_readOrAdd(pugi::xml_document& document, Parameter<T>& parameter, Append append) {
    if (parameter.read(document)) return;
    if (pugi::xml_node root = document.child(kRootName)) append(root, parameter.name, parameter.value.get());
}

}  // namespace

std::string gf_parameterXPath(std::string_view key) {
    return fmt::format("/parameters/parameter[@name='{}']", key);
}

bool gf_appendParameterNode(pugi::xml_node parent, const std::string& name, const std::string& text) {
    if (parent.type() != pugi::node_document && parent.type() != pugi::node_element) return false;
    pugi::xml_node element = parent.append_child(kElementName);
    if (!element) return false;
    pugi::xml_attribute nameAttribute = element.append_attribute(kNameAttribute);
    if (!nameAttribute || !nameAttribute.set_value(name.c_str())) return false;
    pugi::xml_attribute valueAttribute = element.append_attribute(kValueAttribute);
    return valueAttribute && valueAttribute.set_value(text.c_str());
}

bool gf_appendBoolParameterNode(pugi::xml_node parent, const std::string& name, bool value) {
    return gf_appendParameterNode(parent, name, lf_boolText(value));
}

bool gf_appendIntParameterNode(pugi::xml_node parent, const std::string& name, std::int32_t value) {
    return gf_appendParameterNode(parent, name, fmt::format("{}", value));
}

bool gf_setIntAttribute(pugi::xml_node node, const char* attribute, std::int32_t value) {
    pugi::xml_attribute found = node.attribute(attribute);
    if (!found) return false;
    return found.set_value(value);
}

// ---- readers -----------------------------------------------------------------

template <>
bool Parameter<bool>::read(const pugi::xml_document& document, bool log) {
    pugi::xml_node element = lf_findParameter(document, name);
    if (!element) {
        value = def;
        if (log) logValue();
        return false;
    }
    const char first = element.attribute(kValueAttribute).value()[0];
    value = first == '1' || first == 't' || first == 'T' || first == 'y' || first == 'Y';
    if (log) logValue();
    return true;
}

template <>
bool Parameter<int>::read(const pugi::xml_document& document, bool log) {
    pugi::xml_node element = lf_findParameter(document, name);
    if (!element) {
        value = def;
        if (log) logValue();
        return false;
    }
    // Text that is no number reads 0, and is then clamped like any other.
    const int number = element.attribute(kValueAttribute).as_int(0);
    value = number < min ? min : (number > max ? max : number);
    if (log) logValue();
    return true;
}

template <>
bool Parameter<std::string>::read(const pugi::xml_document& document, bool log) {
    pugi::xml_node element = lf_findParameter(document, name);
    if (!element) {
        value = def;
        if (log) logValue();
        return false;
    }
    value = std::string(element.attribute(kValueAttribute).value());
    if (log) logValue();
    return true;
}

template <>
void Parameter<bool>::logValue() const {
    gf_logIfRunning("{}={}", name, lf_boolText(value));
}

template <>
void Parameter<int>::logValue() const {
    gf_logIfRunning("{}={}", name, value.get());
}

template <>
void Parameter<std::string>::logValue() const {
    gf_logIfRunning("{}={}", name, value.get());
}

// ---- adders of a new file ----------------------------------------------------

template <>
bool Parameter<bool>::addToXml(pugi::xml_node root) {
    const bool added = gf_appendBoolParameterNode(root, name, def);
    if (!added) lf_logAddFailed(*this);
    value = def;
    logValue();
    return added;
}

template <>
bool Parameter<int>::addToXml(pugi::xml_node root) {
    const bool added = gf_appendIntParameterNode(root, name, def);
    if (!added) lf_logAddFailed(*this);
    value = def;
    logValue();
    return added;
}

template <>
bool Parameter<std::string>::addToXml(pugi::xml_node root) {
    const bool added = gf_appendParameterNode(root, name, def);
    if (!added) lf_logAddFailed(*this);
    value = def;
    logValue();
    return added;
}

// ---- set and save --------------------------------------------------------------

template <>
void Parameter<bool>::save() {
    lf_saveValue(name, lf_boolText(value));
}

template <>
void Parameter<int>::save() {
    lf_saveValue(name, fmt::format("{}", value.get()));
}

template <>
void Parameter<std::string>::save() {
    lf_saveValue(name, value.get());
}

template <>
void Parameter<std::string>::set(const std::string& text) {
    value = text;
    save();
}

// ---- load --------------------------------------------------------------------

void gf_readOrAddBool(pugi::xml_document& document, Parameter<bool>& parameter) {
    lf_readOrAdd(document, parameter, gf_appendBoolParameterNode);
}

void gf_readOrAddInt(pugi::xml_document& document, Parameter<int>& parameter) {
    lf_readOrAdd(document, parameter, gf_appendIntParameterNode);
}

void gf_readOrAddString(pugi::xml_document& document, Parameter<std::string>& parameter) {
    lf_readOrAdd(document, parameter, gf_appendParameterNode);
}

void gf_readParametersXml(const clv::ParameterLoadLists& lists) {
    gf_log(gf_banner(70, 0, true, false, "parameters"));
    const fs::path path(g_parametersXmlPath);
    {
        std::lock_guard lock(g_storeMutex);
        pugi::xml_document document;
        const pugi::xml_parse_result loaded = document.load_file(path.c_str());
        if (!loaded) {
            lf_keepUnreadableFile(loaded, path);
            gf_log("{} not found, default values taken:", g_parametersXmlPath);
            lf_fillNewFile(document, lists);
        } else {
            gf_log("from \"{}\"", g_parametersXmlPath);
            lf_readAll(document, lists);
        }
        gf_saveXml(document, path);
    }
    // The controls are set once the file is released: a real port hands these to
    // the UI thread, which may itself be waiting to save a setting.
    lf_showInControls(lists);
    gf_log(gf_banner(70, 10, false, true, ""));
}

void gf_readParametersXml() { gf_readParametersXml(gf_parameterLoadLists()); }

// ---- edit fields ---------------------------------------------------------------

void gf_setIntEdit(const ControlParameter<int>& parameter) {
    gf_uiPort().setText(parameter.handle.load(), fmt::format("{}", parameter.value.get()));
    gf_uiPort().requestRepaint();
}

void gf_setFloatEdit(const ControlParameter<float>& parameter) {
    gf_uiPort().setText(parameter.handle.load(), gf_numberText(parameter.value));
    gf_uiPort().requestRepaint();
}

void gf_setStringEdit(const ControlParameter<std::string>& parameter) {
    gf_uiPort().setText(parameter.handle.load(), parameter.value.get());
    gf_uiPort().requestRepaint();
}
