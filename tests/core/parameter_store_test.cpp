#include "core/parameter_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/ui_port.h"
#include "support/temp_folder.h"

using clv::test::readFile;
using clv::test::temporariesBeside;
using clv::test::TempFolder;

namespace {

// name -> value attribute (nullopt when the element has none), in file order.
using Entries = std::vector<std::pair<std::string, std::optional<std::string>>>;

Entries entriesOf(const std::filesystem::path& path) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_file(path.c_str())) << path;
    Entries entries;
    for (pugi::xml_node element : document.child("parameters").children("parameter")) {
        pugi::xml_attribute value = element.attribute("value");
        entries.emplace_back(element.attribute("name").value(),
                             value ? std::optional<std::string>(value.value()) : std::nullopt);
    }
    return entries;
}

std::optional<std::string> valueIn(const Entries& entries, const std::string& name) {
    for (const auto& [key, value] : entries) {
        if (key == name) return value.value_or("<no value>");
    }
    return std::nullopt;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

long storeCountOf(const std::vector<std::string>& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line);
}

template <typename List, typename F>
void forEach(const List& list, F f) {
    for (auto* p : list) f(*p);
}

// Puts every program setting of the load lists back to its default and unbinds it.
void resetProgramSettings() {
    const clv::ParameterLoadLists& lists = gf_parameterLoadLists();
    auto reset = [](auto& p) { p.value = p.def; };
    auto resetBound = [](auto& p) {
        p.value = p.def;
        p.handle = 0;
    };
    forEach(lists.bools, reset);
    forEach(lists.checkboxes, resetBound);
    forEach(lists.ints, reset);
    forEach(lists.intEdits, resetBound);
    forEach(lists.strings, reset);
    forEach(lists.stringEdits, resetBound);
    DESTINATION.handle = 0;
}

// Every listed setting of the program, in load-list order.
std::vector<std::string> listedKeys() {
    const clv::ParameterLoadLists& lists = gf_parameterLoadLists();
    std::vector<std::string> keys;
    auto add = [&](auto& p) { keys.push_back(p.name); };
    forEach(lists.bools, add);
    forEach(lists.checkboxes, add);
    forEach(lists.ints, add);
    forEach(lists.intEdits, add);
    forEach(lists.strings, add);
    forEach(lists.stringEdits, add);
    return keys;
}

bool isLfolder(const std::string& key) { return key.rfind("lfolder", 0) == 0; }

class ParameterStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath_ = g_parametersXmlPath;
        g_parametersXmlPath = file().string();
        gf_openLog(logDir_.path());
        gf_nullUiPort().clear();
    }
    void TearDown() override {
        gf_closeLog();
        g_parametersXmlPath = savedPath_;
        gf_nullUiPort().clear();
        resetProgramSettings();
    }

    std::filesystem::path file() const { return dir_ / "parameters.xml"; }
    void writeFile(const std::string& text) const { dir_.write("parameters.xml", text); }
    // The log so far, without its header line.
    std::vector<std::string> logLines() const {
        auto lines = linesOf(readFile(logDir_ / "Log.txt"));
        if (!lines.empty()) lines.erase(lines.begin());
        return lines;
    }

    TempFolder dir_;
    TempFolder logDir_;

private:
    std::string savedPath_;
};

std::string fileWith(const std::vector<std::string>& elements) {
    std::string text = "<?xml version=\"1.0\"?>\n<parameters>\n";
    for (const auto& e : elements) text += "  " + e + "\n";
    return text + "</parameters>\n";
}

}  // namespace

