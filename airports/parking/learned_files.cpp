#include "airports/parking/learned_files.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/files/apf_parameters.h"
#include "airports/files/apf_quality.h"
#include "airports/files/apf_writer.h"
#include "airports/files/stand_adjacency.h"
#include "airports/parking/apf_locate.h"
#include "airports/parking/apf_reader.h"
#include "airports/parking/park_state.h"
#include "airports/parking/parking_hooks.h"
#include "core/clock.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/meta.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "core/text.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "link/user_aircraft.h"
#include "stands/half_hours.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kArchiveWord = "archive";
constexpr std::string_view kAirportsWord = "airports";
constexpr std::string_view kEncodedBlank = "%20";
constexpr const char* kStockPublisher = "stock";
constexpr const char* kSimaddonPublisher = "simaddon";

// Built anew piece by piece: replacing in place made g++ 12 warn of a copy bound it
// could not rule out (-Wstringop-overflow) in the Release build.
void lf_replaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, start)) {
        out.append(text, start, at - start);
        out.append(to);
        start = at + from.size();
    }
    out.append(text, start);
    text = std::move(out);
}

}  // namespace

std::string gf_publisherFolderName(std::string_view publisher) {
    std::string name(publisher);
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\\', '_');
    if (name == "." || name == "..") name = "_";
    return name;
}

fs::path gf_learnedFolderOf(const std::string& publisher) {
    if (publisher == kStockPublisher) return g_learnedStockFolder;
    if (publisher == kSimaddonPublisher) return g_learnedSimaddonFolder;
    return g_learnedThirdpartyFolder / gf_publisherFolderName(publisher);
}

fs::path gf_archivePath(const std::string& pathText, const std::string& publisher) {
    if (pathText.empty()) return {};
    const std::string learned = gf_pathText(g_learnedFolder);
    std::string text = pathText;
    if (const auto at = text.find(kArchiveWord); at != std::string::npos) {
        text.replace(at, kArchiveWord.size(), learned);
        std::replace(text.begin(), text.end(), '/', gf_pathSeparator());
        lf_replaceAll(text, kEncodedBlank, " ");
        return text;
    }
    if (!text.starts_with(kAirportsWord)) return text;
    // A local file's learning is saved in its publisher's folder (gf_saveApf), so
    // it is read back from there: my_thirdparty files of a publisher land in
    // thirdparty/<publisher> as ever, and the scan's simaddon files in
    // ra_vudovodo in simaddon.
    return gf_learnedFolderOf(publisher) / fs::path(text).filename();
}

// ---- merging -------------------------------------------------------------------

clv::LearnedFileHooks learnedFileHooks;
std::atomic<bool> apfParamsChanged{false};
std::atomic<std::int32_t> learningUpdateCount{0};

void gf_countLearnedUpdate() { gf_parkingHooks().showLearnedUpdates(++learningUpdateCount); }

void gf_resetLearnedUpdates() {
    if (learningUpdateCount.exchange(0) != 0) gf_parkingHooks().showLearnedUpdates(0);
}

