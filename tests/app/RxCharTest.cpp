// Form1's received-frame handler on the fake serial device with a recording
// keyboard: what one received frame types, and what a malformed one does.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/KeyTyper.h"
#include "app/Settings.h"
#include "app/Unit1.h"
#include "framework/EventLoop.h"
#include "platform/Diagnostics.h"
#include "platform/MemoryWindow.h"
#include "platform/fake/FakeKeyboard.h"
#include "platform/fake/FakeSerialApi.h"
#include "platform/fake/ScopedSerialApi.h"
#include "serial/ComPortErrors.h"
#include "tests/app/ClockLoop.h"

namespace {

class RxCharTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitSerialErrorTexts();
        ResetAppSettings();
        SetKeyboard(&keyboard);
        SetPause(&keyboard);
        platform::SetDiagnosticSink([this](const std::string& line) { diagnostics.push_back(line); });
        form = std::make_unique<TForm1>(nullptr, [](const platform::WindowSpec& layout) {
            return std::make_unique<platform::MemoryWindow>(layout);
        });
        // Opened without the event thread: the test delivers the event.
        form->ComPort1->SetEvents({});
        form->ComPort1->SetPort("COM3");
        form->ComPort1->SetConnected(true);
        ASSERT_TRUE(form->ComPort1->Connected());
        form->Clock = [this] { return now; };
    }

    void TearDown() override
    {
        form.reset();
        platform::SetDiagnosticSink({});
        SetKeyboard(nullptr);
        SetPause(nullptr);
        ResetAppSettings();
    }

    // The frame arrives, then the port raises OnRxChar with the bytes waiting.
    void Receive(const std::string& frame)
    {
        fake.QueueInput(frame);
        form->ComPort1RxChar(form->ComPort1, static_cast<std::int32_t>(fake.InputQueued()));
    }

    platform::FakeSerialApi fake;
    platform::ScopedSerialApi useFake{fake};
    platform::RecordingKeyboard keyboard;
    std::vector<std::string> diagnostics;
    std::unique_ptr<TForm1> form;
    std::int64_t now = 1000000;  // the handler's clock, in milliseconds
};

const std::string kFieldFrame =
    "\x02"
    "00AABBCCDD00\x03";  // STX, version, card, XOR, ETX
const std::string kCrLfFrame =
    "\x02"
    "00AABBCCDD00\r\n\x03";  // the same with CR LF before ETX
const std::string kSecondFrame =
    "\x02"
    "0F12345678"
    "07"
    "\x03";  // 0F^12^34^56^78 = 07

TEST_F(RxCharTest, OneFrameTypesItsCardTrimmedOfControlCharacters)
{
    struct Case {
        const char* what;
        std::int32_t format;
        std::string frame;
        std::string keys;
    };
    const Case cases[] = {
        {"format 1", 1, kFieldFrame, "2864434397 Enter"},
        {"format 10 with its Tab", 10, kFieldFrame, "00187 Tab 52445 Enter"},
        {"format 9 cut short: ETX trimmed from the end", 9,
         "\x02"
         "00AABB\x03",
         "000000aabb Enter"},
        {"format 12: checksum, CR LF and ETX in the slice", 12, kCrLfFrame, "aabbccdd00 Enter"},
        {"format 14: the leading blank trimmed", 14, kFieldFrame, "0faabbccdd Enter"},
        {"format 7: the prefix first", 7, kFieldFrame, "0002864434397 Enter"},
        {"no frame at all (format 15)", 15, "", "0000000000 Enter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        keyboard.Clear();
        CardFormat = c.format;
        Receive(c.frame);
        EXPECT_EQ(keyboard.Keys(), c.keys);
        EXPECT_EQ(fake.InputQueued(), 0u);
    }
    EXPECT_EQ(diagnostics, std::vector<std::string>{});
}

TEST_F(RxCharTest, ReadsEverythingQueuedInReadsOfAHundredWhateverTheCount)
{
    fake.QueueInput(std::string(130, '1') + kFieldFrame);
    form->ComPort1RxChar(form->ComPort1, 1);
    const auto reads = fake.CallsOf("ReadFile");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].count, 100u);
    EXPECT_EQ(reads[1].count, 100u);
    EXPECT_EQ(fake.InputQueued(), 0u);
    // No bare frame is cut out of a burst: it is noise, told once.
    EXPECT_EQ(keyboard.Keys(), "2864434397 Enter");
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find("not typed: 130 bytes outside any frame"), std::string::npos) << diagnostics[0];
}

