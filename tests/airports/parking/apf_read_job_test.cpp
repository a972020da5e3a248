// The park airport's file and its learned file read on workers while the ticks go
// on: the stand list, the options, the adjacency, the log and the errors come out
// as the read in one go gives them, and the refresh neither plans nor unlocks
// before the read has ended.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "airports/files/apf_writer.h"
#include "airports/parking/apf_locate.h"
#include "airports/parking/apf_reader.h"
#include "airports/parking/learned_files.h"
#include "core/user_error.h"
#include "parking_world.h"

namespace clv::test {
namespace {

namespace fs = std::filesystem;

// What a read leaves: the stand list and what it says of the file.
struct ReadOutcome {
    std::string result;  // the error text, or "user error <code>: <text>"
    std::vector<Stand> stands;
    ApfInfo summary;
    QualityFactors quality;
    std::int32_t week = 0;
};

// 450 stands of 100 options, a few with a registration the reference data knows
// (its record gives airline and type), written as a full airport file.
void writeLargeFile(const fs::path& path) {
    ApfData data;
    data.airport_name = "Large Field";
    data.publisher = "stock";
    data.altitude = 1416;
    data.Qf_real = 61;
    data.Qf_soft = 12;
    for (int s = 0; s < 450; ++s) {
        std::vector<StandOption> options;
        for (int k = 0; k < 100; ++k) {
            StandOption o = option(static_cast<std::uint32_t>(k + 1), static_cast<std::uint32_t>(1 + k % 7),
                                   {static_cast<std::uint32_t>((s + k) % 48), static_cast<std::uint32_t>((s + k + 1) % 48)},
                                   k % 5 == 0 ? 0 : 1);
            o.airline = k % 2 == 0 ? "SWR" : "DLH";
            o.type = k % 3 == 0 ? "A320" : "B738";
            o.callsign = fmt::format("{}{}", o.airline, 100 + k);
            o.secondCallsign = k % 4 == 0 ? o.callsign + "A" : "";
            o.registration = k == 7 ? "HBJHA" : (k % 9 == 0 ? fmt::format("D-A{:03}", s) : "");
            options.push_back(std::move(o));
        }
        // Radii and spacing such that neighbours in a row are adjacent, rows are not.
        data.stands.emplace_back(fmt::format("G{}", s), std::move(options), 47.44 + (s / 30) * 0.001,
                                 8.54 + (s % 30) * 0.0004, 0.3 * s, 20.0 + s % 5, StandKinds{.cargo = s % 11 == 0});
    }
    fs::create_directories(path.parent_path());
    handmadeFile = true;  // every stand in full
    ASSERT_TRUE(gf_writeApf(data, path, kApfLearnedMode));
    handmadeFile = false;
}

ReadOutcome outcome(const std::function<std::string(ApfInfo&, QualityFactors&)>& read) {
    ReadOutcome o;
    standList.clear();
    rtTrafficWeek = 0;
    try {
        o.result = read(o.summary, o.quality);
    } catch (const UserErrorException& e) {
        o.result = fmt::format("user error {}", e.what());
    }
    o.stands = standList;
    o.week = rtTrafficWeek.load();
    return o;
}

ReadOutcome readWhole(const std::string& name) {
    return outcome([&](ApfInfo& s, QualityFactors& q) { return gf_readApf(name, s, q); });
}

// Begun, then looked at between "ticks" until loaded, then finished.
ReadOutcome readOnWorker(const std::string& name, int* ticksWhileLoading = nullptr) {
    return outcome([&](ApfInfo& s, QualityFactors& q) {
        ApfReadJob job;
        std::string failure = gf_beginReadApf(name, job);
        if (!failure.empty()) return failure;
        int ticks = 0;
        while (!job.ready()) {
            EXPECT_TRUE(standList.empty()) << "the stand list stays as it was while the file loads";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++ticks;
        }
        if (ticksWhileLoading) *ticksWhileLoading = ticks;
        return gf_finishReadApf(job, s, q);
    });
}

// Begun, then looked at between "ticks" (the learned file loading on a worker in
// between) until the read has ended.
ReadOutcome readInSteps(const std::string& name, int* looks = nullptr) {
    return outcome([&](ApfInfo& s, QualityFactors& q) {
        ApfReadJob job;
        std::string failure = gf_beginReadApf(name, job);
        if (!failure.empty()) return failure;
        int n = 0;
        while (true) {
            std::optional<std::string> result = gf_continueReadApf(job, s, q);
            ++n;
            if (result) {
                if (looks) *looks = n;
                return *result;
            }
            EXPECT_TRUE(standList.empty()) << "the stand list stays as it was while the files load";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
}

void expectSameStands(const std::vector<Stand>& a, const std::vector<Stand>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Stand& x = a[i];
        const Stand& y = b[i];
        SCOPED_TRACE(x.name);
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.id, y.id);
        EXPECT_EQ(x.latitude, y.latitude);
        EXPECT_EQ(x.longitude, y.longitude);
        EXPECT_EQ(x.heading, y.heading);
        EXPECT_EQ(x.radius, y.radius);
        EXPECT_EQ(x.cargo, y.cargo);
        EXPECT_EQ(x.ramp, y.ramp);
        EXPECT_EQ(x.heli, y.heli);
        EXPECT_EQ(x.adjacent, y.adjacent);
        EXPECT_EQ(x.radiusChanged, y.radiusChanged);
        EXPECT_EQ(x.cargoChanged, y.cargoChanged);
        EXPECT_EQ(x.manual, y.manual);
        ASSERT_EQ(x.options.size(), y.options.size());
        for (std::size_t k = 0; k < x.options.size(); ++k) {
            const StandOption& p = x.options[k];
            const StandOption& q = y.options[k];
            EXPECT_TRUE(p.airline == q.airline && p.type == q.type && p.registration == q.registration &&
                        p.callsign == q.callsign && p.secondCallsign == q.secondCallsign &&
                        p.hours.bits() == q.hours.bits() && p.id == q.id && p.weekday == q.weekday &&
                        p.fixed == q.fixed && p.real == q.real)
                << "option " << k;
        }
    }
}

struct ReadJobTest : ::testing::Test {
    ReadJobTest() {
        apfReadHooks.parkAirportCode = [] { return std::string("LARGE"); };
        records.add("HB-JHA", RegRecord{.airl = "SWR", .type = "A333", .opr = "EDW", .cargo = false});
    }
    ParkingSettings settings;
    ParkFileState state;
    TempFolder dir;
    CurrentFolder cwd{dir.path()};
    AirportLog log;
    RegRecords records;
};

TEST_F(ReadJobTest, TheLargestFileReadOnAWorkerGivesWhatTheReadInOneGoGives) {
    writeLargeFile(dir / "airports/LARGE.xml");
    const ReadOutcome whole = readWhole("airports/LARGE.xml");
    ASSERT_EQ(whole.result, "");
    ASSERT_EQ(whole.stands.size(), 450u);
    // The file as written: the registration's record rules over the option's airline and type.
    EXPECT_EQ(whole.stands[3].options[7].airline, "EDW");
    EXPECT_EQ(whole.stands[3].options[7].type, "A333");
    std::size_t adjacent = 0;
    for (const Stand& s : whole.stands) adjacent += s.adjacent.size();
    EXPECT_GT(adjacent, 0u) << "the fixture has adjacent stands";

    const ReadOutcome sliced = readOnWorker("airports/LARGE.xml");
    EXPECT_EQ(sliced.result, whole.result);
    expectSameStands(sliced.stands, whole.stands);
    EXPECT_EQ(sliced.summary.airport_name, "Large Field");
    EXPECT_EQ(sliced.summary.publisher, whole.summary.publisher);
    EXPECT_EQ(sliced.summary.altitude, whole.summary.altitude);
    EXPECT_EQ(sliced.quality, whole.quality);
    EXPECT_EQ(sliced.week, whole.week);
}

TEST_F(ReadJobTest, ADamagedFileEndsWithTheSameErrorAndTheSameStandsAsTheReadInOneGo) {
    const std::string meta = fmt::format(
        "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"Calvorinth\" />"
        "<info name=\"version\" value=\"10.10.9\" /><info name=\"date\" value=\"Dec 09, 2026\" /></meta>\n");
    const std::string altitude = "<parameters><parameter name=\"altitude\" value=\"1416\" /></parameters>\n";
    const std::string twoStands =
        "<parkpositions><parkpos id=\"A1\" latitude=\"47.45\" longitude=\"8.55\" radius=\"20\" />"
        "<parkpos id=\"A2\" latitude=\"47.46\" longitude=\"8.55\" radius=\"20\" />";
    struct Case {
        std::string what;
        std::string text;
        std::string result;
        std::size_t stands;
    };
    const std::vector<Case> cases = {
        {"repeated stand id", meta + altitude + twoStands + "<parkpos id=\"A1\" latitude=\"47.47\" longitude=\"8.55\" />"
                                                            "</parkpositions>",
         "user error 94: Parking position A1 appears more than once?", 2},
        {"no altitude", meta + "<parameters />" + twoStands + "</parkpositions>",
         "user error 65: Parameter altitude not found", 0},
        {"cut short", meta + altitude + twoStands, "", 0},
        {"no meta", altitude + twoStands + "</parkpositions>",
         "airports/BAD.xml but refused to load, copyright problem", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write("airports/BAD.xml", c.text);
        const ReadOutcome whole = readWhole("airports/BAD.xml");
        const ReadOutcome sliced = readOnWorker("airports/BAD.xml");
        if (c.result.empty()) {
            EXPECT_TRUE(whole.result.starts_with("airports/BAD.xml could not be loaded: ")) << whole.result;
        } else {
            EXPECT_EQ(whole.result, c.result);
        }
        EXPECT_EQ(sliced.result, whole.result);
        EXPECT_EQ(whole.stands.size(), c.stands);
        expectSameStands(sliced.stands, whole.stands);
    }
}

// What learning added at the large field: per stand 100 options, one in ten the
// same as one of the file's own and one in ten the same as the learned option
// before it (both skipped), so 80 new ones; learned radii and cargo kinds; a
// manual stand, a manual stand whose id the file has, and a stand it has not.
void writeLargeLearnedFile(const fs::path& path) {
    ApfData data;
    data.airport_name = "Large Field";
    data.publisher = "stock";
    for (int s = 0; s < 450; ++s) {
        std::vector<StandOption> options;
        for (int k = 0; k < 100; ++k) {
            StandOption o = option(static_cast<std::uint32_t>(k + 1), static_cast<std::uint32_t>(1 + k % 7),
                                   {static_cast<std::uint32_t>((s + k) % 48), static_cast<std::uint32_t>((s + k + 1) % 48)},
                                   k % 5 == 0 ? 0 : 1);
            o.airline = k % 2 == 0 ? "SWR" : "DLH";
            o.type = k % 3 == 0 ? "A320" : "B738";
            o.registration = k == 7 ? "HBJHA" : (k % 9 == 0 ? fmt::format("D-A{:03}", s) : "");
            if (k % 10 == 5) {
                o = options.back();  // the learned option before it, again
            } else if (k % 10 != 0) {
                o.registration = fmt::format("D-L{:03}{}", (s * 11 + k) % 1000, static_cast<char>('A' + k % 26));
            }
            options.push_back(std::move(o));
        }
        Stand stand(fmt::format("G{}", s), std::move(options), 0.0, 0.0, 0.0, 30.0 + s % 3, StandKinds{.cargo = s % 2 == 0});
        stand.radiusChanged = s % 5 == 0;
        stand.cargoChanged = s % 7 == 0;
        data.stands.push_back(std::move(stand));
    }
    Stand manual("M1", {option(1, 2, {20, 21}, 1)}, 47.5, 8.6, 0.5, 25.0, StandKinds{});
    manual.manual = true;
    data.stands.push_back(manual);
    manual.name = "G3";
    data.stands.push_back(manual);
    data.stands.emplace_back("X9", std::vector<StandOption>{option(1, 1, {1}, 1)}, 0.0, 0.0, 0.0, 0.0, StandKinds{});
    fs::create_directories(path.parent_path());
    ASSERT_TRUE(gf_writeApf(data, path, kApfLearnedMode));
}

struct LearnedReadTest : ReadJobTest {
    LearnedReadTest() {
        apfReadHooks.archivePath = gf_archivePath;
        apfReadHooks.readLearned = lf_readLearned;
        apfReadHooks.loadLearned = lf_loadLearned;
        apfReadHooks.mergeLearned = lf_mergeLearned;
    }
    ~LearnedReadTest() override { apfReadHooks = {}; }
    // The log lines a read adds.
    std::vector<std::string> logged(const std::function<ReadOutcome()>& read, ReadOutcome& out) {
        const std::size_t before = log.lines().size();
        out = read();
        const std::vector<std::string> lines = log.lines();
        return {lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()};
    }
    const fs::path learnedFile = gf_learnedFolderOf("stock") / "LARGE.xml";
};

TEST_F(LearnedReadTest, TheLargestFileWithALearnedFileReadInStepsGivesWhatTheReadInOneGoGives) {
    writeLargeFile(dir / "airports/LARGE.xml");
    writeLargeLearnedFile(dir / learnedFile);
    parking_percentage.value = 44;
    ReadOutcome whole;
    const std::vector<std::string> wholeLog = logged([] { return readWhole("airports/LARGE.xml"); }, whole);
    ASSERT_EQ(whole.result, "");
    ASSERT_EQ(whole.stands.size(), 451u) << "the manual stand M1 added";
    EXPECT_EQ(whole.stands[0].options.size(), 180u);
    EXPECT_EQ(whole.stands[0].options.back().id, 180u);
    EXPECT_EQ(whole.stands[0].options[100].fixed, 0u);
    EXPECT_TRUE(whole.stands[0].radiusChanged);
    EXPECT_TRUE(whole.stands.back().manual);
    EXPECT_EQ(whole.stands.back().name, "M1");
    const int percentage = parking_percentage.value;

    // Merged on the run thread, and merged on the worker before the hand-over.
    for (const bool onWorker : {false, true}) {
        SCOPED_TRACE(onWorker ? "merged on the worker" : "merged on the run thread");
        apfReadHooks.premergeLearned = onWorker ? lf_premergeLearned : nullptr;
        parking_percentage.value = 44;
        int looks = 0;
        ReadOutcome stepped;
        const std::vector<std::string> steppedLog =
            logged([&] { return readInSteps("airports/LARGE.xml", &looks); }, stepped);
        EXPECT_GE(looks, 2) << "the learned file loads between two looks";
        EXPECT_EQ(stepped.result, whole.result);
        expectSameStands(stepped.stands, whole.stands);
        EXPECT_EQ(stepped.summary.airport_name, whole.summary.airport_name);
        EXPECT_EQ(stepped.quality, whole.quality);
        EXPECT_EQ(parking_percentage.value, percentage) << "the learned file's setting";
        EXPECT_EQ(steppedLog, wholeLog);
    }
    EXPECT_NE(std::find(wholeLog.begin(), wholeLog.end(), "learned stand X9 in " + gf_pathText(learnedFile) + " not found?"),
              wholeLog.end());
}

TEST_F(LearnedReadTest, ADamagedLearnedFileGivesTheSameLogAndStandsAsTheReadInOneGo) {
    const std::string meta =
        "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"Calvorinth\" />"
        "<info name=\"version\" value=\"10.10.9\" /><info name=\"date\" value=\"Dec 09, 2026\" /></meta>\n";
    dir.write("airports/LARGE.xml",
              meta +
                  "<parameters><parameter name=\"altitude\" value=\"1416\" />"
                  "<parameter name=\"publisher\" value=\"stock\" /></parameters>\n<parkpositions>"
                  "<parkpos id=\"A1\" latitude=\"47.45\" longitude=\"8.55\" radius=\"20\">"
                  "<opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"3\" hh=\"16,17\" /></parkpos>"
                  "<parkpos id=\"A2\" latitude=\"47.46\" longitude=\"8.55\" radius=\"20\" /></parkpositions>");
    const std::string handmade = "<parameters><parameter name=\"handmade\" value=\"true\" /></parameters>";
    struct Case {
        std::string what;
        std::string text;
        std::string expectedLine;  // among the lines of both reads
    };
    const std::vector<Case> cases = {
        {"not XML", "<parkpositions><parkpos", " found, but could not be loaded, saved as *.0.xml: "},
        {"no meta", "<parameters /><parkpositions><parkpos id=\"A1\" cargo_change=\"true\" cargo=\"true\" /></parkpositions>",
         "===> meta data incorrect?"},
        {"a handmade file with a repeated stand", meta + handmade +
             "<parkpositions><parkpos id=\"H1\" latitude=\"47.4\" longitude=\"8.5\" radius=\"9\">"
             "<opt day=\"1\" hh=\"x\" /></parkpos>"
             "<parkpos id=\"H1\" latitude=\"47.4\" longitude=\"8.5\" radius=\"9\" /></parkpositions>",
         "lf_readLearned: 94: Parking position H1 appears more than once?"},
        {"bad half-hours, unknown and repeated stands", meta +
             "<parameters /><parkpositions>"
             "<parkpos id=\"A1\"><opt reg=\"\" airl=\"SWR\" type=\"A320\" day=\"3\" hh=\"17,99\" />"
             "<opt reg=\"\" airl=\"EDW\" type=\"A320\" day=\"3\" hh=\"ab\" /></parkpos>"
             "<parkpos id=\"Z9\"><opt day=\"1\" hh=\"never logged\" /></parkpos>"
             "<parkpos id=\"A2\" manual=\"true\" latitude=\"47.4\" longitude=\"8.5\" radius=\"9\">"
             "<opt day=\"1\" hh=\"not logged either\" /></parkpos>"
             "<parkpos id=\"M5\" manual=\"true\" latitude=\"0\" longitude=\"0\" radius=\"9\" />"
             "<parkpos id=\"M6\" manual=\"true\" latitude=\"47.4\" longitude=\"8.5\" radius=\"9\">"
             "<opt day=\"2\" hh=\"-1\" /></parkpos>"
             "<parkpos id=\"A1\" radius_change=\"true\" radius=\"35\" /></parkpositions>",
         "gf_hours2bitset invalid hour \"99\" in 17,99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write(learnedFile.string(), c.text);
        ReadOutcome whole;
        const std::vector<std::string> wholeLog = logged([] { return readWhole("airports/LARGE.xml"); }, whole);
        const bool wholeHandmade = handmadeFile.load();
        for (const bool onWorker : {false, true}) {
            SCOPED_TRACE(onWorker ? "merged on the worker" : "merged on the run thread");
            apfReadHooks.premergeLearned = onWorker ? lf_premergeLearned : nullptr;
            dir.write(learnedFile.string(), c.text);
            ReadOutcome stepped;
            const std::vector<std::string> steppedLog =
                logged([] { return readInSteps("airports/LARGE.xml"); }, stepped);
            EXPECT_EQ(stepped.result, whole.result);
            expectSameStands(stepped.stands, whole.stands);
            EXPECT_EQ(handmadeFile.load(), wholeHandmade);
            EXPECT_EQ(steppedLog, wholeLog);
        }
        EXPECT_TRUE(std::any_of(wholeLog.begin(), wholeLog.end(),
                                [&](const std::string& line) { return line.find(c.expectedLine) != std::string::npos; }))
            << c.expectedLine;
        for (const std::string& line : wholeLog) EXPECT_EQ(line.find("logged"), std::string::npos) << line;
    }
    EXPECT_TRUE(fs::exists(dir / learnedFile.parent_path() / "LARGE0.xml")) << "the unloadable file kept aside";
}

TEST(ParkRead, TheRefreshPlansOnlyWhenTheFileIsReadAndTheTicksGoOnMeanwhile) {
    FileWorld w;
    w.writeFile(40, 60);
    w.nearest = w.airports["TEST"];
    w.user = UserAcView{LatLon{47.4, 8.55}, 0.0, true, true};
    gf_refreshParking(w.engine, true);
    ASSERT_EQ(gf_parkAirport().code, "TEST");
    ASSERT_TRUE(parkingBusy.load());
    EXPECT_EQ(gf_nullUiPort().statusLines().back(), "Calculating static parked aircraft ...");

    gf_refreshParking(w.engine, false);  // begins the read and returns at once
    EXPECT_TRUE(gf_parkReadPending());
    EXPECT_TRUE(standList.empty());
    EXPECT_TRUE(parkPlan.empty());
    // A refresh and ticks while it reads: the controls stay locked, nothing is planned.
    gf_refreshParking(w.engine, false);
    EXPECT_TRUE(parkingBusy.load()) << "an empty plan is not a finished placing while the file is read";
    w.rig.run(3);
    // The tick that finds the file loaded takes its stands over; the next one plans.
    while (lf_parkedFileReadPending()) {
        gf_continueParkRead(w.engine);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(standList.size(), 40u);
    EXPECT_TRUE(parkPlan.empty());
    EXPECT_TRUE(gf_parkReadPending());
    gf_refreshParking(w.engine, false);
    EXPECT_TRUE(parkingBusy.load());
    gf_continueParkRead(w.engine);
    EXPECT_FALSE(gf_parkReadPending());
    EXPECT_EQ(standList.size(), 40u);
    EXPECT_EQ(parkPlan.size(), 12u) << "30 % of 40 stands";
    EXPECT_TRUE(parkingBusy.load());
    EXPECT_TRUE(parkingActive.load());
    EXPECT_TRUE(gf_parkingFigures().fileRead);
    EXPECT_TRUE(gf_nullUiPort().control(DESTINATION.handle.load()).enabled);
}

TEST(ParkRead, LeavingTheAirportWhileItsFileIsReadForgetsTheRead) {
    FileWorld w;
    w.parkAt(40, 60);
    parkFileReload = true;
    gf_refreshParking(w.engine, false);
    ASSERT_TRUE(gf_parkReadPending());
    gf_clearGroundTraffic(w.engine);
    EXPECT_FALSE(gf_parkReadPending());
    gf_continueParkRead(w.engine);
    EXPECT_TRUE(standList.empty());
    EXPECT_TRUE(parkPlan.empty());
    EXPECT_EQ(gf_parkAirport().code, "");
}

}  // namespace
}  // namespace clv::test
