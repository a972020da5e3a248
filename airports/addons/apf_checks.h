#pragma once
// Whether an airport's stock file is rich enough to learn from offline, and
// whether an airport file names its publisher well enough.
#include <filesystem>
#include <string>

namespace clv {

// A stock file counts for offline learning from this many weeks of traffic on.
inline constexpr std::int32_t kOfflineLearningWeeks = 23;
// Manufacturer or creator texts shorter than this name nobody.
inline constexpr std::size_t kMinPublisherInfo = 4;

}  // namespace clv

// True when the server's stock file of the airport has a quality factor and at
// least 23 weeks of traffic. The file is fetched into <code>.xml in the current
// folder and never left behind.
bool gf_offlineLearningCheck(const std::string& code);
// The file's "publisher" parameter; "" when it cannot be loaded or has none.
std::string gf_readApfPublisher(const std::filesystem::path& path);
// "" when the file's publisher data is usable, else what is missing
// ("manufacturer=..., creator=...") or "\"<path>\" not found".
std::string gf_checkApfPublisherInfo(const std::filesystem::path& path);