TEST_F(ParameterStoreTest, FirstStartWritesEveryDefaultAndShowsIt) {
    LOG.handle = 101;
    WEEK.handle = 102;
    MAX_LIVE.handle = 103;
    BLOCK_CALLSIGN.handle = 104;
    DESTINATION.handle = 105;
    BLOCK_CALLSIGN.value = "STALE";  // a value from an earlier run goes back to the default

    gf_readParametersXml();

    const auto lines = logLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "");
    EXPECT_NE(lines[1].find(" parameters "), std::string::npos);
    EXPECT_EQ(storeCountOf(lines, g_parametersXmlPath + " not found, default values taken:"), 1);
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(lines[lines.size() - 2], std::string(80, '*'));

    std::vector<std::string> stored;
    for (const auto& key : listedKeys()) {
        if (!isLfolder(key)) stored.push_back(key);
    }
    const Entries entries = entriesOf(file());
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.first);
    EXPECT_EQ(names, stored);
    EXPECT_EQ(stored.size(), 1u + 25 + 6 + 9 + 8 + 1);
    for (const auto& key : stored) {
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(key + "=", 0) == 0; }), 1)
            << key;
    }
    EXPECT_EQ(valueIn(entries, "LOG"), "true");
    EXPECT_EQ(valueIn(entries, "WEEK"), "false");
    EXPECT_EQ(valueIn(entries, "MAX_LIVE"), "-1");
    EXPECT_EQ(valueIn(entries, "PORT_NUMBER"), "10747");
    EXPECT_EQ(valueIn(entries, "BLOCK_CALLSIGN"), "");
    EXPECT_EQ(storeCountOf(lines, "PORT_NUMBER=10747"), 1);
    EXPECT_EQ(storeCountOf(lines, "GUID_CHANGES=true"), 1);
    EXPECT_EQ(BLOCK_CALLSIGN.value.get(), "");

    const auto& port = gf_nullUiPort();
    EXPECT_TRUE(port.control(101).checked);
    EXPECT_FALSE(port.control(102).checked);
    EXPECT_EQ(port.control(103).text, "-1");
    EXPECT_EQ(port.control(104).textWrites, 1);
    EXPECT_EQ(port.control(105).textWrites, 0);  // the destination field is not refreshed by the load
}

TEST_F(ParameterStoreTest, LoadClampsDefaultsAndCompletesTheFile) {
    writeFile(fileWith({
        R"(<parameter name="MATCHING_DEPTH" value="9"/>)",
        R"(<parameter name="LATERAL_RANGE" value="-3"/>)",
        R"(<parameter name="MAX_LIVE" value="abc"/>)",
        R"(<parameter name="AIRPORT_RANGE" value=""/>)",
        R"(<parameter name="CUSTOM_MAX_PARK"/>)",
        R"(<parameter name="MAX_HOLDING_MINUTES" value="99999999999"/>)",
        R"(<parameter name="LAST_EPOCH_TIME" value="1700000000"/>)",
        R"(<parameter name="SCAN_LIVERIES" value="Yes"/>)",
        R"(<parameter name="AEROWINX" value="1"/>)",
        R"(<parameter name="WEEK" value="true"/>)",
        R"(<parameter name="LOG" value="no"/>)",
        R"(<parameter name="AUTO_RANGE" value="0"/>)",
        R"(<parameter name="GUID_CHANGES" value=""/>)",
        R"(<parameter name="SUPPRESS_STUB" value="False"/>)",
        R"(<parameter name="HELICOPTERS"/>)",
        R"(<parameter name="lfolder1" value="/data/liveries"/>)",
        R"(<parameter name="lfolder3" value=""/>)",
        R"(<parameter name="MSFS_INSTALL_PATH" value="/sim/Community"/>)",
        R"(<parameter name="DESTINATION" value="EDDF"/>)",
        R"(<parameter name="UNKNOWN_KEY" value="kept"/>)",
    }));
    MAX_LIVE.handle = 7;
    AEROWINX.handle = 8;
    LOG.handle = 9;

    gf_readParametersXml();

    struct IntCase {
        const Parameter<int>& p;
        int expected;
    };
    const IntCase ints[] = {
        {MATCHING_DEPTH, 4}, {LATERAL_RANGE, 2}, {MAX_LIVE, 0}, {AIRPORT_RANGE, 8}, {CUSTOM_MAX_PARK, 0},
        {MAX_HOLDING_MINUTES, 60}, {LAST_EPOCH_TIME, 1700000000},
        {AI_PACKAGE_ORDER, 1},  // missing: default
    };
    for (const auto& c : ints) EXPECT_EQ(c.p.value.get(), c.expected) << c.p.name;

    struct BoolCase {
        const Parameter<bool>& p;
        bool expected;
    };
    const BoolCase bools[] = {
        {SCAN_LIVERIES, true}, {AEROWINX, true}, {WEEK, true}, {LOG, false}, {AUTO_RANGE, false},
        {GUID_CHANGES, false}, {SUPPRESS_STUB, false}, {HELICOPTERS, false},
        {RANDOM, true}, {LIG_PRIORITIZE, false},  // missing: defaults
    };
    for (const auto& c : bools) EXPECT_EQ(c.p.value.get(), c.expected) << c.p.name;

    EXPECT_EQ(lfolder1.value.get(), "/data/liveries");
    EXPECT_EQ(MSFS_INSTALL_PATH.value.get(), "/sim/Community");
    EXPECT_EQ(DESTINATION.value.get(), "EDDF");
    EXPECT_EQ(PORT_NUMBER.value.get(), "10747");

    const auto lines = logLines();
    EXPECT_EQ(storeCountOf(lines, "from \"" + g_parametersXmlPath + "\""), 1);
    for (const char* line : {"MATCHING_DEPTH=4", "LATERAL_RANGE=2", "MAX_LIVE=0", "SCAN_LIVERIES=true", "LOG=false",
                             "RANDOM=true", "lfolder1=/data/liveries", "Parameter lfolder3 removed",
                             "PORT_NUMBER=10747", "BLOCK_CALLSIGN="}) {
        EXPECT_EQ(storeCountOf(lines, line), 1) << line;
    }
    for (const auto& line : lines) {
        EXPECT_NE(line.rfind("lfolder3=", 0), 0u);  // empty livery folders log nothing
        EXPECT_NE(line.rfind("lfolder5=", 0), 0u);
    }

    // The file keeps what it had (as it was written), gains the missing keys with
    // their defaults and loses the empty livery folder.
    const Entries entries = entriesOf(file());
    EXPECT_EQ(valueIn(entries, "MATCHING_DEPTH"), "9");
    EXPECT_EQ(valueIn(entries, "UNKNOWN_KEY"), "kept");
    EXPECT_EQ(valueIn(entries, "RANDOM"), "true");
    EXPECT_EQ(valueIn(entries, "AI_PACKAGE_ORDER"), "1");
    EXPECT_EQ(valueIn(entries, "BLOCK_CALLSIGN"), "");
    EXPECT_EQ(valueIn(entries, "lfolder1"), "/data/liveries");
    EXPECT_EQ(valueIn(entries, "lfolder3"), std::nullopt);
    EXPECT_EQ(valueIn(entries, "lfolder5"), std::nullopt);
    for (const auto& key : listedKeys()) {
        if (!isLfolder(key)) {
            EXPECT_TRUE(valueIn(entries, key).has_value()) << key;
        }
    }

    const auto& port = gf_nullUiPort();
    EXPECT_EQ(port.control(7).text, "0");
    EXPECT_TRUE(port.control(8).checked);
    EXPECT_FALSE(port.control(9).checked);

    // The next start finds no element for lfolder3 and says nothing of it.
    gf_closeLog();
    gf_openLog(logDir_.path());
    gf_readParametersXml();
    for (const auto& line : logLines()) EXPECT_EQ(line.find("lfolder3"), std::string::npos) << line;
}

