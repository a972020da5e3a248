#pragma once
// The world of the livery index and matching tests: a temporary current folder with
// LiveriesScanned.xml, the user's registration files, parameters.xml and Log.txt;
// the data base fixture of tests/data/dbase; no download server; and every setting
// and list the build touches restored afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "dbase_fixture.h"
#include "liveries/dbase.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_index.h"
#include "liveries/regcodes.h"
#include "liveries/similar_types.h"
#include "support/temp_folder.h"

namespace clv::test {

// The liveries most tests match against, as the scan writes them.
//   DLH A320: two titles, the first of which is special (bound to D-AIRX alone);
//   D-AIBL is bound in-line to the A319; KLM has only special B738 titles; DLH has
//   an MD11 only as a freighter; ZZZ holds the generic liveries; no Buzjets,
//   HighPerf or Rotorcraft livery is installed.
inline const char* kFixtureLiveries = R"(<?xml version="1.0"?>
<liveries>
  <liv airl="DLH" type="A319" title="Lufthansa A319" atcid="D-AIBL"/>
  <liv airl="DLH" type="A320" title="Lufthansa A320 Hansa Retro"/>
  <liv airl="DLH" type="A320" title="Lufthansa A320 Standard"/>
  <liv airl="DLH" type="B748" title="Lufthansa B748"/>
  <liv airl="DLH" type="MD11" cargo="true" title="Lufthansa Cargo MD11"/>
  <liv airl="KLM" type="B738" title="KLM B738 Orange"/>
  <liv airl="KLM" type="B738" title="KLM B738 Skyteam"/>
  <liv airl="PVT" type="DA40" title="Private DA40"/>
  <liv airl="SWR" type="B77W" title="FSLTL_SWR_B77W"/>
  <liv airl="ZZZ" type="A320" title="Generic A320"/>
  <liv airl="ZZZ" type="B738" title="Generic B738"/>
  <liv airl="ZZZ" type="B738" cargo="true" title="Generic B738 Freighter"/>
  <liv airl="ZZZ" type="B744" title="Generic B744"/>
  <liv airl="ZZZ" type="C172" title="Generic C172"/>
</liveries>
)";

// input/my_regcodes/my.txt: one registration a line makes the title special.
inline const char* kFixtureRegcodes =
    "Lufthansa A320 Hansa Retro;D-AIRX\n"
    "KLM B738 Orange;PH-BXA\n"
    "KLM B738 Skyteam;PH-BXB\n";

class LiveryWorld {
public:
    LiveryWorld() : current_(folder_.path()), noServer_("CALVORINTH_SERVER_URL", "") {
        stopRequested = false;
        userClosedWindow = false;
        gf_openLog(folder_.path());
        gf_nullUiPort().clear();
        gf_setUiPort(nullptr);
        g_parametersXmlPath = (folder_.path() / "parameters.xml").string();
        std::filesystem::create_directories(g_outputFolder);
        std::filesystem::create_directories(g_outputInfoFolder);
        MATCHING_DEPTH.value = 4;
        RANDOM.value = false;
        LOG.value = true;
        dbase = clv::Dbase{};
        gf_readDbaseFile(dbaseFixture(), dbase);
        clearAll();
    }

    ~LiveryWorld() {
        clearAll();
        dbase = clv::Dbase{};
        MATCHING_DEPTH.value = saved_.depth;
        RANDOM.value = saved_.random;
        LOG.value = saved_.log;
        LIGHT_AIRCRAFT.value = saved_.light;
        HIGH_PERF_AIRCRAFT.value = saved_.highPerf;
        HELICOPTERS.value = saved_.helicopters;
        LIGHT_AIRCRAFT.handle = saved_.lightHandle;
        HIGH_PERF_AIRCRAFT.handle = saved_.highPerfHandle;
        HELICOPTERS.handle = saved_.helicoptersHandle;
        g_parametersXmlPath = saved_.parametersPath;
        stopRequested = false;
        userClosedWindow = false;
        gf_nullUiPort().clear();
        gf_closeLog();
    }

    LiveryWorld(const LiveryWorld&) = delete;
    LiveryWorld& operator=(const LiveryWorld&) = delete;

    const std::filesystem::path& root() const { return folder_.path(); }

    void writeLiveries(const std::string& xml) const { folder_.write("output/LiveriesScanned.xml", xml); }
    void writeRegcodes(const std::string& text) const { folder_.write("input/my_regcodes/my.txt", text); }

    // The fixture's liveries and registration files, built into the index.
    void buildFixture() const {
        writeLiveries(kFixtureLiveries);
        writeRegcodes(kFixtureRegcodes);
        lf_processScannedLiveries();
    }

    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        std::istringstream in(readFile(root() / "Log.txt"));
        std::string line;
        std::getline(in, line);  // the header
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }
    bool logged(const std::string& line) const {
        const auto lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

private:
    static void clearAll() {
        gf_clearLiveryIndexIfRequested();
        gf_clearLiveryIndex();
        similarModels.clear();
        airlineSimilarTypes.clear();
        liveryList.clear();
        dontUseTitles.clear();
        regcodeReport.clear();
    }

    struct Saved {
        int depth = MATCHING_DEPTH.value;
        bool random = RANDOM.value;
        bool log = LOG.value;
        bool light = LIGHT_AIRCRAFT.value;
        bool highPerf = HIGH_PERF_AIRCRAFT.value;
        bool helicopters = HELICOPTERS.value;
        ControlHandle lightHandle = LIGHT_AIRCRAFT.handle.load();
        ControlHandle highPerfHandle = HIGH_PERF_AIRCRAFT.handle.load();
        ControlHandle helicoptersHandle = HELICOPTERS.handle.load();
        std::string parametersPath = g_parametersXmlPath;
    };

    Saved saved_;
    TempFolder folder_;
    CurrentFolder current_;
    ScopedEnv noServer_;
};

}  // namespace clv::test
