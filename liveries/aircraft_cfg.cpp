#include "liveries/aircraft_cfg.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include <fmt/format.h>

#include "core/encoding.h"
#include "core/files.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/text.h"
#include "core/workers.h"
#include "liveries/livery_check.h"

namespace fs = std::filesystem;
using clv::CfgLines;
using clv::LiveryData;

namespace {

constexpr std::size_t kFileLinesReserve = 4048;
constexpr std::size_t kSectionLinesReserve = 48;
constexpr std::size_t kSectionEndColumn = 6;  // "[" before this column ends a section
constexpr std::size_t kMinAtcIdLength = 5;

// `text` from `at` begins with `lowerWord`, compared case-insensitively.
bool lf_startsNoCase(std::string_view text, std::size_t at, std::string_view lowerWord) {
    if (text.size() - at < lowerWord.size()) return false;
    for (std::size_t k = 0; k < lowerWord.size(); ++k) {
        if (gf_lower(text[at + k]) != lowerWord[k]) return false;
    }
    return true;
}

std::size_t lf_skipSpace(std::string_view text, std::size_t at) {
    while (at < text.size() && gf_isSpace(text[at])) ++at;
    return at;
}

std::string lf_keyValueBetweenQuotes(std::string_view line, std::string_view key, bool& found) {
    std::string raw = lf_cfgKeyValue(line, key);
    found = !raw.empty();
    return found ? gf_betweenQuotes(raw) : std::string();
}

}  // namespace

namespace {
thread_local bool t_inBatch = false;
}  // namespace

clv::WorkerSlotRelease::~WorkerSlotRelease() {
    if (!t_inBatch) gf_workerThreadDone();
}

clv::BatchSlot::BatchSlot() { t_inBatch = true; }

clv::BatchSlot::~BatchSlot() {
    t_inBatch = false;
    gf_workerThreadDone();
}

bool gf_cfgContainsNoCase(std::string_view text, std::string_view part) {
    if (part.empty()) return true;
    if (text.size() < part.size()) return false;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < part.size() && gf_lower(text[i + k]) == gf_lower(part[k])) ++k;
        if (k == part.size()) return true;
    }
    return false;
}

std::string gf_cfgUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = gf_upper(c);
    return upper;
}

// ---- key syntax ------------------------------------------------------------------

std::string lf_cfgKeyValue(std::string_view line, std::string_view key) {
    std::size_t i = lf_skipSpace(line, 0);
    if (!lf_startsNoCase(line, i, key)) return {};
    i = lf_skipSpace(line, i + key.size());
    if (i >= line.size() || line[i] != '=') return {};
    i = lf_skipSpace(line, i + 1);
    std::size_t end = line.size();
    while (end > i && gf_isSpace(line[end - 1])) --end;
    if (end == i) return {};
    // "." does not match a line terminator, so one inside the value fails the match.
    for (std::size_t k = i; k < end; ++k) {
        if (line[k] == '\n' || line[k] == '\r') return {};
    }
    return std::string(line.substr(i, end - i));
}

bool lf_readTitle(std::string_view line, std::string& title) {
    bool found = false;
    std::string value = lf_keyValueBetweenQuotes(line, "title", found);
    if (!found || value.empty()) return false;
    title = std::move(value);
    return true;
}

bool lf_readTexture(std::string_view line, std::string& texture) {
    bool found = false;
    std::string value = lf_keyValueBetweenQuotes(line, "texture", found);
    if (!found) return false;
    texture = std::move(value);
    return true;
}

bool lf_readIcaoAirline(std::string_view line, std::string& airline) {
    bool found = false;
    std::string value = lf_keyValueBetweenQuotes(line, "icao_airline", found);
    if (!found) return false;
    airline = value.empty() || value == "ZZZZ" ? std::string("ZZZ") : gf_cfgUpper(value);
    return true;
}

bool lf_readAtcId(std::string_view line, std::string& atcId) {
    bool found = false;
    std::string value = lf_keyValueBetweenQuotes(line, "atc_id", found);
    if (!found || value.size() < kMinAtcIdLength) return false;
    atcId = std::move(value);
    return true;
}

bool lf_readParkingTypes(std::string_view line, std::string& types) {
    bool found = false;
    std::string value = lf_keyValueBetweenQuotes(line, "atc_parking_types", found);
    if (!found || value.empty()) return false;
    types = std::move(value);
    return true;
}

bool lf_isCommentLine(std::string_view line) {
    const std::size_t first = lf_skipSpace(line, 0);
    return line.substr(first).starts_with(";") || line.substr(first).starts_with("//");
}

bool lf_hasAtcIdKey(std::string_view line) {
    return !lf_isCommentLine(line) && line.find("atc_id=") != std::string_view::npos;
}