TEST_F(RxCharTest, AMalformedFrameCostsThatFrameOnly)
{
    CardFormat = 1;
    Receive(
        "\x02"
        "00ZZ\x03");
    EXPECT_EQ(keyboard.Keys(), "") << "nothing is typed for a malformed frame";
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0],
              "serial port COM3: frame [02 30 30 5A 5A 03] not typed: '$ZZ\\x03' is not a valid integer value");

    Receive(kFieldFrame);
    EXPECT_EQ(keyboard.Keys(), "2864434397 Enter");
    EXPECT_EQ(diagnostics.size(), 1u);
}

TEST_F(RxCharTest, TheDiagnosticLineQuotesOnlyPrintableAsciiAsItIs)
{
    // 0x9B is a C1 control that terminals act on; ESC and DEL are controls too.
    struct Case {
        std::string frame;
        std::string quoted;
    };
    const Case cases[] = {
        {"\x02"
         "00\x9B"
         "1\x03",
         "'$\\x9B1\\x03'"},
        {"\x02"
         "00\xFF\x80\x1B\x7F\x03",
         "'$\\xFF\\x80\\x1B\\x7F\\x03'"},
        {"\x02"
         "00G~ \x03",
         "'$G~ \\x03'"},
    };
    CardFormat = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quoted);
        diagnostics.clear();
        Receive(c.frame);
        ASSERT_EQ(diagnostics.size(), 1u);
        const std::string& line = diagnostics[0];
        EXPECT_NE(line.find("not typed: " + c.quoted + " is not a valid integer value"), std::string::npos) << line;
        for (const char ch : line)
            EXPECT_TRUE(ch >= 32 && ch < 127) << "byte " << static_cast<int>(static_cast<unsigned char>(ch));
    }
    EXPECT_EQ(keyboard.Keys(), "");
}

TEST_F(RxCharTest, Format7TypesNothingForAMalformedFrameAndTheNextCardStaysWhole)
{
    CardFormat = 7;
    Receive(
        "\x02"
        "0FXYZ\x03");
    EXPECT_EQ(keyboard.Keys(), "");
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find("[02 30 46 58 59 5A 03]"), std::string::npos) << diagnostics[0];

    Receive(
        "\x02"
        "0FAABBCCDD\x03");
    EXPECT_EQ(keyboard.Keys(), "0152864434397 Enter");
}

// --- Frames cut at their marks ------------------------------------------------------

// What the reader sends, read by read (each read at its own time), and what
// must come of it: the keys, and a line for each piece not typed (a part of
// each expected line).
struct ReadAt {
    std::int64_t atMs;
    std::string bytes;
};

struct StreamCase {
    const char* what;
    std::int32_t format;
    std::vector<ReadAt> reads;
    std::string keys;
    std::vector<std::string> lines;
};

