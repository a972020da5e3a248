// The engine's tests choose liveries through FakeAircraftData. What they claim
// holds for the program only while the fake chooses as the real matcher does:
// here both choose from the same table, with and without refused titles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/parameters.h"
#include "liveries/dbase.h"
#include "liveries/livery_index.h"
#include "liveries/livery_index_fixture.h"
#include "liveries/match_summary.h"
#include "traffic/link_ports.h"
#include "traffic_harness.h"

namespace clv::test {
namespace {

// The fake's table as the scan would have written it, and its types and
// registrations as the data base holds them.
void buildRealIndexFrom(const LiveryWorld& world, const FakeAircraftData& fake) {
    dbase = Dbase{};
    for (const auto& [type, info] : fake.types) {
        dbase.aircrafts.insert(type);
        switch (info.category) {
            case AcCategory::Large: dbase.large.insert(type); break;
            case AcCategory::Heavy: dbase.heavy.insert(type); break;
            case AcCategory::Rotorcraft: dbase.rotorcraft.insert(type); break;
            case AcCategory::HighPerf: dbase.high_performance.insert(type); break;
            case AcCategory::Buzjets: dbase.buzjet.insert(type); break;
            default: break;
        }
    }
    for (const auto& [registration, record] : fake.registrations) dbase.registrations[registration] = record;
    std::string xml = "<?xml version=\"1.0\"?>\n<liveries>\n";
    for (const auto& livery : fake.liveries) {
        xml += "  <liv airl=\"" + livery.airline + "\" type=\"" + livery.type + "\" title=\"" + livery.title + "\"/>\n";
    }
    for (const auto& [registration, title] : fake.regTitles) {
        const RegRecord& record = fake.registrations.at(registration);
        xml += "  <liv airl=\"" + record.airl + "\" type=\"" + record.type + "\" title=\"" + title + "\" atcid=\"" +
               registration + "\"/>\n";
    }
    xml += "</liveries>\n";
    world.writeLiveries(xml);
    lf_processScannedLiveries();
}

TEST(LiveryPortContract, FakeMatcherChoosesAsTheRealOne) {
    LiveryWorld world;
    const std::vector<std::string> savedExcluded = excludedTitles;
    FakeAircraftData fake = FakeAircraftData::standard();
    buildRealIndexFrom(world, fake);
    RANDOM.value = false;
    MATCHING_DEPTH.value = 4;
    LiveryDataPort real;

    struct Case {
        const char* airline;
        const char* type;
        const char* registration;
        std::vector<std::string> refused;
    };
    const std::vector<std::string> allDlhA320{"Lufthansa A320", "Lufthansa A320 Star Alliance"};
    const Case cases[] = {
        {"DLH", "A320", "", {}},
        {"DLH", "A320", "", {"Lufthansa A320"}},
        {"DLH", "A320", "", allDlhA320},
        {"DLH", "A320", "D-AIAB", {"Lufthansa A320"}},
        {"BAW", "A320", "G-NEWR", {}},
        {"BAW", "A320", "G-NEWR", {"British Airways A320 G-NEWR"}},
        {"BAW", "A319", "G-EUPA", {}},
        {"DLH", "B738", "", {}},
        {"KLM", "B744", "", {}},
        {"KLM", "B744", "", {"KLM B744"}},
        {"XYZ", "A320", "", {}},
        {"XYZ", "C172", "", {}},
        {"XYZ", "C172", "", {"Cessna 172 white"}},
        {"PVT", "EC35", "", {}},
        {"XYZ", "F16", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.airline) + " " + c.type + " " + c.registration + ", refused " +
                     std::to_string(c.refused.size()));
        excludedTitles = savedExcluded;
        excludedTitles.insert(excludedTitles.end(), c.refused.begin(), c.refused.end());
        fake.excluded = std::set<std::string>(c.refused.begin(), c.refused.end());
        AcIdentity identity;
        identity.airline = c.airline;
        identity.type = c.type;
        identity.registration = c.registration;
        identity.callsign = "TST1";
        AcData byFake = fake.acData(identity);
        AcData byReal = fake.acData(identity);
        fake.matchLivery(byFake);
        real.matchLivery(byReal);
        EXPECT_EQ(byFake.liveryTitle, byReal.liveryTitle);
        EXPECT_EQ(fake.isExcludedTitle(byReal.liveryTitle), real.isExcludedTitle(byReal.liveryTitle));
    }
    excludedTitles = savedExcluded;
}

}  // namespace
}  // namespace clv::test