bool lf_hasParkingTypesKey(std::string_view line) {
    return !lf_isCommentLine(line) && line.find("atc_parking_types") != std::string_view::npos;
}

bool lf_hasIcaoAirlineKey(std::string_view line) {
    return !lf_isCommentLine(line) && line.find("icao_airline") != std::string_view::npos;
}

// ---- sections ----------------------------------------------------------------------

std::string lf_fltsimNumber(std::string_view line) {
    if (line.starts_with("//")) return {};
    // "\s*(\[fltsim\.)(\d+)\]\s*", whole line, case-insensitive.
    std::size_t i = lf_skipSpace(line, 0);
    if (lf_startsNoCase(line, i, "[fltsim.")) {
        std::size_t digits = i + 8;
        std::size_t k = digits;
        while (k < line.size() && line[k] >= '0' && line[k] <= '9') ++k;
        if (k > digits && k < line.size() && line[k] == ']' && lf_skipSpace(line, k + 1) == line.size()) {
            return std::string(line.substr(digits, k - digits));
        }
    }
    if (line.find("[fltsim.") != std::string_view::npos || line.find("[FLTSIM.") != std::string_view::npos) {
        return kFltsimWithoutNumber;
    }
    return {};
}

bool lf_checkFltsimNumbers(const CfgLines& lines, const fs::path& cfgPath) {
    std::vector<std::int32_t> numbers;
    for (const auto& line : lines) {
        std::string text = lf_fltsimNumber(line);
        if (text.empty()) continue;
        std::int32_t number = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (error != std::errc() || end != text.data() + text.size()) {
            gf_logMarked("fltsim num {} incorrect", line);
            return false;
        }
        numbers.push_back(number);
    }
    if (numbers.empty()) {
        emptyCfgList.add(cfgPath.string());
        return true;
    }
    std::sort(numbers.begin(), numbers.end());
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] == static_cast<std::int32_t>(i)) continue;
        std::string reason = numbers[i] == 10000 ? std::string("a [fltsim.] section without a number")
                                                 : fmt::format("non-consecutive [fltsim.x] numbers at .x={}", numbers[i]);
        lf_addInvalidCfgLine(cfgPath.string() + " contains " + reason);
        return false;
    }
    return true;
}

bool gf_openSection(std::string header, clv::SectionCut& cut, CfgLines& completed) {
    bool done = false;
    cut.open = true;
    if (!cut.lines.empty()) {
        completed = std::move(cut.lines);
        done = true;
    }
    cut.lines.clear();
    cut.lines.reserve(kSectionLinesReserve);
    cut.lines.push_back(std::move(header));
    return done;
}

bool gf_closeSection(clv::SectionCut& cut, CfgLines& completed) {
    if (!cut.open) return false;
    completed = std::move(cut.lines);
    cut.lines.clear();
    cut.open = false;
    return !completed.empty();
}

bool lf_fltsimLineStep(std::string line, clv::SectionCut& cut, CfgLines& completed) {
    if (!lf_fltsimNumber(line).empty()) return gf_openSection(std::move(line), cut, completed);
    std::size_t bracket = line.find('[');
    if (bracket != std::string::npos && bracket < kSectionEndColumn) return gf_closeSection(cut, completed);
    if (cut.open) cut.lines.push_back(std::move(line));
    return false;
}

void lf_trimSectionEnd(CfgLines& section) {
    while (!section.empty() && (section.back().empty() || section.back().starts_with("//"))) section.pop_back();
}

// ---- parsing -------------------------------------------------------------------------

fs::path lf_cfgFolder(const fs::path& cfgPath) { return cfgPath.parent_path(); }

bool lf_readCfgLines(const fs::path& cfgPath, CfgLines& lines) {
    std::string failure;
    clv::TextEncoding encoding = gf_detectEncoding(cfgPath, failure);
    if (encoding == clv::TextEncoding::CannotOpen) return false;
    return lf_readCfgLines(cfgPath, encoding, lines, failure);
}

bool lf_readCfgLines(const fs::path& cfgPath, clv::TextEncoding encoding, CfgLines& lines) {
    std::string failure;
    return lf_readCfgLines(cfgPath, encoding, lines, failure);
}

bool lf_readCfgLines(const fs::path& cfgPath, clv::TextEncoding encoding, CfgLines& lines, std::string& failure) {
    std::string text;
    if (!gf_readTextFile(encoding, cfgPath, text, failure)) return false;
    lf_splitCfgLines(text, lines);
    return true;
}

void lf_splitCfgLines(const std::string& text, CfgLines& lines) {
    lines.clear();
    lines.reserve(kFileLinesReserve);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        lines.emplace_back(text, start, stop - start);
        start = end + 1;
    }
}

