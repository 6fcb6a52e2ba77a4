// Form1's received-frame handler while it types: a reader that sends cards
// back to back, whose bytes arrive during the key pauses. The line is played
// by the pause: each sleep moves the clock on and hands the fake port the
// bytes that came meanwhile, dropping those beyond the port's input queue as
// a driver does (CE_RXOVER).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/KeyTyper.h"
#include "app/Settings.h"
#include "app/Unit1.h"
#include "platform/Diagnostics.h"
#include "platform/MemoryWindow.h"
#include "platform/fake/FakeKeyboard.h"
#include "platform/fake/FakeSerialApi.h"
#include "platform/fake/ScopedSerialApi.h"
#include "tests/app/TyperFixture.h"
#include "serial/ComPortErrors.h"

namespace {

std::string Hex(std::uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
    return text;
}

// The common field layout: STX, version 00, the card, its check digits, ETX.
std::string FieldFrame(std::uint32_t card)
{
    std::uint32_t check = 0;
    for (int shift = 0; shift < 32; shift += 8)
        check ^= (card >> shift) & 0xFF;
    return "\x02"
           "00" +
           Hex(card, 8) + Hex(check, 2) + "\x03";
}

// A frame with no check digits: STX, 00, the card, `padding` zeros, ETX.
std::string PlainFrame(std::uint32_t card, std::size_t padding = 0)
{
    return "\x02"
           "00" +
           Hex(card, 8) + std::string(padding, '0') + "\x03";
}

// The keys format 1 types for a card, with the defaults.
std::string Typed(std::uint32_t card)
{
    std::string digits = std::to_string(card);
    return std::string(10 - digits.size(), '0') + digits + " Enter";
}

// "02 30 30 ..." as the diagnostic lines show bytes.
std::string HexPairs(const std::string& bytes)
{
    std::string out;
    for (const char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += Hex(static_cast<unsigned char>(c), 2);
    }
    return out;
}

// The reader's line: bytes scheduled at times on the recorder's clock,
// handed to the fake port as the clock passes them. The port's input queue
// holds `queueSize` bytes; what arrives while it is full is dropped and the
// error word says CE_RXOVER.
class LinePause final : public platform::IPause {
public:
    LinePause(platform::RecordingKeyboard& clock, platform::FakeSerialApi& port) : clock_(clock), port_(port) {}

    // `bytes` sent from `atMs` on, one byte every `msPerByte` (0: all at once).
    void Send(std::uint64_t atMs, const std::string& bytes, double msPerByte = 0)
    {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            script_.emplace(Key{atMs + static_cast<std::uint64_t>(msPerByte * static_cast<double>(i)), next_++},
                            bytes[i]);
    }

    // Hands the port every byte due by now.
    void Arrive()
    {
        std::string batch;
        auto flush = [&] {
            if (!batch.empty())
                port_.QueueInput(batch);
            batch.clear();
        };
        while (!script_.empty() && script_.begin()->first.atMs <= clock_.nowMs) {
            if (port_.InputQueued() + batch.size() >= queueSize) {
                ++dropped;
                port_.SetErrorWord(platform::CeRxOver);
            } else {
                batch += script_.begin()->second;
            }
            script_.erase(script_.begin());
        }
        flush();
        port_.ClearCalls();  // the record would grow with every key
    }

    bool Done() const { return script_.empty(); }

    std::uint64_t NowMs() override { return clock_.NowMs(); }
    void SleepUntilMs(std::uint64_t deadlineMs) override
    {
        clock_.SleepUntilMs(deadlineMs);
        Arrive();
    }

