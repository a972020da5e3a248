#pragma once
// Shared pieces of the livery scan tests: the reference data they check against,
// the Community folder fixture, a scan environment in a temporary folder, and the
// comparison of what a scan wrote with golden files.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace clv::test {

// tests/data
std::filesystem::path testDataFolder();

// Writes the scan tests' dbase.xml (values stored encoded, as the real file) to
// the folder and reads it into the process-wide data base, which it empties first.
void loadScanDbase(const std::filesystem::path& folder);

// Copies tests/data/community to `target`. Sources named "aircraft.cfg.<form>"
// become "aircraft.cfg" in that form: utf16le / utf16be (byte-order mark, CR LF),
// utf8bom (byte-order mark, CR LF), crlf (CR LF only); so no binary file needs
// to live in the repository.
void copyCommunity(const std::filesystem::path& target);

// The bytes of a text in one of the forms above.
std::string encodeCfgText(const std::string& utf8, const std::string& form);

std::string replaceAll(std::string text, const std::string& from, const std::string& to);

// A whole scan's world for one test: a temporary current folder with the output
// folders, parameters.xml and Log.txt in it, no download server, a fixed clock,
// the data base of loadScanDbase, and every setting and flag the scan reads
// restored afterwards. The Community fixture is copied to root()/Community and
// the simulator's install path points at root().
class ScanEnvironment {
public:
    ScanEnvironment();
    ~ScanEnvironment();
    ScanEnvironment(const ScanEnvironment&) = delete;
    ScanEnvironment& operator=(const ScanEnvironment&) = delete;

    const std::filesystem::path& root() const { return folder_.path(); }
    std::filesystem::path community() const { return root() / "Community"; }
    std::vector<std::string> logLines() const;
    bool logged(const std::string& line) const;
    std::string readOutput(const std::string& relative) const;

private:
    TempFolder folder_;
    struct Saved;
    Saved* saved_;
    CurrentFolder current_;
    ScopedEnv noServer_;
};

// Compares every file the scan wrote below root()/output with the golden folder's
// files (same relative paths, no more and no fewer); the registration-code
// reports of the index build that ends the step are not the scan's and are left out. The root path and the program version
// are replaced by "$ROOT" and "$VERSION" first. Fixes.txt and
// AirlineModelConversions.txt keep lines in the order they were collected, which
// follows thread timing and the file system's listing order: their lines are
// compared sorted. With CLV_UPDATE_GOLDEN=1 the golden folder is rewritten instead.
void expectOutputMatchesGolden(const ScanEnvironment& environment, const std::filesystem::path& golden);

// Drops the calling thread's right to read any folder, for a root user; the
// walk's own thread then meets an unreadable folder as every user does.
class FolderRightsDropped {
public:
    FolderRightsDropped() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct dropped[2] = {saved_[0], saved_[1]};
        dropped[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        changed_ = syscall(SYS_capset, &header_, dropped) == 0;
    }
    ~FolderRightsDropped() {
        if (changed_) syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool changed_ = false;
};

}  // namespace clv::test