void lf_reportUnreadableCfg(const fs::path& cfgPath, const std::string& failure) {
    lf_addInvalidCfgLine(cfgPath.string() + " " + failure);
}

std::vector<LiveryData> lf_procesFltSimSection(std::int32_t priority, CfgLines& section, const std::string& modelType,
                                               const fs::path& cfgPath, const fs::path& folder) {
    lf_trimSectionEnd(section);
    if (section.empty()) return {};
    const std::string& header = section.front();
    const std::string folderText = folder.string();

    std::string title;
    std::string airline;
    std::string parkingTypes;
    std::string registration;
    std::string value;

    for (const auto& line : section) {
        if (title.empty() && lf_readTitle(line, value)) {
            title = gf_trim(value);
            if (title.find("FenixA320") != std::string::npos || title.find("PMDG 737") != std::string::npos ||
                (SUPPRESS_STUB.value && title.ends_with("-STUB"))) {
                return {};
            }
            continue;
        }
        if (!title.empty() && lf_readTitle(line, value)) {
            lf_addIncompleteSectionLine(fmt::format("{} {} has more than one title key", folderText, header));
            return {};
        }
        if (airline.empty() && lf_readIcaoAirline(line, value)) {
            clv::AirlineCheck check = lf_checkAirlineCode(value, cfgPath, header);
            if (check == clv::AirlineCheck::Rejected) return {};
            if (check == clv::AirlineCheck::Accepted) airline = value;
            continue;
        }
        if (!airline.empty() && lf_hasIcaoAirlineKey(line)) {
            lf_addIncompleteSectionLine(fmt::format("{} {} has more than one ", folderText, header) + "icao_airline" +
                                        " key");
            return {};
        }
        if (parkingTypes.empty() && lf_readParkingTypes(line, value)) {
            gf_normalizeList(value);
            parkingTypes = gf_cfgUpper(value);
            continue;
        }
        if (!parkingTypes.empty() && lf_hasParkingTypesKey(line)) {
            lf_addIncompleteSectionLine(fmt::format("{} {} has more than one atc_parking_types key", folderText, header));
            return {};
        }
        if (registration.empty() && lf_readAtcId(line, value)) {
            registration = lf_registrationFromAtcId(value, title);
            continue;
        }
        if (!registration.empty() && lf_hasAtcIdKey(line)) {
            lf_addIncompleteSectionLine(fmt::format("{}, {}, has more than one atc_id key", folderText, header));
            return {};
        }
    }

    if (title.empty()) {
        lf_addIncompleteSectionLine(fmt::format("{} {} misses title", folderText, header));
        return {};
    }
    if (lf_isDontUseTitle(title)) return {};
    if (!lf_completeAirline(airline, registration, modelType, title, folder, header)) return {};
    const bool cargo =
        parkingTypes.find("CARGO") != std::string::npos && parkingTypes.find("GATE") == std::string::npos;
    LiveryData livery = lf_newLivery(priority, airline, modelType, !cargo, title, registration);
    if (livery.title.empty()) {
        lf_addIncompleteSectionLine(fmt::format("{} {} title \"{}\" already exists", folderText, header, title));
        return {};
    }
    std::vector<LiveryData> result;
    result.push_back(std::move(livery));
    return result;
}

std::vector<LiveryData> lf_searchLiveriesinFile(std::int32_t priority, fs::path cfgPath) {
    clv::WorkerSlotRelease release;
    const fs::path folder = lf_cfgFolder(cfgPath);
    CfgLines lines;
    std::string text;
    std::string failure;
    bool missing = false;
    // One reading of the file: a scan reads many thousands of them.
    if (!gf_readDetectedTextFile(cfgPath, text, failure, missing)) {
        if (!missing) lf_reportUnreadableCfg(cfgPath, failure);
        return {};
    }
    lf_splitCfgLines(text, lines);
    if (!lf_checkFltsimNumbers(lines, cfgPath)) return {};
    const std::string modelType = lf_cfgModelType(cfgPath, lines);
    if (modelType.empty()) return {};

    std::vector<LiveryData> result;
    clv::SectionCut cut;
    CfgLines completed;
    auto deliver = [&](CfgLines& section) {
        for (auto& livery : lf_procesFltSimSection(priority, section, modelType, cfgPath, folder)) {
            result.push_back(std::move(livery));
        }
    };
    // The model type is known, so the file's lines move into their sections.
    for (auto& line : lines) {
        if (lf_fltsimLineStep(std::move(line), cut, completed)) deliver(completed);
    }
    if (cut.open && !cut.lines.empty()) deliver(cut.lines);
    return result;
}