TEST_F(RxCharTest, FramesAreCutAtTheirMarksAndEveryLossIsTold)
{
    const std::string burst(2000, 'A');
    const StreamCase cases[] = {
        {"two frames in one read", 1, {{0, kFieldFrame + kSecondFrame}}, "2864434397 Enter0305419896 Enter", {}},
        {"with CR LF after each ETX",
         1,
         {{0, kFieldFrame + "\r\n" + kSecondFrame + "\r\n"}},
         "2864434397 Enter0305419896 Enter",
         {}},
        {"a noise byte before STX",
         1,
         {{0, "A" + kFieldFrame}},
         "2864434397 Enter",
         {"noise [41] not typed: 1 byte outside any frame"}},
        {"noise between two frames",
         9,
         {{0, kFieldFrame + "\xFF\xFE" + kSecondFrame}},
         "00aabbccdd Enter0012345678 Enter",
         {"noise [FF FE] not typed: 2 bytes outside any frame"}},
        {"a bad checksum",
         1,
         {{0,
           "\x02"
           "00AABBCCDD33\x03"},
          {500, kSecondFrame}},
         "0305419896 Enter",
         {"frame [02 30 30 41 41 42 42 43 43 44 44 33 33 03] not typed: check digits 33, but the card's bytes give 00"}},
        {"a bad checksum before CR LF",
         9,
         {{0,
           "\x02"
           "00AABBCCDD01\r\n\x03"}},
         "",
         {"not typed: check digits 01, but the card's bytes give 00"}},
        {"lower-case check digits",
         1,
         {{0,
           "\x02"
           "0faabbccdd"
           "0f\x03"}},
         "2864434397 Enter",
         {}},
        {"a frame split by two pauses",
         1,
         {{0,
           "\x02"
           "00AA"},
          {510, "BBCC"},
          {1000, "DD00\x03"}},
         "2864434397 Enter",
         {}},
        {"a frame whose end comes too late",
         1,
         {{0,
           "\x02"
           "00AA"},
          {1001, "BBCCDD00\x03"},
          {1500, kSecondFrame}},
         "0305419896 Enter",
         // The rest of it, up to its ETX, goes with it.
         {"frame [02 30 30 41 41] not typed: its ETX did not come within a second"}},
        {"a frame cut short by the next STX",
         1,
         {{0,
           "\x02"
           "00AA" +
               kFieldFrame}},
         "2864434397 Enter",
         {"frame [02 30 30 41 41] not typed: a new frame's STX came before its ETX"}},
        {"a frame too long",
         1,
         {{0, "\x02" + std::string(150, '1') + "\x03" + kSecondFrame}},
         "0305419896 Enter",
         {"not typed: longer than 100 characters without an ETX"}},
        {"a burst of noise, then the card",
         1,
         {{0, burst + kFieldFrame}},
         "2864434397 Enter",
         {"not typed: 2000 bytes outside any frame"}},
        {"a burst read to its end, then a card",
         1,
         {{0, burst}, {300, std::string(7, 'A')}, {900, kSecondFrame}},
         "0305419896 Enter",
         {"not typed: 2000 bytes outside any frame",
          "noise [41 41 41 41 41 41 41] not typed: 7 bytes outside any frame"}},
        {"NULs in format 9",
         9,
         {{0, std::string("\x02"
                          "00\0\0\0\0\0\0\0\0\x03",
                          12)}},
         "",
         {"frame [02 30 30 00 00 00 00 00 00 00 00 03] not typed: "}},
        {"bare text: one read is one frame",
         9,
         {{0, "00 AABBCCDD\r\n"}, {500, "00 11223344\r\n"}},
         "00aabbccdd Enter0011223344 Enter",
         {}},
        // A read that finds nothing stays an empty frame, even after noise.
        {"an empty read after noise",
         15,
         {{0, kFieldFrame + "ZZ"}, {100, ""}},
         "0000000000 Enter0000000000 Enter",
         {"noise [5A 5A] not typed: 2 bytes outside any frame"}},
        {"a trailer read on its own", 1, {{0, kFieldFrame}, {300, "\r\n"}}, "2864434397 Enter", {}},
        // Typing the first five cards takes 1.1 s; the rest of the sixth was
        // queued meanwhile, so it has not waited while the port listened.
        {"a frame whose end was queued while cards were typed",
         1,
         {{0, kFieldFrame + kFieldFrame + kFieldFrame + kFieldFrame + kFieldFrame +
                  "\x02"
                  "0F12"},
          {300, "34567807\x03"}},
         "2864434397 Enter2864434397 Enter2864434397 Enter2864434397 Enter2864434397 Enter0305419896 Enter",
         {}},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.what);
        form = std::make_unique<TForm1>(nullptr, [](const platform::WindowSpec& layout) {
            return std::make_unique<platform::MemoryWindow>(layout);
        });
        form->ComPort1->SetEvents({});
        form->ComPort1->SetPort("COM3");
        form->ComPort1->SetConnected(true);
        // The clock runs on while keys are typed.
        form->Clock = [this] {
            std::int64_t typing = 0;
            for (const auto& event : keyboard.events)
                typing += event.type == platform::RecordingKeyboard::Type::Pause ? event.value : 0;
            return now + typing;
        };
        keyboard.Clear();
        diagnostics.clear();
        CardFormat = c.format;
        const std::int64_t start = now;
        for (const ReadAt& read : c.reads) {
            now = start + read.atMs;
            Receive(read.bytes);
        }
        now = start + 100000;
        EXPECT_EQ(keyboard.Keys(), c.keys);
        EXPECT_EQ(diagnostics.size(), c.lines.size()) << ::testing::PrintToString(diagnostics);
        if (diagnostics.size() != c.lines.size())
            continue;
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            EXPECT_NE(diagnostics[i].find(c.lines[i]), std::string::npos) << diagnostics[i];
            EXPECT_EQ(diagnostics[i].rfind("serial port COM3: ", 0), 0u) << diagnostics[i];
        }
        EXPECT_EQ(fake.InputQueued(), 0u);
    }
}

