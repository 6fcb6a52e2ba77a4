// The bytes tarvel-reader sends for each kind of card item.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tools/reader/Frames.h"

using reader::BuildFrame;
using reader::FrameError;
using reader::FrameOptions;
using reader::FrameStyle;

namespace {

using namespace std::string_literals;

struct FrameCase {
    const char* what;
    std::string item;
    FrameStyle defaultStyle;
    FrameOptions options;
    std::string bytes;
};

FrameOptions WithVersion(std::uint8_t version)
{
    FrameOptions o;
    o.versionByte = version;
    return o;
}
FrameOptions WithCrLf()
{
    FrameOptions o;
    o.crlf = true;
    return o;
}
FrameOptions WithBadChecksum()
{
    FrameOptions o;
    o.badChecksum = true;
    return o;
}
FrameOptions WithLowerCase()
{
    FrameOptions o;
    o.lowerCase = true;
    return o;
}

const FrameCase kFrames[] = {
    // Field frames: STX, version, card, XOR checksum of the five bytes, ETX.
    {"card whose bytes cancel out",
     "AABBCCDD",
     FrameStyle::Field,
     {},
     "\x02"
     "00AABBCCDD00"
     "\x03"},
    {"ten digits set the version byte",
     "0123456789",
     FrameStyle::Field,
     {},
     "\x02"
     "0123456789"
     "89"
     "\x03"},
    {"version byte from the options", "12345678", FrameStyle::Field, WithVersion(0x0F),
     "\x02"
     "0F12345678"
     "07"
     "\x03"},
    {"ten digits win over the option", "0F12345678", FrameStyle::Field, WithVersion(0xEE),
     "\x02"
     "0F12345678"
     "07"
     "\x03"},
    {"lower-case card comes out upper case",
     "aabbccdd",
     FrameStyle::Field,
     {},
     "\x02"
     "00AABBCCDD00"
     "\x03"},
    {"checksum of a single byte",
     "000000AB",
     FrameStyle::Field,
     {},
     "\x02"
     "00000000AB"
     "AB"
     "\x03"},
    {"all ones",
     "FFFFFFFFFF",
     FrameStyle::Field,
     {},
     "\x02"
     "FFFFFFFFFF"
     "FF"
     "\x03"},
    {"CR LF before ETX", "AABBCCDD", FrameStyle::Field, WithCrLf(),
     "\x02"
     "00AABBCCDD00\r\n"
     "\x03"},
    {"lower-case digits asked for", "000000AB", FrameStyle::Field, WithLowerCase(),
     "\x02"
     "00000000ab"
     "ab"
     "\x03"},
    {"field prefix under another default",
     "field:AABBCCDD",
     FrameStyle::Raw,
     {},
     "\x02"
     "00AABBCCDD00"
     "\x03"},

    // Bare frames: the hex text as given, any length.
    {"bare prefix", "bare:00AABBCCDDEEFF00", FrameStyle::Field, {}, "00AABBCCDDEEFF00"},
    {"bare keeps the case", "aBc", FrameStyle::Bare, {}, "aBc"},
    {"bare with CR LF", "bare:AB", FrameStyle::Field, WithCrLf(), "AB\r\n"},

    // Raw bytes with C-style escapes.
    {"raw frame cut short",
     "raw:\\x0200AABB",
     FrameStyle::Field,
     {},
     "\x02"
     "00AABB"},
    {"raw escapes", "raw:\\r\\n\\t\\\\\\x7f\\xFF", FrameStyle::Field, {}, "\r\n\t\\\x7F\xFF"},
    {"raw NUL stays", "raw:A\\0B", FrameStyle::Field, {}, "A\0B"s},
    {"raw keeps colons after the prefix", "raw:a:b", FrameStyle::Field, {}, "a:b"},
    {"raw default keeps an unknown prefix", "x:y", FrameStyle::Raw, {}, "x:y"},

    // Bytes as hex pairs.
    {"bytes with separators",
     "bytes:02 41-42:43\t03",
     FrameStyle::Field,
     {},
     "\x02"
     "ABC"
     "\x03"},
    {"bytes default, colons between pairs", "00:ff", FrameStyle::Bytes, {}, "\0\xFF"s},

    // Check digits that do not match: every bit of the right ones flipped.
    {"bad checksum", "AABBCCDD", FrameStyle::Field, WithBadChecksum(),
     "\x02"
     "00AABBCCDD"
     "FF"
     "\x03"},
    {"bad checksum with a version", "0F12345678", FrameStyle::Field, WithBadChecksum(),
     "\x02"
     "0F12345678"
     "F8"
     "\x03"},
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.what; }

class FrameTable : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameTable, BuildsTheBytes)
{
    const FrameCase& c = GetParam();
    EXPECT_EQ(reader::HexDump(BuildFrame(c.item, c.defaultStyle, c.options)), reader::HexDump(c.bytes)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Frames, FrameTable, ::testing::ValuesIn(kFrames));

struct BadCase {
    std::string item;
    FrameStyle defaultStyle;
    std::string shown;      // quoted in the message
    std::string inMessage;  // what is wrong
};

const BadCase kBadItems[] = {
    {"AABBCCD", FrameStyle::Field, "AABBCCD", "8 hex digits"},
    {"AABBCCDDE", FrameStyle::Field, "AABBCCDDE", "8 hex digits"},
    {"AABBCCDG", FrameStyle::Field, "AABBCCDG", "8 hex digits"},
    {"", FrameStyle::Field, "", "8 hex digits"},
    {"field:0FAABBCCDD00", FrameStyle::Bare, "0FAABBCCDD00", "8 hex digits"},
    {"bare:", FrameStyle::Field, "", "hex digits"},
    {"bare:12 34", FrameStyle::Field, "12 34", "hex digits"},
    {"raw:", FrameStyle::Field, "raw:", "nothing to send"},
    {"raw:\\x4", FrameStyle::Field, "\\x4", "two hex digits"},
    {"raw:\\xZZ", FrameStyle::Field, "\\xZZ", "two hex digits"},
    {"raw:abc\\", FrameStyle::Field, "abc\\", "lone \\"},
    {"raw:\\q", FrameStyle::Field, "\\q", "unknown escape \\q"},
    {"bytes:123", FrameStyle::Field, "123", "odd number"},
    {"bytes:0x12", FrameStyle::Field, "0x12", "hex pairs"},
    {"bytes:1 2", FrameStyle::Field, "1 2", "hex pairs"},
    {"bytes: ", FrameStyle::Field, "bytes: ", "nothing to send"},
    {"noise:", FrameStyle::Field, "", "count of bytes"},
    {"noise:0", FrameStyle::Field, "0", "count of bytes"},
    {"noise:1000001", FrameStyle::Field, "1000001", "count of bytes"},
    {"noise:12ab", FrameStyle::Field, "12ab", "count of bytes"},
    {"hex:AABBCCDD", FrameStyle::Field, "hex:AABBCCDD", "unknown frame style \"hex\""},
    {"hex:AABBCCDD", FrameStyle::Bare, "hex:AABBCCDD", "unknown frame style \"hex\""},
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << '"' << c.item << '"'; }

class BadItemTable : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadItemTable, FailsNamingTheItem)
{
    const BadCase& c = GetParam();
    try {
        BuildFrame(c.item, c.defaultStyle, {});
        FAIL() << "no error for \"" << c.item << '"';
    } catch (const FrameError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find('"' + c.shown + '"'), std::string::npos) << message;
        EXPECT_NE(message.find(c.inMessage), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, BadItemTable, ::testing::ValuesIn(kBadItems));

TEST(FrameErrors, ShowControlBytesEscapedOnOneLine)
{
    try {
        BuildFrame("bare:\x02\n", FrameStyle::Field, {});
        FAIL() << "no error";
    } catch (const FrameError& e) {
        EXPECT_NE(std::string(e.what()).find("\"\\x02\\x0A\""), std::string::npos) << e.what();
    }
}

TEST(FrameNoise, HexDigitsOfTheCountWithNoFrameMarkAndTheSameEveryTime)
{
    for (const std::size_t count : {1u, 2000u, 10000u}) {
        const std::string noise = BuildFrame("noise:" + std::to_string(count), FrameStyle::Field, {});
        ASSERT_EQ(noise.size(), count);
        EXPECT_EQ(noise.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(noise, reader::NoiseBytes(count));
    }
    // Not one byte repeated: a burst, not a run of one character.
    const std::string noise = reader::NoiseBytes(64);
    EXPECT_NE(noise.find_first_not_of(noise[0]), std::string::npos);
}

TEST(FrameStyles, NamesGoBothWays)
{
    for (FrameStyle style : {FrameStyle::Field, FrameStyle::Bare, FrameStyle::Raw, FrameStyle::Bytes}) {
        EXPECT_EQ(reader::StyleFromName(reader::StyleName(style)), style);
    }
    EXPECT_THROW(reader::StyleFromName("Field"), FrameError);
}

}  // namespace
