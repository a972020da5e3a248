#include "liveries/dbase_queries.h"

#include <gtest/gtest.h>

#include "dbase_fixture.h"

namespace {

constexpr double kNm = 1852.0;
constexpr double kSpanTolerance = 1e-12;

class DbaseQueriesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dbase = {};
        gf_readDbaseFile(clv::test::dbaseFixture(), dbase);
    }
    static void TearDownTestSuite() { dbase = {}; }
};

TEST_F(DbaseQueriesTest, CategoryOfAType) {
    using clv::AcCategory;
    const struct {
        const char* type;
        AcCategory category;
    } cases[] = {
        {"A320", AcCategory::Large},   {"B752", AcCategory::Large},  // in large and heavy: large first
        {"B744", AcCategory::Heavy},   {"C56X", AcCategory::Buzjets},  {"EC35", AcCategory::Rotorcraft},
        {"F16", AcCategory::HighPerf}, {"C172", AcCategory::Light},    {"", AcCategory::Light},
        {"ZZZZ", AcCategory::Light},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_type2Category(c.type), c.category) << c.type;
}

TEST_F(DbaseQueriesTest, KnownModelsAndAirlines) {
    EXPECT_TRUE(gf_isValidModel("A20N"));
    EXPECT_FALSE(gf_isValidModel("XXXX"));
    EXPECT_FALSE(gf_isValidModel(""));
    EXPECT_TRUE(gf_isIcaoAirline("ZZZ"));
    EXPECT_TRUE(gf_isIcaoAirline("FDX"));
    EXPECT_FALSE(gf_isIcaoAirline("XYZ"));
    EXPECT_FALSE(gf_isIcaoAirline(""));
}

TEST_F(DbaseQueriesTest, WingspanOrTheCategoryAverage) {
    EXPECT_NEAR(gf_wingspan("A320"), 35.8 / 2 / kNm, kSpanTolerance);
    // B748 has no span: the Heavy average.
    EXPECT_NEAR(gf_wingspan("B748"), (64.4 + 64.8 + 79.75) / 3 / 2 / kNm, kSpanTolerance);
    // An unknown type is Light.
    EXPECT_NEAR(gf_wingspan("QQQQ"), 11.0 / 2 / kNm, kSpanTolerance);
}

TEST_F(DbaseQueriesTest, RegistrationSpellings) {
    const struct {
        const char* registration;
        std::vector<std::string> variants;
    } cases[] = {
        {"DABCD", {"DA-BCD", "D-ABCD", "DABCD"}},
        {"HBJNA", {"HB-JNA", "H-BJNA", "HBJNA"}},
        {"N123AB", {"N123AB"}},
        {"D-ABCD", {"D-ABCD"}},
        {"G-ABCD", {"G-ABCD"}},
        {"ABCD", {"ABCD"}},
        {"", {""}},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_regcodeVariants(c.registration), c.variants) << c.registration;
}

TEST_F(DbaseQueriesTest, RegistrationRecordsThroughTheirSpellings) {
    const struct {
        const char* registration;
        const char* airline;
        const char* type;
        const char* oper;
    } cases[] = {
        {"D-AIBL", "DLH", "A319", ""},   // stored dashed, asked exactly
        {"DAIBL", "DLH", "A319", ""},    // found as D-AIBL
        {"HBJNA", "SWR", "B77W", ""},    // found as HB-JNA
        {"EIDVM", "RYR", "B38M", ""},    // stored undashed: the last spelling
        {"N501DN", "DAL", "A359", ""},   // N-registrations are never dashed
        {"D-AIZZ", "DLH", "A320", "EWG"},
        {"CS-DXA", "NJE", "", ""},       // no type
        {"D-XXXX", "", "", ""},          // unknown
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.registration);
        EXPECT_EQ(gf_reg2Airline(c.registration), c.airline);
        EXPECT_EQ(gf_reg2Type(c.registration), c.type);
        EXPECT_EQ(gf_reg2Operator(c.registration), c.oper);
    }
    EXPECT_FALSE(gf_regRecordOf(""));
    EXPECT_TRUE(gf_regRecordOf("N601FE")->cargo);

    // The exact lookup tries one spelling only.
    EXPECT_FALSE(gf_findRegRecord("DAIBL"));
    std::optional<clv::RegRecord> record;
    EXPECT_TRUE(gf_findRegRecord("D-AIBL", record));
    EXPECT_EQ(record->type, "A319");
    EXPECT_FALSE(gf_findRegRecord("DAIBL", record));
    EXPECT_FALSE(record);
}

TEST_F(DbaseQueriesTest, PrivateRegistrationInATitle) {
    EXPECT_EQ(gf_pvtRegPrefix("Cessna 172 PH1 private"), "PH1");
    // D-EFGH is private too, but too long to count.
    EXPECT_EQ(gf_pvtRegPrefix("Cessna 172 D-EFGH"), "");
    EXPECT_EQ(gf_pvtRegPrefix("Cessna 172 D-EZZZ"), "");
}

TEST_F(DbaseQueriesTest, PublisherOfAFolderName) {
    EXPECT_EQ(gf_publisherOf("orbx-eddf-frankfurt"), "Orbx");
    EXPECT_EQ(gf_publisherOf("Aerosoft EDDF"), "Aerosoft");
    EXPECT_EQ(gf_publisherOf("TAXI2GATE-KDFW"), "Taxi2Gate");  // by pattern, case ignored
    EXPECT_EQ(gf_publisherOf("my-own-scenery"), "unknown");

    auto groups = std::move(dbase.publisherGroups);
    dbase.publisherGroups.clear();
    EXPECT_EQ(gf_publisherOf("orbx-eddf"), "unknown");
    dbase.publisherGroups = std::move(groups);
}

TEST(PatternMatchTest, TheTextMustBeginWithAMatch) {
    const struct {
        const char* text;
        const char* pattern;
        bool match;
    } cases[] = {
        {"flytampa-lowi", "flytampa", true},
        {"my-flytampa", "flytampa", false},
        {"FLYTAMPA-LOWI", "flytampa", true},
        {"taxi2gate-kdfw", "taxi2gate-[a-z]{4}", true},
        {"taxi2gate-kd", "taxi2gate-[a-z]{4}", false},
        {"abc", "(", false},  // invalid pattern
    };
    for (const auto& c : cases) EXPECT_EQ(gf_patternMatch(c.text, c.pattern), c.match) << c.text << " " << c.pattern;
}

}  // namespace
