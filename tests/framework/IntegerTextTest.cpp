#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "framework/IntegerText.h"
#include "framework/Exception.h"

namespace {

constexpr std::int32_t Min32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Max32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t Min64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t Max64 = std::numeric_limits<std::int64_t>::max();

std::string Message(const std::string& text) { return "'" + text + "' is not a valid integer value"; }

template <typename Convert>
void ExpectRefused(Convert convert, const std::string& text)
{
    try {
        const auto value = convert(text);
        ADD_FAILURE() << "accepted as " << value;
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), Message(text));
    }
}

TEST(TextToInt32, AcceptedTexts)
{
    const struct {
        std::string text;
        std::int32_t value;
    } cases[] = {
        {"0", 0},
        {"123", 123},
        {"000000000000000000000012", 12},
        {"   42", 42},
        {"+7", 7},
        {"-7", -7},
        {"  -0", 0},
        {"2147483647", Max32},
        {"-2147483648", Min32},
        {"+2147483647", Max32},
        {"$FF", 255},
        {"$ff", 255},
        {"$aBc", 0xABC},
        {"xA", 10},
        {"XA", 10},
        {"0x1f", 31},
        {"0XFF", 255},
        {"  -0x10", -16},
        {"+$10", 16},
        {"-$10", -16},
        {"$0", 0},
        {"$7FFFFFFF", Max32},
        // Hexadecimal is a 32-bit pattern: 80000000..FFFFFFFF are negative.
        {"$80000000", Min32},
        {"$FFFFFFFF", -1},
        {"$000000000000FFFFFFFF", -1},
        {"-$FFFFFFFF", 1},
        {"-$80000000", Min32},
        {"$A", 10},  // format 8's digits, "$" and one character
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        try {
            EXPECT_EQ(TextToInt32(c.text), c.value);
        } catch (const EConvertError& e) {
            ADD_FAILURE() << e.Message();
        }
    }
}

// Refused by both conversions.
const std::string RefusedByBoth[] = {
    "",
    " ",
    "+",
    "-",
    "$",
    "x",
    "0x",
    "-$",
    "+0X",
    "1 ",  // trailing blank
    " 1 ",
    "\t1",  // only code 32 counts as a blank
    "1a",
    "12x",
    "1.0",
    "1e3",
    "0b1",
    "+-1",
    "--1",
    "- 1",
    "1-",
    "$ 1",
    "$-1",  // the sign goes before the prefix
    "$+1",
    "$$1",
    "$G",
    "$1G",
    "0x0x1",
    "00x1",
    "0$1",
    std::string("1\0", 2),  // counted text with a NUL byte
    std::string("\0"
                "1",
                2),
    "\xB9",          // a superscript one in Latin-1
    "\xEF\xBC\x91",  // a full-width one in UTF-8
};

TEST(TextToInt32, RefusedTexts)
{
    for (const auto& text : RefusedByBoth) {
        SCOPED_TRACE("text \"" + text + "\"");
        ExpectRefused(TextToInt32, text);
    }
    for (const std::string text : {"2147483648", "+2147483648", "-2147483649", "4294967296", "99999999999999999999999",
                                   "$100000000", "$1FFFFFFFF", "-$100000000", "$FFFFFFFFFFFFFFFF"}) {
        SCOPED_TRACE("text \"" + text + "\"");
        ExpectRefused(TextToInt32, text);
    }
}

TEST(TextToInt64, AcceptedTexts)
{
    const struct {
        std::string text;
        std::int64_t value;
    } cases[] = {
        {"0", 0},
        {"  -123", -123},
        {"2147483648", 2147483648LL},
        {"-2147483649", -2147483649LL},
        {"9223372036854775807", Max64},
        {"-9223372036854775808", Min64},
        {"0000000009223372036854775807", Max64},
        {"$FFFFFFFF", 4294967295LL},  // no sign extension at 32 bits
        {"$AABBCCDD", 2864434397LL},
        {"$7FFFFFFFFFFFFFFF", Max64},
        {"$8000000000000000", Min64},
        {"$FFFFFFFFFFFFFFFF", -1},
        {"$0000FFFFFFFFFFFFFFFF", -1},
        {"-$FFFFFFFFFFFFFFFF", 1},
        {"-$8000000000000000", Min64},
        {"  +0x7fffffffffffffff", Max64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        try {
            EXPECT_EQ(TextToInt64(c.text), c.value);
        } catch (const EConvertError& e) {
            ADD_FAILURE() << e.Message();
        }
    }
}

TEST(TextToInt64, RefusedTexts)
{
    for (const auto& text : RefusedByBoth) {
        SCOPED_TRACE("text \"" + text + "\"");
        ExpectRefused(TextToInt64, text);
    }
    for (const std::string text : {"9223372036854775808", "-9223372036854775809", "18446744073709551616",
                                   "99999999999999999999999", "$10000000000000000", "-$10000000000000000"}) {
        SCOPED_TRACE("text \"" + text + "\"");
        ExpectRefused(TextToInt64, text);
    }
}

}  // namespace