TEST_F(RxCharTest, ANoiseLineShowsTheFirstHundredBytesAndTheCount)
{
    CardFormat = 1;
    Receive(std::string(250, 'B'));
    ASSERT_EQ(diagnostics.size(), 1u);
    std::string shown;
    for (int i = 0; i < 100; ++i)
        shown += i == 0 ? "42" : " 42";
    EXPECT_EQ(diagnostics[0],
              "serial port COM3: noise [" + shown + " ... (250 bytes)] not typed: 250 bytes outside any frame");
}

// --- A reader that falls silent in the middle of a frame ----------------------------

// The form on a loop whose clock the test moves: the frame that never gets
// its ETX is told once its second is up, with no further read to tell it.
class RxCharSilenceTest : public RxCharTest {
protected:
    void SetUp() override
    {
        SetApplicationEventLoop(&loop);
        RxCharTest::SetUp();
        form->Clock = [this] { return static_cast<std::int64_t>(loop.now); };
        loop.Advance(100);  // the start-up timer, with no command line: COM1
        form->ComPort1->SetPort("COM3");
        ASSERT_TRUE(form->ComPort1->Connected());
        ASSERT_EQ(loop.Running(), 0u);
    }

    void TearDown() override
    {
        RxCharTest::TearDown();
        SetApplicationEventLoop(nullptr);
    }

    ClockLoop loop;
};

TEST_F(RxCharSilenceTest, AFrameCutOffForGoodIsToldAfterItsSecond)
{
    Receive(
        ""
        "00AA");
    EXPECT_EQ(keyboard.Keys(), "");
    EXPECT_EQ(loop.Running(), 1u) << "a timer waits for the frame's end";
    loop.Advance(1000);
    EXPECT_TRUE(diagnostics.empty()) << diagnostics[0];
    loop.Advance(5);
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0],
              "serial port COM3: frame [02 30 30 41 41] not typed: its ETX did not come within a second");
    EXPECT_EQ(loop.Running(), 0u) << "nothing runs while no frame waits";

    // The rest, when it does come, goes with the frame; the next card is whole.
    Receive("BBCCDD00" + kSecondFrame);
    EXPECT_EQ(keyboard.Keys(), "0305419896 Enter");
    EXPECT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(loop.Running(), 0u);
}

TEST_F(RxCharSilenceTest, AFrameThatEndsInTimeStopsTheWatch)
{
    Receive(
        ""
        "00AABB");
    loop.Advance(600);
    Receive("CCDD00");
    EXPECT_EQ(keyboard.Keys(), "2864434397 Enter");
    EXPECT_EQ(loop.Running(), 0u);
    loop.Advance(5000);
    EXPECT_TRUE(diagnostics.empty()) << diagnostics[0];
}

}  // namespace
