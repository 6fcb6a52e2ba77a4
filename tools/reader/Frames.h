#pragma once
// The bytes a card reader sends for one card, built from a card item as a
// person writes it on the command line or on a line of standard input.
//
// A card item is an optional style prefix and a value:
//   field:AABBCCDD    common field frame (the default style)
//   bare:AABBCCDD     just the hex text
//   raw:\x02AB\r\x03  any bytes, written as text with C-style escapes
//   bytes:02 41 03    any bytes, written as hex pairs
//   noise:2000        that many bytes of line noise: hex digits, no STX or ETX
// Without a prefix the item has the default style.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace reader {

enum class FrameStyle { Field, Bare, Raw, Bytes, Noise };

// The name used in prefixes and in --style ("field", "bare", "raw", "bytes",
// "noise").
const char* StyleName(FrameStyle style);
// Throws FrameError when the name is none of them.
FrameStyle StyleFromName(std::string_view name);

struct FrameOptions {
    // Leading byte of a field frame given with eight digits.
    std::uint8_t versionByte = 0;
    // CR LF before ETX in a field frame, after the text in a bare frame.
    bool crlf = false;
    // Lower-case hex digits in field frames (bare frames keep what is given).
    bool lowerCase = false;
    // Field frames with check digits that do not match (the right ones with
    // every bit flipped).
    bool badChecksum = false;
};

// A card item that cannot be turned into bytes. The message names the item.
class FrameError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// STX 0x02, the version byte and the card as ten hex digits, the XOR of those
// five bytes as two hex digits, CR LF when asked, ETX 0x03.
std::string FieldFrame(std::uint8_t version, std::uint32_t card, const FrameOptions& options);

// The XOR of the version byte and the four bytes of the card.
std::uint8_t FieldChecksum(std::uint8_t version, std::uint32_t card);

// The bytes of one card item; throws FrameError naming the item.
std::string BuildFrame(std::string_view item, FrameStyle defaultStyle, const FrameOptions& options);

// `count` bytes of noise as a reader at the wrong speed or a noisy line
// gives: upper-case hex digits, the same ones for the same count.
std::string NoiseBytes(std::size_t count);

// "\r", "\n", "\t", "\0", "\\" and "\xHH" (exactly two hex digits);
// every other character stands for itself. Throws FrameError on an unknown
// or cut-off escape.
std::string ParseEscapes(std::string_view text);

// Hex pairs, optionally separated by blanks, ':' or '-'. Throws FrameError on
// anything else or on an odd digit.
std::string ParseHexBytes(std::string_view text);

// "02 41 03": the bytes as upper-case hex pairs separated by blanks.
std::string HexDump(std::string_view bytes);

}  // namespace reader
