// Writing airport park-position files: the three forms against golden files, the
// number formats and the rules for single attributes and entries.
#include "airports/files/apf_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <pugixml.hpp>

#include "airports/airports_fixture.h"
#include "core/clock.h"
#include "core/meta.h"
#include "core/parameters.h"
#include "core/version.h"

using clv::ApfData;
using clv::Stand;
using clv::StandOption;
using clv::test::option;
using clv::test::ParkFileState;
using clv::test::readFile;
using clv::test::RegRecords;
using clv::test::temporariesBeside;
using clv::test::TempFolder;
namespace fs = std::filesystem;

namespace {

// 2026-12-09 09:41:44 UTC: the meta header's date is "Dec 09, 2026".
std::int64_t fixedNow() { return 1796809304; }

fs::path goldenFolder() { return clv::test::airportsDataFolder() / "golden"; }

// A golden file with the program's version put in.
std::string golden(const std::string& name) {
    std::string text = readFile(goldenFolder() / name);
    const std::string marker = "@VERSION@";
    text.replace(text.find(marker), marker.size(), g_programVersion.toString());
    return text;
}

StandOption namedOption(std::uint32_t id, std::uint32_t weekday, std::vector<std::uint32_t> hours, std::string reg,
                        std::string airline, std::string type, std::string callsign, std::string second,
                        std::uint32_t real = 1) {
    StandOption o = option(id, weekday, std::move(hours), real);
    o.registration = std::move(reg);
    o.airline = std::move(airline);
    o.type = std::move(type);
    o.callsign = std::move(callsign);
    o.secondCallsign = std::move(second);
    return o;
}

// Four stands: a gate with every kind of option, a manual helipad, a cargo ramp
// whose radius and cargo kind were learned, and a plain ramp.
ApfData airport() {
    ApfData data;
    data.code = "LSZH";
    data.airport_name = "Zurich";
    data.BGLpath = "Community/zurich/scenery/LSZH.bgl";
    data.publisher = "stock";
    data.manufacturer = "Zurich Scenery Works";
    data.creator = "zsw";
    data.title = "Zurich Airport";
    data.RT_traffic_week = 31;
    data.Qf_real = 63;
    data.Qf_soft = 12;
    data.altitude = 1416;

    // Heading 0.5 rad is 28.65 degrees, radius 0.02 nm is 37.04 m.
    Stand gate("A12", {}, 47.451234, 8.561234, 0.5, 0.02 * 1852.0, {});
    gate.options.push_back(namedOption(1, 1, {16, 17}, "HB-JLT", "SWR", "A320", "SWR100", "SWR100A"));
    gate.options.push_back(namedOption(0, 2, {5}, "", "BAW", "A319", "BAW1", ""));  // an empty entry
    gate.options.push_back(namedOption(3, 3, {16, 17}, "", "EZY", "A319", "", "", 0));
    StandOption skipped = namedOption(4, 7, {0}, "D-AIBL", "DLH", "A321", "DLH1", "");
    skipped.planSkip = true;  // passed over by the current plan: still saved
    gate.options.push_back(skipped);
    data.stands.push_back(gate);

    Stand heli("H1", {}, -33.9, 151.2, 0.0, 12.0, {.cargo = true, .heli = true});
    heli.manual = true;
    heli.options.push_back(namedOption(1, 5, {}, "HB-ZZZ", "", "", "", ""));
    data.stands.push_back(heli);

    Stand cargo("C 5", {}, 47.45, 8.55, 3.0, 40.0, {.cargo = true, .ramp = true});
    cargo.radius = 0.03;
    cargo.radiusChanged = true;
    cargo.cargoChanged = true;
    data.stands.push_back(cargo);

    data.stands.emplace_back("R7", std::vector<StandOption>{}, 47.46, 8.56, 1.0, 20.0, clv::StandKinds{.ramp = true});
    return data;
}

class ApfWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_setClock(&fixedNow);
        g_simulatorWord = "MSFS";
        records.add("HB-JLT", {"SWR", "A320", "", false});
    }
    void TearDown() override {
        gf_setClock(nullptr);
        MAX_LIVE.value = MAX_LIVE.def;
    }
    std::string write(const ApfData& data, std::uint32_t mode) {
        const fs::path path = dir / "out.xml";
        EXPECT_TRUE(gf_writeApf(data, path, mode));
        return readFile(path);
    }

    ParkFileState state;
    RegRecords records;
    TempFolder dir;
};

}  // namespace

TEST_F(ApfWriterTest, GeneratedFileHasFullStandsAndNoOptions) {
    ApfData data = airport();
    data.publisher = "unknown";
    EXPECT_EQ(write(data, kApfGeneratedMode), golden("generated.xml"));
}

TEST_F(ApfWriterTest, LearnedFileHasChangesOptionsAndSettingCopies) {
    EXPECT_EQ(write(airport(), kApfLearnedMode), golden("learned.xml"));
}

TEST_F(ApfWriterTest, HandmadeFileHasEveryStandInFullAndTheQualityFactors) {
    handmadeFile = true;
    MAX_LIVE.value = 50;
    g_simulatorWord = "MSFS2024";
    EXPECT_EQ(write(airport(), kApfLearnedMode), golden("handmade.xml"));
}

