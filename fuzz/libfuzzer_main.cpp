// The libFuzzer entry of one target program: the target named at build time.
#include <cstdlib>
#include <cstdio>

#include "core/ui_port.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const clv::fuzz::Target* target = [] {
        const clv::fuzz::Target* t = clv::fuzz::findTarget(CLV_FUZZ_TARGET_NAME);
        if (t == nullptr) {
            std::fprintf(stderr, "no fuzz target %s\n", CLV_FUZZ_TARGET_NAME);
            std::abort();
        }
        return t;
    }();
    target->run(std::string_view(reinterpret_cast<const char*>(data), size));
    // Without a window the status lines are kept: millions of inputs must not pile them up.
    gf_nullUiPort().clear();
    return 0;
}
