#pragma once
// What the add-on airport scan asks of the airport reference data: an airport's
// name and altitude by its code, and the first code of the reference list (in list
// order) that passes a test. Kept to these questions so the decoder and the
// registration can be driven by small tables in tests and tools.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace clv {

struct AddonReference {
    // The airport's name; "" when the code is not known.
    std::function<std::string(std::string_view code)> airportName;
    // The airport's altitude in feet; none when the code is not known.
    std::function<std::optional<double>(std::string_view code)> altitudeFt;
    // The first code of the reference list, in list order, for which the test holds.
    std::function<std::optional<std::string>(const std::function<bool(std::string_view code)>& test)> firstCode;
};

}  // namespace clv
