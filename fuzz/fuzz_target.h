#pragma once
// A fuzz target: one parser of outside input fed arbitrary bytes. Each target
// registers itself by name; clang's libFuzzer drives one target per program, and
// the seeded-mutation pass of the tests drives them all from their seed files.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace clv::fuzz {

using TargetFn = void (*)(std::string_view input);

struct Target {
    std::string name;
    TargetFn run;
};

// Registration at static initialisation; the result only anchors the call.
bool registerTarget(const char* name, TargetFn run);
const std::vector<Target>& targets();
const Target* findTarget(std::string_view name);

// A file of this process's own that holds the bytes (file parsers take a path).
// `fileName` is the name the parser expects (some look at the name).
std::filesystem::path writeInput(std::string_view input, const std::string& fileName);

}  // namespace clv::fuzz

#define CLV_FUZZ_TARGET(name)                                                              \
    static void clv_fuzz_##name(std::string_view input);                                   \
    [[maybe_unused]] static const bool clv_fuzz_registered_##name =                        \
        ::clv::fuzz::registerTarget(#name, &clv_fuzz_##name);                              \
    static void clv_fuzz_##name(std::string_view input)
