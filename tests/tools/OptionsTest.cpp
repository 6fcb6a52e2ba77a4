// The command line of tarvel-reader.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tools/reader/Options.h"

using reader::Options;
using reader::ParseOptions;
using reader::UsageError;

namespace {

using Args = std::vector<std::string>;

TEST(ReaderOptions, DefaultsSendEachFrameAtOnceHalfASecondApart)
{
    const Options o = ParseOptions({});
    EXPECT_TRUE(o.frames.empty());  // cards come from standard input
    EXPECT_EQ(o.baud, 0u);
    EXPECT_EQ(o.gapMs, 500u);
    EXPECT_EQ(reader::FirstCardDelayMs(o), 0u);
    EXPECT_FALSE(o.holdMs.has_value());
    EXPECT_FALSE(o.exitAfterSend);
}

TEST(ReaderOptions, ValuesInBothSpellings)
{
    const Options o = ParseOptions({"--gap=250", "--baud", "9600", "--link", "/tmp/x", "--hold=forever",
                                    "--version-byte", "0f", "--style=bare", "--report", "--wait-open"});
    EXPECT_EQ(o.gapMs, 250u);
    EXPECT_EQ(o.baud, 9600u);
    EXPECT_EQ(o.link, "/tmp/x");
    EXPECT_EQ(o.holdMs, reader::kHoldForever);
    EXPECT_EQ(o.frame.versionByte, 0x0F);
    EXPECT_EQ(o.style, reader::FrameStyle::Bare);
    EXPECT_TRUE(o.report);
}

TEST(ReaderOptions, FaultsToSend)
{
    const Options o = ParseOptions({"--split=300", "--bad-checksum", "AABBCCDD", "noise:3"});
    EXPECT_EQ(o.splitMs, 300u);
    EXPECT_FALSE(o.together);
    ASSERT_EQ(o.frames.size(), 2u);
    EXPECT_EQ(o.frames[0],
              "\x02"
              "00AABBCCDDFF"
              "\x03");
    EXPECT_EQ(o.frames[1].size(), 3u);
    EXPECT_TRUE(ParseOptions({"--together", "AABBCCDD", "0F12345678"}).together);
}

TEST(ReaderOptions, OptionsApplyToCardsNamedBeforeThem)
{
    const Options o = ParseOptions({"AABBCCDD", "--crlf", "--version-byte", "01", "bare:12"});
    ASSERT_EQ(o.frames.size(), 2u);
    EXPECT_EQ(o.frames[0],
              "\x02"
              "01AABBCCDD01\r\n"
              "\x03");
    EXPECT_EQ(o.frames[1], "12\r\n");
}

TEST(ReaderOptions, DoubleDashEndsTheOptions)
{
    const Options o = ParseOptions({"--style", "raw", "--", "--crlf", "-"});
    ASSERT_EQ(o.frames.size(), 2u);
    EXPECT_EQ(o.frames[0], "--crlf");
    EXPECT_EQ(o.frames[1], "-");
    EXPECT_FALSE(o.frame.crlf);
}

TEST(ReaderOptions, WaitOpenGivesTheOtherSideTimeToSetUp)
{
    EXPECT_EQ(reader::FirstCardDelayMs(ParseOptions({"--wait-open"})), 300u);
    EXPECT_EQ(reader::FirstCardDelayMs(ParseOptions({"--wait-open", "--delay", "0"})), 0u);
    EXPECT_EQ(reader::FirstCardDelayMs(ParseOptions({"--delay", "40"})), 40u);
}

TEST(ReaderOptions, ByteTimeIsTenBitsAtTheBaudRate)
{
    EXPECT_EQ(reader::ByteTimeNs(9600), 1041666);  // about 1 ms a byte
    EXPECT_EQ(reader::ByteTimeNs(300), 33333333);
    EXPECT_EQ(reader::ByteTimeNs(0), 0);
}

struct BadArgs {
    Args args;
    std::string inMessage;
};

void PrintTo(const BadArgs& c, std::ostream* os) { *os << ::testing::PrintToString(c.args); }

class BadArgsTable : public ::testing::TestWithParam<BadArgs> {};

TEST_P(BadArgsTable, FailsNamingTheBadValue)
{
    const BadArgs& c = GetParam();
    try {
        ParseOptions(c.args);
        FAIL() << "no usage error for " << ::testing::PrintToString(c.args);
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find(c.inMessage), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    ReaderOptions, BadArgsTable,
    ::testing::Values(
        BadArgs{{"--gap", "abc"}, "\"abc\" for --gap"}, BadArgs{{"--gap", "-1"}, "\"-1\" for --gap"},
        BadArgs{{"--gap=3600001"}, "\"3600001\" for --gap"},
        BadArgs{{"--gap", "99999999999999999999"}, "\"99999999999999999999\" for --gap"},
        BadArgs{{"--delay", ""}, "\"\" for --delay"}, BadArgs{{"--hold", "always"}, "\"always\" for --hold"},
        BadArgs{{"--baud", "0"}, "\"0\" for --baud"}, BadArgs{{"--baud", "9600.5"}, "\"9600.5\" for --baud"},
        BadArgs{{"--baud"}, "--baud needs a value"}, BadArgs{{"--version-byte", "1FF"}, "\"1FF\" for --version-byte"},
        BadArgs{{"--version-byte", "G"}, "\"G\" for --version-byte"}, BadArgs{{"--style", "hex"}, "\"hex\""},
        BadArgs{{"--link", ""}, "--link"}, BadArgs{{"--crlf=yes"}, "--crlf takes no value"},
        BadArgs{{"--wiat-open"}, "\"--wiat-open\""}, BadArgs{{"-x"}, "\"-x\""},
        BadArgs{{"--hold", "10", "--exit-after-send"}, "exclude each other"},
        BadArgs{{"--split", "0"}, "\"0\" for --split"}, BadArgs{{"--split", "100", "--together"}, "exclude each other"},
        BadArgs{{"--together=1"}, "takes no value"}, BadArgs{{"AABBCCDD", "XYZ"}, "\"XYZ\""},
        BadArgs{{"raw:\\x0"}, "\"\\x0\""}));

TEST(ReaderHelp, ExplainsEveryOption)
{
    const std::string help = reader::HelpText();
    for (const char* option : {"--style", "--version-byte", "--crlf", "--lower", "--baud", "--gap", "--wait-open",
                               "--delay", "--link", "--hold", "--exit-after-send", "--report", "--help", "Examples",
                               "--bad-checksum", "--split", "--together", "noise:", "Exit status"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
