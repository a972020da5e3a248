#pragma once
// parameters.xml: the settings' store. The load at start reads every listed
// setting (adding what is missing with its default); each later change is saved
// alone by Parameter<T>::save. One process-wide lock serialises every
// load-change-write of the file, and the file is replaced through a temporary
// file, so overlapping saves from different threads lose nothing.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/parameters.h"

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

// "/parameters/parameter[@name='KEY']"; the key is inserted as it is (keys hold
// no apostrophe).
std::string gf_parameterXPath(std::string_view key);

// Append a "parameter" element with "name" and "value" to a document or element;
// true when the element and both attributes were created.
bool gf_appendParameterNode(pugi::xml_node parent, const std::string& name, const std::string& text);
bool gf_appendBoolParameterNode(pugi::xml_node parent, const std::string& name, bool value);  // "true"/"false"
bool gf_appendIntParameterNode(pugi::xml_node parent, const std::string& name, std::int32_t value);

// Sets an existing attribute to the decimal value; false when the node has none.
bool gf_setIntAttribute(pugi::xml_node node, const char* attribute, std::int32_t value);

// One setting of a loaded document: read; when its element is missing and the
// document has the root "parameters", append the setting with its default.
void gf_readOrAddBool(pugi::xml_document& document, Parameter<bool>& parameter);
void gf_readOrAddInt(pugi::xml_document& document, Parameter<int>& parameter);
void gf_readOrAddString(pugi::xml_document& document, Parameter<std::string>& parameter);

// The load at start (on the run thread, once the window's controls exist):
// reads parameters.xml at g_parametersXmlPath, or makes a new one with the
// defaults; completes and saves it; then shows the values in the check boxes,
// the int edits and the string edits of the lists.
void gf_readParametersXml(const clv::ParameterLoadLists& lists);
void gf_readParametersXml();  // with the program's lists

// Write the current value into the setting's edit field and have the window redrawn.
void gf_setIntEdit(const ControlParameter<int>& parameter);          // "{}"
void gf_setFloatEdit(const ControlParameter<float>& parameter);      // gf_numberText
void gf_setStringEdit(const ControlParameter<std::string>& parameter);
