#include "tools/bgltool/bgl_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

#include "support/temp_folder.h"

using clv::test::TempFolder;

namespace {

struct DumpedStand {
    std::string name;
    double lat = 0, lon = 0, headingDeg = 0, radiusM = 0;
};

std::vector<DumpedStand> standsOf(const std::string& dump) {
    std::vector<DumpedStand> stands;
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  ", 0) != 0) continue;
        std::istringstream in(line);
        DumpedStand s;
        std::string position, word;
        in >> s.name >> position >> word >> s.headingDeg >> word >> s.radiusM;
        const auto comma = position.find(',');
        s.lat = std::stod(position.substr(0, comma));
        s.lon = std::stod(position.substr(comma + 1));
        stands.push_back(s);
    }
    return stands;
}

}  // namespace

// The dump shows every stand of a large airport as the description gave it.
TEST(BglToolTest, DumpShowsEveryStandOfADescription) {
    struct Given {
        std::string name;
        double lat, lon, heading, radius;
    };
    std::vector<Given> given;
    std::string description = "section 101\nrecord 7 24\nsection 3\nairport EGLL 51.4775 -0.461389 25.3\n"
                              "name London Heathrow\nchild 999 16\n";
    for (int i = 0; i < 300; ++i) {
        const int index = 12 + i % 26;  // A to Z
        const int number = i / 26 + 1;
        const Given g{fmt::format("{}{}", static_cast<char>('A' + i % 26), number), 51.46 + i * 1.3e-4,
                      -0.49 + i * 2.1e-4, 1.0 + (i * 7) % 358, 5.25 + i % 60};
        description += fmt::format("parking {} {} 4 {} {} {:.6f} {:.6f} BAW\n", index, number, g.radius, g.heading,
                                   g.lat, g.lon);
        given.push_back(g);
    }
    TempFolder folder;
    const auto path = folder.write(
        "egll.bgl", clv::bgltool::gf_buildBgl(clv::bgltool::gf_parseBglDescription(description)));
    const std::string dump = gf_bglDumpText(path.string(), true);
    EXPECT_NE(dump.find("airport EGLL at 51.477500,-0.461389 altitude 83 ft"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("report:"), std::string::npos) << dump;
    const auto stands = standsOf(dump);
    ASSERT_EQ(stands.size(), given.size());
    for (std::size_t i = 0; i < given.size(); ++i) {
        EXPECT_EQ(stands[i].name, given[i].name);
        EXPECT_NEAR(stands[i].lat, given[i].lat, 1e-6) << given[i].name;
        EXPECT_NEAR(stands[i].lon, given[i].lon, 1e-6) << given[i].name;
        EXPECT_NEAR(stands[i].headingDeg, given[i].heading, 1e-4) << given[i].name;  // printed to 4 places
        EXPECT_NEAR(stands[i].radiusM, given[i].radius, 1e-6) << given[i].name;
    }
}

TEST(BglToolTest, DescriptionErrorsNameTheLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"airport EGLL 1 2 3\n", "line 1: no section yet"},
        {"section 3\nhelipad 1 2\n", "line 2: size expected"},
        {"section 3\nparking 1 2 3 4 5 6 7\n", "line 2: no airport to add to"},
        {"section 3\nrunway 1\n", "line 2: unknown item \"runway\""},
    };
    for (const auto& [text, error] : cases) {
        try {
            clv::bgltool::gf_parseBglDescription(text);
            ADD_FAILURE() << text;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), error);
        }
    }
    EXPECT_THROW(clv::bgltool::gf_encodeIdentifier("eg"), std::invalid_argument);
}