namespace {

constexpr const char* kReadLearnedName = "lf_readLearned";
constexpr std::int32_t kDefaultParkingPercentage = 30;
constexpr std::int32_t kNoMaxLive = -1;
constexpr const char* kUnloadableCopyMark = "0";

template <typename T>
T lf_clamped(T value, const ControlParameter<T>& parameter) {
    return std::clamp(value, parameter.min, parameter.max);
}

void lf_logSetting(const std::string& key, const std::string& value) { gf_logIndented("{:24}: {}", key, value); }

// A check box setting, when the file has it.
void lf_restoreBool(const pugi::xml_document& document, ControlParameter<bool>& parameter) {
    const std::optional<bool> value = lf_readBoolParameter(document, parameter.name);
    if (!value) return;
    parameter.value = *value;
    gf_uiPort().setChecked(parameter.handle, *value);
    lf_logSetting(parameter.name, *value ? "true" : "false");
}

void lf_restoreLateralRange(const pugi::xml_document& document) {
    if (const auto range = lf_readIntParameter(document, LATERAL_RANGE.name)) {
        const std::int32_t clamped = lf_clamped(*range, LATERAL_RANGE);
        LATERAL_RANGE.value = clamped;
        lateralRangeNm = static_cast<double>(clamped);
        lateralRangeMeters = static_cast<std::int32_t>(clamped * clv::kMetresPerNm);
        gf_setIntEdit(LATERAL_RANGE);
        gf_uiPort().setEnabled(LATERAL_RANGE.handle, true);
        lf_logSetting(LATERAL_RANGE.name, std::to_string(*range));
    }
    lf_restoreBool(document, AUTO_RANGE);
    if (AUTO_RANGE.value) {
        // The user's own range is remembered while the automatic one rules.
        lateralRangeInUse = LATERAL_RANGE.value.get();
        if (learnedFileHooks.updateRangeLimits) learnedFileHooks.updateRangeLimits();
        gf_uiPort().setEnabled(LATERAL_RANGE.handle, false);
    } else {
        gf_uiPort().setEnabled(LATERAL_RANGE.handle, true);
        const double nm = lateralRangeInUse.load();
        lateralRangeNm = nm;
        lateralRangeMeters = static_cast<std::int32_t>(nm * clv::kMetresPerNm);
        LATERAL_RANGE.value = std::clamp(static_cast<std::int32_t>(nm), LATERAL_RANGE.min, LATERAL_RANGE.max);
        gf_setStatusLine(std::string(), false);
    }
    gf_setIntEdit(LATERAL_RANGE);
}

void lf_restoreSettings(const pugi::xml_document& document) {
    lf_restoreBool(document, LEARN_SOFT);
    if (const auto maxLive = lf_readIntParameter(document, MAX_LIVE.name)) {
        MAX_LIVE.value = lf_clamped(*maxLive, MAX_LIVE);
        lf_logSetting(MAX_LIVE.name, std::to_string(*maxLive));
    } else {
        MAX_LIVE.value = kNoMaxLive;
    }
    gf_setIntEdit(MAX_LIVE);
    lf_restoreLateralRange(document);
    lf_restoreBool(document, PARK_FAKE);
    lf_restoreBool(document, WEEK);
    lf_restoreBool(document, PARK_SOFT);
    if (const auto percentage = lf_readIntParameter(document, parking_percentage.name)) {
        parking_percentage.value = *percentage;  // as the file says: a handmade file may ask for more
        lf_logSetting(parking_percentage.name, std::to_string(*percentage));
    } else {
        parking_percentage.value = kDefaultParkingPercentage;
    }
    gf_setIntEdit(parking_percentage);
    lf_restoreBool(document, INITIAL_LOAD_ONLY);
    if (const auto maxFit = lf_readIntParameter(document, MAX_FIT.name)) {
        MAX_FIT.value = lf_clamped(*maxFit, MAX_FIT);
        const float hours = static_cast<float>(MAX_FIT.value.get()) * 0.5f + 0.5f;
        MAX_FIT_FL.value = hours;
        gf_setFloatEdit(MAX_FIT_FL);
        gf_logIndented("{:24}: {} (max number of half hours, is {} hrs decimal)", MAX_FIT.name, MAX_FIT.value.get(),
                       gf_numberText(hours));
    }
}

// The learned file that does not load is kept aside under <name>0.xml, where the
// next save cannot overwrite it.
void lf_keepUnloadable(const fs::path& path) {
    const std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    std::error_code ec;
    if (dot != std::string::npos && fs::exists(path, ec)) {
        std::string copyName = name;
        copyName.insert(dot, kUnloadableCopyMark);
        fs::copy_file(path, path.parent_path() / copyName, fs::copy_options::overwrite_existing);
    }
}

clv::LearnedParkpos lf_readLearnedEntry(const pugi::xml_node& parkpos) {
    clv::LearnedParkpos entry;
    entry.id = parkpos.attribute(kParkposId).value();
    const clv::LogHold capture(entry.lines);
    if (parkpos.attribute(kParkposManual).as_bool(false)) {
        entry.manual = true;
        const double latitude = parkpos.attribute(kParkposLatitude).as_double(0.0);
        const double longitude = parkpos.attribute(kParkposLongitude).as_double(0.0);
        const double radius = parkpos.attribute(kParkposRadius).as_double(0.0);
        entry.incomplete = gf_isNullPosition(latitude, longitude) || radius == 0.0;
        if (entry.incomplete) return entry;
        std::vector<clv::Stand> read;
        lf_readParkpos(parkpos, entry.id, 0, read);
        if (!read.empty()) entry.stand = std::move(read.front());
        return entry;
    }
    entry.radiusChange = parkpos.attribute(kParkposRadiusChange).as_bool(false);
    if (entry.radiusChange) entry.radius = parkpos.attribute(kParkposRadius).as_double(0.0) * clv::kNmPerMetre;
    entry.cargoChange = parkpos.attribute(kParkposCargoChange).as_bool(false);
    if (entry.cargoChange) entry.cargo = parkpos.attribute(kParkposCargo).as_bool(false);
    for (const pugi::xml_node opt : parkpos.children(kApfOptElement)) {
        entry.options.push_back(lf_readOpt(opt, 0, 0));
        entry.keys.push_back(gf_optionKey(entry.options.back()));
    }
    return entry;
}

// The first stand of each name, kept up as manual stands are added.
using StandIndex = std::unordered_map<std::string, std::size_t>;

StandIndex lf_standIndex(const std::vector<clv::Stand>& stands) {
    StandIndex index;
    index.reserve(stands.size());
    for (std::size_t k = 0; k < stands.size(); ++k) index.emplace(stands[k].name, k);
    return index;
}

void lf_mergeManualStand(clv::LearnedParkpos&& entry, const fs::path& path, StandIndex& index,
                         std::vector<clv::Stand>& stands) {
    if (index.contains(entry.id)) {
        gf_logMarked("manually created standid {} already exists in {}", entry.id, gf_pathText(path));
        return;
    }
    if (entry.incomplete) {
        gf_logMarked("manually created standid {} misses correct attributes in {}", entry.id, gf_pathText(path));
        return;
    }
    gf_logLines(entry.lines);
    if (!entry.stand) return;
    entry.stand->manual = true;
    index.emplace(entry.id, stands.size());
    stands.push_back(std::move(*entry.stand));
}

// The options of one stand by a hash of what lf_sameOption compares for
// equality (open addressing, reused from stand to stand): a stand is merged in
// linear time.
class OptionTable {
public:
    void reset(std::size_t options) {
        const std::size_t size = std::bit_ceil(options * 2 + 1);
        slots_.assign(size, kEmpty);
        keys_.resize(size);
        mask_ = size - 1;
    }
    void add(std::size_t key, std::uint32_t index) {
        std::size_t at = key & mask_;
        while (slots_[at] != kEmpty) at = (at + 1) & mask_;
        slots_[at] = index;
        keys_[at] = key;
    }
    // Whether any option of the key is equal to `option`.
    bool knows(std::size_t key, const clv::StandOption& option, const std::vector<clv::StandOption>& options) const {
        for (std::size_t at = key & mask_; slots_[at] != kEmpty; at = (at + 1) & mask_) {
            if (keys_[at] == key && lf_sameOption(options[slots_[at]], option)) return true;
        }
        return false;
    }

private:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;
    std::vector<std::uint32_t> slots_;
    std::vector<std::size_t> keys_;
    std::size_t mask_ = 0;
};

void lf_mergeLearnedEntry(clv::LearnedParkpos&& entry, clv::Stand& stand, OptionTable& table) {
    if (entry.radiusChange) {
        stand.radius = entry.radius;
        stand.radiusChanged = true;
    }
    if (entry.cargoChange) {
        stand.cargo = entry.cargo;
        stand.cargoChanged = true;
    }
    gf_logLines(entry.lines);
    if (entry.options.empty()) return;
    table.reset(stand.options.size() + entry.options.size());
    for (std::size_t k = 0; k < stand.options.size(); ++k) {
        table.add(gf_optionKey(stand.options[k]), static_cast<std::uint32_t>(k));
    }
    stand.options.reserve(stand.options.size() + entry.options.size());
    std::uint32_t nextId = stand.options.empty() ? 1 : stand.options.back().id + 1;
    for (std::size_t k = 0; k < entry.options.size(); ++k) {
        clv::StandOption& option = entry.options[k];
        const std::size_t key = entry.keys[k];
        if (table.knows(key, option, stand.options)) continue;
        option.id = nextId++;
        table.add(key, static_cast<std::uint32_t>(stand.options.size()));
        stand.options.push_back(std::move(option));
    }
}

// The learned stands into `stands`, whose first stand of each name takes them.
void lf_mergeEntries(clv::LearnedLoad& load, std::vector<clv::Stand>& stands) {
    StandIndex index = lf_standIndex(stands);
    OptionTable table;
    for (clv::LearnedParkpos& entry : load.parkpos) {
        if (entry.manual) {
            lf_mergeManualStand(std::move(entry), load.path, index, stands);
            continue;
        }
        const auto found = index.find(entry.id);
        if (found == index.end()) {
            gf_log("learned stand {} in {} not found?", entry.id, gf_pathText(load.path));
            continue;
        }
        lf_mergeLearnedEntry(std::move(entry), stands[found->second], table);
    }
}

// What gf_readMeta accepts, without taking the meta data over.
bool lf_metaComplete(const pugi::xml_document& document) {
    for (const std::string* key : {&author.name, &date.name, &version.name}) {
        if (!document.select_node(gf_metaXPath(*key).c_str()).node()) return false;
    }
    return true;
}

}  // namespace

