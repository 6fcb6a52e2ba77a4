#pragma once
// The card formats: ConvertFrame cuts the card number out of a reader frame
// by fixed character positions and converts it as the setting CardFormat
// (app/Settings.h) says. Positions are counted from 1.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The `count` characters from `position` on, clipped to the frame: a frame
// that ends early gives what is there, one shorter than `position` gives "".
std::string Slice(const std::string& s, std::size_t position, std::size_t count);

// Entry v is v in base 2, four characters, most significant bit first.
inline constexpr std::array<std::string_view, 16> NibbleBits = {
    "0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
    "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111",
};

// Characters 2 to 6 of the decimal text of v + 100000: for 0..65535 the
// value with leading zeros to five digits.
std::string FiveDigits(std::int32_t v);

// Sum of 2^((n - i) mod 32) over the positions i (1-based) holding "1"; any
// other character counts as 0. 32-bit arithmetic.
std::int32_t BitStringToInteger(const std::string& bits);

// Format 8: the bits of the hexadecimal text, led by one parity bit that
// makes the first twelve bits (fewer when the text is shorter than three
// characters) even, in decimal. Raises the conversion error on a character
// that is not a hexadecimal digit, and on an empty text (message "'$'...").
std::string WiegandFromHex(const std::string& hex);

// The card text for frame s under the current CardFormat, not yet trimmed.
// Formats 9, 12 and 14 copy their slice, and raise the conversion error when
// it holds no hex digit or anything but hex digits between the controls or
// blanks at its ends.
// Format 7 converts its three-digit prefix and its number, then types the
// prefix with TypeText and pauses 20 ms. Raises the conversion error when a
// slice it converts is not a hexadecimal number; nothing is typed then.
std::string ConvertFrame(const std::string& s);
