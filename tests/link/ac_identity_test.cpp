#include "link/ac_identity.h"

#include <gtest/gtest.h>

using clv::AcIdentity;

namespace {

AcIdentity identity(std::string airline, std::string type, std::string callsign, std::string reg,
                    std::string origin = "", std::string destination = "") {
    AcIdentity id;
    id.airline = std::move(airline);
    id.type = std::move(type);
    id.callsign = std::move(callsign);
    id.registration = std::move(reg);
    id.origin = std::move(origin);
    id.destination = std::move(destination);
    return id;
}

}  // namespace

TEST(AcIdentity, KeysAndLabelsKeepTheirColumns) {
    const AcIdentity full = identity("SWR", "A320", "SWR123", "HB-JLT", "LSGG", "LSZH");
    EXPECT_EQ(full.airlTypeKey(), "SWR A320");
    EXPECT_EQ(full.routeLabel(), "LSGG->LSZH");
    EXPECT_EQ(full.shortLabel(), "SWR123   HB-JLT   LSGG->LSZH");
    EXPECT_EQ(full.logLabel(), "SWR123   HB-JLT   LSGG->LSZH SWR A320");
    EXPECT_EQ(full.fullLabel(), "SWR123   HB-JLT SWR A320");
    EXPECT_EQ(full.registrationKey(), "SWR A320 HB-JLT");
    EXPECT_EQ(full.paddedCallsign(), "SWR123  ");

    const AcIdentity bare = identity("", "C2", "", "");
    EXPECT_EQ(bare.airlTypeKey(), "    C2  ");
    EXPECT_EQ(bare.routeLabel(), "        ");
    // Callsign, registration and route as blank columns of 8, then the key.
    EXPECT_EQ(bare.logLabel(), std::string(8 + 1 + 8 + 1 + 8 + 1 + 4, ' ') + "C2  ");
    EXPECT_EQ(identity("", "", "", "", "", "EGLL").routeLabel(), "   ->EGLL");
    EXPECT_EQ(AcIdentity::airlTypeKey("EZYX", "A20NX"), "EZYX A20NX");
}

TEST(AcIdentity, SameAirlineAndType) {
    const AcIdentity a = identity("DLH", "A321", "DLH1", "D-AISA");
    EXPECT_TRUE(a.sameAirlType(identity("DLH", "A321", "other", "")));
    EXPECT_FALSE(a.sameAirlType(identity("DLH", "A320", "DLH1", "D-AISA")));
    EXPECT_FALSE(a.sameAirlType(identity("", "A321", "DLH1", "D-AISA")));
}

TEST(AcIdentity, ValidCallsigns) {
    struct Case {
        const char* callsign;
        bool valid;
    };
    for (const Case& c : {Case{"", false}, Case{"A", true}, Case{"ABCDEFGH", true}, Case{"ABCDEFGHI", false},
                          Case{"@@@@@@@@", false}, Case{"@@@@@@@", true}}) {
        SCOPED_TRACE(c.callsign);
        EXPECT_EQ(identity("", "", c.callsign, "").validCallsign(), c.valid);
    }
}

TEST(AcIdentity, AirlineFromCallsign) {
    struct Case {
        const char* callsign;
        bool found;
        const char* airline;  // after the call, starting from "OLD"
    };
    for (const Case& c : {Case{"swr12", true, "SWR"}, Case{"EZY4567", true, "EZY"}, Case{"DLH9", true, "DLH"},
                          Case{"DLH", false, "OLD"}, Case{"D1H12", false, "OLD"}, Case{"DLHA12", false, "OLD"},
                          Case{"HBJLT", false, "OLD"}, Case{"", false, "OLD"}}) {
        SCOPED_TRACE(c.callsign);
        AcIdentity id = identity("OLD", "", c.callsign, "");
        EXPECT_EQ(id.airlineFromCallsign(), c.found);
        EXPECT_EQ(id.airline, c.airline);
    }
}
