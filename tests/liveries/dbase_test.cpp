#include "liveries/dbase.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <pugixml.hpp>

#include "core/folders.h"
#include "core/user_error.h"
#include "dbase_fixture.h"
#include "liveries/dbase_codec.h"
#include "liveries/dbase_queries.h"

namespace fs = std::filesystem;
using clv::test::CurrentFolder;
using clv::test::dbaseFixture;
using clv::test::FileServer;
using clv::test::LogCapture;
using clv::test::readFile;
using clv::test::TempFolder;

namespace {

constexpr double kDbaseNm = 1852.0;
// Half spans in nautical miles carry a few ulps of rounding from the division.
constexpr double kDbaseSpanTolerance = 1e-12;

// ---- stored form --------------------------------------------------------------

TEST(DbaseCodecTest, StoredFormsOfTheDocumentedExamples) {
    EXPECT_EQ(gf_encodeType("B738"), "SOKP");
    EXPECT_EQ(gf_encodeRegcode("D-ABCD"), "I-T19H");
    EXPECT_EQ(gf_encodeAirline("DLH"), "1E2734");
    EXPECT_EQ(gf_decodeType("SOKP"), "B738");
    EXPECT_EQ(gf_decodeRegcode("I-T19H"), "D-ABCD");
    EXPECT_EQ(gf_decodeAirline("1E2734"), "DLH");
}

TEST(DbaseCodecTest, EveryValueComesBackAsItWasEncoded) {
    const std::vector<std::string> values{"",       "F16",    "B738",  "A20N",   "ZZZZ9",
                                          "b738",   "D-ABCD", "N123AB", "JA01XJ", "HB-JNA",
                                          "G-ÄÖÜ", "a b\tc", "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"};
    for (const auto& value : values) {
        SCOPED_TRACE(value);
        EXPECT_EQ(gf_encodeType(value).size(), value.size());
        EXPECT_EQ(gf_decodeType(gf_encodeType(value)), value);
        EXPECT_EQ(gf_encodeRegcode(value).size(), value.size());
        EXPECT_EQ(gf_decodeRegcode(gf_encodeRegcode(value)), value);
    }
    // The registration's shift depends on the position: equal letters differ.
    const std::string stored = gf_encodeRegcode("AAAA");
    EXPECT_NE(stored[0], stored[1]);
    for (const std::string code : {"DLH", "ZZZ", "PVT", "a1-", "\x7f\x01\xff"}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(gf_encodeAirline(code).size(), 6u);
        EXPECT_EQ(gf_decodeAirline(gf_encodeAirline(code)), code);
    }
}

TEST(DbaseCodecTest, AirlineValuesOfOtherLengths) {
    LogCapture log;
    EXPECT_EQ(gf_decodeAirline(""), "");
    EXPECT_EQ(gf_decodeAirline("DLH"), "DLH");
    EXPECT_TRUE(log.contains("===> Unencrypted airline DLH in decrypt airl?"));
    for (const std::string stored : {"1E27", "1E27345", "1E27ZZ"}) {
        SCOPED_TRACE(stored);
        try {
            gf_decodeAirline(stored);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "decrypt airl \"" + stored + "\" error");
        }
    }
    EXPECT_THROW(gf_encodeAirline("DLHX"), std::invalid_argument);
}

// ---- reading the file -----------------------------------------------------------

class DbaseReadTest : public ::testing::Test {
protected:
    void SetUp() override { dbase = {}; }
    void TearDown() override { dbase = {}; }

    // The fixture with `edit` applied, saved in the temporary folder.
    fs::path editedFixture(const std::function<void(pugi::xml_document&)>& edit) {
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_file(dbaseFixture().c_str()));
        edit(doc);
        const fs::path path = dir / "edited.xml";
        EXPECT_TRUE(doc.save_file(path.c_str()));
        return path;
    }

    TempFolder dir;
    LogCapture log;
};