    std::size_t queueSize = 1024;
    std::size_t dropped = 0;

private:
    struct Key {
        std::uint64_t atMs;
        std::uint64_t order;
        bool operator<(const Key& other) const { return atMs != other.atMs ? atMs < other.atMs : order < other.order; }
    };
    platform::RecordingKeyboard& clock_;
    platform::FakeSerialApi& port_;
    std::map<Key, char> script_;
    std::uint64_t next_ = 0;
};

class RxCharDrainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitSerialErrorTexts();
        ResetAppSettings();
        ClearTypingStop();
        SetKeyboard(&keyboard);
        SetPause(&line);
        platform::SetDiagnosticSink([this](const std::string& text) { diagnostics.push_back(text); });
        form = std::make_unique<TForm1>(nullptr, [](const platform::WindowSpec& layout) {
            return std::make_unique<platform::MemoryWindow>(layout);
        });
        form->ComPort1->SetEvents({});  // the test delivers the events
        form->ComPort1->SetPort("COM3");
        form->ComPort1->SetConnected(true);
        ASSERT_TRUE(form->ComPort1->Connected());
        form->Clock = [this] { return static_cast<std::int64_t>(1000000 + keyboard.nowMs); };
        CardFormat = 1;
    }

    void TearDown() override
    {
        form.reset();
        platform::SetDiagnosticSink({});
        SetKeyboard(nullptr);
        SetPause(nullptr);
        ClearTypingStop();
        ResetAppSettings();
    }

    // The port's received-characters events until the line has sent all and
    // nothing is queued: one whenever bytes wait and the handler is idle,
    // the clock moving on by 10 ms between them.
    void RunLine()
    {
        for (int n = 0; n < 100000; ++n) {
            line.Arrive();
            if (fake.InputQueued() > 0)
                form->ComPort1RxChar(form->ComPort1, static_cast<std::int32_t>(fake.InputQueued()));
            else if (line.Done())
                return;
            else
                keyboard.nowMs += 10;
        }
        FAIL() << "the line never ended";
    }

    // Lines that contain `part`.
    std::size_t LinesWith(const std::string& part) const
    {
        std::size_t n = 0;
        for (const std::string& text : diagnostics)
            n += text.find(part) != std::string::npos ? 1 : 0;
        return n;
    }

    platform::FakeSerialApi fake;
    platform::ScopedSerialApi useFake{fake};
    platform::RecordingKeyboard keyboard;
    LinePause line{keyboard, fake};
    std::vector<std::string> diagnostics;
    std::unique_ptr<TForm1> form;
};

TEST_F(RxCharDrainTest, CardsSentBackToBackWhileOthersAreTypedAreAllTypedInOrder)
{
    // 60 cards at 9600 baud (about a byte a millisecond) with no gap: some
    // 70 cards a second, while typing one takes 240 ms. 60 x 14 bytes is less
    // than the queue holds, so a smaller queue shows the reading on: 64 bytes
    // (four cards) would overflow within the first card.
    form->ComPort1->Buffer()->SetInputSize(64);
    line.queueSize = 64;
    std::string sent;
    std::string expected;
    for (std::uint32_t n = 0; n < 60; ++n) {
        const std::uint32_t card = 0x10000000u + n * 0x01010101u;
        sent += FieldFrame(card);
        expected += Typed(card);
    }
    line.Send(0, sent, 1.04);
    RunLine();
    EXPECT_EQ(keyboard.Keys(), expected);
    EXPECT_EQ(diagnostics, std::vector<std::string>{});
    EXPECT_EQ(line.dropped, 0u);
    EXPECT_EQ(fake.InputQueued(), 0u);
}

TEST_F(RxCharDrainTest, BareTextReadBetweenKeysIsOneCardOnceTheReaderIsQuiet)
{
    // A reader with no STX: a card is what one read brings, up to 200 ms of
    // quiet. Cards arriving slowly while another is typed are not cut where
    // a key's pause happened to fall.
    CardFormat = 9;
    line.Send(0, "00 AABBCCDD\r\n");
    line.Send(100, "00 11223344\r\n", 10);  // 130 ms for one card, while the first is typed
    line.Send(1500, "00 55667788\r\n");
    RunLine();
    EXPECT_EQ(keyboard.Keys(), "00aabbccdd Enter0011223344 Enter0055667788 Enter");
    EXPECT_EQ(diagnostics, std::vector<std::string>{});
}