TEST_F(ParameterStoreTest, SimPcFlightPlanFolderComesBackAsWrittenAndAnOlderFileLoadsWithout) {
    // A file of an earlier version, without the key: it loads as before, and the
    // key is added empty.
    writeFile(fileWith({R"(<parameter name="LATERAL_RANGE" value="60"/>)",
                        R"(<parameter name="DESTINATION" value="EDDF"/>)"}));
    gf_readParametersXml();
    EXPECT_EQ(LATERAL_RANGE.value.get(), 60);
    EXPECT_EQ(DESTINATION.value.get(), "EDDF");
    EXPECT_EQ(SIM_PC_FLIGHT_PLAN_FOLDER.value.get(), "");
    EXPECT_EQ(valueIn(entriesOf(file()), "SIM_PC_FLIGHT_PLAN_FOLDER"), "");

    // Saved, then read back by the next start exactly as it was written.
    for (const std::string folder : {R"(\\MYPC\calvorinth\orig_dest)", R"(D:\shared folder\orig_dest\)",
                                     "//mypc/calvorinth/orig_dest", "\\\\PC\\Fl\xC3\xBCge & <Pl\xC3\xA4ne>"}) {
        SCOPED_TRACE(folder);
        SIM_PC_FLIGHT_PLAN_FOLDER.set(folder);
        SIM_PC_FLIGHT_PLAN_FOLDER.value = "";
        gf_readParametersXml();
        EXPECT_EQ(SIM_PC_FLIGHT_PLAN_FOLDER.value.get(), folder);
        EXPECT_EQ(valueIn(entriesOf(file()), "SIM_PC_FLIGHT_PLAN_FOLDER"), folder);
        EXPECT_EQ(LATERAL_RANGE.value.get(), 60);
    }
}

