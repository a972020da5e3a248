#include "fuzz/fuzz_target.h"

#include <unistd.h>

#include <fstream>
#include <map>
#include <stdexcept>

namespace clv::fuzz {
namespace {

std::vector<Target>& lf_targets() {
    static std::vector<Target> list;
    return list;
}

}  // namespace

bool registerTarget(const char* name, TargetFn run) {
    lf_targets().push_back(Target{name, run});
    return true;
}

const std::vector<Target>& targets() { return lf_targets(); }

const Target* findTarget(std::string_view name) {
    for (const Target& t : lf_targets())
        if (t.name == name) return &t;
    return nullptr;
}

std::filesystem::path writeInput(std::string_view input, const std::string& fileName) {
    // One folder per process, so that parallel runs never share a file.
    static const std::filesystem::path folder = [] {
        auto dir = std::filesystem::temp_directory_path() / ("clv_fuzz_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir;
    }();
    const std::filesystem::path path = folder / fileName;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(input.data(), static_cast<std::streamsize>(input.size()));
    if (!out) throw std::runtime_error("fuzz input could not be written: " + path.string());
    return path;
}

}  // namespace clv::fuzz