void lf_premergeLearned(clv::LearnedLoad& load, std::vector<clv::Stand>& stands) {
    if (!load.document || load.handmade || !lf_metaComplete(*load.document)) return;
    load.premerged = true;
    try {
        const clv::LogHold capture(load.mergeLines);
        lf_mergeEntries(load, stands);
    } catch (const std::exception&) {
        // Thrown where lf_mergeLearned would have met it, ahead of a reading error.
        load.error = std::current_exception();
    }
    try {
        // What is left of the learned stands is freed here rather than on the run thread.
        std::vector<clv::LearnedParkpos>().swap(load.parkpos);
        for (std::size_t k = 0; k < stands.size(); ++k) stands[k].id = static_cast<std::uint32_t>(k + 1);
        gf_computeAdjacency(stands);
        load.quality = gf_qualityFactor(stands);
        load.arranged = true;
    } catch (const std::exception&) {
        // The run thread numbers and arranges them as usual.
    }
}

std::size_t gf_optionKey(const clv::StandOption& option) {
    const std::hash<std::string_view> hash;
    std::size_t key = hash(option.registration);
    key = key * 31 + hash(option.airline);
    key = key * 31 + hash(option.type);
    return key * 31 + option.weekday * 2 + static_cast<std::size_t>(option.real);
}

