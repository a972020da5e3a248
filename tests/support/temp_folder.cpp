#include "support/temp_folder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace clv::test {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "clv-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempFolder::write(const std::string& relative, const std::string& bytes) const {
    auto p = path_ / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
    return p;
}

std::string TempFolder::read(const std::string& relative) const { return readFile(path_ / relative); }

std::vector<std::string> temporariesBeside(const std::filesystem::path& target) {
    const std::string prefix = target.filename().string() + '.';
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(target.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(prefix)) names.push_back(name);
    }
    return names;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CurrentFolder::CurrentFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
}

CurrentFolder::~CurrentFolder() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

long occurrences(const std::string& text, const std::string& part) {
    long n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace clv::test
