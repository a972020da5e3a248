#include "airports/parking/apf_reader.h"

#include <charconv>
#include <cmath>
#include <exception>
#include <optional>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/files/apf_parameters.h"
#include "airports/files/apf_quality.h"
#include "airports/files/stand_adjacency.h"
#include "airports/parking/learned_files.h"
#include "airports/parking/live_stands.h"
#include "core/log.h"
#include "core/meta.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/ui_port.h"
#include "core/user_error.h"
#include "liveries/dbase.h"
#include "liveries/dbase_queries.h"
#include "stands/half_hours.h"

clv::ApfReadHooks apfReadHooks;

namespace {

constexpr const char* kFunctionName = "gf_readApf";
constexpr std::string_view kLocalPrefix = "airports";
constexpr std::size_t kOptionReserve = 256;
constexpr std::int32_t kNoLearnedFilePercentage = 30;
constexpr std::int32_t kMissingAltitudeError = 65;
constexpr std::int32_t kRepeatedStandError = 94;

// The decimal number at the start of the text (blanks and a '+' before it
// allowed); 0 when there is none or it is not finite.
double lf_leadingNumber(const char* text) {
    std::string_view s(text);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    if (s.starts_with('+')) s.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::fixed);
    (void)end;
    if (error != std::errc() || !std::isfinite(value)) return 0.0;
    return value;
}

double lf_numberAttribute(const pugi::xml_node& node, const char* name) {
    return lf_leadingNumber(node.attribute(name).value());
}

bool lf_flagAttribute(const pugi::xml_node& node, const char* name) { return gf_xmlFlag(node.attribute(name).value()); }

}  // namespace

clv::OptIdentity lf_readOptIdentity(const pugi::xml_node& opt) {
    clv::OptIdentity identity;
    const std::string_view cs = opt.attribute(kOptCallsigns).value();
    const std::size_t colon = cs.find(g_apfCallsignSeparator);
    if (colon == std::string_view::npos) {
        identity.callsign = cs;
    } else {
        identity.callsign = cs.substr(0, colon);
        const std::string_view rest = cs.substr(colon + 1);
        if (rest.find(g_apfCallsignSeparator) == std::string_view::npos) identity.secondCallsign = rest;
    }
    const std::string_view reg = opt.attribute(kOptReg).value();
    const std::optional<clv::RegRecord> record = reg.empty() ? std::nullopt : gf_regRecordOf(reg);
    if (record) {
        identity.airline = record->opr.empty() ? record->airl : record->opr;
        identity.type = record->type;
    } else {
        identity.airline = opt.attribute(kOptAirline).value();
        identity.type = opt.attribute(kOptType).value();
    }
    return identity;
}

clv::StandOption lf_readOpt(const pugi::xml_node& opt, std::uint32_t id, std::uint32_t fixed) {
    clv::OptIdentity identity = lf_readOptIdentity(opt);
    clv::StandOption option;
    option.airline = std::move(identity.airline);
    option.type = std::move(identity.type);
    option.registration = opt.attribute(kOptReg).value();
    option.callsign = std::move(identity.callsign);
    option.secondCallsign = std::move(identity.secondCallsign);
    option.hours = gf_hours2bitset(opt.attribute(kOptHours).value());
    option.id = id;
    option.weekday = opt.attribute(kOptDay).as_uint(0);
    option.fixed = fixed;
    option.real = lf_flagAttribute(opt, kOptSoft) ? 0 : 1;
    return option;
}

void lf_readStands(const pugi::xml_node& parkpositions) { lf_readStands(parkpositions, standList); }

void lf_readStands(const pugi::xml_node& parkpositions, std::vector<clv::Stand>& stands) {
    std::unordered_set<std::string> ids;
    for (const pugi::xml_node parkpos : parkpositions.children(kApfParkposElement)) {
        std::string id = parkpos.attribute(kParkposId).value();
        if (!ids.insert(id).second) {
            throw clv::UserErrorException(kRepeatedStandError,
                                          fmt::format("Parking position {} appears more than once?", id));
        }
        lf_readParkpos(parkpos, std::move(id), 1, stands);
    }
}

