// The settings as the user's parameters.xml holds them: a first start writes the
// golden file, and every setting has the default and the limits of this table,
// typed out on its own (not taken from the program).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "core/folders.h"
#include "core/log.h"
#include "core/parameter_store.h"
#include "core/parameters.h"
#include "core/ui_port.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using clv::test::TempFolder;

// Kind of a setting; "stored" when the load reads it from parameters.xml (and a
// first start therefore writes it).
enum class Kind { Bool, Int, Float, Text };

struct Row {
    const char* key;
    Kind kind;
    const char* def;  // as parameters.xml writes it
    std::optional<double> min;
    std::optional<double> max;
    bool stored;
};

constexpr auto B = Kind::Bool;
constexpr auto I = Kind::Int;
constexpr auto F = Kind::Float;
constexpr auto S = Kind::Text;
constexpr std::nullopt_t N = std::nullopt;

// Every setting the user has, with its default and limits.
const std::vector<Row> kTable{
    {"PROGRAM_INSTALL_PATH", S, "", N, N, true},
    {"RAVUDOVODO24_VERSION", S, "", N, N, true},
    {"MSFS_2020", B, "true", N, N, true},
    {"ALL_INSTALL_PATH", S, "", N, N, false},
    {"MSFS_2024_INSTALL_PATH", S, "", N, N, true},
    {"MSFS_INSTALL_PATH", S, "", N, N, true},
    {"HIGH_PERF_AIRCRAFT", B, "true", N, N, true},
    {"HELICOPTERS", B, "true", N, N, true},
    {"LIGHT_AIRCRAFT", B, "true", N, N, true},
    {"LOG", B, "true", N, N, true},
    {"LATERAL_RANGE", I, "40", 2, 100, true},
    {"PROGRAM_VERSION", S, "", N, N, true},
    {"MAX_FIT_FL", F, "24", 0.5, 24.0, false},
    {"MAX_LIVE", I, "-1", -1, 300, true},
    {"LEARN_SOFT", B, "true", N, N, true},
    {"WEEK", B, "false", N, N, true},
    {"MAX_FIT", I, "47", 0, 47, true},
    {"parking_percentage", I, "30", 0, 100, false},
    {"PARK_FAKE", B, "false", N, N, true},
    {"PARK_SOFT", B, "true", N, N, true},
    {"INITIAL_LOAD_ONLY", B, "false", N, N, true},
    {"AUTO_RANGE", B, "true", N, N, true},
    {"HOLDING_THRESHOLD_METERS", I, "250", 10, 4000, true},
    {"MAX_HOLDING_MINUTES", I, "20", 1, 60, true},
    {"CUSTOM_PARKING_PERCENTAGE", I, "-1", -1, 100, true},
    {"LAST_EPOCH_TIME", I, "0", 0, 2147483647, true},
    {"RANDOM", B, "true", N, N, true},
    {"PORT_NUMBER", S, "10747", N, N, true},
    {"lfolder0", S, "", N, N, true},
    {"lfolder1", S, "", N, N, true},
    {"lfolder2", S, "", N, N, true},
    {"lfolder3", S, "", N, N, true},
    {"lfolder4", S, "", N, N, true},
    {"lfolder5", S, "", N, N, true},
    {"lfolder6", S, "", N, N, true},
    {"lfolder7", S, "", N, N, true},
    {"lfolder8", S, "", N, N, true},
    {"lfolder9", S, "", N, N, true},
    {"SCAN_LIVERIES", B, "true", N, N, true},
    {"LIG_AUTOMATIC", B, "true", N, N, true},
    {"LIG_PRIORITIZE", B, "false", N, N, true},
    {"AI_PACKAGE_ORDER", I, "1", 1, 6, true},
    {"SUPPRESS_STUB", B, "true", N, N, true},
    {"ALWAYS_ON_TOP", B, "false", N, N, true},
    {"SCAN_AIRPORTS", B, "true", N, N, true},
    {"NAV_LIGHTS_WHILE_PARKED", B, "true", N, N, true},
    {"MATCHING_DEPTH", I, "4", 1, 4, true},
    {"AEROWINX", B, "false", N, N, true},
    {"GUID_CHANGES", B, "true", N, N, true},
    {"AUTO_RANGE_ABOVE_HEIGHT", I, "49000", 18000, 49000, true},
    {"CALLSIGN_OBJECTIDS", B, "false", N, N, true},
    {"BLOCK_CALLSIGN", S, "", N, N, true},
    {"CALLSIGN_2_OBJECTID", S, "", N, N, false},
    {"COLLISION_USER_AIR", B, "true", N, N, true},
    {"COLLISION_USER_GND", B, "true", N, N, true},
    {"COLLISION_LIVE_PARKED_GND", B, "false", N, N, true},
    {"CUSTOM_MAX_PARK", I, "-1", -1, 500, true},
    {"DESTINATION", S, "", N, N, true},
    {"AIRPORT_RANGE", I, "20", 8, 30, true},
    {"AIRPORT_HEIGHT", I, "18000", 2000, 45000, true},
    {"STRAIGHT_PBS_ONLY", B, "false", N, N, true},
    {"MAIN_WINDOW_X", I, "400", -30000, 30000, true},
    {"MAIN_WINDOW_Y", I, "20", -30000, 30000, true},
    {"SIM_PC_FLIGHT_PLAN_FOLDER", S, "", N, N, true},
};

fs::path lf_golden() { return fs::path(__FILE__).parent_path().parent_path() / "data" / "parameters" / "first_start.xml"; }

std::map<std::string, std::string> lf_entries(const fs::path& path) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_file(path.c_str())) << path;
    std::map<std::string, std::string> entries;
    for (pugi::xml_node p : document.child("parameters").children("parameter")) {
        const bool fresh = entries.emplace(p.attribute("name").value(), p.attribute("value").value()).second;
        EXPECT_TRUE(fresh) << "twice: " << p.attribute("name").value();
    }
    return entries;
}

