// bgltool: writes airport BGL files from a plain description and shows what the
// program's decoder reads from any BGL file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "tools/bgltool/bgl_builder.h"

namespace {

constexpr const char* kUsage =
    "usage: bgltool build <description> <file.bgl>   writes the airport file a description gives\n"
    "       bgltool dump [--2024] <file.bgl>         prints what the program decodes from a BGL file\n"
    "The description format is in tools/bgltool/bgl_builder.h.\n";

// A folder opens as a stream that reads nothing; a file the dump cannot open is an
// error of its own, not a file of another kind.
void lf_requireReadable(const std::string& path, const char* expected) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw std::runtime_error(fmt::format("{}: is a folder, not {}", path, expected));
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read {}: {}", path, std::strerror(errno)));
}

std::string lf_readFile(const std::string& path) {
    lf_requireReadable(path, "a description");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read {}", path));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string_view command = argc > 1 ? argv[1] : "";
        if ((command == "--help" || command == "-h") && argc == 2) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (command == "build" && argc == 4) {
            const std::string bytes = clv::bgltool::gf_buildBgl(clv::bgltool::gf_parseBglDescription(lf_readFile(argv[2])));
            std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
            out << bytes;
            out.flush();
            if (!out) throw std::runtime_error(fmt::format("cannot write {}", argv[3]));
            return 0;
        }
        if (command == "dump" && (argc == 3 || (argc == 4 && std::string_view(argv[2]) == "--2024"))) {
            const std::string path = argv[argc - 1];
            lf_requireReadable(path, "a BGL file");
            bool airportFile = false;
            const std::string text = gf_bglDumpText(path, argc == 3, airportFile);
            if (!airportFile) throw std::runtime_error(fmt::format("{}: not a BGL airport file (too short, or no BGL header)", path));
            std::fputs(text.c_str(), stdout);
            return 0;
        }
        std::fputs(kUsage, stderr);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bgltool: %s\n", e.what());
        return 1;
    }
}
