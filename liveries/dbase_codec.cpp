#include "liveries/dbase_codec.h"

#include <array>
#include <cstdint>
#include <stdexcept>

#include <fmt/format.h>

#include "core/log.h"

namespace {

constexpr std::string_view kAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int kAlphabetSize = static_cast<int>(kAlphabet.size());
constexpr int kTypeShift = 17;
constexpr int kRegcodeShift = 5;
constexpr int kRegcodeStep = 7;
constexpr std::size_t kAirlineLength = 3;
constexpr std::uint8_t kAirlineKey = 0x5A;
constexpr std::uint8_t kAirlineKeyStep = 0x11;
constexpr std::string_view kHexDigits = "0123456789ABCDEF";

// Position of each byte in the alphabet, -1 for bytes outside it.
constexpr std::array<int, 256> lf_alphabetPositions() {
    std::array<int, 256> positions{};
    for (auto& p : positions) p = -1;
    for (int i = 0; i < kAlphabetSize; ++i) positions[static_cast<unsigned char>(kAlphabet[i])] = i;
    return positions;
}
constexpr std::array<int, 256> kPositions = lf_alphabetPositions();

char lf_rotate(char c, int shift) {
    const int p = kPositions[static_cast<unsigned char>(c)];
    if (p < 0) return c;
    int q = (p + shift) % kAlphabetSize;
    if (q < 0) q += kAlphabetSize;
    return kAlphabet[static_cast<std::size_t>(q)];
}

int lf_registrationShift(std::size_t position) {
    return static_cast<int>((kRegcodeShift + kRegcodeStep * position) % kAlphabetSize);
}

std::uint8_t lf_airlineKey(std::size_t position) {
    return static_cast<std::uint8_t>(kAirlineKey + kAirlineKeyStep * position);
}

int lf_hexValue(char c) {
    const auto p = kHexDigits.find(c);
    return p == std::string_view::npos ? -1 : static_cast<int>(p);
}

}  // namespace

std::string gf_decodeType(std::string_view stored) {
    std::string plain(stored);
    for (char& c : plain) c = lf_rotate(c, -kTypeShift);
    return plain;
}

std::string gf_encodeType(std::string_view type) {
    std::string stored(type);
    for (char& c : stored) c = lf_rotate(c, kTypeShift);
    return stored;
}

std::string gf_decodeRegcode(std::string_view stored) {
    std::string plain(stored);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = lf_rotate(plain[i], -lf_registrationShift(i));
    return plain;
}

std::string gf_encodeRegcode(std::string_view registration) {
    std::string stored(registration);
    for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = lf_rotate(stored[i], lf_registrationShift(i));
    return stored;
}

std::string gf_decodeAirline(std::string_view stored) {
    if (stored.empty()) return {};
    if (stored.size() == kAirlineLength) {
        gf_logMarked("Unencrypted airline {} in decrypt airl?", stored);
        return std::string(stored);
    }
    if (stored.size() != 2 * kAirlineLength) throw std::runtime_error(fmt::format("decrypt airl \"{}\" error", stored));
    std::string plain(kAirlineLength, '\0');
    for (std::size_t i = 0; i < kAirlineLength; ++i) {
        const int high = lf_hexValue(stored[2 * i]);
        const int low = lf_hexValue(stored[2 * i + 1]);
        if (high < 0 || low < 0) throw std::runtime_error(fmt::format("decrypt airl \"{}\" error", stored));
        plain[i] = static_cast<char>(static_cast<std::uint8_t>(high * 16 + low) ^ lf_airlineKey(i));
    }
    return plain;
}

std::string gf_encodeAirline(std::string_view code) {
    if (code.empty()) return {};
    if (code.size() != kAirlineLength)
        throw std::invalid_argument(fmt::format("airline code \"{}\" does not have three characters", code));
    std::string stored;
    stored.reserve(2 * kAirlineLength);
    for (std::size_t i = 0; i < kAirlineLength; ++i) {
        const auto byte = static_cast<std::uint8_t>(static_cast<std::uint8_t>(code[i]) ^ lf_airlineKey(i));
        stored += kHexDigits[byte >> 4];
        stored += kHexDigits[byte & 0x0F];
    }
    return stored;
}