TEST_F(ParameterStoreTest, UnreadableFileIsKeptAndReplacedByDefaults) {
    const std::string broken = "<parameters><parameter name=\"LOG\" value=\"false\"";
    writeFile(broken);
    LOG.value = false;

    gf_readParametersXml();

    EXPECT_EQ(readFile(dir_ / "parameters.xml.bad"), broken);
    EXPECT_TRUE(LOG.value.get());
    EXPECT_EQ(valueIn(entriesOf(file()), "LOG"), "true");
    // Said once, as it is: the file was there but broken, and where its copy is.
    const std::string said = "===> " + g_parametersXmlPath + " could not be read (";
    const auto lines = logLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(said); }), 1);
    for (const auto& line : lines) EXPECT_EQ(line.find("not found"), std::string::npos) << line;
    const auto status = gf_nullUiPort().statusLines();
    ASSERT_EQ(status.size(), 1u);
    EXPECT_NE(status[0].find("reset to their defaults"), std::string::npos) << status[0];
    EXPECT_NE(status[0].find((dir_ / "parameters.xml.bad").string()), std::string::npos) << status[0];

    // Broken again: the first copy stays, the second gets a number of its own.
    const std::string brokenAgain = "<parameters><parameter name=\"WEEK\"";
    writeFile(brokenAgain);
    gf_readParametersXml();
    writeFile("not xml at all");
    gf_readParametersXml();
    EXPECT_EQ(readFile(dir_ / "parameters.xml.bad"), broken);
    EXPECT_EQ(readFile(dir_ / "parameters.xml.bad.2"), brokenAgain);
    EXPECT_EQ(readFile(dir_ / "parameters.xml.bad.3"), "not xml at all");
}

TEST_F(ParameterStoreTest, MissingFileIsSaidToBeMissing) {
    gf_readParametersXml();
    EXPECT_EQ(storeCountOf(logLines(), g_parametersXmlPath + " not found, default values taken:"), 1);
    EXPECT_TRUE(gf_nullUiPort().statusLines().empty());
    EXPECT_FALSE(std::filesystem::exists(dir_ / "parameters.xml.bad"));
}

TEST_F(ParameterStoreTest, SaveChangesExactlyOneAttribute) {
    gf_readParametersXml();
    const Entries before = entriesOf(file());
    gf_closeLog();
    gf_openLog(logDir_.path());

    BLOCK_CALLSIGN.set("DLH4AB");

    const Entries after = entriesOf(file());
    ASSERT_EQ(after.size(), before.size());
    int changed = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].first, before[i].first);
        if (after[i].second != before[i].second) {
            ++changed;
            EXPECT_EQ(after[i].first, "BLOCK_CALLSIGN");
            EXPECT_EQ(after[i].second, "DLH4AB");
        }
    }
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(logLines(), std::vector<std::string>{"BLOCK_CALLSIGN=DLH4AB"});
    EXPECT_EQ(BLOCK_CALLSIGN.value.get(), "DLH4AB");
}

TEST_F(ParameterStoreTest, SaveWritesEveryKindAndMendsAnElementWithoutValue) {
    writeFile(fileWith({R"(<parameter name="MAX_LIVE"/>)", R"(<parameter name="WEEK" value="false"/>)"}));
    Parameter<bool> week("WEEK", false);
    Parameter<int> maxLive("MAX_LIVE", -1, -1, 300);
    Parameter<std::string> port("PORT_NUMBER", "10747");

    week.value = true;
    week.save();
    maxLive.value = 250;
    maxLive.save();
    port.set("49005");

    const Entries expected = {{"MAX_LIVE", "250"}, {"WEEK", "true"}, {"PORT_NUMBER", "49005"}};
    EXPECT_EQ(entriesOf(file()), expected);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"WEEK=true", "MAX_LIVE=250", "PORT_NUMBER=49005"}));
}

TEST_F(ParameterStoreTest, SaveIntoMissingOrForeignFileStartsTheRoot) {
    Parameter<int> x("X", 5, 0, 10);
    x.save();
    EXPECT_EQ(entriesOf(file()), (Entries{{"X", "5"}}));

    writeFile("<settings><parameter name=\"X\" value=\"1\"/></settings>");
    x.save();
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(file().c_str()));
    EXPECT_STREQ(document.child("settings").child("parameter").attribute("value").value(), "1");
    EXPECT_EQ(entriesOf(file()), (Entries{{"X", "5"}}));
}

TEST_F(ParameterStoreTest, SaveIntoUnreadableFileKeepsACopy) {
    writeFile("<parameters><parameter");
    Parameter<bool> flag("FLAG", true);
    flag.save();
    EXPECT_EQ(readFile(dir_ / "parameters.xml.bad"), "<parameters><parameter");
    EXPECT_EQ(entriesOf(file()), (Entries{{"FLAG", "true"}}));
    EXPECT_EQ(gf_nullUiPort().statusLines().size(), 1u);
}

TEST_F(ParameterStoreTest, SaveThatCannotWriteSaysSoAndKeepsTheValue) {
    g_parametersXmlPath = (dir_ / "missing-folder" / "parameters.xml").string();
    Parameter<int> x("X", 5, 0, 10);
    x.value = 7;
    x.save();
    EXPECT_EQ(x.value.get(), 7);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"X=7", "saving xml did not work?"}));
}

