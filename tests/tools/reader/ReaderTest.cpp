// tarvel-reader end to end: the program is run, its pseudo-terminal is opened
// like a serial port, and what arrives there is checked, with its timing
// within bounds that hold on a loaded machine.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/tools/reader/ReaderProcess.h"
#include "tools/reader/Frames.h"

namespace {

using namespace tarvel_test;
using namespace std::string_literals;
using std::chrono::duration_cast;

const milliseconds kStart(5000);   // for the reader to start and print its path
const milliseconds kArrive(5000);  // for bytes that are due to arrive
const milliseconds kQuiet(400);    // silence that shows nothing is sent

const std::string kCard =
    "\x02"
    "00AABBCCDD00"
    "\x03";
const std::string kCard2 =
    "\x02"
    "0F12345678"
    "07"
    "\x03";

long long Ms(Clock::duration d) { return duration_cast<milliseconds>(d).count(); }

std::string Hex(const std::string& bytes) { return reader::HexDump(bytes); }

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/tarvel-reader-test.XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

TEST(Reader, SendsTheCommandLineCardsAndKeepsThePortUntilStdinEnds)
{
    ReaderProcess reader({"--gap", "0", "AABBCCDD", "bare:0a1B", "raw:\\x02ZZ\\r\\n\\x03", "bytes:00 FF"});
    const auto path = reader.ReadLine(kStart);
    ASSERT_TRUE(path) << reader.Errors();
    EXPECT_EQ(path->rfind("/dev/pts/", 0), 0u) << *path;

    Port port(*path);
    ASSERT_TRUE(port.IsOpen()) << *path;
    const std::string expected = kCard + "0a1B" + "\x02ZZ\r\n\x03" + "\0\xFF"s;
    EXPECT_EQ(Hex(port.ReceiveText(expected.size(), kArrive)), Hex(expected));

    // Everything is sent, yet the port stays: closing it would be an unplug.
    EXPECT_FALSE(reader.WaitExit(kQuiet));
    reader.CloseStdin();
    EXPECT_EQ(reader.WaitExit(kArrive), 0) << reader.Errors();
}

TEST(Reader, TakesCardsFromStdinLineByLineAndSkipsBadLines)
{
    ReaderProcess reader({"--gap", "0", "--crlf", "--hold", "forever"});
    const auto path = reader.ReadLine(kStart);
    ASSERT_TRUE(path) << reader.Errors();
    Port port(*path);
    ASSERT_TRUE(port.IsOpen());

    // One line is sent as soon as it is complete, without waiting for more.
    reader.Write("AABBCCDD\n");
    const std::string first =
        "\x02"
        "00AABBCCDD00\r\n"
        "\x03";
    EXPECT_EQ(Hex(port.ReceiveText(first.size(), kArrive)), Hex(first));

    // The last line needs no line end. The reader is held, so that it does
    // not close the port (an unplug) before the frames are read.
    reader.Write("\n  # a comment\nXYZ\r\n  bare:12  \r\nraw:\\q\n0F12345678");
    reader.CloseStdin();
    const std::string rest = "12\r\n"s +
                             "\x02"
                             "0F1234567807\r\n"
                             "\x03";
    EXPECT_EQ(Hex(port.ReceiveText(rest.size(), kArrive)), Hex(rest));

    kill(reader.Pid(), SIGTERM);
    EXPECT_EQ(reader.WaitExit(kArrive), 1);
    const std::string& errors = reader.Errors();
    EXPECT_NE(errors.find("line 4 skipped"), std::string::npos) << errors;
    EXPECT_NE(errors.find("\"XYZ\""), std::string::npos) << errors;
    EXPECT_NE(errors.find("line 6 skipped"), std::string::npos) << errors;
    EXPECT_NE(errors.find("\\q"), std::string::npos) << errors;
}

TEST(Reader, WaitOpenSendsNothingBeforeTheOtherSideOpensThePort)
{
    ReaderProcess reader({"--wait-open", "--delay", "0", "--report", "--hold", "forever", "AABBCCDD"});
    const auto path = reader.ReadLine(kStart);
    ASSERT_TRUE(path) << reader.Errors();

    EXPECT_FALSE(reader.ReadLine(kQuiet)) << "the reader did not wait for the open";

    Port port(*path);
    ASSERT_TRUE(port.IsOpen());
    const auto open = reader.ReadLine(kArrive);
    ASSERT_TRUE(open);
    EXPECT_EQ(open->rfind("open ", 0), 0u) << *open;
    EXPECT_EQ(Hex(port.ReceiveText(kCard.size(), kArrive)), Hex(kCard));
    const auto sent = reader.ReadLine(kArrive);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->rfind("sent ", 0), 0u) << *sent;
    EXPECT_NE(sent->find(Hex(kCard)), std::string::npos) << *sent;

    // Held until told to stop; a signal ends it normally.
    EXPECT_FALSE(reader.WaitExit(kQuiet));
    kill(reader.Pid(), SIGTERM);
    EXPECT_EQ(reader.WaitExit(kArrive), 0);
}