void lf_readParkpos(const pugi::xml_node& parkpos, std::string name, std::uint32_t fixed) {
    lf_readParkpos(parkpos, std::move(name), fixed, standList);
}

void lf_readParkpos(const pugi::xml_node& parkpos, std::string name, std::uint32_t fixed,
                    std::vector<clv::Stand>& stands) {
    const double latitude = lf_numberAttribute(parkpos, kParkposLatitude);
    const double longitude = lf_numberAttribute(parkpos, kParkposLongitude);
    if (latitude == 0.0 && longitude == 0.0) return;
    const double radiusMetres = lf_numberAttribute(parkpos, kParkposRadius);

    std::vector<clv::StandOption> options;
    options.reserve(kOptionReserve);
    std::uint32_t k = 0;
    for (const pugi::xml_node opt : parkpos.children(kApfOptElement)) {
        options.push_back(lf_readOpt(opt, ++k, fixed));
    }
    options.shrink_to_fit();

    const clv::StandKinds kinds{lf_flagAttribute(parkpos, kParkposCargo), lf_flagAttribute(parkpos, kParkposRamp),
                                lf_flagAttribute(parkpos, kParkposHeli)};
    const double heading = lf_numberAttribute(parkpos, kParkposHeading) * clv::kDegToRad;
    stands.emplace_back(std::move(name), std::move(options), latitude, longitude, heading, radiusMetres, kinds);
}

clv::ApfLoad gf_loadApf(const std::filesystem::path& file, const std::string& name) {
    clv::ApfLoad load;
    try {
        pugi::xml_document document;
        const pugi::xml_parse_result loaded = document.load_file(file.c_str());
        if (!loaded) {
            load.failure = fmt::format("{} could not be loaded: {}", name, loaded.description());
            return load;
        }
        if (!gf_readMeta(document)) {
            load.failure = fmt::format("{} but refused to load, copyright problem", name);
            return load;
        }
        load.rtTrafficWeek = lf_readIntParameter(document, g_apfRtTrafficWeekKey).value_or(0);
        load.publisher = lf_readTextParameter(document, g_apfPublisherKey).value_or(std::string());
        load.altitude = lf_readIntParameter(document, g_apfAltitudeKey);
        if (!load.altitude) return load;  // the stands are not read: applying it ends in the user error
        load.airportName = lf_readTextParameter(document, g_apfAirportNameKey).value_or(std::string());
        try {
            if (const pugi::xml_node parkpositions = document.child(kApfParkpositionsElement)) {
                lf_readStands(parkpositions, load.stands);
            }
        } catch (...) {
            load.standsError = std::current_exception();
            return load;
        }
        load.quality = {lf_readIntParameter(document, g_apfQfRealKey).value_or(-1),
                        lf_readIntParameter(document, g_apfQfSoftKey).value_or(-1)};
    } catch (...) {
        load.loadError = std::current_exception();
    }
    return load;
}

std::string gf_applyApfLoad(clv::ApfLoad&& load, clv::ApfInfo& summary, clv::QualityFactors& quality) {
    if (load.loadError && !load.altitude) std::rethrow_exception(load.loadError);
    if (!load.failure.empty()) return std::move(load.failure);
    rtTrafficWeek = load.rtTrafficWeek;
    summary.publisher = std::move(load.publisher);
    if (!load.altitude) throw clv::UserErrorException(kMissingAltitudeError, "Parameter " + g_apfAltitudeKey + " not found");
    summary.altitude = *load.altitude;
    if (apfReadHooks.setParkAirportAltitude) apfReadHooks.setParkAirportAltitude(*load.altitude);
    summary.airport_name = std::move(load.airportName);
    if (standList.empty()) {
        standList.swap(load.stands);
    } else {
        standList.insert(standList.end(), std::make_move_iterator(load.stands.begin()),
                         std::make_move_iterator(load.stands.end()));
    }
    if (load.standsError) std::rethrow_exception(load.standsError);
    if (load.loadError) std::rethrow_exception(load.loadError);
    quality = load.quality;
    return {};
}

