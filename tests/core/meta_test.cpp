#include "core/meta.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/clock.h"
#include "core/log.h"
#include "core/parameters.h"
#include "support/temp_folder.h"

using clv::test::readFile;
using clv::test::TempFolder;

namespace {

std::int64_t metaFixedNow() { return 1796809304; }  // 2026-12-09 09:41:44 UTC

class MetaTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_setClock(&metaFixedNow);
        gf_openLog(logDir_.path());
    }
    void TearDown() override {
        gf_closeLog();
        gf_setClock(nullptr);
        g_simulatorWord = "MSFS";
        for (auto* entry : {&author, &date, &version}) entry->value = "";
    }
    std::vector<std::string> logLines() const {
        std::vector<std::string> out;
        std::istringstream in(readFile(logDir_ / "Log.txt"));
        std::string line;
        std::getline(in, line);  // the header
        while (std::getline(in, line)) out.push_back(line);
        return out;
    }

private:
    TempFolder logDir_;
};

using Info = std::vector<std::pair<std::string, std::string>>;

Info infoOf(const pugi::xml_document& document) {
    Info info;
    for (pugi::xml_node entry : document.child("meta").children())
        info.emplace_back(entry.attribute("name").value(), entry.attribute("value").value());
    return info;
}

}  // namespace

TEST_F(MetaTest, WrittenHeaderNamesTheSimulatorYear) {
    struct Case {
        const char* word;
        const char* year;
    };
    for (const Case& c : {Case{"MSFS", "2020"}, Case{"MSFS2024", "2024"}, Case{"msfs", "2024"}, Case{"MSFS ", "2024"}}) {
        g_simulatorWord = c.word;
        pugi::xml_document document;
        document.append_child("airport");
        ASSERT_TRUE(gf_writeMeta(document)) << c.word;
        EXPECT_EQ(document.last_child().name(), std::string("meta"));
        const Info expected = {{"author", "Calvorinth"},
                               {"version", "10.10.9"},
                               {"date", "Dec 09, 2026"},
                               {"copyright", copyright.def},
                               {"MSFS", c.year}};
        EXPECT_EQ(infoOf(document), expected) << c.word;
    }
}

TEST_F(MetaTest, WrittenHeaderReadsBack) {
    pugi::xml_document written;
    ASSERT_TRUE(gf_writeMeta(written));
    std::ostringstream text;
    written.save(text);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(text.str().c_str()));
    EXPECT_TRUE(gf_readMeta(document));
    EXPECT_EQ(author.value.get(), "Calvorinth");
    EXPECT_EQ(date.value.get(), "Dec 09, 2026");
    EXPECT_EQ(version.value.get(), "10.10.9");
    EXPECT_TRUE(logLines().empty());
}

TEST_F(MetaTest, ReadAcceptsAnyOrderAndFurtherEntries) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(R"(<stands/>
        <meta><info name="MSFS" value="2024"/><info name="version" value="1.2.3"/>
        <info name="extra" value="x"/><info name="date"/><info name="author" value="someone"/></meta>)"));
    EXPECT_TRUE(gf_readMeta(document));
    EXPECT_EQ(author.value.get(), "someone");
    EXPECT_EQ(date.value.get(), "");  // present without a value: found, empty
    EXPECT_EQ(version.value.get(), "1.2.3");
    EXPECT_TRUE(logLines().empty());
}

TEST_F(MetaTest, ReadStopsAtTheFirstMissingEntry) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(
        R"(<meta><info name="author" value="Calvorinth"/><info name="version" value="9.9.9"/></meta>)"));
    date.value = "old date";
    version.value = "untouched";
    EXPECT_FALSE(gf_readMeta(document));
    EXPECT_EQ(author.value.get(), "Calvorinth");
    EXPECT_EQ(date.value.get(), "");
    EXPECT_EQ(version.value.get(), "untouched");
    EXPECT_EQ(logLines(), std::vector<std::string>{"===> meta data incorrect?"});

    pugi::xml_document none;
    ASSERT_TRUE(none.load_string("<airport/>"));
    EXPECT_FALSE(gf_readMeta(none));
    EXPECT_EQ(author.value.get(), "");
    EXPECT_EQ(logLines().size(), 2u);
}

TEST(MetaXPath, InsertsTheKey) { EXPECT_EQ(gf_metaXPath("date"), "/meta/info[@name='date']"); }