TEST_F(RxCharDrainTest, AFullBacklogDropsEachFrameWithItsOwnLine)
{
    // 92-byte frames, 20 bytes a millisecond: far more than can be typed
    // meanwhile, and more than the backlog's 64 KiB.
    constexpr std::uint32_t kCards = 800;
    std::vector<std::string> frames;
    std::string sent;
    for (std::uint32_t n = 0; n < kCards; ++n) {
        frames.push_back(PlainFrame(0x20000000u + n, 80));
        sent += frames.back();
    }
    line.Send(0, sent, 0.05);
    RunLine();
    EXPECT_EQ(line.dropped, 0u);

    // Every card is typed or told, once; those typed are in order.
    const std::string keys = keyboard.Keys();
    std::size_t at = 0;
    std::size_t typed = 0;
    std::size_t told = 0;
    for (std::uint32_t n = 0; n < kCards; ++n) {
        SCOPED_TRACE(n);
        const std::string card = Typed(0x20000000u + n);
        const std::size_t found = keys.find(card, at);
        const std::size_t lines = LinesWith("frame [" + HexPairs(frames[n].substr(0, 30)));
        if (found != std::string::npos) {
            EXPECT_EQ(found, at);
            at = found + card.size();
            ++typed;
            EXPECT_EQ(lines, 0u);
        } else {
            EXPECT_EQ(lines, 1u);
            ++told;
        }
    }
    EXPECT_EQ(at, keys.size()) << "nothing else is typed";
    EXPECT_GT(told, 0u);
    EXPECT_EQ(LinesWith("not typed: "), told);
    EXPECT_EQ(LinesWith("not typed: the backlog of frames waiting to be typed is full (65536 bytes)"), told);
    // About 64 KiB of them waited: 712 frames, and those typed while the
    // backlog filled.
    EXPECT_GE(typed, 712u);
}

TEST_F(RxCharDrainTest, StoppingTellsEveryFrameNotTyped)
{
    std::vector<std::string> frames;
    std::string sent;
    for (std::uint32_t n = 0; n < 30; ++n) {
        frames.push_back(FieldFrame(0x30000000u + n));
        sent += frames.back();
    }
    sent +=
        "\x02"
        "00AB";  // a frame whose end has not come
    line.Send(0, sent, 1.04);
    tarvel_test::StoppingKeyboard stopping(keyboard, 30);  // within the third card
    SetKeyboard(&stopping);
    line.Arrive();
    keyboard.nowMs += 50;
    line.Arrive();
    form->ComPort1RxChar(form->ComPort1, static_cast<std::int32_t>(fake.InputQueued()));

    EXPECT_EQ(keyboard.Keys(), Typed(0x30000000u) + Typed(0x30000001u) + Typed(0x30000002u).substr(0, 8));
    // The frames whose last byte had come when the typing stopped.
    std::size_t whole = 0;
    while (whole < frames.size() &&
           static_cast<std::uint64_t>(1.04 * static_cast<double>(14 * (whole + 1) - 1)) <= keyboard.nowMs)
        ++whole;
    ASSERT_GT(whole, 4u);

    ASSERT_GE(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find("stopping: the rest of the card is not typed"), std::string::npos) << diagnostics[0];
    for (std::size_t n = 3; n < whole; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(LinesWith("frame [" + HexPairs(frames[n]) + "] not typed: tarvel is stopping"), 1u);
    }
    EXPECT_EQ(LinesWith("not typed: tarvel is stopping"), diagnostics.size() - 1)
        << ::testing::PrintToString(diagnostics);
    // Whatever came in was read and told; nothing is typed afterwards.
    EXPECT_EQ(fake.InputQueued(), 0u);
}

