// Overlapped reads of the Linux back end on pseudo-terminals, with the
// Windows read time-out rules. Times are measured from the write of the last
// byte to the completion of the read; tolerances hold on a loaded 2-core
// machine: a 200 ms time-out must end between 180 and 350 ms.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "tests/platform/serial/PortOnPty.h"

namespace {

using namespace platform;
using tarvel_test::ElapsedMs;
using tarvel_test::PortOnPty;

constexpr double kEarly = 20.0;
constexpr double kLate = 150.0;

// A 125 kHz reader's frame: STX, ten hex digits, two of checksum, ETX.
const std::string kFrame =
    "\x02"
    "0A1B2C3D4E5F"
    "\x03";

class PosixRead : public PortOnPty {
protected:
    // Starts a read of count bytes; returns false when it stays pending.
    bool Start(DWORD count)
    {
        buffer.assign(count, '\0');
        DWORD read = 0;
        const bool done = api.ReadFile(port, buffer.data(), count, &read, &ov);
        if (!done) {
            EXPECT_EQ(api.GetLastError(), ErrorIoPending);
        }
        return done;
    }
    // Waits for the read's completion event and takes its outcome.
    std::string Finish()
    {
        EXPECT_EQ(api.WaitForSingleObject(event, 30000), WaitObject0);
        DWORD n = 0;
        EXPECT_TRUE(api.GetOverlappedResult(port, &ov, &n, false)) << api.GetLastError();
        return buffer.substr(0, n);
    }

