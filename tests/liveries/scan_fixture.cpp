#include "scan_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include <pugixml.hpp>

#include "core/clock.h"
#include "core/encoding.h"
#include "core/files.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/meta.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "core/version.h"
#include "core/workers.h"
#include "liveries/dbase.h"
#include "liveries/dbase_codec.h"
#include "liveries/liveries_scanned.h"
#include "liveries/livery_index.h"
#include "liveries/similar_types.h"
#include "liveries/livery_scan.h"
#include "liveries/regcodes.h"

namespace fs = std::filesystem;

namespace clv::test {

namespace {

// 2026-03-14 12:00:00 UTC: the date in the meta header of written files.
std::int64_t fixedNow() { return 1773489600; }

// One section of the scan tests' data base: element, child, attribute and the
// comma lists of its entries, each of a kind that decides how it is stored.
enum class Kind { Types, Airlines, Plain };

struct Section {
    const char* name;
    const char* child;
    const char* attribute;
    Kind kind;
    std::vector<std::string> entries;
};

std::string encodeList(const std::string& list, Kind kind) {
    std::vector<std::string> out;
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (kind == Kind::Types)
            out.push_back(gf_encodeType(item));
        else if (kind == Kind::Airlines)
            out.push_back(gf_encodeAirline(item));
        else
            out.push_back(item);
    }
    std::string joined;
    for (const auto& piece : out) joined += (joined.empty() ? "" : ",") + piece;
    return joined;
}

// reg; airline; type; operator; cargo
struct Registration {
    const char* reg;
    const char* airl;
    const char* type;
    const char* opr;
    bool cargo;
};

const std::vector<Section>& scanDbaseSections() {
    static const std::vector<Section> sections{
        {"aircrafts", "aircraft", "types", Kind::Types,
         {"A319,A320,A20N,B738,B38M,B752,E190,AT76", "B748,B77W,MD11", "C172,F16,C25C,EC35"}},
        {"high_performance", "hpf", "types", Kind::Types, {"F16"}},
        {"heavy", "hvy", "types", Kind::Types, {"B748,B77W,MD11"}},
        {"large", "lar", "types", Kind::Types, {"A319,A320,A20N,B738,B38M,B752,E190,AT76"}},
        {"buzjet", "bzj", "types", Kind::Types, {"C25C"}},
        {"rotorcraft", "rot", "types", Kind::Types, {"EC35"}},
        {"cargo_types", "cargo_type", "types", Kind::Types, {"B748,MD11"}},
        {"ICAO_airlines", "ICAO", "codes", Kind::Airlines,
         {"DLH,BAW,SWR,EWG,KLM,AFR,RYR,DAL", "UPS,FDX,GEC,CLX", "ZZZ,PVT"}},
        {"cargo_operators", "ICAO", "codes", Kind::Airlines, {"UPS,FDX,GEC,CLX"}},
        {"simaddons20", "simaddon20", "arpts", Kind::Plain, {"EDDF"}},
    };
    return sections;
}

const std::vector<Registration>& scanRegistrations() {
    static const std::vector<Registration> registrations{
        {"D-AIZZ", "DLH", "A320", "EWG", false},  // operated by another airline
        {"G-EUPT", "BAW", "", "", false},         // type not known
        {"PH-EMP", "", "", "", false},            // neither airline nor type known
        {"D-ALFA", "GEC", "B748", "", true},      // a freighter
        {"D-AIBL", "DLH", "A319", "", false},
        {"EI-DVM", "RYR", "B738", "", false},
        {"F-GKXA", "AFR", "A320", "", false},
        {"PH1", "PVT", "C172", "", false},        // private, short enough to stand in titles
        {"N601FE", "FDX", "MD11", "", true},
    };
    return registrations;
}

std::string normalized(std::string text, const fs::path& root) {
    text = replaceAll(std::move(text), root.string(), "$ROOT");
    return replaceAll(std::move(text), g_programVersion.toString(), "$VERSION");
}

std::string sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

// Written by the livery index build that ends a scan step, not by the scan.
bool writtenByTheIndexBuild(const std::string& relative) {
    return relative == "info/OfflineRegcodes.txt" || relative == "errors/InlineRegcodes.txt";
}

bool keepsCollectionOrder(const fs::path& relative) {
    const std::string name = relative.filename().string();
    return name == "Fixes.txt" || name == "AirlineModelConversions.txt";
}

std::set<std::string> relativeFiles(const fs::path& folder) {
    std::set<std::string> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::string relative = fs::relative(entry.path(), folder).generic_string();
        if (!writtenByTheIndexBuild(relative)) files.insert(std::move(relative));
    }
    return files;
}

}  // namespace

