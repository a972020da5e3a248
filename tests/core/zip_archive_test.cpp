#include "core/zip_archive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <zip.h>

#include "support/temp_folder.h"

using clv::ZipArchive;
using clv::test::readFile;
using clv::test::temporariesBeside;
using clv::test::TempFolder;
namespace fs = std::filesystem;

namespace {

struct Member {
    std::string name;     // ending in "/" for a folder
    std::string content;
    bool stored = false;  // uncompressed, so the test can damage its bytes in place
};

// Writes a zip archive through libzip itself.
void makeZipWithLibzip(const fs::path& path, const std::vector<Member>& members) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr) << error;
    for (const auto& m : members) {
        if (!m.name.empty() && m.name.back() == '/') {
            ASSERT_GE(zip_dir_add(archive, m.name.c_str(), ZIP_FL_ENC_UTF_8), 0);
            continue;
        }
        zip_source_t* source = zip_source_buffer(archive, m.content.data(), m.content.size(), 0);
        ASSERT_NE(source, nullptr);
        zip_int64_t index = zip_file_add(archive, m.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        ASSERT_GE(index, 0);
        if (m.stored) {
            ASSERT_EQ(zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0), 0);
        }
    }
    ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

// More than two of the reader's blocks, with every byte value.
std::string largeContent() {
    std::string s;
    for (size_t i = 0; s.size() < 2 * 0x80000 + 12345; ++i) s.push_back(static_cast<char>((i * 7919) % 251));
    return s;
}

class ZipArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        makeZipWithLibzip(dir / "pack.zip", {{"readme.txt", "line one\r\nline two\n"},
                                   {"data/", ""},
                                   {"data/big.bin", largeContent()},
                                   {"data/empty.txt", ""}});
    }
    TempFolder dir;
};

}  // namespace

TEST_F(ZipArchiveTest, ListsEntriesInArchiveOrder) {
    ZipArchive zip(dir / "pack.zip");
    ASSERT_TRUE(zip.isOpen()) << zip.errorText();
    auto entries = zip.entries();
    ASSERT_EQ(entries.size(), 4u);
    const std::pair<std::string, std::uint64_t> expected[] = {
        {"readme.txt", 19}, {"data/", 0}, {"data/big.bin", 2 * 0x80000 + 12345}, {"data/empty.txt", 0}};
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].name, expected[i].first);
        EXPECT_EQ(entries[i].size, expected[i].second);
        EXPECT_EQ(entries[i].isFolder(), i == 1);
    }
}

TEST_F(ZipArchiveTest, ReadsAndExtractsWholeEntries) {
    ZipArchive zip(dir / "pack.zip");
    ASSERT_TRUE(zip.isOpen());
    EXPECT_EQ(zip.read("readme.txt"), "line one\r\nline two\n");
    EXPECT_EQ(zip.read("data/big.bin"), largeContent());
    EXPECT_EQ(zip.read("data/empty.txt"), "");

    dir.write("out/big.bin", "older content");
    ASSERT_TRUE(zip.extractTo("data/big.bin", dir / "out/big.bin")) << zip.errorText();
    EXPECT_EQ(readFile(dir / "out/big.bin"), largeContent());
    EXPECT_TRUE(temporariesBeside(dir / "out/big.bin").empty());

    // By entry, as a caller walking entries() does.
    auto entries = zip.entries();
    ASSERT_TRUE(zip.extractTo(entries[0], dir / "out/readme.txt"));
    EXPECT_EQ(readFile(dir / "out/readme.txt"), "line one\r\nline two\n");
    EXPECT_TRUE(zip.errorText().empty());
}

TEST_F(ZipArchiveTest, DamagedEntryIsNeverWrittenOut) {
    const std::string content = "stored content whose checksum the reader verifies";
    makeZipWithLibzip(dir / "damaged.zip", {{"first.txt", "fine"}, {"second.txt", content, true}});
    // Flip one byte of the stored data; the archive's directory stays intact.
    std::string bytes = readFile(dir / "damaged.zip");
    auto at = bytes.find(content);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 5] ^= 0x20;
    dir.write("damaged.zip", bytes);

    ZipArchive zip(dir / "damaged.zip");
    ASSERT_TRUE(zip.isOpen()) << zip.errorText();
    EXPECT_EQ(zip.read("first.txt"), "fine");
    EXPECT_FALSE(zip.read("second.txt").has_value());
    EXPECT_NE(zip.errorText().find("CRC"), std::string::npos) << zip.errorText();

    auto target = dir.write("second.txt", "earlier good content");
    EXPECT_FALSE(zip.extractTo("second.txt", target));
    EXPECT_EQ(readFile(target), "earlier good content");
    EXPECT_TRUE(temporariesBeside(dir / "second.txt").empty());
}

TEST_F(ZipArchiveTest, RefusesWhatIsNoArchive) {
    std::string whole = readFile(dir / "pack.zip");
    dir.write("empty.zip", "");
    dir.write("page.zip", "<html><body>404 Not Found</body></html>\n");
    dir.write("cut.zip", whole.substr(0, whole.size() / 2));
    dir.write("tail-cut.zip", whole.substr(0, whole.size() - 10));
    // The first copy of a name is the entry's local header; the directory keeps its own.
    std::string renamed = whole;
    renamed[renamed.find("readme.txt")] = 'R';
    dir.write("inconsistent.zip", renamed);
    struct Case {
        const char* file;
        const char* error;  // libzip's text, or "" when any text will do
    };
    const Case cases[] = {
        {"missing.zip", "No such file"},
        {"empty.zip", "Not a zip archive"},
        {"page.zip", "Not a zip archive"},
        {"cut.zip", ""},
        {"tail-cut.zip", ""},
        {"inconsistent.zip", "Zip archive inconsistent"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ZipArchive zip;
        EXPECT_FALSE(zip.open(dir / c.file));
        EXPECT_FALSE(zip.isOpen());
        EXPECT_FALSE(zip.errorText().empty());
        if (*c.error != '\0') {
            EXPECT_EQ(zip.errorText(), c.error);
        }
        EXPECT_TRUE(zip.entries().empty());
        EXPECT_FALSE(zip.read("readme.txt").has_value());
    }
}

TEST_F(ZipArchiveTest, MissingEntryAndClosedArchiveGiveNothing) {
    ZipArchive zip(dir / "pack.zip");
    ASSERT_TRUE(zip.isOpen());
    EXPECT_FALSE(zip.read("nothing.txt").has_value());
    EXPECT_EQ(zip.errorText(), "no entry nothing.txt");
    EXPECT_FALSE(zip.extractTo("nothing.txt", dir / "nothing.txt"));
    EXPECT_FALSE(fs::exists(dir / "nothing.txt"));

    ZipArchive moved(std::move(zip));
    EXPECT_FALSE(zip.isOpen());
    EXPECT_EQ(moved.read("readme.txt"), "line one\r\nline two\n");
    moved.close();
    EXPECT_FALSE(moved.isOpen());
    EXPECT_FALSE(moved.read("readme.txt").has_value());
}