bool lf_sameOption(const clv::StandOption& a, const clv::StandOption& b) {
    return a.weekday == b.weekday && a.real == b.real && a.registration == b.registration &&
           a.airline == b.airline && a.type == b.type && (a.hours.bits() & b.hours.bits()) != 0;
}

clv::LearnedLoad lf_loadLearned(const fs::path& path) {
    clv::LearnedLoad load;
    load.path = path;
    try {
        auto document = std::make_unique<pugi::xml_document>();
        const pugi::xml_parse_result loaded = document->load_file(path.c_str());
        if (!loaded) {
            load.loadFailure = loaded.description();
            lf_keepUnloadable(path);
            return load;
        }
        load.handmade = lf_readTextParameter(*document, g_apfHandmadeKey);
        // The merge needs the file's meta data and settings only: the stands stay
        // here, and so does freeing them.
        auto heading = std::make_shared<pugi::xml_document>();
        for (const pugi::xml_node node : document->children()) {
            if (std::string_view(node.name()) != kApfParkpositionsElement) heading->append_copy(node);
        }
        load.document = heading;
        const pugi::xml_node parkpositions = document->child(kApfParkpositionsElement);
        if (!parkpositions) return load;
        if (load.handmade) {
            const clv::LogHold capture(load.standLines);
            lf_readStands(parkpositions, load.stands);
            return load;
        }
        for (const pugi::xml_node parkpos : parkpositions.children(kApfParkposElement)) {
            load.parkpos.push_back(lf_readLearnedEntry(parkpos));
        }
    } catch (...) {
        load.error = std::current_exception();
    }
    return load;
}