std::string gf_loadApfStands(const std::filesystem::path& file, const std::string& name, clv::ApfInfo& summary,
                             clv::QualityFactors& quality) {
    return gf_applyApfLoad(gf_loadApf(file, name), summary, quality);
}

namespace clv {

void ApfReadJob::start(std::filesystem::path file, std::string name) {
    wait();
    file_ = std::move(file);
    name_ = std::move(name);
    load_ = {};
    learned_ = {};
    learning_ = false;
    done_.store(false, std::memory_order_relaxed);
    worker_ = std::thread([this] {
        std::vector<Stand>().swap(spent_);
        load_ = gf_loadApf(file_, name_);
        done_.store(true, std::memory_order_release);
    });
}

void ApfReadJob::startLearned(ApfLoad load, std::filesystem::path path,
                              std::function<LearnedLoad(const std::filesystem::path&)> loadLearned,
                              std::function<void(LearnedLoad&, std::vector<Stand>&)> premerge) {
    wait();
    load_ = std::move(load);
    learnedPath_ = std::move(path);
    loadLearned_ = std::move(loadLearned);
    premerge_ = std::move(premerge);
    learned_ = {};
    learning_ = true;
    done_.store(false, std::memory_order_relaxed);
    worker_ = std::thread([this] {
        learned_ = loadLearned_(learnedPath_);
        if (premerge_) premerge_(learned_, load_.stands);
        done_.store(true, std::memory_order_release);
    });
}

LearnedLoad ApfReadJob::takeLearned() {
    wait();
    LearnedLoad learned = std::move(learned_);
    learned_ = {};
    return learned;
}

void ApfReadJob::wait() {
    if (worker_.joinable()) worker_.join();
}

ApfLoad ApfReadJob::take() {
    wait();
    ApfLoad load = std::move(load_);
    load_ = {};
    learning_ = false;
    return load;
}

void ApfReadJob::drop() {
    wait();
    load_ = {};
    learned_ = {};
    learning_ = false;
}

}  // namespace clv

std::string gf_beginReadApf(const std::string& name, clv::ApfReadJob& job) {
    if (name.empty()) return fmt::format("{} xml is empty...", kFunctionName);
    const std::string parkCode = apfReadHooks.parkAirportCode ? apfReadHooks.parkAirportCode() : std::string();
    if (parkCode.empty()) return fmt::format("{} no park airport set", kFunctionName);
    const bool local = name.starts_with(kLocalPrefix);
    if (!local) {
        if (!apfReadHooks.downloadApf) return fmt::format("{} cannot fetch {}: no download server", kFunctionName, name);
        std::string failure = apfReadHooks.downloadApf(name);
        if (!failure.empty()) return failure;
    }
    job.start(local ? std::filesystem::path(name) : g_parkAirportFile, name);
    return {};
}

std::string gf_readApf(const std::string& name, clv::ApfInfo& summary, clv::QualityFactors& quality) {
    clv::ApfReadJob job;
    std::string failure = gf_beginReadApf(name, job);
    if (!failure.empty()) return failure;
    return gf_finishReadApf(job, summary, quality);
}

