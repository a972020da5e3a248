#include "stands/stand_options.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "core/log.h"
#include "liveries/dbase_queries.h"

namespace {

void lf_dropTrailingUnderscore(std::string& callsign) {
    if (!callsign.empty() && callsign.back() == '_') callsign.pop_back();
}

clv::StandOption* lf_findOption(std::vector<clv::StandOption>& options, std::uint32_t id) {
    if (id == 0) return nullptr;
    auto it = std::find_if(options.begin(), options.end(), [id](const clv::StandOption& o) { return o.id == id; });
    return it == options.end() ? nullptr : &*it;
}

// Takes the back slot of the list into the option's hours.
std::uint32_t lf_takeSlot(std::vector<std::uint32_t>& slots, clv::StandOption& option) {
    const std::uint32_t slot = slots.back();
    option.hours.set(slot);
    slots.pop_back();
    return slot;
}

}  // namespace

bool testRange(const clv::StandOption& option, std::int32_t start, std::int32_t offset, std::int32_t& wrapped) {
    wrapped = -1;
    const std::int64_t low = static_cast<std::int64_t>(start) - offset;
    try {
        for (std::int64_t h = start; h >= std::max<std::int64_t>(low, 0); --h) {
            if (option.hours.test(static_cast<std::uint32_t>(h))) return true;
        }
    } catch (const std::exception& e) {
        gf_logIfRunning("{}exception {} in testRange, start: {}, offset: {}", "===> ", e.what(), start, offset);
        return false;
    }
    if (low < 0) wrapped = static_cast<std::int32_t>(std::min<std::int64_t>(-low, 46));
    return false;
}

bool gf_optMatchesAc(std::string_view callsign, const clv::AcIdentity& aircraft, const clv::StandOption& option) {
    if (option.id == 0 || option.real == 0) return false;
    if (callsign == option.callsign || callsign == option.secondCallsign) return true;
    return aircraft.airline == option.airline && aircraft.type == option.type;
}

std::uint32_t gf_searchOpts(std::vector<clv::StandOption>& options, const clv::AcIdentity& aircraft, std::uint32_t real,
                            clv::Slot now, std::string callsign, const std::string& registration) {
    lf_dropTrailingUnderscore(callsign);
    const clv::HalfHourSet hours = clv::HalfHourSet::single(static_cast<std::uint32_t>(now.halfHour));
    // From the largest id, not the last: the last may be smaller than another.
    std::uint32_t newId = 1;
    for (const clv::StandOption& o : options) newId = std::max(newId, o.id + 1);

    std::string airline = aircraft.airline;
    std::string type = aircraft.type;
    if (!registration.empty()) {
        if (const std::optional<clv::RegRecord> record = gf_regRecordOf(registration)) {
            airline = record->opr.empty() ? record->airl : record->opr;
            type = record->type;
        }
    }
    const auto weekday = static_cast<std::uint32_t>(now.day);
    for (const clv::StandOption& o : options) {
        if (o.id != 0 && o.registration == registration && o.weekday == weekday && o.hours == hours && o.callsign == callsign) {
            return 0;
        }
    }
    options.push_back(clv::StandOption{std::move(airline), std::move(type), registration, std::move(callsign), {}, hours,
                                       newId, weekday, 0, real, false});
    return newId;
}

void gf_findOptFor(std::vector<clv::StandOption>& options, std::uint32_t id, std::string callsign) {
    lf_dropTrailingUnderscore(callsign);
    if (callsign.empty() || id == 0) return;
    clv::StandOption* option = lf_findOption(options, id);
    if (option == nullptr) return;
    if (option->callsign.empty()) {
        option->callsign = std::move(callsign);
    } else if (callsign != option->callsign && callsign != option->secondCallsign) {
        option->secondCallsign = std::move(callsign);
    }
}

void gf_wrappedSlots(std::vector<std::uint32_t>& slots, std::uint32_t count, clv::Slot now) {
    auto h = static_cast<std::int64_t>(now.halfHour);
    for (std::uint32_t i = 0; i < count; ++i) {
        slots.push_back(static_cast<std::uint32_t>(h));
        h = h == 0 ? clv::kHalfHoursInDay - 1 : h - 1;
    }
}

bool updateOptions(std::vector<clv::StandOption>& options, std::vector<std::uint32_t>& slots, std::uint32_t id) {
    clv::StandOption* option = lf_findOption(options, id);
    if (option == nullptr) return false;
    try {
        while (!slots.empty()) lf_takeSlot(slots, *option);
    } catch (const std::exception& e) {
        gf_logMarked("{} exception:{}", "updateOptions", e.what());
        return false;
    }
    return true;
}

bool updateOptionsWrapped(std::vector<clv::StandOption>& options, std::vector<std::uint32_t>& slots,
                          std::uint32_t earlierId, std::uint32_t laterId) {
    clv::StandOption* earlier = lf_findOption(options, earlierId);
    if (earlier == nullptr) return false;
    try {
        if (!slots.empty() && slots.back() != 0) {
            while (!slots.empty()) {
                if (lf_takeSlot(slots, *earlier) == clv::kHalfHoursInDay - 1) break;
            }
        }
        clv::StandOption* later = lf_findOption(options, laterId);
        if (later == nullptr) return false;
        // The newest slot stays: the later option was made with it.
        while (slots.size() >= 2) lf_takeSlot(slots, *later);
    } catch (const std::exception& e) {
        gf_logMarked("{} exception:{}", "updateOptionsWrapped", e.what());
        return false;
    }
    return true;
}

void gf_fillOptsWrapped(std::vector<clv::StandOption>& options, clv::Slot now, const std::string& callsign,
                        std::uint32_t count, std::uint32_t earlierId, std::uint32_t laterId) {
    std::vector<std::uint32_t> slots;
    slots.reserve(clv::kHalfHoursInDay);
    gf_wrappedSlots(slots, count, now);
    updateOptionsWrapped(options, slots, earlierId, laterId);
    gf_findOptFor(options, earlierId, callsign);
    gf_findOptFor(options, laterId, callsign);
}