TEST_F(DbaseReadTest, ReadsEverySectionOfTheFixture) {
    gf_readDbaseFile(dbaseFixture(), dbase);

    EXPECT_EQ(dbase.aircrafts.size(), 26u);
    EXPECT_TRUE(dbase.aircrafts.contains("F16"));
    EXPECT_EQ(dbase.high_performance, (clv::StringSet{"EUFI", "F16"}));
    EXPECT_EQ(dbase.rotorcraft, (clv::StringSet{"B407", "EC35"}));
    EXPECT_EQ(dbase.cargo_types, (clv::StringSet{"B748", "B77L", "MD11"}));
    EXPECT_TRUE(dbase.heavy.contains("B752"));
    EXPECT_TRUE(dbase.large.contains("B752"));

    // Groups sorted, in the file's order.
    const std::vector<std::vector<std::string>> similar{
        {"A20N", "A319", "A320"}, {"B38M", "B737", "B738"}, {"B744", "B748"}, {"C172", "DA40", "PA28"}};
    EXPECT_EQ(dbase.similarGroups, similar);

    EXPECT_EQ(dbase.ICAO_airlines.size(), 16u);
    EXPECT_TRUE(dbase.ICAO_airlines.contains("ZZZ"));
    EXPECT_TRUE(dbase.ICAO_airlines.contains("PVT"));
    EXPECT_EQ(dbase.cargo_operators, (clv::StringSet{"CLX", "FDX", "GEC", "UPS"}));

    // One group per distinct text, sorted by the whole text.
    const std::vector<std::vector<std::string>> publishers{{"Aerosoft", "aerosoft-"},
                                                           {"FlyTampa", "flytampa"},
                                                           {"Orbx", "orbx-"},
                                                           {"Taxi2Gate", "taxi2gate-[a-z]{4}"}};
    EXPECT_EQ(dbase.publisherGroups, publishers);

    EXPECT_EQ(dbase.simaddons20, (clv::StringSet{"EDDF", "EGLL", "KJFK"}));
    ASSERT_EQ(dbase.thirdparties20.size(), 2u);
    EXPECT_EQ(dbase.thirdparties20[0].pub, "Aerosoft");
    EXPECT_EQ(dbase.thirdparties20[0].arpts, (std::vector<std::string>{"EDDF120", "LOWW88"}));
    EXPECT_EQ(dbase.thirdparties20[1].pub, "FlyTampa");
    ASSERT_EQ(dbase.thirdparties24.size(), 1u);
    EXPECT_EQ(dbase.thirdparties24[0].arpts, (std::vector<std::string>{"EDDF125"}));

    // 14 lines, one of them a second D-AIBL.
    EXPECT_EQ(dbase.registrations.size(), 13u);
    const auto& lfa = dbase.registrations.at("D-ALFA");
    EXPECT_EQ(lfa.airl, "GEC");
    EXPECT_EQ(lfa.type, "B77L");
    EXPECT_TRUE(lfa.cargo);  // "yes"
    EXPECT_TRUE(dbase.registrations.at("N601FE").cargo);    // "1"
    EXPECT_FALSE(dbase.registrations.at("N124AB").cargo);   // "no"
    EXPECT_FALSE(dbase.registrations.at("G-EUPT").cargo);   // missing
    EXPECT_EQ(dbase.registrations.at("D-AIZZ").opr, "EWG");
    const auto& emptyType = dbase.registrations.at("CS-DXA");
    EXPECT_EQ(emptyType.airl, "NJE");
    EXPECT_EQ(emptyType.type, "");
    EXPECT_EQ(dbase.registrations.at("D-EZZZ").airl, "");
    EXPECT_EQ(dbase.shortPvtRegistrations, (std::vector<std::string>{"PH1"}));
}

TEST_F(DbaseReadTest, DuplicatesKeepTheFirstEntryAndAreLogged) {
    gf_readDbaseFile(dbaseFixture(), dbase);

    EXPECT_EQ(dbase.registrations.at("D-AIBL").type, "A319");
    EXPECT_TRUE(log.contains("regcode D-AIBL already exists"));

    EXPECT_NEAR(dbase.wingspans.at("A388"), 79.75 / 2 / kDbaseNm, kDbaseSpanTolerance);

    EXPECT_EQ(dbase.fixes, (std::map<std::string, std::string, std::less<>>{{"A32N", "A20N"}, {"B7M8", "B38M"}}));
    EXPECT_TRUE(log.contains("===> wrong part of fix: \"A32N\", already exists, skipped"));
    EXPECT_TRUE(log.contains("wrong fix ZZ99->XX11, the latter is not a valid model"));

    EXPECT_FALSE(dbase.wingspans.contains("XXXX"));
    EXPECT_TRUE(log.contains("===> wingspan model XXXX is no valid model, skipped"));
}

