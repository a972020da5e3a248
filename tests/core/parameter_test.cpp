#include "core/parameters.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <variant>

#include <fmt/format.h>

namespace {

template <typename List, typename F>
void parameterForEach(const List& list, F f) {
    for (auto* p : list) f(*p);
}

}  // namespace

TEST(ParameterObjects, ConstructionFromDefaultAndLimits) {
    Parameter<bool> flag("FLAG", true);
    EXPECT_TRUE(flag.def && flag.min && flag.max && flag.value);
    Parameter<std::string> text("TEXT", "abc");
    EXPECT_EQ(text.def, "abc");
    EXPECT_EQ(text.min, "abc");
    EXPECT_EQ(text.max, "abc");
    EXPECT_EQ(text.get(), "abc");
    ControlParameter<int> ranged("RANGED", 7, -1, 9, 32000, 100);
    EXPECT_EQ(ranged.def, 7);
    EXPECT_EQ(ranged.min, -1);
    EXPECT_EQ(ranged.max, 9);
    EXPECT_EQ(ranged.value.get(), 7);
    EXPECT_EQ(ranged.controlId, 32000);
    EXPECT_EQ(ranged.y, 100);
    EXPECT_EQ(ranged.handle.load(), 0u);

    // Defaults that sit on a limit.
    EXPECT_EQ(MAX_LIVE.def, MAX_LIVE.min);
    EXPECT_EQ(CUSTOM_MAX_PARK.def, -1);
    EXPECT_EQ(CUSTOM_MAX_PARK.min, -1);
    EXPECT_EQ(MAX_FIT.def, 47);
    EXPECT_EQ(MAX_FIT.max, 47);
    EXPECT_EQ(AUTO_RANGE_ABOVE_HEIGHT.def, AUTO_RANGE_ABOVE_HEIGHT.max);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.def, MAX_FIT.def * 0.5f + 0.5f);
    EXPECT_EQ(PORT_NUMBER.def, "10747");
    EXPECT_EQ(FLUSH_STATIC_BUTTON.name, "Flush static");
    EXPECT_EQ(REREAD_BUTTON.name, "Re-read");
    EXPECT_EQ(UNBLOCK_BUTTON.name, "Unblock");
}

TEST(ParameterObjects, ValuesPrintAsTheLogShowsThem) {
    Parameter<bool> flag("FLAG", false);
    Parameter<int> number("N", -12, -100, 100);
    Parameter<float> hours("H", 3.5f, 0.5f, 24.0f);
    Parameter<std::string> text("T", "EDDF");
    EXPECT_EQ(fmt::format("{}={}", flag.name, flag.value), "FLAG=false");
    EXPECT_EQ(fmt::format("{}", number.value), "-12");
    EXPECT_EQ(fmt::format("{:.1f}", hours.value), "3.5");
    EXPECT_EQ(fmt::format("[{}]", text.value), "[EDDF]");
    EXPECT_TRUE(text.value == "EDDF");
    EXPECT_FALSE(text.value == "EDD");
}

TEST(ParameterObjects, LateralRangeCopiesFollowTheSetting) {
    EXPECT_DOUBLE_EQ(lateralRangeNm.load(), 40.0);
    EXPECT_EQ(lateralRangeMeters.load(), 74080);
    LATERAL_RANGE.value = 25;
    gf_refreshLateralRangeCopies();
    EXPECT_DOUBLE_EQ(lateralRangeNm.load(), 25.0);
    EXPECT_EQ(lateralRangeMeters.load(), 46300);
    LATERAL_RANGE.value = LATERAL_RANGE.def;
    gf_refreshLateralRangeCopies();
}

TEST(ParameterObjects, KeyCopiesForTheAirportFiles) {
    const std::string* copies[] = {&g_lateralRangeKey, &g_autoRangeKey,         &g_initialLoadOnlyKey, &g_parkSoftKey,
                                   &g_parkFakeKey,     &g_parkingPercentageKey, &g_maxFitKey,          &g_weekKey,
                                   &g_learnSoftKey,    &g_maxLiveKey};
    const char* keys[] = {"LATERAL_RANGE", "AUTO_RANGE", "INITIAL_LOAD_ONLY", "PARK_SOFT", "PARK_FAKE",
                          "parking_percentage", "MAX_FIT", "WEEK", "LEARN_SOFT", "MAX_LIVE"};
    for (std::size_t i = 0; i < std::size(keys); ++i) EXPECT_EQ(*copies[i], keys[i]);
}