TEST_F(RxCharDrainTest, AFrameAcrossAnOverflowIsDroppedNotJoined)
{
    // The queue holds 64 bytes. Five 12-byte frames and the first 4 bytes of
    // the sixth fill it; the next 12 bytes (the rest of the sixth and the
    // start of the seventh) are dropped. Joined across the hole, the sixth's
    // head and the seventh's tail would make a good frame of a card that was
    // never read: 17654321.
    form->ComPort1->Buffer()->SetInputSize(64);
    line.queueSize = 64;
    std::string sent;
    for (std::uint32_t n = 0; n < 5; ++n)
        sent += PlainFrame(0x0A0B0C00u + n);
    sent += PlainFrame(0x1ABCDEF0u) + PlainFrame(0x97654321u);
    sent += PlainFrame(0x0E0F0000u);
    ASSERT_EQ(sent.size(), 96u);
    line.Send(0, sent.substr(0, 76));
    line.Send(50, sent.substr(76));
    RunLine();
    EXPECT_EQ(line.dropped, 12u);

    std::string expected;
    for (std::uint32_t n = 0; n < 5; ++n)
        expected += Typed(0x0A0B0C00u + n);
    expected += Typed(0x0E0F0000u);
    EXPECT_EQ(keyboard.Keys(), expected);
    ASSERT_EQ(diagnostics.size(), 1u) << ::testing::PrintToString(diagnostics);
    EXPECT_EQ(diagnostics[0],
              "serial port COM3: frame [02 30 30 31] not typed: bytes may be missing from it: "
              "the port's input queue overflowed");
}

TEST_F(RxCharDrainTest, BareTextCutShortByAnOverflowIsDroppedNotTyped)
{
    // The queue holds 8 bytes: of "00 AABBCCDD" only "00 AABBC" is kept,
    // which format 9 would type as the card 00000aabbc. What is read next
    // begins where bytes were lost: it may be the tail of a card, and goes
    // too. The card after that is typed.
    form->ComPort1->Buffer()->SetInputSize(8);
    line.queueSize = 8;
    CardFormat = 9;
    line.Send(0, "00 AABBCCDD\r\n");
    line.Send(500, "00 12");
    line.Send(1000, "00 34");
    RunLine();
    EXPECT_EQ(line.dropped, 5u);
    EXPECT_EQ(keyboard.Keys(), "0000000034 Enter");
    const std::vector<std::string> expected = {
        "serial port COM3: frame [30 30 20 41 41 42 42 43] not typed: bytes may be missing from it: the port's input "
        "queue overflowed",
        "serial port COM3: frame [30 30 20 31 32] not typed: bytes may be missing from it: the port's input queue "
        "overflowed",
    };
    EXPECT_EQ(diagnostics, expected);
}

TEST_F(RxCharDrainTest, TheTailOfAFrameWhoseHeadWasLostIsNotTakenForACard)
{
    // The queue holds 60 bytes, five 12-byte frames. The sixth frame and the
    // first three bytes of the seventh are dropped; the seventh's tail comes
    // on its own, with no STX: read as bare text, format 9 would type 54321.
    form->ComPort1->Buffer()->SetInputSize(60);
    line.queueSize = 60;
    CardFormat = 9;
    std::string sent;
    for (std::uint32_t n = 0; n < 5; ++n)
        sent += PlainFrame(0x0A0B0C00u + n);
    sent += PlainFrame(0x1ABCDEF0u);
    line.Send(0, sent +
                     "\x02"
                     "00");
    line.Send(50, "97654321\x03");
    line.Send(3000, PlainFrame(0x0E0F0000u));
    RunLine();
    EXPECT_EQ(line.dropped, 15u);

    std::string expected;
    for (std::uint32_t n = 0; n < 5; ++n)
        expected += "000a0b0c0" + std::to_string(n) + " Enter";
    EXPECT_EQ(keyboard.Keys(), expected + "000e0f0000 Enter");
    ASSERT_EQ(diagnostics.size(), 1u) << ::testing::PrintToString(diagnostics);
    EXPECT_EQ(diagnostics[0],
              "serial port COM3: frame [39 37 36 35 34 33 32 31 03] not typed: bytes may be missing "
              "from it: the port's input queue overflowed");
}

}  // namespace
