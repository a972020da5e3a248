#pragma once
// A fresh temporary folder per test, removed afterwards; optionally the current
// folder while it lives (the program works relative to its current folder).
#include <filesystem>
#include <string>
#include <vector>

namespace clv::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Writes bytes to a file below the folder (creating its parents) and returns its path.
    std::filesystem::path write(const std::string& relative, const std::string& bytes) const;
    std::string read(const std::string& relative) const;

private:
    std::filesystem::path path_;
};

// Makes a folder the current one for its lifetime.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::filesystem::path& folder);
    ~CurrentFolder();

private:
    std::filesystem::path previous_;
};

// Sets an environment variable for its lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);  // nullptr unsets
    ~ScopedEnv();

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// Reads a whole file as bytes.
std::string readFile(const std::filesystem::path& path);

// How often `part` stands in `text` (a log, a drawing), overlapping places counted.
long occurrences(const std::string& text, const std::string& part);

// The names of the entries beside a file whose names begin with its name and a
// dot: the temporaries a writer of that file would leave behind.
std::vector<std::string> temporariesBeside(const std::filesystem::path& target);

}  // namespace clv::test