TEST(ParameterObjects, LoadListsHoldEveryStoredSettingOnce) {
    const clv::ParameterLoadLists& lists = gf_parameterLoadLists();
    std::set<std::string> keys;
    std::size_t count = 0;
    auto add = [&](const auto& p) {
        keys.insert(p.name);
        ++count;
    };
    parameterForEach(lists.bools, add);
    parameterForEach(lists.checkboxes, add);
    parameterForEach(lists.ints, add);
    parameterForEach(lists.intEdits, add);
    parameterForEach(lists.strings, add);
    parameterForEach(lists.stringEdits, add);
    EXPECT_EQ(count, keys.size());
    EXPECT_EQ(lists.checkboxes.size(), 25u);
    EXPECT_EQ(lists.intEdits.size(), 9u);
    EXPECT_EQ(lists.strings.size(), 18u);
    for (const char* memoryOnly : {"parking_percentage", "MAX_FIT_FL", "ALL_INSTALL_PATH", "CALLSIGN_2_OBJECTID"}) {
        EXPECT_EQ(keys.count(memoryOnly), 0u) << memoryOnly;
    }
    // Every check box of the window is loaded.
    for (const clv::ControlPlacement& placement : gf_controlLayout()) {
        if (auto* box = std::get_if<ControlParameter<bool>*>(&placement.target)) {
            EXPECT_EQ(keys.count((*box)->name), 1u) << (*box)->name;
        }
    }
}

TEST(ParameterObjects, ControlLayout) {
    const auto layout = gf_controlLayout();
    EXPECT_EQ(layout.size(), 42u);
    std::set<std::uint16_t> ids;
    for (const clv::ControlPlacement& placement : layout) ids.insert(placement.control().controlId);
    EXPECT_EQ(ids.size(), layout.size());
    EXPECT_EQ(ids.count(MAX_FIT.controlId), 0u);  // edited through MAX_FIT_FL

    struct Case {
        std::uint16_t id;
        std::int32_t x, top, width, height;
    };
    const Case cases[] = {
        {32790, 5, 121, 12, 12},     // MSFS_2020 check box, 2 below its row
        {32788, 111, 119, 1200, 16},  // ALL_INSTALL_PATH edit
        {32829, 323, 257, 70, 20},    // Unblock button
        {32855, 566, 371, 34, 16},    // MAX_FIT_FL edit
        {32858, 758, 369, 90, 20},    // Flush static button
        {32854, 71, 373, 12, 12},     // WEEK check box
    };
    for (const auto& c : cases) {
        const clv::ControlPlacement* placement = gf_controlPlacement(c.id);
        ASSERT_NE(placement, nullptr) << c.id;
        EXPECT_EQ(placement->x, c.x) << c.id;
        EXPECT_EQ(placement->top(), c.top) << c.id;
        EXPECT_EQ(placement->width, c.width) << c.id;
        EXPECT_EQ(placement->height(), c.height) << c.id;
    }
    EXPECT_EQ(gf_controlPlacement(1), nullptr);
    EXPECT_TRUE(std::holds_alternative<ControlParameter<float>*>(gf_controlPlacement(32855)->target));
    EXPECT_EQ(layout.front().control().controlId, MSFS_2020.controlId);
    EXPECT_EQ(layout.back().control().controlId, FLUSH_STATIC_BUTTON.controlId);
}

TEST(ParameterObjects, TextValueIsSafeAcrossThreads) {
    Parameter<std::string> text("T", "");
    const std::string a(64, 'a');
    const std::string b(100, 'b');
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) text.value = (i % 2 == 0) ? a : b;
    });
    for (int i = 0; i < 2000; ++i) {
        const std::string seen = text.value.get();
        EXPECT_TRUE(seen.empty() || seen == a || seen == b);
    }
    writer.join();
}