TEST(Reader, WaitOpenWaitsTheDelayAfterTheOpen)
{
    ReaderProcess reader({"--wait-open", "--delay", "600", "--hold", "forever", "AABBCCDD"});
    const auto path = reader.ReadLine(kStart);
    ASSERT_TRUE(path) << reader.Errors();
    const auto opening = Clock::now();
    Port port(*path);
    const auto arrivals = port.Receive(kCard.size(), kArrive);
    ASSERT_FALSE(arrivals.empty());
    EXPECT_GE(Ms(arrivals.front().at - opening), 590);
    EXPECT_LT(Ms(arrivals.front().at - opening), 4000);
}

TEST(Reader, PacesTheBytesAtTheBaudRate)
{
    // 150 baud: 67 ms a byte, so the 14 bytes of a field frame span 13 byte
    // times, about 867 ms. Unpaced, they would come in one piece.
    ReaderProcess reader({"--wait-open", "--delay", "0", "--baud", "150", "--hold", "forever", "AABBCCDD"});
    const auto path = reader.ReadLine(kStart);
    ASSERT_TRUE(path) << reader.Errors();
    Port port(*path);
    const auto arrivals = port.Receive(kCard.size(), kArrive);
    std::string all;
    for (const auto& a : arrivals)
        all += a.bytes;
    ASSERT_EQ(Hex(all), Hex(kCard));

    EXPECT_GE(arrivals.size(), 7u) << "the bytes came in too few pieces";
    const auto span = Ms(arrivals.back().at - arrivals.front().at);
    EXPECT_GE(span, 700);
    EXPECT_LT(span, 3000);
}

TEST(Reader, KeepsTheGapBetweenFrames)
{
    ReaderProcess reader(
        {"--wait-open", "--delay", "0", "--gap", "600", "--hold", "forever", "AABBCCDD", "0F12345678"});
    const auto path = reader.ReadLine(kStart);
    ASSERT_TRUE(path) << reader.Errors();
    Port port(*path);
    const auto first = port.Receive(kCard.size(), kArrive);
    const auto second = port.Receive(kCard2.size(), kArrive);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second.front().bytes.substr(0, 1), "\x02");
    const auto gap = Ms(second.front().at - first.back().at);
    EXPECT_GE(gap, 450);
    EXPECT_LT(gap, 4000);
}

TEST(Reader, LinkLeadsToThePortAndGoesAwayAtTheEnd)
{
    TempDir dir;
    const std::string link = dir / "reader";
    std::filesystem::create_symlink("/nonexistent/old-pty", link);  // left by a killed run

    ReaderProcess reader({"--link", link, "--wait-open", "--delay", "0", "AABBCCDD"});
    const auto path = reader.ReadLine(kStart);
    ASSERT_TRUE(path) << reader.Errors();
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), *path);

    Port port(link);
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(Hex(port.ReceiveText(kCard.size(), kArrive)), Hex(kCard));

    kill(reader.Pid(), SIGINT);
    EXPECT_EQ(reader.WaitExit(kArrive), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(Reader, LeavesAFileThatIsNotALinkAlone)
{
    TempDir dir;
    const std::string file = dir / "precious";
    std::ofstream(file) << "keep me";

    ReaderProcess reader({"--link", file, "AABBCCDD"});
    EXPECT_FALSE(reader.ReadLine(kStart)) << "no device path is printed when the link fails";
    EXPECT_EQ(reader.WaitExit(kArrive), 1);
    EXPECT_NE(reader.Errors().find(file), std::string::npos) << reader.Errors();
    std::string content;
    std::getline(std::ifstream(file), content);
    EXPECT_EQ(content, "keep me");
}

TEST(Reader, ExitAfterSendEndsWithoutWaitingForStdin)
{
    ReaderProcess reader({"--exit-after-send", "AABBCCDD"});
    ASSERT_TRUE(reader.ReadLine(kStart)) << reader.Errors();
    EXPECT_EQ(reader.WaitExit(kArrive), 0);  // standard input is still open
}

TEST(Reader, HoldKeepsThePortForTheTimeGiven)
{
    ReaderProcess reader({"--hold", "1000", "--gap", "0", "AABBCCDD"});
    ASSERT_TRUE(reader.ReadLine(kStart)) << reader.Errors();
    const auto start = Clock::now();
    const auto status = reader.WaitExit(kArrive);  // standard input is still open
    EXPECT_EQ(status, 0);
    EXPECT_GE(Ms(Clock::now() - start), 800);
}

TEST(Reader, BadCommandLineExitsWithStatusTwoNamingTheValue)
{
    ReaderProcess reader({"--baud", "fast", "AABBCCDD"});
    EXPECT_EQ(reader.WaitExit(kArrive), 2);
    EXPECT_NE(reader.Errors().find("\"fast\""), std::string::npos) << reader.Errors();
    EXPECT_FALSE(reader.ReadLine(milliseconds(0))) << "nothing on standard output";
}

}  // namespace
