#pragma once
// The stored form of airline, operator, type and registration values in dbase.xml
// and in the AI traffic package's registration file.
//
// Encoding (this comment is its one description; tools/dbasetool writes it):
//
//   Alphabet  A = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ" (36 characters).
//   Every character outside A is stored as it is, so every text has a stored form
//   and decoding gives back exactly what was encoded.
//
//   Type designator: each character of A is replaced by the one 17 places further
//     on in A, wrapping round ("B738" is stored as "SOKP"). Same length.
//   Registration: the character at position i (0 for the first) is replaced by
//     the one 5 + 7 * i places further on in A, wrapping round; "-" and other
//     characters outside A stay ("D-ABCD" is stored as "I-T19H"). Same length.
//   Airline or operator code: three characters, each stored as two upper-case
//     hexadecimal digits of its byte XOR (0x5A + 0x11 * position), so the stored
//     form has six characters ("DLH" is stored as "1E2734"). The empty text is
//     stored empty.
//
// Decoding an airline value: empty stays empty; three characters are taken as
// they stand (an unencoded file) with the marked log line "Unencrypted airline {}
// in decrypt airl?"; six hexadecimal digits decode as above; anything else throws
// std::runtime_error "decrypt airl \"{}\" error".
#include <string>
#include <string_view>

std::string gf_decodeAirline(std::string_view stored);
std::string gf_decodeType(std::string_view stored);
std::string gf_decodeRegcode(std::string_view stored);

// The stored forms. gf_encodeAirline throws std::invalid_argument for a code
// that is neither empty nor three characters long.
std::string gf_encodeAirline(std::string_view code);
std::string gf_encodeType(std::string_view type);
std::string gf_encodeRegcode(std::string_view registration);
