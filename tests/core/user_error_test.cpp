#include "core/user_error.h"

#include <gtest/gtest.h>

TEST(UserErrorException, TextRule) {
    struct Case {
        int number;
        std::string message;
        std::string text;
    };
    const Case cases[] = {
        {99, "abc", "abc"},          {150, "abc", "150: abc"}, {0, "abc", "0: abc"},
        {41, "", "41: "},            {99, "", ""},             {-1, "x", "-1: x"},
    };
    for (const auto& c : cases) {
        clv::UserErrorException e(c.number, c.message);
        EXPECT_EQ(std::string(e.what()), c.text) << c.number;
    }
}

TEST(UserErrorException, CaughtAsStandardRuntimeError) {
    try {
        throw clv::UserErrorException(41, "Calvorinth must be run from the Calvorinth folder!");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "41: Calvorinth must be run from the Calvorinth folder!");
    }
}
