#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "TyperFixture.h"
#include "app/CardFormats.h"
#include "framework/Exception.h"

namespace {

// The received-frame handler trims the converted text before typing it.
std::string Trim(const std::string& s)
{
    std::size_t first = 0, last = s.size();
    while (first < last && static_cast<unsigned char>(s[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ')
        --last;
    return s.substr(first, last - first);
}

std::string InvalidInteger(const std::string& text) { return "'" + text + "' is not a valid integer value"; }

// Frame A: any first character, then 00AABBCCDDEEFF00 at positions 2-17.
const std::string FrameA =
    "\x02"
    "00AABBCCDDEEFF00";

class CardFormatsTest : public TyperTest {
protected:
    // Converts as the handler does (convert, trim, type) and returns the trimmed text.
    std::string ConvertAndType(const std::string& frame)
    {
        const std::string r = Trim(ConvertFrame(frame));
        TypeText(r);
        return r;
    }
};

TEST_F(CardFormatsTest, WorkedExamples)
{
    const struct {
        const char* what;
        std::string frame;
        std::int32_t format;
        std::int32_t fill;
        std::string text;  // trimmed R
        std::string keys;
    } cases[] = {
        {"A", FrameA, 1, 10, "2864434397", "2864434397 Enter"},
        {"A", FrameA, 2, 10, "573785174", "0573785174 Enter"},
        {"A", FrameA, 3, 10, "18752445", "0018752445 Enter"},
        {"A", FrameA, 4, 10, "4370752445", "4370752445 Enter"},
        {"A", FrameA, 5, 10, "52445", "0000052445 Enter"},
        {"A", FrameA, 6, 10, "12307677", "0012307677 Enter"},
        {"A: prefix 000, then the number", FrameA, 7, 10, "2864434397", "0002864434397 Enter"},
        {"A", FrameA, 8, 10, "12307677", "0012307677 Enter"},
        {"A", FrameA, 9, 10, "AABBCCDD", "00aabbccdd Enter"},
        {"A", FrameA, 10, 10, "18752445", "00187 Tab 52445 Enter"},
        {"A", FrameA, 11, 10, "752445", "0000752445 Enter"},
        {"A: longer than the fill length", FrameA, 12, 10, "AABBCCDDEEFF00", ""},
        {"A", FrameA, 12, 16, "AABBCCDDEEFF00", "00aabbccddeeff00 Enter"},
        {"A", FrameA, 13, 10, "043707", "0000043707 Enter"},
        {"A: the blank is trimmed", FrameA, 14, 10, "FAABBCCDD", "0faabbccdd Enter"},
        {"A", FrameA, 0, 10, "", "0000000000 Enter"},
        {"A", FrameA, 15, 10, "", "0000000000 Enter"},
        {"A", FrameA, -1, 10, "", "0000000000 Enter"},
        {"A", FrameA, INT32_MIN, 10, "", "0000000000 Enter"},
        {"five-byte card",
         "\x02"
         "AABBCCDDEE",
         7, 10, "3150765550", "1703150765550 Enter"},
        {"no comma",
         "\x02"
         "803039",
         13, 10, "12812345", "0012812345 Enter"},
        {"reversed",
         "\x02"
         "0012345678",
         2, 10, "2023406815", "2023406815 Enter"},
        {"reversed, stays negative",
         "\x02"
         "0000000008",
         2, 10, "-2147483648", ""},
        {"reversed, stays negative, typed",
         "\x02"
         "0000000008",
         2, 11, "-2147483648", "-2147483648 Enter"},
        {"parity 1",
         "\x02"
         "0000ABCDEF",
         8, 10, "28036591", "0028036591 Enter"},
        {"Tab before the fourth character",
         "\x02"
         "000005CCDD",
         10, 10, "552445", "0000552 Tab 445 Enter"},
        {"last six",
         "\x02"
         "00000F0001",
         11, 10, "500001", "0000500001 Enter"},
        {"three digits: no fill, no Enter",
         "\x02"
         "00000000FF",
         7, 10, "255", "000255"},
        {"10-character frame: three digits",
         "\x02"
         "00AABBCCD",
         5, 10, "3277", "0000003277 Enter"},
        {"lower case",
         "\x02"
         "00aabbccdd",
         1, 10, "2864434397", "2864434397 Enter"},
        {"lower case passed through",
         "\x02"
         "00aabbccdd",
         9, 10, "aabbccdd", "00aabbccdd Enter"},
        {"largest unsigned",
         "\x02"
         "00FFFFFFFF",
         1, 10, "4294967295", "4294967295 Enter"},
        {"format 2 never above 2147483647",
         "\x02"
         "00FFFFFFF7",
         2, 10, "2147483647", "2147483647 Enter"},
        {"short: fewer characters",
         "\x02"
         "00AABB",
         9, 10, "AABB", "000000aabb Enter"},
        {"parity over two digits",
         "\x02"
         "0000AB",
         8, 10, "427", "0000000427 Enter"},
        {"parity over one digit",
         "\x02"
         "0000A",
         8, 10, "10", "0000000010 Enter"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("format " + std::to_string(c.format) + ", " + c.what);
        Settings(c.format, c.fill, 1);
        keyboard.Clear();
        try {
            EXPECT_EQ(ConvertAndType(c.frame), c.text);
        } catch (const EConvertError& e) {
            ADD_FAILURE() << e.Message();
        }
        EXPECT_EQ(keyboard.Keys(), c.keys);
    }
}

TEST_F(CardFormatsTest, BadSlicesRaiseTheConversionError)
{
    const struct {
        std::string frame;
        std::int32_t format;
        std::string converted;  // the text named in the message
    } cases[] = {
        {"", 1, "$"},
        {"\x02"
         "00",
         1, "$"},
        {"\x02"
         "00AABBCCGG",
         1, "$AABBCCGG"},
        {"\x02"
         "001234567G",
         2, "$G7654321"},
        {"", 2, "$"},
        {"\x02"
         "00AA",
         3, "$"},  // 6-7 empty
        {"\x02"
         "00AABB",
         3, "$"},  // 8-11 empty
        {"\x02"
         "00AAZZCCDD",
         3, "$ZZ"},  // the first bad slice is named
        {"\x02"
         "00AAZZC DD",
         3, "$ZZ"},
        {"\x02"
         "00AABBC DD",
         3, "$C DD"},
        {"\x02"
         "00",
         4, "$"},
        {"\x02"
         "00AABB",
         5, "$"},
        {"\x02"
         "00AAB ",
         6, "$B "},
        {"\x02"
         "00AABB-123",
         5, "$-123"},  // no sign or prefix inside a slice
        {"\x02"
         "00AABB0x12",
         5, "$0x12"},
        {"\x02"
         "00AABB 123",
         5, "$ 123"},
        {"\x02", 7, "$"},
        {"\x02"
         "G",
         7, "$G"},
        {"", 8, "$"},
        {"\x02"
         "0000",
         8, "$"},
        {"\x02"
         "0000ABCDEX",
         8, "$X"},
        {"\x02"
         "0000 BCDEF",
         8, "$ "},
        {"\x02"
         "00AAZZCCDD",
         10, "$ZZ"},
        {"\x02"
         "00AA0G0001",
         11, "$0G"},
        {"\x02"
         "X",
         13, "$X"},
        {"\x02"
         "12",
         13, "$"},
        {"\x02"
         "12GG",
         13, "$GG"},
        // The copying formats take only hex digits too: a frame of NULs or
        // control characters, or one too short for the slice, is no card.
        {"", 9, "$"},
        {"", 12, "$"},
        {"", 14, "$"},
        {"\x02"
         "0G-",
         9, "$-"},
        {std::string("\x02"
                     "00\0\0\0\0\0\0\0\0\x03",
                     12),
         9, std::string("$\0\0\0\0\0\0\0\0", 9)},
        {"\x02"
         "00\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x03",
         12, "$\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01"},
        {"\x02"
         "00 x",
         14, "$ x"},
        {"\x02"
         "00AA BBCC",
         9, "$AA BBCC"},
        {"\x02"
         "00AABB\x03GG",
         12, "$AABB\x03GG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("format " + std::to_string(c.format) + ", frame \"" + c.frame + "\"");
        CardFormat = c.format;
        try {
            const std::string r = ConvertFrame(c.frame);
            ADD_FAILURE() << "converted to \"" << r << "\"";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), InvalidInteger(c.converted));
        }
    }
}

TEST_F(CardFormatsTest, CopyingFormatsPassHexDigitsWithControlsAtTheEndsUnchanged)
{
    // The handler trims the controls; positions and the text stay as sent.
    const struct {
        std::string frame;
        std::int32_t format;
        std::string text;
    } cases[] = {
        {"\x02"
         "00AB\r\n\x1B",
         12, "AB\r\n\x1B"},
        {"\x02"
         "00AABB\x03",
         9, "AABB\x03"},
        {"\x02"
         "00aabbccdd\r\n\x03",
         14, " Faabbccdd"},
        {"\x02"
         "00\r\nAB",
         9, "\r\nAB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("format " + std::to_string(c.format));
        CardFormat = c.format;
        EXPECT_EQ(ConvertFrame(c.frame), c.text);
    }
}

TEST_F(CardFormatsTest, Format7TypesThePrefixThenPauses)
{
    CardFormat = 7;
    EXPECT_EQ(ConvertFrame("\x02"
                           "AABBCCDDEE"),
              "3150765550");
    // "170": three keys each with its pause, no Enter, then ConvertFrame's 20 ms.
    EXPECT_EQ(keyboard.Timeline(), "1 p20 7 p20 0 p20 p20");
}

TEST_F(CardFormatsTest, Format7TypesNothingWhenTheNumberFails)
{
    // The prefix alone would run into the next card's keys.
    CardFormat = 7;
    const struct {
        const char* frame;
        const char* message;
    } cases[] = {
        {"\x02"
         "0A",
         "$"},  // cut short after the prefix
        {"\x02"
         "0FXYZ\x03",
         "$XYZ\x03"},  // a bad number after a good prefix
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        keyboard.events.clear();
        try {
            ConvertFrame(c.frame);
            ADD_FAILURE() << "no conversion error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), InvalidInteger(c.message));
        }
        EXPECT_EQ(keyboard.Timeline(), "");
    }
}

TEST_F(CardFormatsTest, Format7BadPrefixTypesNothing)
{
    CardFormat = 7;
    EXPECT_THROW(ConvertFrame("\x02"
                              "G0AABBCCDD"),
                 EConvertError);
    EXPECT_TRUE(keyboard.events.empty());
}

TEST(Slice, ClipsToTheFrame)
{
    EXPECT_EQ(Slice("ABCDEF", 2, 3), "BCD");
    EXPECT_EQ(Slice("ABCDEF", 1, 6), "ABCDEF");
    EXPECT_EQ(Slice("ABCDEF", 5, 9), "EF");
    EXPECT_EQ(Slice("ABCDEF", 6, 1), "F");
    EXPECT_EQ(Slice("ABCDEF", 7, 1), "");
    EXPECT_EQ(Slice("ABCDEF", 100, 8), "");
    EXPECT_EQ(Slice("", 1, 1), "");
    EXPECT_EQ(Slice(std::string("A\0B", 3), 2, 2), std::string("\0B", 2));
}

TEST(NibbleBits, EachEntryIsItsIndexInBinary)
{
    EXPECT_EQ(NibbleBits[0], "0000");
    EXPECT_EQ(NibbleBits[5], "0101");
    EXPECT_EQ(NibbleBits[10], "1010");
    EXPECT_EQ(NibbleBits[15], "1111");
    for (std::int32_t v = 0; v < 16; ++v) {
        ASSERT_EQ(NibbleBits[static_cast<std::size_t>(v)].size(), 4u);
        EXPECT_EQ(BitStringToInteger(std::string(NibbleBits[static_cast<std::size_t>(v)])), v);
    }
}

TEST(FiveDigits, LeadingZerosToFiveDigits)
{
    EXPECT_EQ(FiveDigits(0), "00000");
    EXPECT_EQ(FiveDigits(7), "00007");
    EXPECT_EQ(FiveDigits(43707), "43707");
    EXPECT_EQ(FiveDigits(65535), "65535");
}

TEST(BitStringToInteger, Values)
{
    EXPECT_EQ(BitStringToInteger(""), 0);
    EXPECT_EQ(BitStringToInteger("1"), 1);
    EXPECT_EQ(BitStringToInteger("10"), 2);
    EXPECT_EQ(BitStringToInteger("1x1"), 5);  // anything but "1" counts as 0
    EXPECT_EQ(BitStringToInteger("1" + std::string(24, '0')), 16777216);
    EXPECT_EQ(BitStringToInteger(std::string(32, '1')), -1);
    EXPECT_EQ(BitStringToInteger("1" + std::string(31, '0')), INT32_MIN);
    EXPECT_EQ(BitStringToInteger("1" + std::string(32, '0')), 1);  // the power is taken modulo 32
}

TEST(WiegandFromHex, Values)
{
    EXPECT_EQ(WiegandFromHex("BBCCDD"), "12307677");  // eight ones in BBC: parity 0
    EXPECT_EQ(WiegandFromHex("ABCDEF"), "28036591");  // seven ones in ABC: parity 1
    EXPECT_EQ(WiegandFromHex("abcdef"), "28036591");
    EXPECT_EQ(WiegandFromHex("000000"), "0");
    EXPECT_EQ(WiegandFromHex("800000"), "25165824");  // 16777216 + 8388608
    EXPECT_EQ(WiegandFromHex("001000"), "16781312");  // the twelfth bit counts: 16777216 + 4096
    EXPECT_EQ(WiegandFromHex("000FFF"), "4095");      // the last twelve bits take no part
    EXPECT_EQ(WiegandFromHex("AB"), "427");           // parity over the eight bits there
    EXPECT_EQ(WiegandFromHex("8"), "24");
}

TEST(WiegandFromHex, RefusesEmptyAndNonHexText)
{
    for (const auto& [text, converted] : {std::pair<std::string, std::string>{"", "$"},
                                          {"FG", "$G"},
                                          {"G1", "$G"},
                                          {"1-", "$-"},
                                          {"1$", "$$"},
                                          {"1x", "$x"}}) {
        SCOPED_TRACE("text \"" + text + "\"");
        try {
            WiegandFromHex(text);
            ADD_FAILURE() << "accepted";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), InvalidInteger(converted));
        }
    }
}

}  // namespace