TEST_F(DbaseReadTest, WingspanAveragesAndTheLargestSpan) {
    gf_readDbaseFile(dbaseFixture(), dbase);
    using clv::AcCategory;
    auto average = [](AcCategory c) { return dbase.wingspanAverages[clv::categoryIndex(c)]; };

    EXPECT_EQ(dbase.wingspans.size(), 8u);
    // The duplicate A388 of 90 m is dropped, so it must not raise the largest span.
    EXPECT_NEAR(dbase.maxHalfWingspanNm, 79.75 / 2 / kDbaseNm, kDbaseSpanTolerance);
    EXPECT_NEAR(average(AcCategory::Large), (35.8 + 35.8) / 2 / 2 / kDbaseNm, kDbaseSpanTolerance);
    EXPECT_NEAR(average(AcCategory::Heavy), (64.4 + 64.8 + 79.75) / 3 / 2 / kDbaseNm, kDbaseSpanTolerance);
    EXPECT_NEAR(average(AcCategory::Light), 11.0 / 2 / kDbaseNm, kDbaseSpanTolerance);
    EXPECT_NEAR(average(AcCategory::Buzjets), 16.98 / 2 / kDbaseNm, kDbaseSpanTolerance);
    EXPECT_NEAR(average(AcCategory::HighPerf), 9.96 / 2 / kDbaseNm, kDbaseSpanTolerance);
    // No rotorcraft has a span: the average of all eight.
    const double all = (35.8 + 35.8 + 64.4 + 64.8 + 79.75 + 11.0 + 16.98 + 9.96) / 8 / 2 / kDbaseNm;
    EXPECT_NEAR(average(AcCategory::Rotorcraft), all, kDbaseSpanTolerance);
}

TEST_F(DbaseReadTest, EachRequiredSectionMissingIsUserError61) {
    struct Case {
        const char* section;
        const char* child;
        const char* attribute;
    };
    const Case cases[] = {
        {"aircrafts", "aircraft", "types"},   {"high_performance", "hpf", "types"},
        {"heavy", "hvy", "types"},            {"large", "lar", "types"},
        {"buzjet", "bzj", "types"},           {"rotorcraft", "rot", "types"},
        {"cargo_types", "cargo_type", "types"}, {"ICAO_airlines", "ICAO", "codes"},
        {"cargo_operators", "ICAO", "codes"}, {"simaddons20", "simaddon20", "arpts"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        const fs::path path = editedFixture([&](pugi::xml_document& doc) { doc.remove_child(c.section); });
        clv::Dbase db;
        try {
            gf_readDbaseFile(path, db);
            ADD_FAILURE() << "no exception";
        } catch (const clv::UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), fmt::format("61: In an xml file section {} {} {} is empty ", c.section,
                                                         c.child, c.attribute));
        }
    }
    // A section without entries is as empty as a missing one.
    const fs::path path = editedFixture([](pugi::xml_document& doc) {
        auto section = doc.child("heavy");
        while (section.first_child()) section.remove_child(section.first_child());
    });
    clv::Dbase db;
    EXPECT_THROW(gf_readDbaseFile(path, db), clv::UserErrorException);
}

TEST_F(DbaseReadTest, OptionalSectionsMayBeMissing) {
    const fs::path path = editedFixture([](pugi::xml_document& doc) {
        for (const char* section :
             {"similar_types", "publishers", "wingspans", "fixes", "thirdparties20", "thirdparties24", "dbase"})
            doc.remove_child(section);
    });
    gf_readDbaseFile(path, dbase);
    EXPECT_EQ(dbase.aircrafts.size(), 26u);
    EXPECT_TRUE(dbase.similarGroups.empty());
    EXPECT_TRUE(dbase.publisherGroups.empty());
    EXPECT_TRUE(dbase.wingspans.empty());
    EXPECT_EQ(dbase.maxHalfWingspanNm, 0.0);
    EXPECT_EQ(dbase.wingspanAverages[0], 0.0);
    EXPECT_TRUE(dbase.fixes.empty());
    EXPECT_TRUE(dbase.thirdparties20.empty());
    EXPECT_TRUE(dbase.registrations.empty());
}

