#pragma once
// Who published an add-on airport: the simulator's own airports ("simaddon"), a
// publisher the reference data base knows, or "unknown"; found from the BGL file's
// path, the data base's publisher groups and the package's manifest.json. Every
// step leaves lines in the airport scan report.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace clv {

// The three texts read from a package's manifest.json.
struct ManifestInfo {
    std::string manufacturer;
    std::string creator;
    std::string title;
};

struct PublisherInfo {
    std::string publisher;
    std::string manufacturer;  // from the manifest when one was read, else empty
    std::string creator;
    std::string title;
};

}  // namespace clv

// The publisher of the add-on that holds the BGL file at `path`, with the texts of
// its manifest when the search read one. Called under the registration lock.
clv::PublisherInfo gf_findPublisher(std::string_view path);

// The manifest of the package that holds the file: the package folder's (the
// folder directly below "Community") when it has one, else the first readable one
// of the file's folders from the innermost outward. Errors end the search with a
// report line and no result.
std::optional<clv::ManifestInfo> lf_searchManifest(std::string_view path);

// "manifest.json" (exactly so) directly in the folder; empty when there is none.
std::filesystem::path lf_findManifestJson(const std::filesystem::path& folder);

// The manifest's texts; none when the file cannot be read, is empty or is not a JSON
// object. Throws the JSON library's errors for text that does not parse or a value
// of the wrong kind.
std::optional<clv::ManifestInfo> lf_readManifestJson(const std::filesystem::path& file);

// The key's value as text; "" when it is missing, null, or an empty object or array.
// Throws the JSON library's type error for a value of another kind.
std::string lf_jsonText(const nlohmann::json& object, const char* key);
