// ReadText of the serial component on the Linux back end, on the slave of a
// pseudo-terminal pair: the test writes into the master as the card reader
// would, at the line's speed where timing matters. The port runs without its
// event thread; the test reads as the received-frame handler does.
//
// Tolerances: a read can never end before its interval has passed, so lower
// bounds are tight; upper bounds allow for a loaded two-core machine.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/SerialApi.h"
#include "serial/ComPort.h"
#include "serial/ComPortErrors.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ThreadStats.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarvel_test::ElapsedMs;

constexpr double kInterval = 200;  // the application's ReadInterval
constexpr double kEarly = 5;       // clock granularity between the two sides
constexpr double kLate = 500;      // scheduling delays on a busy machine

const std::string kFrame =
    "\x02"
    "00AABBCCDD00"
    "\x03";

class ComPortReadOnPty : public ::testing::Test {
protected:
    ComPortReadOnPty()
    {
        port.SetEvents({});
        port.SetPort(pty.SlavePath());
    }

    void SetUp() override
    {
        InitSerialErrorTexts();
        platform::SetSerialApi(nullptr);
    }

    void TearDown() override
    {
        if (writer.joinable())
            writer.join();
        port.SetConnected(false);
    }

    // The application's read time-outs: 200 ms between bytes, 200 ms a byte
    // plus 200 ms for the whole read.
    void OpenAsTheApplication()
    {
        port.Timeouts()->SetReadInterval(200);
        port.Timeouts()->SetReadTotalMultiplier(200);
        port.Timeouts()->SetReadTotalConstant(200);
        port.SetConnected(true);
        ASSERT_TRUE(port.Connected());
    }

    // Writes the bytes one by one about 1 ms apart, as 9600 baud does.
    void WritePaced(const std::string& bytes)
    {
        for (const char c : bytes) {
            pty.Write(std::string(1, c));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // Waits until at least n bytes are waiting (at most 2 s).
    void WaitQueued(std::int32_t n)
    {
        const auto start = Clock::now();
        while (port.InQueueCount() < n && ElapsedMs(start) < 2000)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_GE(port.InQueueCount(), n);
    }

    struct Read {
        std::int32_t count = 0;
        std::string text;
        double afterLastByteMs = 0;  // from the last byte sent to the read's return
    };

    // One read of up to 100 bytes, as the received-frame handler makes it,
    // while `send` writes on a thread of its own.
    Read ReadWhileSending(const std::function<void()>& send)
    {
        Clock::time_point lastByte;
        writer = std::thread([&] {
            send();
            lastByte = Clock::now();
        });
        struct JoinAtEnd {
            std::thread& thread;
            ~JoinAtEnd()
            {
                if (thread.joinable())
                    thread.join();
            }
        } join{writer};
        Read read;
        read.count = port.ReadText(read.text, 100);
        const auto returned = Clock::now();
        writer.join();
        read.afterLastByteMs = std::chrono::duration<double, std::milli>(returned - lastByte).count();
        return read;
    }

    tarvel_test::PtyPair pty;
    TComPort port{nullptr};
    std::thread writer;
};

TEST_F(ComPortReadOnPty, AFrameFollowedBySilenceIsReadWholeOneIntervalAfterItsLastByte)
{
    OpenAsTheApplication();
    const Read read = ReadWhileSending([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        WritePaced(kFrame);
    });
    EXPECT_EQ(read.count, static_cast<std::int32_t>(kFrame.size()));
    EXPECT_EQ(read.text, kFrame);
    EXPECT_GE(read.afterLastByteMs, kInterval - kEarly);
    EXPECT_LT(read.afterLastByteMs, kInterval + kLate);
}

TEST_F(ComPortReadOnPty, TwoFramesLessThanAnIntervalApartFormOneRead)
{
    OpenAsTheApplication();
    const Read read = ReadWhileSending([&] {
        WritePaced(kFrame);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        WritePaced(kFrame);
    });
    EXPECT_EQ(read.count, static_cast<std::int32_t>(2 * kFrame.size()));
    EXPECT_EQ(read.text, kFrame + kFrame);
    EXPECT_GE(read.afterLastByteMs, kInterval - kEarly);
}

TEST_F(ComPortReadOnPty, ABurstOf130BytesReadsAs100ThenAs30)
{
    OpenAsTheApplication();
    std::string burst;
    for (int i = 0; i < 130; ++i)
        burst += static_cast<char>('0' + i % 10);
    pty.Write(burst);
    WaitQueued(130);

    std::string text;
    auto start = Clock::now();
    EXPECT_EQ(port.ReadText(text, 100), 100);
    EXPECT_EQ(text, burst.substr(0, 100));
    EXPECT_LT(ElapsedMs(start), kInterval - 20) << "a full count ends the read without waiting";

    start = Clock::now();
    EXPECT_EQ(port.ReadText(text, 100), 30);
    EXPECT_EQ(text, burst.substr(100));
    const double took = ElapsedMs(start);
    EXPECT_GE(took, kInterval - kEarly) << "the rest ends on the interval";
    EXPECT_LT(took, kInterval + kLate);
}

TEST_F(ComPortReadOnPty, TheDefaultTimeoutsReturnAtOnceWithWhatIsQueued)
{
    port.SetConnected(true);  // ReadInterval -1, both totals 0
    ASSERT_TRUE(port.Connected());
    std::string text = "stale";

    auto start = Clock::now();
    EXPECT_EQ(port.ReadText(text, 100), 0);
    EXPECT_EQ(text, "");
    EXPECT_LT(ElapsedMs(start), 100.0) << "nothing queued: back at once";

    pty.Write(std::string("AB\0CD", 5));
    WaitQueued(5);
    start = Clock::now();
    EXPECT_EQ(port.ReadText(text, 3), 3);
    EXPECT_EQ(text, std::string("AB\0", 3));
    EXPECT_EQ(port.ReadText(text, 100), 2);
    EXPECT_EQ(text, "CD");
    EXPECT_LT(ElapsedMs(start), 100.0);
}

}  // namespace