// The program's object of a key, among the load lists and the settings never stored.
using Any = std::variant<Parameter<bool>*, Parameter<int>*, Parameter<float>*, Parameter<std::string>*>;
std::map<std::string, Any> lf_programSettings() {
    std::map<std::string, Any> all;
    const clv::ParameterLoadLists& lists = gf_parameterLoadLists();
    for (auto* p : lists.bools) all[p->name] = p;
    for (auto* p : lists.checkboxes) all[p->name] = static_cast<Parameter<bool>*>(p);
    for (auto* p : lists.ints) all[p->name] = p;
    for (auto* p : lists.intEdits) all[p->name] = static_cast<Parameter<int>*>(p);
    for (auto* p : lists.strings) all[p->name] = p;
    for (auto* p : lists.stringEdits) all[p->name] = static_cast<Parameter<std::string>*>(p);
    all["MAX_FIT_FL"] = static_cast<Parameter<float>*>(&MAX_FIT_FL);
    all["parking_percentage"] = static_cast<Parameter<int>*>(&parking_percentage);
    all["ALL_INSTALL_PATH"] = static_cast<Parameter<std::string>*>(&ALL_INSTALL_PATH);
    all["CALLSIGN_2_OBJECTID"] = static_cast<Parameter<std::string>*>(&CALLSIGN_2_OBJECTID);
    all["MAIN_WINDOW_X"] = &MAIN_WINDOW_X;
    all["MAIN_WINDOW_Y"] = &MAIN_WINDOW_Y;
    return all;
}

class ParameterTable : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath_ = g_parametersXmlPath;
        g_parametersXmlPath = (dir_ / "parameters.xml").string();
        gf_openLog(dir_.path());
    }
    void TearDown() override {
        gf_closeLog();
        g_parametersXmlPath = savedPath_;
        gf_nullUiPort().clear();
        for (const auto& [key, setting] : lf_programSettings()) {
            std::visit([](auto* p) { p->value = p->def; }, setting);
        }
    }

    TempFolder dir_;

private:
    std::string savedPath_;
};

TEST_F(ParameterTable, GoldenFirstStartFileHoldsEveryStoredDefaultOfTheTable) {
    // The golden file against the table: the stored settings, each with its
    // default; empty livery folders are left out.
    std::map<std::string, std::string> expected;
    for (const Row& row : kTable) {
        if (row.stored && std::string_view(row.key).substr(0, 7) != "lfolder") expected[row.key] = row.def;
    }
    EXPECT_EQ(lf_entries(lf_golden()), expected);

    // A first start writes the golden file, byte for byte.
    gf_readParametersXml();
    EXPECT_EQ(clv::test::readFile(dir_ / "parameters.xml"), clv::test::readFile(lf_golden()));
}

TEST_F(ParameterTable, EverySettingHasTheDefaultAndTheLimitsOfTheTable) {
    const auto program = lf_programSettings();
    EXPECT_EQ(program.size(), kTable.size());
    for (const Row& row : kTable) {
        SCOPED_TRACE(row.key);
        const auto found = program.find(row.key);
        ASSERT_NE(found, program.end());
        std::visit(
            [&](auto* p) {
                using T = std::decay_t<decltype(p->def)>;
                if constexpr (std::is_same_v<T, bool>) {
                    EXPECT_EQ(row.kind, Kind::Bool);
                    EXPECT_EQ(p->def ? "true" : "false", std::string(row.def));
                } else if constexpr (std::is_same_v<T, int>) {
                    EXPECT_EQ(row.kind, Kind::Int);
                    EXPECT_EQ(std::to_string(p->def), row.def);
                    ASSERT_TRUE(row.min && row.max);
                    EXPECT_EQ(p->min, static_cast<int>(*row.min));
                    EXPECT_EQ(p->max, static_cast<int>(*row.max));
                } else if constexpr (std::is_same_v<T, float>) {
                    EXPECT_EQ(row.kind, Kind::Float);
                    EXPECT_FLOAT_EQ(p->def, std::stof(row.def));
                    EXPECT_FLOAT_EQ(p->min, static_cast<float>(*row.min));
                    EXPECT_FLOAT_EQ(p->max, static_cast<float>(*row.max));
                } else {
                    EXPECT_EQ(row.kind, Kind::Text);
                    EXPECT_EQ(p->def, row.def);
                }
            },
            found->second);
    }
}

// The limits as the load applies them: a stored value below the minimum or above
// the maximum comes back at the limit.
TEST_F(ParameterTable, LoadHoldsEveryStoredNumberWithinTheLimitsOfTheTable) {
    for (const bool below : {true, false}) {
        std::string text = "<?xml version=\"1.0\"?>\n<parameters>\n";
        for (const Row& row : kTable) {
            if (!row.stored || row.kind != Kind::Int) continue;
            const long long outside = below ? static_cast<long long>(*row.min) - 1 : static_cast<long long>(*row.max) + 1;
            text += fmt::format("  <parameter name=\"{}\" value=\"{}\" />\n", row.key, outside);
        }
        dir_.write("parameters.xml", text + "</parameters>\n");
        gf_readParametersXml();
        const auto program = lf_programSettings();
        for (const Row& row : kTable) {
            if (!row.stored || row.kind != Kind::Int) continue;
            SCOPED_TRACE(fmt::format("{} {}", row.key, below ? "below" : "above"));
            EXPECT_EQ(std::get<Parameter<int>*>(program.at(row.key))->value.get(),
                      static_cast<int>(below ? *row.min : *row.max));
        }
    }
}

}  // namespace
