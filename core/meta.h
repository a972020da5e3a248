#pragma once
// The "meta" header of the XML data files the program writes for itself: who
// wrote the file, with which version, when, and for which simulator.
#include <string>
#include <string_view>

#include "core/parameter.h"

namespace pugi {
class xml_document;
}

// "MSFS" (2020) or "MSFS2024"; set by the writers of data files before they write.
extern clv::ParamValue<std::string> g_simulatorWord;

// "/meta/info[@name='KEY']"; the key is inserted as it is.
std::string gf_metaXPath(std::string_view key);

// Appends "meta" as the last top-level element with the entries author, version,
// date, copyright and MSFS ("2020" when the simulator word is exactly "MSFS",
// else "2024"). False as soon as an element or attribute cannot be created.
bool gf_writeMeta(pugi::xml_document& document);
// The same for the given simulator word, for writers on worker threads that must
// not depend on a word another thread sets.
bool gf_writeMeta(pugi::xml_document& document, std::string_view simulatorWord);

// Reads author, date and version (in this order) into the meta entry objects,
// stopping at the first that is missing; then logs the marked line
// "meta data incorrect?" and returns false.
bool gf_readMeta(const pugi::xml_document& document);