    std::string buffer;
};

TEST_F(PosixRead, FrameFollowedBySilenceIsReadWholeOneIntervalAfterItsLastByte)
{
    SetTimeouts(200, 200, 200);
    ASSERT_FALSE(Start(100));
    pty.Write(kFrame);
    const auto lastByte = std::chrono::steady_clock::now();
    EXPECT_EQ(Finish(), kFrame);
    const double elapsed = ElapsedMs(lastByte);
    EXPECT_GE(elapsed, 200.0 - kEarly);
    EXPECT_LE(elapsed, 200.0 + kLate);
}

TEST_F(PosixRead, FramesLessThanAnIntervalApartFormOneRead)
{
    SetTimeouts(200, 200, 200);
    ASSERT_FALSE(Start(100));
    pty.Write(kFrame);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.Write(kFrame);
    const auto lastByte = std::chrono::steady_clock::now();
    EXPECT_EQ(Finish(), kFrame + kFrame);
    const double elapsed = ElapsedMs(lastByte);
    EXPECT_GE(elapsed, 200.0 - kEarly);
    EXPECT_LE(elapsed, 200.0 + kLate);
}

TEST_F(PosixRead, BurstLongerThanTheCountReadsAsCountThenTheRest)
{
    SetTimeouts(200, 200, 200);
    std::string burst;
    for (int i = 0; i < 130; ++i) {
        burst += static_cast<char>('A' + i % 26);
    }
    pty.Write(burst);
    ASSERT_EQ(WaitQueued(130), 130u);

    // Count bytes are there: the read ends at once.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Start(100));
    EXPECT_LT(ElapsedMs(start), 50.0);
    EXPECT_EQ(buffer, burst.substr(0, 100));
    EXPECT_EQ(Queued(), 30u);

    // The rest ends one interval after the read took it.
    const auto second = std::chrono::steady_clock::now();
    ASSERT_FALSE(Start(100));
    EXPECT_EQ(Finish(), burst.substr(100));
    EXPECT_GE(ElapsedMs(second), 200.0 - kEarly);
    EXPECT_LE(ElapsedMs(second), 200.0 + kLate);
}

TEST_F(PosixRead, DefaultTimeoutsReturnAtOnceWithWhatIsQueued)
{
    // MAXDWORD/0/0 is the fixture's setting.
    DWORD read = 0xFFFF;
    char bytes[100];
    EXPECT_TRUE(api.ReadFile(port, bytes, sizeof bytes, &read, &ov));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(api.WaitForSingleObject(event, 0), WaitObject0);

    pty.Write(
        std::string("12\0"
                    "45",
                    5));
    ASSERT_EQ(WaitQueued(5), 5u);
    EXPECT_TRUE(api.ReadFile(port, bytes, 3, &read, &ov));
    EXPECT_EQ(std::string(bytes, read), std::string("12\0", 3));  // a NUL stays
    DWORD n = 0;
    EXPECT_TRUE(api.GetOverlappedResult(port, &ov, &n, false));
    EXPECT_EQ(n, 3u);
    EXPECT_TRUE(api.ReadFile(port, bytes, sizeof bytes, &read, &ov));
    EXPECT_EQ(std::string(bytes, read), "45");
}

TEST_F(PosixRead, TotalTimeoutEndsAReadWithNothingAsSuccessWithNoBytes)
{
    SetTimeouts(0, 10, 100);  // 10 x 5 + 100 = 150 ms
    const auto start = std::chrono::steady_clock::now();
    ASSERT_FALSE(Start(5));
    EXPECT_EQ(Finish(), "");
    EXPECT_GE(ElapsedMs(start), 150.0 - kEarly);
    EXPECT_LE(ElapsedMs(start), 150.0 + kLate);
}

TEST_F(PosixRead, TotalTimeoutIsCountedFromTheStartWhileBytesKeepComing)
{
    SetTimeouts(200, 0, 300);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_FALSE(Start(100));
    std::thread writer([&] {
        for (int i = 0; i < 6; ++i) {  // a byte every 100 ms never lets the interval end
            pty.Write("x");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    const std::string got = Finish();
    const double elapsed = ElapsedMs(start);
    writer.join();
    EXPECT_GE(got.size(), 2u);
    EXPECT_LE(got.size(), 4u);
    EXPECT_GE(elapsed, 300.0 - kEarly);
    EXPECT_LE(elapsed, 300.0 + kLate);
}

TEST_F(PosixRead, NoTimeoutsWaitUntilTheCountIsThere)
{
    SetTimeouts(0, 0, 0);
    ASSERT_FALSE(Start(5));
    pty.Write("abc");
    EXPECT_EQ(api.WaitForSingleObject(event, 300), WaitTimeout);
    pty.Write("de");
    EXPECT_EQ(Finish(), "abcde");
}

TEST_F(PosixRead, FirstBytesModeReturnsWhatArrivesFirst)
{
    SetTimeouts(MaxDword, MaxDword, 1000);
    ASSERT_FALSE(Start(100));
    const auto start = std::chrono::steady_clock::now();
    pty.Write("hello");
    EXPECT_EQ(Finish(), "hello");
    EXPECT_LT(ElapsedMs(start), 150.0);
}

// Where Windows' documentation is silent, an interval of MAXDWORD is no
// interval: the read waits for its count (or its total) even with bytes
// queued. Measured on Wine's serial driver, whose test holds the same table.
TEST_F(PosixRead, AnIntervalOfMaxdwordOutsideTheSpecialFormsWaitsForTheCount)
{
    const struct {
        DWORD interval, multiplier, constant;
    } rows[] = {{MaxDword, 0, 60000}, {MaxDword, MaxDword, 0}};
    for (const auto& r : rows) {
        SetTimeouts(r.interval, r.multiplier, r.constant);
        pty.Write("abc");
        ASSERT_EQ(WaitQueued(3), 3u);
        ASSERT_FALSE(Start(10)) << r.multiplier << "/" << r.constant;
        pty.Write("defghij");
        EXPECT_EQ(Finish(), "abcdefghij") << r.multiplier << "/" << r.constant;
    }
    SetTimeouts(MaxDword, 0, 0);
    pty.Write("abc");
    ASSERT_EQ(WaitQueued(3), 3u);
    ASSERT_TRUE(Start(10));
    EXPECT_EQ(Finish(), "abc");
}

TEST_F(PosixRead, AbortEndsAPendingReadWithTheBytesItHas)
{
    SetTimeouts(0, 0, 0);
    ASSERT_FALSE(Start(10));
    pty.Write("abc");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Queued(), 0u);  // the read took them, not the queue

    std::atomic<bool> result{true};
    std::atomic<DWORD> error{0};
    std::atomic<DWORD> count{0};
    std::thread reader([&] {
        DWORD n = 0;
        result = api.GetOverlappedResult(port, &ov, &n, true);
        error = api.GetLastError();
        count = n;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(api.PurgeComm(port, PurgeTxAbort | PurgeRxAbort));
    reader.join();
    EXPECT_FALSE(result.load());
    EXPECT_EQ(error.load(), ErrorOperationAborted);
    EXPECT_EQ(count.load(), 3u);
    EXPECT_EQ(buffer.substr(0, 3), "abc");
    EXPECT_EQ(api.WaitForSingleObject(event, 0), WaitObject0);
}

TEST_F(PosixRead, UnpluggingEndsAPendingReadWithItsBytesAndFailsOneWithout)
{
    SetTimeouts(0, 0, 0);
    ASSERT_FALSE(Start(10));
    pty.Write("ab");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.CloseMaster();
    EXPECT_EQ(Finish(), "ab");

    char bytes[10];
    DWORD read = 0;
    EXPECT_FALSE(api.ReadFile(port, bytes, sizeof bytes, &read, &ov));
    EXPECT_EQ(api.GetLastError(), ErrorDeviceNotConnected);
    EXPECT_EQ(api.WaitForSingleObject(event, 0), WaitObject0);
}

}  // namespace