TEST_F(ParameterStoreTest, ConcurrentSavesOfDifferentKeysBothPersist) {
    Parameter<int> a("A", 0, 0, 1000);
    Parameter<int> b("B", 0, 0, 1000);
    constexpr int kSaves = 200;
    auto saver = [](Parameter<int>& p) {
        for (int i = 1; i <= kSaves; ++i) {
            p.value = i;
            p.save();
        }
    };
    std::thread first(saver, std::ref(a));
    std::thread second(saver, std::ref(b));
    first.join();
    second.join();

    const Entries entries = entriesOf(file());
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(valueIn(entries, "A"), std::to_string(kSaves));
    EXPECT_EQ(valueIn(entries, "B"), std::to_string(kSaves));
    EXPECT_TRUE(temporariesBeside(dir_ / "parameters.xml").empty());
}

TEST_F(ParameterStoreTest, ToggleCheckboxActsOnlyOnItsOwnId) {
    ControlParameter<bool> box("NAV_LIGHTS_WHILE_PARKED", true, 32778, 175);
    box.handle = 55;
    gf_nullUiPort().setChecked(55, true);

    EXPECT_FALSE(gf_toggleCheckboxParameter(32779, box));
    EXPECT_TRUE(box.value.get());
    EXPECT_TRUE(gf_nullUiPort().control(55).checked);
    EXPECT_FALSE(std::filesystem::exists(file()));

    EXPECT_TRUE(gf_toggleCheckboxParameter(32778, box));
    EXPECT_FALSE(box.value.get());
    EXPECT_FALSE(gf_nullUiPort().control(55).checked);
    EXPECT_EQ(entriesOf(file()), (Entries{{"NAV_LIGHTS_WHILE_PARKED", "false"}}));

    EXPECT_TRUE(gf_toggleCheckboxParameter(32778, box));
    EXPECT_TRUE(box.value.get());
    EXPECT_TRUE(gf_nullUiPort().control(55).checked);
    EXPECT_EQ(entriesOf(file()), (Entries{{"NAV_LIGHTS_WHILE_PARKED", "true"}}));
    EXPECT_EQ(logLines(), (std::vector<std::string>{"NAV_LIGHTS_WHILE_PARKED=false", "NAV_LIGHTS_WHILE_PARKED=true"}));
}

TEST_F(ParameterStoreTest, IntReadWithoutLogFlagIsQuiet) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(R"(<parameters><parameter name="N" value="12"/></parameters>)"));
    Parameter<int> n("N", 1, 0, 10);
    EXPECT_TRUE(n.read(document, false));
    EXPECT_EQ(n.value.get(), 10);
    Parameter<int> missing("M", 3, 0, 10);
    missing.value = 9;
    EXPECT_FALSE(missing.read(document, false));
    EXPECT_EQ(missing.value.get(), 3);
    EXPECT_TRUE(logLines().empty());
}

TEST(ParameterNodes, XPathAppendAndSetAttribute) {
    EXPECT_EQ(gf_parameterXPath("MAX_FIT"), "/parameters/parameter[@name='MAX_FIT']");

    pugi::xml_document document;
    pugi::xml_node root = document.append_child("parameters");
    EXPECT_TRUE(gf_appendBoolParameterNode(root, "B", false));
    EXPECT_TRUE(gf_appendIntParameterNode(root, "I", -2147483647 - 1));
    EXPECT_TRUE(gf_appendParameterNode(root, "S", "a \"quoted\" <text>"));
    EXPECT_FALSE(gf_appendParameterNode(pugi::xml_node(), "N", "x"));
    pugi::xml_node comment = root.append_child(pugi::node_comment);
    EXPECT_FALSE(gf_appendParameterNode(comment, "N", "x"));

    pugi::xml_node i = document.select_node(gf_parameterXPath("I").c_str()).node();
    ASSERT_TRUE(i);
    EXPECT_STREQ(i.attribute("value").value(), "-2147483648");
    EXPECT_STREQ(document.select_node(gf_parameterXPath("B").c_str()).node().attribute("value").value(), "false");
    EXPECT_STREQ(document.select_node(gf_parameterXPath("S").c_str()).node().attribute("value").value(),
                 "a \"quoted\" <text>");

    EXPECT_TRUE(gf_setIntAttribute(i, "value", 42));
    EXPECT_STREQ(i.attribute("value").value(), "42");
    EXPECT_FALSE(gf_setIntAttribute(i, "missing", 1));
    EXPECT_FALSE(i.attribute("missing"));
}
