#include "tools/dbasetool/dbase_listing.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "core/zip_archive.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using clv::test::readFile;
using clv::test::TempFolder;

namespace {

fs::path dataFolder() { return fs::path(__FILE__).parent_path().parent_path() / "data" / "dbase"; }

std::string dbaseErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

// The checked-in files are what the tool makes of the checked-in listings.
TEST(DbaseToolTest, FixturesAreTheToolsOutput) {
    EXPECT_EQ(readFile(dataFolder() / "dbase.xml"), gf_dbaseListingToXml(readFile(dataFolder() / "dbase_listing.txt")))
        << "regenerate with: dbasetool xml dbase_listing.txt dbase.xml";
    EXPECT_EQ(readFile(dataFolder() / "AIG-regcodes.xml"),
              gf_aigListingToXml(readFile(dataFolder() / "aig_listing.txt")))
        << "regenerate with: dbasetool aig-xml aig_listing.txt AIG-regcodes.xml";
}

TEST(DbaseToolTest, ListingAndXmlRoundTrip) {
    const std::string xml = readFile(dataFolder() / "dbase.xml");
    const std::string listing = gf_dbaseXmlToListing(xml);
    EXPECT_EQ(gf_dbaseListingToXml(listing), xml);
    // The listing shows the plain values; the XML holds none of them.
    EXPECT_NE(listing.find("dbase D-AIZZ;DLH;A320;EWG\n"), std::string::npos);
    EXPECT_NE(listing.find("dbase N601FE;FDX;MD11;;1\n"), std::string::npos);
    EXPECT_NE(listing.find("wingspans A388;79.75\n"), std::string::npos);
    EXPECT_EQ(xml.find("D-AIZZ"), std::string::npos);
    EXPECT_EQ(xml.find("\"DLH\""), std::string::npos);

    const std::string aig = readFile(dataFolder() / "AIG-regcodes.xml");
    const std::string aigListing = gf_aigXmlToListing(aig);
    EXPECT_EQ(gf_aigListingToXml(aigListing), aig);
    EXPECT_NE(aigListing.find("Boeing 777F Lufthansa Cargo;D-ALFA,D-ALFB;1\n"), std::string::npos);
    EXPECT_EQ(aig.find("D-ALFA"), std::string::npos);
}

TEST(DbaseToolTest, ListingErrorsNameTheLine) {
    const struct {
        const char* listing;
        const char* error;
    } cases[] = {
        {"# comment\n\naircraft A320\n", "line 3: unknown section \"aircraft\""},
        {"aircrafts A320\nwingspans A320;35.8;extra\n",
         "line 2: wingspans takes at most 2 values: \"A320;35.8;extra\""},
        {"dbase D-AIBL;DLHX;A320\n", "line 1: airline code \"DLHX\" does not have three characters"},
        {"ICAO_airlines DLH,BA\n", "line 1: airline code \"BA\" does not have three characters"},
    };
    for (const auto& c : cases) EXPECT_EQ(dbaseErrorOf([&] { gf_dbaseListingToXml(c.listing); }), c.error) << c.listing;
    EXPECT_EQ(dbaseErrorOf([] { gf_aigListingToXml("Title;D-AIBL;1;extra\n"); }),
              "line 1: livery takes at most 3 values: \"Title;D-AIBL;1;extra\"");
}

TEST(DbaseToolTest, XmlThatAListingCannotHoldIsRefused) {
    const struct {
        const char* xml;
        const char* error;
    } cases[] = {
        {"<aircrafts><aircraft types=\"SOKP\"/></aircrafts><meta/>", "unknown section \"meta\""},
        {"<heavy><lar types=\"SOKP\"/></heavy>", "section heavy holds the unexpected element lar"},
        {"<fixes><fx wro=\"A\" cor=\"B\" why=\"C\"/></fixes>", "element fx holds the unexpected attribute why"},
        {"<fixes><fx>", "the XML does not parse: Start-end tags mismatch"},
    };
    for (const auto& c : cases) EXPECT_EQ(dbaseErrorOf([&] { gf_dbaseXmlToListing(c.xml); }), c.error) << c.xml;
    EXPECT_EQ(dbaseErrorOf([] { gf_aigXmlToListing("<regcodes/>"); }), "the root element AIG-regcodes is missing");
}

TEST(DbaseToolTest, ZipHoldsTheOneFile) {
    TempFolder dir;
    const std::string content = readFile(dataFolder() / "dbase.xml");
    gf_writeZipFile(dir / "dbase.zip", "dbase.xml", content);
    clv::ZipArchive zip(dir / "dbase.zip");
    ASSERT_TRUE(zip.isOpen()) << zip.errorText();
    const auto entries = zip.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "dbase.xml");
    EXPECT_EQ(zip.read(entries[0]), content);

    EXPECT_NE(dbaseErrorOf([&] { gf_writeZipFile(dir / "missing" / "x.zip", "x", "x"); }), "no error");
}

}  // namespace
