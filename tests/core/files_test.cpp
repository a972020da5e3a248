#include "core/files.h"

#include <gtest/gtest.h>

#include <sstream>

#include <pugixml.hpp>

#include "core/log.h"
#include "core/ui_port.h"
#include "support/temp_folder.h"

using clv::TextEncoding;
using clv::test::TempFolder;
using clv::test::temporariesBeside;

namespace {
std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}
}  // namespace

TEST(Files, DetectEncoding) {
    TempFolder dir;
    struct Case {
        std::string name, content;
        TextEncoding encoding;
    };
    const Case cases[] = {
        {"le.txt", bytes({0xFF, 0xFE, 'a', 0}), TextEncoding::Utf16Le},
        {"bom-only.txt", bytes({0xFF, 0xFE}), TextEncoding::Utf16Le},
        {"be.txt", bytes({0xFE, 0xFF, 0, 'a'}), TextEncoding::Utf16Be},
        {"utf8.txt", bytes({0xEF, 0xBB, 0xBF, 'a'}), TextEncoding::Utf8},
        {"plain.txt", "abc", TextEncoding::None},
        {"short.txt", "a", TextEncoding::None},
        {"empty.txt", "", TextEncoding::None},
    };
    for (const auto& c : cases) {
        auto path = dir.write(c.name, c.content);
        EXPECT_EQ(gf_detectEncoding(path), c.encoding) << c.name;
    }
    EXPECT_EQ(gf_detectEncoding(dir / "missing.txt"), TextEncoding::CannotOpen);
}

TEST(Files, ReadTextFileInEveryEncoding) {
    TempFolder dir;
    const std::string expected = "title=Zürich\r\nline 2";
    std::u16string wide = u"title=Zürich\r\nline 2";
    std::string le = bytes({0xFF, 0xFE});
    std::string be = bytes({0xFE, 0xFF});
    for (char16_t c : wide) {
        le += static_cast<char>(c & 0xFF);
        le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    struct Case {
        std::string name, content;
    };
    const Case cases[] = {
        {"le.cfg", le}, {"be.cfg", be}, {"bom.cfg", bytes({0xEF, 0xBB, 0xBF}) + expected}, {"plain.cfg", expected}};
    for (const auto& c : cases) {
        auto path = dir.write(c.name, c.content);
        std::string text = "stale";
        ASSERT_TRUE(gf_readTextFile(gf_detectEncoding(path), path, text)) << c.name;
        EXPECT_EQ(text, expected) << c.name;
    }
    std::string text = "stale";
    EXPECT_FALSE(gf_readTextFile(TextEncoding::None, dir / "missing.cfg", text));
}

TEST(Files, InvalidUtf16IsReportedNotReadAsSuccess) {
    TempFolder dir;
    gf_nullUiPort().clear();
    auto path = dir.write("bad.cfg", bytes({0xFF, 0xFE, 0x00, 0xD8, 'a', 0}));  // lone high surrogate
    std::string text;
    EXPECT_FALSE(gf_readTextFile(TextEncoding::Utf16Le, path, text));
    EXPECT_EQ(text, "");
    EXPECT_EQ(gf_nullUiPort().statusLines(),
              (std::vector<std::string>{"conversion from error from utf16 to utf8, code: 1113"}));
}

TEST(Files, TextFileRead) {
    TempFolder dir;
    clv::TextFile present{dir.write("link.txt", "archive/stock/EDDM.xml"), {}};
    EXPECT_EQ(present.read(), std::optional<std::string>("archive/stock/EDDM.xml"));
    clv::TextFile empty{dir.write("empty.txt", ""), {}};
    EXPECT_EQ(empty.read(), std::nullopt);
    clv::TextFile missing{dir / "missing.txt", {}};
    EXPECT_EQ(missing.read(), std::nullopt);
}

// A folder where a file is expected (a path typed into a setting, a folder named
// like a file) is refused as unreadable, not read with the size a folder tells.
TEST(Files, AFolderIsNoFileToRead) {
    TempFolder dir;
    const auto folder = dir / "EDDM.xml";
    std::filesystem::create_directory(folder);
    clv::TextFile file{folder, {}};
    EXPECT_EQ(file.read(), std::nullopt);
    std::string text = "old", failure;
    EXPECT_FALSE(gf_readTextFile(TextEncoding::None, folder, text, failure));
    EXPECT_EQ(failure, "cannot be opened: Is a directory");
    EXPECT_EQ(text, "");
    bool missing = true;
    EXPECT_FALSE(gf_readDetectedTextFile(folder, text, failure, missing));
    EXPECT_FALSE(missing);
    EXPECT_EQ(failure, "cannot be opened: Is a directory");
}

TEST(Files, ReadLinesStripsOneCarriageReturn) {
    std::istringstream in("a\r\nb\n\r\nc\r\r\n");
    std::vector<std::string> lines{"kept"};
    gf_readLines(in, lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"kept", "a", "b", "", "c\r"}));
}