void lf_mergeLearned(clv::LearnedLoad&& load, clv::ApfInfo& summary) {
    const fs::path& path = load.path;
    try {
        if (!load.document) {
            if (load.error) std::rethrow_exception(load.error);
            gf_log("{} found, but could not be loaded, saved as *.0.xml: {}", gf_pathText(path), load.loadFailure);
            return;
        }
        const pugi::xml_document& document = *load.document;
        gf_log("Read from learned airport file: \"{}\"", gf_pathText(path));
        if (!gf_readMeta(document)) return;
        const std::string name = lf_readTextParameter(document, g_apfAirportNameKey).value_or(std::string());
        if (name != summary.airport_name) {
            gf_setStatusLine(fmt::format("Warning: learned file airport name: \"{}\" differs from archived file "
                                         "airport name: \"{}\"",
                                         name, summary.airport_name),
                             true);
        }
        lf_restoreSettings(document);
        if (load.handmade) {
            handmadeFile = true;
            standList = std::move(load.stands);
            gf_logLines(load.standLines);
            if (load.error) std::rethrow_exception(load.error);
            gf_logIndented("{:24}: {}", g_apfHandmadeKey, *load.handmade);
            return;
        }
        handmadeFile = false;
        if (load.premerged) {
            gf_logLines(load.mergeLines);
        } else {
            lf_mergeEntries(load, standList);
        }
        if (load.error) std::rethrow_exception(load.error);
    } catch (const std::exception& e) {
        gf_log(gf_formatNameMessage("{}: {}", kReadLearnedName, e.what()));
    }
}

void lf_readLearned(const fs::path& path, clv::ApfInfo& summary) { lf_mergeLearned(lf_loadLearned(path), summary); }

// ---- saving --------------------------------------------------------------------

void gf_saveApf() {
    clv::ApfData data;
    data.code = gf_currentParkAirportCode();
    data.airport_name = parkApfInfo.airport_name;
    data.publisher = parkApfInfo.publisher;
    data.altitude = parkApfInfo.altitude;
    data.Qf_real = 0;
    data.Qf_soft = 0;
    const bool handmade = handmadeFile.load();
    for (clv::Stand& stand : standList) {
        if (!handmade) {
            // The main file's options are the main file's: only learning is saved.
            std::erase_if(stand.options, [](const clv::StandOption& o) { return o.fixed == 1; });
            if (!stand.manual && stand.options.empty() && !stand.radiusChanged && !stand.cargoChanged) continue;
        }
        data.stands.push_back(stand);
    }
    if (handmade) {
        const clv::QualityFactors quality = gf_qualityFactor();
        data.Qf_real = quality.real;
        data.Qf_soft = quality.soft;
    }
    const fs::path folder = gf_learnedFolderOf(data.publisher);
    const fs::path path = folder / gf_xmlFilePath(data.code);
    bool saved = false;
    if (gf_isSafeAirportCode(data.code)) {
        if (!fs::exists(folder)) fs::create_directory(folder);
        g_simulatorWord = MSFS_2020.value ? "MSFS" : "MSFS2024";
        saved = gf_writeApf(data, path, kApfLearnedMode);
    }
    const std::string now = gf_dateTimeString(gf_now());
    const std::string time = now.size() >= 13 ? now.substr(now.size() - 13, 8) : now;
    const std::int32_t updates = learningUpdateCount.load();
    if (saved) {
        gf_setStatusLine(fmt::format("{}{} \"{}\" saved with {} update{} {}", time, handmade ? " handmade" : "",
                                     gf_pathText(path), updates, gf_plural(updates),
                                     apfParamsChanged ? "and one or more parameter changes" : ""),
                         true);
    } else {
        gf_setStatusLine(fmt::format("{} saving \"{}\" did not succeed", time, gf_pathText(path)), true);
    }
    gf_resetLearnedUpdates();
    apfParamsChanged = false;
}
