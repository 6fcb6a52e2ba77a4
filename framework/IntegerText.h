#pragma once
// The system's integer text conversions, used everywhere: the card formats,
// the command line and the window's fields, and the character form of the
// serial settings.
//
// Accepted text: any number of leading blanks (code 32 only), at most one
// sign ("+" or "-"), then either decimal digits or a hexadecimal number
// introduced by "$", "x", "X", "0x" or "0X", and nothing after the digits.
// Decimal values must fit the signed range of the result. Hexadecimal values
// may have any number of leading zeros and up to 8 (32-bit) or 16 (64-bit)
// significant digits; they are taken as two's-complement values, so $FFFFFFFF
// is -1 in TextToInt32, and a "-" before the prefix negates the value.
//
// Anything else raises EConvertError "'<text>' is not a valid integer value".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

std::int32_t TextToInt32(const std::string& text);
// The same rules without the error: nothing when the text does not convert.
std::optional<std::int32_t> TryTextToInt32(std::string_view text);
std::int64_t TextToInt64(const std::string& text);
