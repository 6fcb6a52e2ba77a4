#include "framework/IntegerText.h"

#include <cstddef>
#include <optional>

#include "framework/Exception.h"

namespace {

int DigitValue(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Parses the text for a result of `bits` bits (32 or 64) and returns the
// value as its two's-complement bit pattern in the low `bits` bits, or
// nothing when the text is not an integer of that size.
// All arithmetic is unsigned, so no input can overflow a signed type.
std::optional<std::uint64_t> Parse(std::string_view text, unsigned bits)
{
    const std::uint64_t mask = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    const std::uint64_t positiveLimit = mask >> 1;  // 2^(bits-1) - 1
    const std::size_t size = text.size();
    std::size_t i = 0;

    while (i < size && text[i] == ' ')
        ++i;

    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    bool hex = false;
    if (i < size && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < size && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }

    if (i == size)
        return std::nullopt;  // no digits at all

    std::uint64_t value = 0;
    if (hex) {
        // Up to bits/4 significant digits after any leading zeros.
        unsigned significant = 0;
        for (; i < size; ++i) {
            const int d = DigitValue(text[i], true);
            if (d < 0)
                return std::nullopt;
            if (value == 0 && d == 0)
                continue;
            if (++significant > bits / 4)
                return std::nullopt;
            value = (value << 4) | static_cast<std::uint64_t>(d);
        }
        if (negative)
            value = (0 - value) & mask;
        return value;
    }

    // Decimal: the magnitude may reach 2^(bits-1) only with a minus sign.
    const std::uint64_t limit = negative ? positiveLimit + 1 : positiveLimit;
    for (; i < size; ++i) {
        const int d = DigitValue(text[i], false);
        if (d < 0)
            return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(d);
        if (value > (limit - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    if (negative)
        value = (0 - value) & mask;
    return value;
}

}  // namespace

std::optional<std::int32_t> TryTextToInt32(std::string_view text)
{
    const std::optional<std::uint64_t> value = Parse(text, 32);
    if (!value)
        return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
}

std::int32_t TextToInt32(const std::string& text)
{
    const std::optional<std::int32_t> value = TryTextToInt32(text);
    if (!value)
        RaiseInvalidInteger(text);
    return *value;
}

std::int64_t TextToInt64(const std::string& text)
{
    const std::optional<std::uint64_t> value = Parse(text, 64);
    if (!value)
        RaiseInvalidInteger(text);
    return static_cast<std::int64_t>(*value);
}