TEST_F(ApfWriterTest, GeneratedFileNeverTakesTheParkAirportsHandmadeForm) {
    // Scan workers write generated files while the park airport's file may be handmade.
    ApfData data = airport();
    const std::string plain = write(data, kApfGeneratedMode);
    handmadeFile = true;
    EXPECT_EQ(write(data, kApfGeneratedMode), plain);
}

TEST_F(ApfWriterTest, SingleAttributeRules) {
    ApfData data = airport();
    const std::string text = write(data, kApfLearnedMode);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(text.c_str()));
    const pugi::xml_node gate = document.child("parkpositions").child("parkpos");
    // Known registration: no airl and no type; the callsigns joined by ":".
    const pugi::xml_node first = gate.child("opt");
    EXPECT_STREQ(first.attribute("reg").value(), "HB-JLT");
    EXPECT_FALSE(first.attribute("airl"));
    EXPECT_FALSE(first.attribute("type"));
    EXPECT_FALSE(first.attribute("soft"));
    EXPECT_STREQ(first.attribute("cs").value(), "SWR100:SWR100A");
    // Empty registration: an empty reg with airline and type; a soft option; no callsign, no cs.
    const pugi::xml_node second = first.next_sibling("opt");
    EXPECT_TRUE(second.attribute("reg"));
    EXPECT_STREQ(second.attribute("reg").value(), "");
    EXPECT_STREQ(second.attribute("airl").value(), "EZY");
    EXPECT_STREQ(second.attribute("soft").value(), "true");
    EXPECT_STREQ(second.attribute("day").value(), "3");
    EXPECT_STREQ(second.attribute("hh").value(), "16,17");
    EXPECT_FALSE(second.attribute("cs"));
    // The option with id 0 left no trace: three options of four.
    EXPECT_EQ(std::distance(gate.children("opt").begin(), gate.children("opt").end()), 3);
}

TEST_F(ApfWriterTest, PublisherUnknownOnlyInExactlyThatSpelling) {
    for (const std::string publisher : {"unknown", "Unknown", "stock"}) {
        ApfData data = airport();
        data.publisher = publisher;
        pugi::xml_document document;
        ASSERT_TRUE(document.load_string(write(data, kApfGeneratedMode).c_str()));
        const bool entries = document.select_node("/parameters/parameter[@name='BGLpath']") &&
                             document.select_node("/parameters/parameter[@name='manufacturer']") &&
                             document.select_node("/parameters/parameter[@name='creator']");
        EXPECT_EQ(entries, publisher == "unknown") << publisher;
    }
}

TEST_F(ApfWriterTest, MaxLiveIsWrittenFromZeroOn) {
    for (const int maxLive : {-1, 0, 50}) {
        MAX_LIVE.value = maxLive;
        pugi::xml_document document;
        ASSERT_TRUE(document.load_string(write(airport(), kApfLearnedMode).c_str()));
        const pugi::xml_node entry = document.select_node("/parameters/parameter[@name='MAX_LIVE']").node();
        if (maxLive < 0) {
            EXPECT_FALSE(entry);
        } else {
            EXPECT_EQ(entry.attribute("value").as_int(-99), maxLive);
        }
    }
}

TEST_F(ApfWriterTest, AFileThatCannotBeWrittenIsReportedAndTheOldOneKept) {
    // A name so long (251 of the 255 characters a name may have) that no temporary
    // beside it can be named: the writer's temporary file cannot be made.
    const fs::path path = dir.write(std::string(247, 'L') + ".xml", "the learned file so far");
    EXPECT_FALSE(gf_writeApf(airport(), path, kApfLearnedMode));
    EXPECT_EQ(readFile(path), "the learned file so far");
    EXPECT_TRUE(temporariesBeside(path).empty());
    EXPECT_FALSE(gf_writeApf(airport(), dir / "missing" / "LSZH.xml", kApfLearnedMode));
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST_F(ApfWriterTest, ScanWorkersWriteGeneratedFilesWhileTheParkAirportChanges) {
    ApfData data = airport();
    data.publisher = "unknown";
    const std::string expected = write(data, kApfGeneratedMode);
    std::atomic<bool> done{false};
    std::vector<std::thread> workers;
    std::vector<std::string> written(4);
    for (std::size_t w = 0; w < written.size(); ++w) {
        workers.emplace_back([&, w] {
            const fs::path path = dir / ("worker" + std::to_string(w) + ".xml");
            for (int k = 0; k < 20; ++k) {
                if (!gf_writeApf(data, path, kApfGeneratedMode)) return;
                const std::string text = readFile(path);
                if (text != expected) {
                    written[w] = text;
                    return;
                }
            }
            written[w] = expected;
        });
    }
    // The run thread meanwhile reads and leaves park airports and the user edits settings.
    std::thread run([&] {
        for (int k = 0; !done; ++k) {
            handmadeFile = k % 2 == 0;
            MAX_LIVE.value = k % 3 == 0 ? -1 : 20;
            g_simulatorWord = "MSFS";
        }
    });
    for (std::thread& t : workers) t.join();
    done = true;
    run.join();
    for (const std::string& text : written) EXPECT_EQ(text, expected);
}
