// dbasetool: turns plain listings into the stored data files and back.
#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "tools/dbasetool/dbase_listing.h"

namespace {

constexpr const char* kUsage =
    "usage: dbasetool <command> <input> <output>\n"
    "  xml          <listing> <dbase.xml>         a dbase listing as dbase.xml\n"
    "  listing      <dbase.xml> <listing>         dbase.xml as a listing\n"
    "  aig-xml      <listing> <AIG-regcodes.xml>  an AIG listing as AIG-regcodes.xml\n"
    "  aig-listing  <AIG-regcodes.xml> <listing>  AIG-regcodes.xml as a listing\n"
    "  zip          <file> <archive.zip>          the file as the one entry of a zip archive\n"
    "The listing formats are described in tools/dbasetool/dbase_listing.h.\n";

constexpr std::array<std::string_view, 5> kCommands = {"xml", "listing", "aig-xml", "aig-listing", "zip"};

std::string lf_readFile(const std::filesystem::path& path) {
    // A folder opens as a stream that reads nothing: it would become an empty file.
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw std::runtime_error("is a folder, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read {}", path.string()));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void lf_writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) throw std::runtime_error(fmt::format("cannot write {}", path.string()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (argc > 1 && std::find(kCommands.begin(), kCommands.end(), command) == kCommands.end()) {
        std::fprintf(stderr, "dbasetool: unknown command %s\n%s", argv[1], kUsage);
        return 2;
    }
    if (argc != 4) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::filesystem::path input = argv[2];
    const std::filesystem::path output = argv[3];
    try {
        if (command == "xml") {
            lf_writeFile(output, gf_dbaseListingToXml(lf_readFile(input)));
        } else if (command == "listing") {
            lf_writeFile(output, gf_dbaseXmlToListing(lf_readFile(input)));
        } else if (command == "aig-xml") {
            lf_writeFile(output, gf_aigListingToXml(lf_readFile(input)));
        } else if (command == "aig-listing") {
            lf_writeFile(output, gf_aigXmlToListing(lf_readFile(input)));
        } else {
            gf_writeZipFile(output, input.filename().string(), lf_readFile(input));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dbasetool: %s: %s\n", input.string().c_str(), e.what());
        return 1;
    }
    return 0;
}
