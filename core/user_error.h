#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

namespace clv {

// The one error whose text is meant for the user. The number is not kept:
// users quote it from the text, and 99 means "no number shown".
class UserErrorException : public std::runtime_error {
public:
    UserErrorException(std::int32_t number, const std::string& message)
        : std::runtime_error(number == 99 ? message : fmt::format("{}: ", number) + message) {}
};

}  // namespace clv
