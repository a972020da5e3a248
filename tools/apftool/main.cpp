// apftool: airport park-position files from plain listings, and any airport file
// as a listing with its quality factors and the adjacency of its stands.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "tools/apftool/apf_listing.h"

namespace {

constexpr const char* kUsage =
    "usage: apftool <command> ...\n"
    "  write  <listing> <file.xml>   a listing as a handmade airport file\n"
    "  print  <file.xml>             an airport file as a listing, with its quality\n"
    "                                factors and each stand's id and adjacent stands\n"
    "The listing format is described in tools/apftool/apf_listing.h.\n";

// A folder opens as a stream that reads nothing (and the park-position reader
// takes it for a file it cannot hold in memory): it is named for what it is.
void lf_requireNoFolder(const std::filesystem::path& path, const char* expected) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw std::runtime_error(fmt::format("is a folder, not {}", expected));
}

std::string lf_readFile(const std::filesystem::path& path) {
    lf_requireNoFolder(path, "a listing");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read {}", path.string()));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "";
    if ((command == "--help" || command == "-h") && argc == 2) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!((command == "write" && argc == 4) || (command == "print" && argc == 3))) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::filesystem::path input = argv[2];
    try {
        if (command == "write") {
            gf_writeHandmadeApf(gf_readApfListing(lf_readFile(input)), argv[3]);
        } else {
            lf_requireNoFolder(input, "an airport park-position file");
            const std::string listing = gf_apfFileToListing(input);
            std::fwrite(listing.data(), 1, listing.size(), stdout);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "apftool: %s: %s\n", input.string().c_str(), e.what());
        return 1;
    }
    return 0;
}