namespace {

// The learned file as far as a look between ticks has taken it: loaded on a
// worker, or not found (its path worked out already), or left to the end.
struct LearnedStep {
    std::optional<std::filesystem::path> path;
    clv::LearnedLoad* load = nullptr;
};

std::string lf_finishRead(const std::string& name, clv::ApfLoad&& load, LearnedStep step, clv::ApfInfo& summary,
                          clv::QualityFactors& quality) {
    try {
        handmadeFile = false;
        // Stands merged on the worker are numbered and arranged already when they
        // alone make up the stand list.
        const bool arranged = step.load && step.load->arranged && standList.empty();
        const clv::QualityFactors arrangedQuality = step.load ? step.load->quality : clv::QualityFactors{};
        std::string failure = gf_applyApfLoad(std::move(load), summary, quality);
        if (!failure.empty()) return failure;

        std::filesystem::path learned;
        if (step.load) {
            learned = step.load->path;
        } else if (step.path) {
            learned = *step.path;
        } else if (apfReadHooks.archivePath) {
            learned = apfReadHooks.archivePath(name, summary.publisher);
        }
        if (step.load || (!learned.empty() && std::filesystem::exists(learned))) {
            if (step.load && apfReadHooks.mergeLearned) {
                apfReadHooks.mergeLearned(std::move(*step.load), summary);
            } else if (apfReadHooks.readLearned) {
                apfReadHooks.readLearned(learned, summary);
            }
            quality = arranged ? arrangedQuality : gf_qualityFactor();
            if (handmadeFile) gf_log("A handmade airport file overruled the archived file!");
        } else {
            parking_percentage.value = kNoLearnedFilePercentage;
            gf_uiPort().setEnabled(parking_percentage.handle, false);
            gf_setIntEdit(parking_percentage);
            gf_logIndented("{:24}: {}%", parking_percentage.name, kNoLearnedFilePercentage);
        }

        const std::size_t n = standList.size();
        if (!arranged) {
            for (std::size_t k = 0; k < n; ++k) standList[k].id = static_cast<std::uint32_t>(k + 1);
            gf_computeAdjacency(standList);
        }
        gf_standListChanged();

        gf_log("Airport file read from \"{}\" for {}", handmadeFile ? learned.string() : name, summary.airport_name);
        const std::string qualityText = gf_qualityText(quality);
        gf_logIndented("{:24}: {}", g_apfPublisherKey, summary.publisher);
        gf_logIndented("{:24}: {} ft", g_apfAltitudeKey, summary.altitude);
        gf_logIndented("{:24}: {}", g_apfNumParkposKey, n);
        gf_logIndented("{:24}: {}", "quality factor", qualityText);
        gf_logIndented("{:24}: {}", "RT traffic week", rtTrafficWeek.load());

        parkingActive = true;
        gf_uiPort().setEnabled(FLUSH_STATIC_BUTTON.handle, true);
        // Setting changes count from the file just read.
        apfParamsChanged = false;
        if (apfReadHooks.fileRead) {
            apfReadHooks.fileRead(clv::ApfReadReport{n, summary.publisher, handmadeFile, qualityText, summary.altitude});
        }
        return n > 0 ? std::string() : std::string("no stands found");
    } catch (const clv::UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", kFunctionName, e.what());
    }
}

// A file that loaded and was read to its end: its learned file comes next.
bool lf_loadedWhole(const clv::ApfLoad& load) {
    return load.failure.empty() && load.altitude && !load.standsError && !load.loadError;
}

}  // namespace

std::string gf_finishReadApf(clv::ApfReadJob& job, clv::ApfInfo& summary, clv::QualityFactors& quality) {
    if (job.learning()) {
        clv::LearnedLoad learned = job.takeLearned();
        return lf_finishRead(job.name(), job.take(), LearnedStep{std::nullopt, &learned}, summary, quality);
    }
    return lf_finishRead(job.name(), job.take(), LearnedStep{}, summary, quality);
}

std::optional<std::string> gf_continueReadApf(clv::ApfReadJob& job, clv::ApfInfo& summary,
                                              clv::QualityFactors& quality) {
    if (!job.pending() || !job.ready()) return std::nullopt;
    if (job.learning()) return gf_finishReadApf(job, summary, quality);
    clv::ApfLoad load = job.take();
    LearnedStep step;
    if (lf_loadedWhole(load) && apfReadHooks.archivePath && apfReadHooks.loadLearned && apfReadHooks.mergeLearned) {
        try {
            std::filesystem::path learned = apfReadHooks.archivePath(job.name(), load.publisher);
            std::error_code ec;
            if (!learned.empty() && std::filesystem::exists(learned, ec)) {
                job.startLearned(std::move(load), std::move(learned), apfReadHooks.loadLearned,
                                 apfReadHooks.premergeLearned);
                return std::nullopt;
            }
            if (!ec) step.path = std::move(learned);
        } catch (const std::exception&) {
            // The end of the read asks again and reports it as the read in one go does.
        }
    }
    return lf_finishRead(job.name(), std::move(load), step, summary, quality);
}
