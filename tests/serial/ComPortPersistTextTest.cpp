// The text forms of the settings: enumeration tables both ways with their
// exact matching and fallbacks, yes/no, and the character form.

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "serial/ComPortText.h"

namespace {

// Every member's text, and every text read back in three letter cases.
template <typename E>
void ExpectTable(const char* what, std::string (*text)(E), E (*parse)(std::string_view),
                 const std::vector<std::string>& expected)
{
    SCOPED_TRACE(what);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const E member = static_cast<E>(i);
        EXPECT_EQ(text(member), expected[i]) << "ordinal " << i;
        std::string lower = expected[i];
        std::string upper = expected[i];
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(parse(expected[i]), member) << expected[i];
        EXPECT_EQ(parse(lower), member) << lower;
        EXPECT_EQ(parse(upper), member) << upper;
    }
    // A value outside the enumeration has no text (and reads as the fallback).
    EXPECT_EQ(text(static_cast<E>(expected.size())), "");
}

TEST(ComPortText, EnumerationTablesBothWays)
{
    ExpectTable<TBaudRate>("baud rate", BaudRateText, ParseBaudRate,
                           {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
                            "56000", "57600", "115200", "128000", "256000"});
    ExpectTable<TStopBits>("stop bits", StopBitsText, ParseStopBits, {"1", "1.5", "2"});
    ExpectTable<TDataBits>("data bits", DataBitsText, ParseDataBits, {"5", "6", "7", "8"});
    ExpectTable<TParityBits>("parity", ParityText, ParseParity, {"None", "Odd", "Even", "Mark", "Space"});
    ExpectTable<TFlowControl>("flow control", FlowControlText, ParseFlowControl,
                              {"Hardware", "Software", "None", "Custom"});
    ExpectTable<TDTRFlowControl>("DTR", DTRControlText, ParseDTRControl, {"Disable", "Enable", "Handshake"});
    ExpectTable<TRTSFlowControl>("RTS", RTSControlText, ParseRTSControl, {"Disable", "Enable", "Handshake", "Toggle"});
}

TEST(ComPortText, EnumerationParsingIsExactElseFallback)
{
    // No trimming, no prefix match, no other spelling; letters other than
    // a to z are not case-folded.
    const struct {
        std::string text;
        TBaudRate rate;
    } rates[] = {
        {"custom", brCustom}, {"cUsToM", brCustom}, {"9601", br9600},     {"115200 ", br9600},
        {" 115200", br9600},  {"", br9600},         {"11520", br9600},    {"1152000", br9600},
        {"110", br110},       {"256000", br256000}, {"\xC3\xA9", br9600},
    };
    for (const auto& c : rates)
        EXPECT_EQ(ParseBaudRate(c.text), c.rate) << '"' << c.text << '"';

    EXPECT_EQ(ParseBaudRate(std::string("Custom\0", 7)), br9600);
    EXPECT_EQ(ParseStopBits("1,5"), sbOneStopBit);
    EXPECT_EQ(ParseStopBits("1.5"), sbOne5StopBits);
    EXPECT_EQ(ParseStopBits("2.0"), sbOneStopBit);
    EXPECT_EQ(ParseDataBits("9"), dbEight);
    EXPECT_EQ(ParseDataBits("5"), dbFive);
    EXPECT_EQ(ParseParity("Evens"), prNone);
    EXPECT_EQ(ParseParity("sPACE"), prSpace);
    EXPECT_EQ(ParseFlowControl("None "), fcCustom);
    EXPECT_EQ(ParseFlowControl("RTS/CTS"), fcCustom);
    EXPECT_EQ(ParseFlowControl(""), fcCustom);
    EXPECT_EQ(ParseDTRControl("Toggle"), dtrDisable);  // RTS has it, DTR not
    EXPECT_EQ(ParseDTRControl("enable"), dtrEnable);
    EXPECT_EQ(ParseRTSControl("Hand"), rtsDisable);
    EXPECT_EQ(ParseRTSControl("TOGGLE"), rtsToggle);
}

TEST(ComPortText, YesNo)
{
    EXPECT_EQ(YesNoText(true), "Yes");
    EXPECT_EQ(YesNoText(false), "No");
    const struct {
        const char* text;
        bool value;
    } cases[] = {
        {"yes", true},   {"YES", true},   {"Yes", true},   {"yEs", true}, {"Y", false},  {"1", false},
        {"true", false}, {" Yes", false}, {"Yes ", false}, {"", false},   {"No", false}, {"yess", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseYesNo(c.text), c.value) << '"' << c.text << '"';
}

TEST(ComPortText, CharactersWritten)
{
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {0, "#0"}, {9, "#9"},  {17, "#17"}, {19, "#19"},   {32, "#32"},   {33, "!"},     {35, "#"},     {59, ";"},
        {61, "="}, {92, "\\"}, {126, "~"},  {127, "\x7F"}, {128, "#128"}, {200, "#200"}, {255, "#255"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CharText(static_cast<char>(c.code)), c.text) << "code " << c.code;
}

TEST(ComPortText, CharactersRead)
{
    const struct {
        std::string text;
        int code;
    } cases[] = {
        {"", 0},
        {"A", 'A'},
        {"ABC", 'A'},
        {"#", '#'},
        {"#13", 13},
        {"#$1B", 27},
        {"#x1b", 27},
        {"#0X41", 0x41},
        {"#x", 0},
        {"#300", 44},
        {"#-1", 255},
        {"#+66", 66},
        {"#  66", 66},  // leading blanks are allowed
        {"#66 ", 0},    // trailing ones are not
        {"##", 0},
        {"#1#", 0},
        {"#2147483647", 255},
        {"#2147483648", 0},  // beyond the 32-bit range: not a number
        {"#-2147483647", 1},
        {"#$FFFFFFFF", 255},
        {"#$100000041", 0},     // nine significant digits
        {"#$000000041", 0x41},  // leading zeros do not count
        {"#\xC3\xA9", 0},
        {"\xC3\xA9", static_cast<unsigned char>('\xC3')},
        {std::string("\0#1", 3), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<unsigned char>(ParseCharText(c.text)), c.code) << '"' << c.text << '"';
}

TEST(ComPortText, EveryCharacterComesBack)
{
    for (int code = 0; code < 256; ++code) {
        const char c = static_cast<char>(code);
        const std::string text = CharText(c);
        EXPECT_EQ(text.size() == 1, code >= 33 && code <= 127) << "code " << code;
        EXPECT_EQ(ParseCharText(text), c) << "code " << code << " as \"" << text << '"';
    }
}

TEST(ComPortText, IntegerForm)
{
    const struct {
        const char* text;
        bool ok;
        std::int32_t value;
    } cases[] = {
        {"0", true, 0},
        {"-1", true, -1},
        {"  42", true, 42},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0},
        {"$7fffFFFF", true, 2147483647},
        {"-$10", true, -16},
        {"0x", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"12a", false, 0},
        {"1 ", false, 0},
        {"+-1", false, 0},
    };
    for (const auto& c : cases) {
        const auto value = TryParseInt32(c.text);
        EXPECT_EQ(value.has_value(), c.ok) << '"' << c.text << '"';
        if (value && c.ok) {
            EXPECT_EQ(*value, c.value) << '"' << c.text << '"';
        }
    }
}

}  // namespace
