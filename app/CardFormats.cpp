#include "app/CardFormats.h"

#include <cstdint>
#include <vector>

#include "framework/IntegerText.h"
#include "app/KeyTyper.h"
#include "app/Settings.h"
#include "framework/Exception.h"
#include "framework/HexDigit.h"

std::string Slice(const std::string& s, std::size_t position, std::size_t count)
{
    if (position == 0 || position > s.size())
        return {};
    return s.substr(position - 1, count);
}

std::string FiveDigits(std::int32_t v)
{
    // Widened so that no value can overflow; for 0..65535 the text has six
    // characters and the first one ("1") is dropped.
    return Slice(std::to_string(std::int64_t{v} + 100000), 2, 5);
}

std::int32_t BitStringToInteger(const std::string& bits)
{
    const std::size_t n = bits.size();
    std::uint32_t value = 0;
    for (std::size_t i = 1; i <= n; ++i) {
        if (bits[i - 1] == '1')
            value += std::uint32_t{1} << ((n - i) % 32);
    }
    return static_cast<std::int32_t>(value);
}

std::string WiegandFromHex(const std::string& hex)
{
    if (hex.empty())
        RaiseInvalidInteger("$");

    std::string bits;
    for (std::size_t i = hex.size(); i-- > 0;) {
        const std::int32_t v = TextToInt32(std::string("$") + hex[i]);  // 0..15 or raises
        bits.insert(0, NibbleBits[static_cast<std::size_t>(v)]);
    }

    std::size_t ones = 0;
    for (std::size_t i = 0; i < bits.size() && i < 12; ++i) {
        if (bits[i] == '1')
            ++ones;
    }
    const char parity = ones % 2 == 1 ? '1' : '0';
    return std::to_string(BitStringToInteger(parity + bits));
}

namespace {

// One part of a format's result, taken from the frame s.
enum class Kind {
    Literal,      // the text itself
    Raw,          // the slice, unconverted
    Decimal,      // D(H): the slice as a 32-bit hexadecimal number, in decimal
    Decimal64,    // D(H64): the same as a 64-bit number
    Five,         // FiveDigits(H)
    ReversedAbs,  // the slice reversed, read as H, made positive in 32 bits
    Wiegand,      // WiegandFromHex of the slice
};

struct Part {
    Kind kind;
    std::size_t position = 0;
    std::size_t count = 0;
    const char* text = "";
};

struct CardFormatRow {
    std::vector<Part> parts;
    std::size_t keepLast = 0;  // 0: the whole text; else only its last characters
};

Part Literal(const char* text) { return {Kind::Literal, 0, 0, text}; }
Part Raw(std::size_t p, std::size_t n) { return {Kind::Raw, p, n}; }
Part Decimal(std::size_t p, std::size_t n) { return {Kind::Decimal, p, n}; }
Part Decimal64(std::size_t p, std::size_t n) { return {Kind::Decimal64, p, n}; }
Part Five(std::size_t p, std::size_t n) { return {Kind::Five, p, n}; }
Part ReversedAbs(std::size_t p, std::size_t n) { return {Kind::ReversedAbs, p, n}; }
Part Wiegand(std::size_t p, std::size_t n) { return {Kind::Wiegand, p, n}; }

// Format 7's prefix, typed before the main number is converted: the leading
// byte in decimal, with leading zeros to three digits.
const CardFormatRow PrefixOfFormat7{{Literal("000"), Decimal(2, 2)}, 3};

// Index: CardFormat. Formats 3 and 10 give the same text; the typer puts the
// Tab of format 10 in.
const std::vector<CardFormatRow>& FormatTable()
{
    static const std::vector<CardFormatRow> table = {
        /*  0 */ {{}, 0},
        /*  1 */ {{Decimal64(4, 8)}, 0},
        /*  2 */ {{ReversedAbs(4, 8)}, 0},
        /*  3 */ {{Decimal(6, 2), Five(8, 4)}, 0},
        /*  4 */ {{Decimal(4, 4), Five(8, 4)}, 0},
        /*  5 */ {{Decimal(8, 4)}, 0},
        /*  6 */ {{Decimal(6, 6)}, 0},
        /*  7 */ {{Decimal64(4, 8)}, 0},
        /*  8 */ {{Wiegand(6, 6)}, 0},
        /*  9 */ {{Raw(4, 8)}, 0},
        /* 10 */ {{Decimal(6, 2), Five(8, 4)}, 0},
        /* 11 */ {{Literal("000"), Decimal(6, 2), Five(8, 4)}, 6},
        /* 12 */ {{Raw(4, 14)}, 0},
        /* 13 */ {{Decimal(2, 2), Five(4, 4)}, 0},
        /* 14 */ {{Literal(" F"), Raw(4, 8)}, 0},
    };
    return table;
}

bool IsHexDigit(char c) { return HexDigitValue(c) >= 0; }

// At least one hex digit, and only hex digits once the characters of code
// 32 or less at both ends are left out.
bool IsHexWithinControls(const std::string& text)
{
    auto control = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && control(text[first]))
        ++first;
    while (last > first && control(text[last - 1]))
        --last;
    if (first == last)
        return false;
    for (std::size_t i = first; i < last; ++i) {
        if (!IsHexDigit(text[i]))
            return false;
    }
    return true;
}

std::int32_t Hex32(const std::string& digits) { return TextToInt32("$" + digits); }

std::string Evaluate(const Part& part, const std::string& s)
{
    const std::string slice = Slice(s, part.position, part.count);
    switch (part.kind) {
    case Kind::Literal:
        return part.text;
    case Kind::Raw: {
        // Copied as it is, but only a card: hex digits, with nothing but
        // controls or blanks at its ends (which the handler trims).
        if (!IsHexWithinControls(slice))
            RaiseInvalidInteger("$" + slice);
        return slice;
    }
    case Kind::Decimal:
        return std::to_string(Hex32(slice));
    case Kind::Decimal64:
        return std::to_string(TextToInt64("$" + slice));
    case Kind::Five:
        return FiveDigits(Hex32(slice));
    case Kind::ReversedAbs: {
        const std::int32_t v = Hex32(std::string(slice.rbegin(), slice.rend()));
        // |v| in 32-bit arithmetic: -2147483648 stays as it is.
        const auto magnitude = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
        return std::to_string(static_cast<std::int32_t>(magnitude));
    }
    case Kind::Wiegand:
        return WiegandFromHex(slice);
    }
    return {};
}

// Parts are converted first to last, so an error names the first bad slice.
std::string Build(const CardFormatRow& row, const std::string& s)
{
    std::string r;
    for (const Part& part : row.parts)
        r += Evaluate(part, s);
    if (row.keepLast != 0 && r.size() > row.keepLast)
        r.erase(0, r.size() - row.keepLast);
    return r;
}

}  // namespace

std::string ConvertFrame(const std::string& s)
{
    const std::int32_t format = CardFormat;
    const auto& table = FormatTable();
    if (format < 1 || static_cast<std::size_t>(format) >= table.size())
        return {};

    // Both parts of format 7 are converted before anything is typed: a prefix
    // typed for a frame that then fails would run into the next card.
    if (format == 7) {
        const std::string prefix = Build(PrefixOfFormat7, s);
        std::string number = Build(table[7], s);
        TypeText(prefix);
        Pause().Sleep(20);
        return number;
    }
    return Build(table[static_cast<std::size_t>(format)], s);
}