TEST(Files, WriteTextAndLines) {
    TempFolder dir;
    EXPECT_TRUE(gf_writeTextFile("x", dir / "a.txt", false));
    EXPECT_EQ(dir.read("a.txt"), "x");
    EXPECT_TRUE(gf_writeTextFile("y", dir / "a.txt", true));
    EXPECT_EQ(dir.read("a.txt"), "y\n");
    EXPECT_TRUE(gf_writeLines({"1", "", "3"}, dir / "b.txt"));
    EXPECT_EQ(dir.read("b.txt"), "1\n\n3\n");
    EXPECT_FALSE(gf_writeTextFile("z", dir / "no" / "such" / "folder.txt", false));
    EXPECT_FALSE(gf_writeLines({"z"}, dir / "no" / "such" / "folder.txt"));
}

// Each step of a replacement that fails says which and leaves the old file as it
// was, with no temporary beside it; the step after is never taken.
TEST(Files, AFailedStepOfAReplacementKeepsTheOldFile) {
    struct Case {
        clv::ReplaceStep step;
        std::string failure;  // the report's ending
    };
    const Case cases[] = {
        {clv::ReplaceStep::Open, "cannot be opened: Permission denied"},
        {clv::ReplaceStep::Write, "cannot be written: No space left on device"},
        {clv::ReplaceStep::Flush, "cannot be written to the end: Input/output error"},
        {clv::ReplaceStep::Rename, "cannot replace "},
    };
    TempFolder dir;
    const auto target = dir / "CODE.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failure);
        dir.write("CODE.txt", "archive/simaddon/CODE.xml\n");
        gf_failNextReplaceStep(c.step);
        const std::string failure = gf_replaceTextFile("archive/thirdparty/New/CODE.xml", target, true);
        EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
        EXPECT_NE(failure.find((dir / "CODE.txt.").string()), std::string::npos) << "names the file: " << failure;
        EXPECT_EQ(dir.read("CODE.txt"), "archive/simaddon/CODE.xml\n");
        EXPECT_TRUE(temporariesBeside(target).empty());
        // The failure was used up: the next replacement goes through.
        EXPECT_EQ(gf_replaceTextFile("archive/thirdparty/New/CODE.xml", target, true), "");
        EXPECT_EQ(dir.read("CODE.txt"), "archive/thirdparty/New/CODE.xml\n");
        // A report of lines goes the same way.
        dir.write("report.txt", "the last scan\n");
        gf_failNextReplaceStep(c.step);
        EXPECT_FALSE(gf_writeLines({"this scan", "its end"}, dir / "report.txt"));
        EXPECT_EQ(dir.read("report.txt"), "the last scan\n");
        EXPECT_TRUE(temporariesBeside(dir / "report.txt").empty());
    }
    EXPECT_FALSE(gf_writeTextFile("z", dir / "no" / "such" / "folder.txt", false));
    EXPECT_TRUE(temporariesBeside(dir / "no" / "such" / "folder.txt").empty());
}

// A writer replacing a file while another is half-way through it: each has a
// temporary of its own, the file shows the old text until a whole new one
// replaces it, and the last to finish wins with its whole text.
TEST(Files, ReplacementsOfOneFileNeverMeet) {
    TempFolder dir;
    const auto target = dir / "CODE.xml";
    dir.write("CODE.xml", "old entry\n");
    std::string seenInside;
    const std::string outer = gf_replaceFile(target, [&](std::ostream& out) {
        out << "first half of the outer entry, ";
        out.flush();
        seenInside = dir.read("CODE.xml");
        EXPECT_EQ(gf_replaceTextFile("inner entry", target, true), "");
        EXPECT_EQ(dir.read("CODE.xml"), "inner entry\n");
        out << "second half\n";
    });
    EXPECT_EQ(outer, "");
    EXPECT_EQ(seenInside, "old entry\n");
    EXPECT_EQ(dir.read("CODE.xml"), "first half of the outer entry, second half\n");
    EXPECT_TRUE(temporariesBeside(target).empty());
}

TEST(Files, SaveXmlReplacesWholeFileAndLeavesNoTemporary) {
    TempFolder dir;
    dir.write("p.xml", "old content that is longer than the new one ..............................");
    pugi::xml_document doc;
    doc.append_child("parameters").append_child("parameter").append_attribute("name") = "LOG";
    EXPECT_TRUE(gf_saveXml(doc, dir / "p.xml"));
    pugi::xml_document back;
    ASSERT_TRUE(back.load_file((dir / "p.xml").c_str()));
    EXPECT_STREQ(back.child("parameters").child("parameter").attribute("name").value(), "LOG");
    EXPECT_EQ(dir.read("p.xml").rfind("<?xml", 0), 0u) << "with the XML declaration";
    EXPECT_TRUE(temporariesBeside(dir / "p.xml").empty());
    EXPECT_FALSE(gf_saveXml(doc, dir / "missing-folder" / "p.xml"));
}

TEST(Files, RemoveCountAndClear) {
    TempFolder dir;
    EXPECT_TRUE(gf_removeFile(dir / "never.txt"));
    dir.write("f.txt", "x");
    EXPECT_TRUE(gf_removeFile(dir / "f.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "f.txt"));

    EXPECT_EQ(gf_countFolderEntries(dir / "none"), 0);
    dir.write("tree/one/x.txt", "x");
    dir.write("tree/two/y.txt", "y");
    dir.write("tree/file.txt", "z");
    EXPECT_EQ(gf_countFolderEntries(dir / "tree"), 2) << "sub-folders only";

    gf_clearFolder(dir / "none");  // nothing happens
    gf_clearFolder(dir / "tree");
    EXPECT_TRUE(std::filesystem::exists(dir / "tree"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "tree"));
}