TEST_F(DbaseReadTest, AFileThatDoesNotParseIsUserError60) {
    std::string text = readFile(dbaseFixture());
    const auto end = text.find("</aircrafts>");
    ASSERT_NE(end, std::string::npos);
    text.replace(end, 12, "</aircraftz>");
    const fs::path mismatched = dir.write("mismatched.xml", text);
    const fs::path missing = dir / "missing.xml";
    const struct {
        fs::path path;
        const char* reason;
    } cases[] = {{mismatched, "Start-end tags mismatch"}, {missing, "File was not found"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        clv::Dbase db;
        try {
            gf_readDbaseFile(c.path, db);
            ADD_FAILURE() << "no exception";
        } catch (const clv::UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()),
                      fmt::format("60: \"{}\" not read because of {}", c.path.string(), c.reason));
        }
    }
}

TEST_F(DbaseReadTest, AnAirlineValueOfAWrongLengthStopsTheRead) {
    const fs::path path = editedFixture([](pugi::xml_document& doc) {
        doc.child("dbase").child("db").attribute("airl").set_value("1E27");
    });
    try {
        gf_readDbaseFile(path, dbase);
        ADD_FAILURE() << "no exception";
    } catch (const clv::UserErrorException&) {
        ADD_FAILURE() << "not a user error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "decrypt airl \"1E27\" error");
    }
    // What was read before stays.
    EXPECT_EQ(dbase.aircrafts.size(), 26u);
}

// ---- fetching dbase.zip -----------------------------------------------------------

class DbaseDownloadTest : public ::testing::Test {
protected:
    DbaseDownloadTest() : here(dir.path()), server(serverRoot.path()) { fs::create_directories(dir / "input"); }
    void SetUp() override { dbase = {}; }
    void TearDown() override { dbase = {}; }

    TempFolder dir;
    TempFolder serverRoot;
    CurrentFolder here;
    FileServer server;
    LogCapture log;
};

TEST_F(DbaseDownloadTest, ReadsDbaseZipFromTheServerAndRemovesTheFiles) {
    server.offer("dbase.zip", "dbase.xml", readFile(dbaseFixture()));
    EXPECT_TRUE(gf_readDbase());
    EXPECT_EQ(dbase.aircrafts.size(), 26u);
    EXPECT_EQ(dbase.registrations.size(), 13u);
    EXPECT_EQ(gf_dbaseTempPath(), fs::path("input") / "temp2.xml");
    EXPECT_FALSE(fs::exists(dir / "input" / "temp2.xml"));
    EXPECT_FALSE(fs::exists(dir / "dbase.zip"));
}

TEST_F(DbaseDownloadTest, AFailedFetchIsARuntimeError) {
    const char* const reasons[] = {"missing", "not a zip", "no server"};
    for (const std::string reason : reasons) {
        SCOPED_TRACE(reason);
        fs::remove(server.folder() / "dbase.zip");
        std::optional<clv::test::ScopedEnv> noServer;
        if (reason == "not a zip") {
            std::ofstream(server.folder() / "dbase.zip") << "this is no zip archive";
        }
        if (reason == "no server") noServer.emplace("CALVORINTH_SERVER_URL", "");
        try {
            gf_readDbase();
            ADD_FAILURE() << "no exception";
        } catch (const clv::UserErrorException&) {
            ADD_FAILURE() << "not a runtime error";
        } catch (const std::runtime_error& e) {
            const std::string expected = reason == "no server"
                                             ? "data base could not be read from on-line? No download server is "
                                               "configured: set CALVORINTH_SERVER_URL to the address (or file:// "
                                               "folder) that offers dbase.zip, then start Calvorinth again."
                                             : "data base could not be read from on-line?";
            EXPECT_EQ(std::string(e.what()), expected);
        }
        EXPECT_FALSE(fs::exists(dir / "input" / "temp2.xml"));
        EXPECT_FALSE(fs::exists(dir / "dbase.zip"));
    }
    EXPECT_TRUE(log.contains("downloading dbase.zip failed?"));
    EXPECT_TRUE(log.contains("unzipping dbase.zip failed?"));
    EXPECT_TRUE(log.contains("No download server configured, dbase.zip skipped"));
}

}  // namespace