fs::path testDataFolder() { return fs::path(__FILE__).parent_path().parent_path() / "data"; }

void loadScanDbase(const fs::path& folder) {
    pugi::xml_document document;
    for (const auto& section : scanDbaseSections()) {
        pugi::xml_node node = document.append_child(section.name);
        for (const auto& entry : section.entries) {
            node.append_child(section.child)
                .append_attribute(section.attribute)
                .set_value(encodeList(entry, section.kind).c_str());
        }
    }
    pugi::xml_node fixes = document.append_child("fixes");
    for (auto [wrong, correct] : std::array<std::pair<const char*, const char*>, 2>{{{"A32N", "A20N"}, {"B7M8", "B38M"}}}) {
        pugi::xml_node fx = fixes.append_child("fx");
        fx.append_attribute("wro").set_value(wrong);
        fx.append_attribute("cor").set_value(correct);
    }
    pugi::xml_node registrations = document.append_child("dbase");
    for (const auto& r : scanRegistrations()) {
        pugi::xml_node db = registrations.append_child("db");
        db.append_attribute("reg").set_value(gf_encodeRegcode(r.reg).c_str());
        if (*r.airl != '\0') db.append_attribute("airl").set_value(gf_encodeAirline(r.airl).c_str());
        if (*r.type != '\0') db.append_attribute("type").set_value(gf_encodeType(r.type).c_str());
        if (*r.opr != '\0') db.append_attribute("opr").set_value(gf_encodeAirline(r.opr).c_str());
        if (r.cargo) db.append_attribute("cargo").set_value("yes");
    }
    const fs::path path = folder / "scan_dbase.xml";
    ASSERT_TRUE(document.save_file(path.c_str()));
    dbase = clv::Dbase{};
    gf_readDbaseFile(path, dbase);
}

std::string encodeCfgText(const std::string& utf8, const std::string& form) {
    std::string crlf = replaceAll(utf8, "\n", "\r\n");
    if (form == "crlf") return crlf;
    if (form == "utf8bom") return "\xEF\xBB\xBF" + crlf;
    const bool bigEndian = form == "utf16be";
    std::u16string wide = gf_utf8ToUtf16(crlf);
    std::string bytes = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
    for (char16_t c : wide) {
        const char high = static_cast<char>((c >> 8) & 0xFF);
        const char low = static_cast<char>(c & 0xFF);
        if (bigEndian) {
            bytes += high;
            bytes += low;
        } else {
            bytes += low;
            bytes += high;
        }
    }
    return bytes;
}

void copyCommunity(const fs::path& target) {
    const fs::path source = testDataFolder() / "community";
    fs::create_directories(target);
    fs::copy(source, target, fs::copy_options::recursive);
    const std::array<std::string, 4> forms{"utf16le", "utf16be", "utf8bom", "crlf"};
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(target)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    for (const auto& file : files) {
        const std::string name = file.filename().string();
        for (const auto& form : forms) {
            if (name != "aircraft.cfg." + form) continue;
            const std::string text = readFile(file);
            std::ofstream out(file.parent_path() / "aircraft.cfg", std::ios::binary | std::ios::trunc);
            out << encodeCfgText(text, form);
            out.close();
            fs::remove(file);
        }
    }
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

struct ScanEnvironment::Saved {
    bool scanLiveries = SCAN_LIVERIES.value;
    bool automatic = LIG_AUTOMATIC.value;
    bool prioritize = LIG_PRIORITIZE.value;
    int packageOrder = AI_PACKAGE_ORDER.value;
    bool suppressStub = SUPPRESS_STUB.value;
    bool msfs2020 = MSFS_2020.value;
    std::string install2020 = MSFS_INSTALL_PATH.value.get();
    std::string install2024 = MSFS_2024_INSTALL_PATH.value.get();
    std::array<std::string, 10> lfolders{lfolder0.value.get(), lfolder1.value.get(), lfolder2.value.get(),
                                         lfolder3.value.get(), lfolder4.value.get(), lfolder5.value.get(),
                                         lfolder6.value.get(), lfolder7.value.get(), lfolder8.value.get(),
                                         lfolder9.value.get()};
    std::string parametersPath = g_parametersXmlPath;
    std::string simulatorWord = g_simulatorWord.get();
    std::int32_t limit = taskLimit.load();
    // The index build after a scan switches off categories without liveries.
    bool light = LIGHT_AIRCRAFT.value;
    bool highPerf = HIGH_PERF_AIRCRAFT.value;
    bool helicopters = HELICOPTERS.value;

    static std::array<Parameter<std::string>*, 10> lfolderSettings() {
        return {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
                &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9};
    }

    void restore() const {
        SCAN_LIVERIES.value = scanLiveries;
        LIG_AUTOMATIC.value = automatic;
        LIG_PRIORITIZE.value = prioritize;
        AI_PACKAGE_ORDER.value = packageOrder;
        SUPPRESS_STUB.value = suppressStub;
        MSFS_2020.value = msfs2020;
        MSFS_INSTALL_PATH.value = install2020;
        MSFS_2024_INSTALL_PATH.value = install2024;
        auto settings = lfolderSettings();
        for (std::size_t i = 0; i < settings.size(); ++i) settings[i]->value = lfolders[i];
        g_parametersXmlPath = parametersPath;
        g_simulatorWord = simulatorWord;
        taskLimit = limit;
        LIGHT_AIRCRAFT.value = light;
        HIGH_PERF_AIRCRAFT.value = highPerf;
        HELICOPTERS.value = helicopters;
    }
};

namespace {

// The livery index and what it builds, which a scan step ends with.
void clearIndex() {
    gf_clearLiveryIndexIfRequested();
    gf_clearLiveryIndex();
    similarModels.clear();
    airlineSimilarTypes.clear();
    regcodeReport.clear();
}

}  // namespace

ScanEnvironment::ScanEnvironment()
    : saved_(new Saved), current_(folder_.path()), noServer_("CALVORINTH_SERVER_URL", "") {
    stopRequested = false;
    userClosedWindow = false;
    runningTasks = 0;
    gf_setClock(&fixedNow);
    gf_openLog(root());
    gf_nullUiPort().clear();
    for (const fs::path* folder : gf_foldersCreatedAtStart()) fs::create_directories(*folder);
    g_parametersXmlPath = (root() / "parameters.xml").string();

    SCAN_LIVERIES.value = true;
    LIG_AUTOMATIC.value = true;
    LIG_PRIORITIZE.value = false;
    AI_PACKAGE_ORDER.value = 1;
    SUPPRESS_STUB.value = true;
    MSFS_2020.value = true;
    MSFS_INSTALL_PATH.value = root().string();
    for (auto* setting : Saved::lfolderSettings()) setting->value = std::string();

    loadScanDbase(root());
    fs::remove(root() / "scan_dbase.xml");
    copyCommunity(community());
    liveryList.clear();
    lf_clearScanLists();
    clearIndex();
}

ScanEnvironment::~ScanEnvironment() {
    liveryList.clear();
    lf_clearScanLists();
    clearIndex();
    dbase = clv::Dbase{};
    saved_->restore();
    delete saved_;
    stopRequested = false;
    userClosedWindow = false;
    gf_closeLog();
    gf_setClock(nullptr);
}

std::vector<std::string> ScanEnvironment::logLines() const {
    std::vector<std::string> lines;
    std::istringstream in(readFile(root() / "Log.txt"));
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

bool ScanEnvironment::logged(const std::string& line) const {
    const auto lines = logLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string ScanEnvironment::readOutput(const std::string& relative) const {
    return readFile(root() / "output" / relative);
}

void expectOutputMatchesGolden(const ScanEnvironment& environment, const fs::path& golden) {
    const fs::path output = environment.root() / "output";
    const std::set<std::string> written = relativeFiles(output);
    const char* update = std::getenv("CLV_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        fs::remove_all(golden);
        for (const auto& relative : written) {
            std::string text = normalized(readFile(output / relative), environment.root());
            if (keepsCollectionOrder(relative)) text = sortedLines(text);
            fs::create_directories((golden / relative).parent_path());
            std::ofstream(golden / relative, std::ios::binary) << text;
        }
        return;
    }
    EXPECT_EQ(written, relativeFiles(golden)) << "files below output differ from " << golden;
    for (const auto& relative : written) {
        if (!fs::exists(golden / relative)) continue;
        std::string actual = normalized(readFile(output / relative), environment.root());
        std::string expected = readFile(golden / relative);
        if (keepsCollectionOrder(relative)) {
            actual = sortedLines(actual);
            expected = sortedLines(expected);
        }
        EXPECT_EQ(actual, expected) << relative << " differs from " << golden / relative;
    }
}

}  // namespace clv::test
