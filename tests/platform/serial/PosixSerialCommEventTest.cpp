// The overlapped comm-event wait of the Linux back end on pseudo-terminals.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Diagnostics.h"
#include "platform/linux/PosixSerialDevice.h"
#include "tests/platform/serial/PortOnPty.h"

namespace {

using namespace platform;
using tarvel_test::ElapsedMs;
using tarvel_test::PortOnPty;
using tarvel_test::StatsOf;

using PosixCommEvent = PortOnPty;

TEST_F(PosixCommEvent, ReceivedBytesCompleteThePendingWait)
{
    ASSERT_TRUE(api.SetCommMask(port, EvRxChar | EvRx80Full));
    mask = 0xFFFF;
    EXPECT_FALSE(api.WaitCommEvent(port, &mask, &ov));
    EXPECT_EQ(api.GetLastError(), ErrorIoPending);
    EXPECT_EQ(api.WaitForSingleObject(event, 0), WaitTimeout);  // reset by the start
    DWORD n = 0;
    EXPECT_FALSE(api.GetOverlappedResult(port, &ov, &n, false));
    EXPECT_EQ(api.GetLastError(), ErrorIoIncomplete);

    pty.Write("AB");
    ASSERT_EQ(api.WaitForSingleObject(event, 2000), WaitObject0);
    EXPECT_TRUE(api.GetOverlappedResult(port, &ov, &n, false));
    EXPECT_EQ(mask, EvRxChar);
    EXPECT_EQ(WaitQueued(2), 2u);
}

TEST_F(PosixCommEvent, BytesThatArriveBetweenWaitsCompleteTheNextWaitAtOnce)
{
    ASSERT_TRUE(api.SetCommMask(port, EvRxChar));
    pty.Write("X");
    ASSERT_EQ(WaitQueued(1), 1u);
    mask = 0;
    EXPECT_TRUE(api.WaitCommEvent(port, &mask, &ov));
    EXPECT_EQ(mask, EvRxChar);
    EXPECT_EQ(api.WaitForSingleObject(event, 0), WaitObject0);

    // Bytes that sit unread are not new: the next wait stays pending.
    EXPECT_FALSE(api.WaitCommEvent(port, &mask, &ov));
    EXPECT_EQ(api.GetLastError(), ErrorIoPending);
    EXPECT_EQ(api.WaitForSingleObject(event, 100), WaitTimeout);

    // Closing ends it, aborted, with its mask set to 0.
    mask = 0xFFFF;
    api.CloseHandle(port);
    port = InvalidHandle;
    ASSERT_EQ(api.WaitForSingleObject(event, 2000), WaitObject0);
    EXPECT_EQ(mask, 0u);
    EXPECT_EQ(posix::OverlappedStatus(&ov), ErrorOperationAborted);
}

// A burst of several times the input queue, read the way the wedge reads
// (an event, then reads of up to 100 bytes that complete at once): what does
// not fit is dropped and reported as CE_RXOVER, and a frame sent afterwards
// still raises its event and is read whole. The loss is told twice on the
// diagnostic stream: when it starts, and with the count of bytes lost once
// bytes are kept again.
TEST_F(PosixCommEvent, ABurstBeyondTheQueueIsDroppedAndReportedAndTheNextFrameArrives)
{
    std::vector<std::string> lines;
    std::mutex linesMutex;
    SetDiagnosticSink([&](const std::string& line) {
        std::lock_guard<std::mutex> lock(linesMutex);
        lines.push_back(line);
    });
    struct RestoreSink {
        ~RestoreSink() { SetDiagnosticSink({}); }
    } restoreSink;
    ASSERT_TRUE(api.SetCommMask(port, EvRxChar));
    pty.Write(std::string(4 * 1024, 'A'));

    // The device is drained whatever the queue holds: the overrun is reported
    // and the queue holds exactly its size.
    ComStat stat;
    const DWORD errors = GatherErrors(
        stat, 5000, [](DWORD seen, const ComStat& last) { return (seen & CeRxOver) != 0 && last.cbInQue == 1024; });
    EXPECT_EQ(errors & CeRxOver, CeRxOver);
    EXPECT_EQ(stat.cbInQue, 1024u);

    // Read as the wedge does until the frame has come.
    const std::string frame =
        "\x02"
        "0A1B2C3D4E"
        "\x03";
    std::string received;
    bool frameSent = false;
    for (int events = 0; events < 100 && received.find(frame) == std::string::npos; ++events) {
        DWORD mask = 0;
        if (!api.WaitCommEvent(port, &mask, &ov)) {
            ASSERT_EQ(api.GetLastError(), ErrorIoPending);
            if (!frameSent) {
                pty.Write(frame);  // the queue has been emptied: now the frame
                frameSent = true;
            }
            ASSERT_EQ(api.WaitForSingleObject(event, 5000), WaitObject0) << "deaf after " << received.size();
            DWORD n = 0;
            ASSERT_TRUE(api.GetOverlappedResult(port, &ov, &n, false));
        }
        EXPECT_EQ(mask, EvRxChar);
        for (;;) {
            char chunk[100];
            DWORD n = 0;
            Overlapped readOv;
            readOv.hEvent = api.CreateEventA(true, true);
            if (!api.ReadFile(port, chunk, sizeof chunk, &n, &readOv)) {
                ASSERT_EQ(api.GetLastError(), ErrorIoPending);
                ASSERT_TRUE(api.GetOverlappedResult(port, &readOv, &n, true));
            }
            api.CloseHandle(readOv.hEvent);
            received.append(chunk, n);
            if (n < sizeof chunk)
                break;
        }
    }
    EXPECT_EQ(received, std::string(1024, 'A') + frame);
    std::lock_guard<std::mutex> lock(linesMutex);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(": input queue full (1024 bytes); received bytes are dropped"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find(": input queue has room again; 3072 received bytes were dropped while it was full"),
              std::string::npos)
        << lines[1];
}

TEST_F(PosixCommEvent, AnIdleWaitBlocksWithoutWakingAnyThread)
{
    ASSERT_TRUE(api.SetCommMask(port, EvRxChar | EvRx80Full));
    const Handle stop = api.CreateEventA(true, false);
    mask = 0;
    ASSERT_FALSE(api.WaitCommEvent(port, &mask, &ov));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the new thread settles

    const auto ioBefore = StatsOf(ioThread);
    const auto cpuBefore = std::chrono::steady_clock::now();
    timespec waiterCpu0{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &waiterCpu0);
    const Handle list[] = {stop, event};
    EXPECT_EQ(api.WaitForMultipleObjects(2, list, false, 1000), WaitTimeout);
    timespec waiterCpu1{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &waiterCpu1);
    const auto ioAfter = StatsOf(ioThread);

    EXPECT_GE(ElapsedMs(cpuBefore), 999.0);
    EXPECT_EQ(ioAfter.switches - ioBefore.switches, 0) << "the I/O thread woke while idle";
    EXPECT_EQ(ioAfter.cpuTicks - ioBefore.cpuTicks, 0);
    const double waiterMs = (waiterCpu1.tv_sec - waiterCpu0.tv_sec) * 1e3 +
                            (waiterCpu1.tv_nsec - waiterCpu0.tv_nsec) / 1e6;
    EXPECT_LT(waiterMs, 20.0) << "the waiting thread used CPU while idle";

    pty.Write("1");
    EXPECT_EQ(api.WaitForMultipleObjects(2, list, false, 2000), WaitObject0 + 1);
    DWORD n = 0;
    EXPECT_TRUE(api.GetOverlappedResult(port, &ov, &n, true));
    EXPECT_EQ(mask, EvRxChar);
    api.CloseHandle(stop);
}

TEST_F(PosixCommEvent, SettingTheMaskEndsAPendingWaitFromAnotherThread)
{
    for (const DWORD newMask : {DWORD{0}, EvRxChar | EvRxFlag}) {
        SCOPED_TRACE(newMask);
        ASSERT_TRUE(api.SetCommMask(port, EvRxChar));
        DWORD mask = 0xFFFF;
        ASSERT_FALSE(api.WaitCommEvent(port, &mask, &ov));
        std::atomic<DWORD> waitResult{WaitFailed};
        std::atomic<bool> outcome{false};
        std::thread eventThread([&] {
            const Handle list[] = {event};
            waitResult = api.WaitForMultipleObjects(1, list, false, 5000);
            DWORD n = 0;
            outcome = api.GetOverlappedResult(port, &ov, &n, false);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(api.SetCommMask(port, newMask));
        eventThread.join();
        EXPECT_EQ(waitResult.load(), WaitObject0);
        EXPECT_TRUE(outcome.load());
        EXPECT_EQ(mask, 0u);
    }
}

TEST_F(PosixCommEvent, RefusedWaits)
{
    mask = 0;
    ASSERT_TRUE(api.SetCommMask(port, 0));
    EXPECT_FALSE(api.WaitCommEvent(port, &mask, &ov));
    EXPECT_EQ(api.GetLastError(), ErrorInvalidParameter);

    ASSERT_TRUE(api.SetCommMask(port, EvRxChar));
    ASSERT_FALSE(api.WaitCommEvent(port, &mask, &ov));
    ASSERT_EQ(api.GetLastError(), ErrorIoPending);
    Overlapped second;
    DWORD secondMask = 0;
    EXPECT_FALSE(api.WaitCommEvent(port, &secondMask, &second));
    EXPECT_EQ(api.GetLastError(), ErrorInvalidParameter);
    // The first wait is untouched by the refused one.
    DWORD n = 0;
    EXPECT_FALSE(api.GetOverlappedResult(port, &ov, &n, false));
    EXPECT_EQ(api.GetLastError(), ErrorIoIncomplete);
}

TEST_F(PosixCommEvent, EventCharacterAndDiscardedNulls)
{
    Dcb dcb;
    dcb.BaudRate = 9600;
    dcb.Flags = DcbBinary | DcbNull;
    dcb.ByteSize = 8;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.EvtChar = 3;  // ETX ends a reader's frame
    ASSERT_TRUE(api.SetCommState(port, dcb));
    ASSERT_TRUE(api.SetCommMask(port, EvRxFlag));
    mask = 0;
    ASSERT_FALSE(api.WaitCommEvent(port, &mask, &ov));

    pty.Write(
        std::string("\x02"
                    "12\0"
                    "34",
                    6));
    ASSERT_EQ(WaitQueued(5), 5u);  // the NUL is gone
    EXPECT_EQ(api.WaitForSingleObject(event, 0), WaitTimeout);

    pty.Write("\x03");
    ASSERT_EQ(api.WaitForSingleObject(event, 2000), WaitObject0);
    EXPECT_EQ(mask, EvRxFlag);

    char buffer[16] = {};
    DWORD read = 0;
    Overlapped readOv;
    ASSERT_TRUE(api.ReadFile(port, buffer, sizeof buffer, &read, &readOv));
    EXPECT_EQ(std::string(buffer, read),
              "\x02"
              "1234\x03");
}

TEST_F(PosixCommEvent, QueueAt80PercentRaisesRx80FullAndAFullQueueDoesNotSpin)
{
    ASSERT_TRUE(api.SetupComm(port, 100, 100));
    ASSERT_TRUE(api.SetCommMask(port, EvRx80Full));
    mask = 0;
    ASSERT_FALSE(api.WaitCommEvent(port, &mask, &ov));
    pty.Write(std::string(79, 'a'));
    ASSERT_EQ(WaitQueued(79), 79u);
    EXPECT_EQ(api.WaitForSingleObject(event, 0), WaitTimeout);
    pty.Write("b");
    ASSERT_EQ(api.WaitForSingleObject(event, 2000), WaitObject0);
    EXPECT_EQ(mask, EvRx80Full);

    // Beyond the input size the bytes are dropped (CE_RXOVER), as a Windows
    // driver drops them, and nothing turns afterwards.
    pty.Write(std::string(300, 'c'));
    ComStat stat;
    const DWORD errors = GatherErrors(stat, 2000, [](DWORD seen, const ComStat&) { return (seen & CeRxOver) != 0; });
    EXPECT_EQ(errors, CeRxOver);
    EXPECT_EQ(stat.cbInQue, 100u);
    ExpectIoThreadStill(std::chrono::milliseconds(500));

    char buffer[400];
    DWORD read = 0;
    Overlapped readOv;
    ASSERT_TRUE(api.ReadFile(port, buffer, sizeof buffer, &read, &readOv));
    EXPECT_EQ(std::string(buffer, read), std::string(79, 'a') + "b" + std::string(20, 'c'));
    EXPECT_EQ(Queued(), 0u);
}

TEST_F(PosixCommEvent, UnpluggedDeviceFailsTheWaitAndLaterWaitsAtOnce)
{
    ASSERT_TRUE(api.SetCommMask(port, EvRxChar));
    mask = 0xFFFF;
    ASSERT_FALSE(api.WaitCommEvent(port, &mask, &ov));

    pty.CloseMaster();
    ASSERT_EQ(api.WaitForSingleObject(event, 2000), WaitObject0);
    DWORD n = 0;
    EXPECT_FALSE(api.GetOverlappedResult(port, &ov, &n, false));
    EXPECT_EQ(api.GetLastError(), ErrorDeviceNotConnected);

    // No thread turns on the hung-up device.
    ExpectIoThreadStill(std::chrono::milliseconds(300));

    // A following wait fails at once, and its event is set so that no one
    // blocks on it.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(api.WaitCommEvent(port, &mask, &ov));
    EXPECT_EQ(api.GetLastError(), ErrorDeviceNotConnected);
    EXPECT_EQ(api.WaitForSingleObject(event, 0), WaitObject0);
    EXPECT_FALSE(api.GetOverlappedResult(port, &ov, &n, true));
    EXPECT_EQ(api.GetLastError(), ErrorDeviceNotConnected);
    EXPECT_LT(ElapsedMs(start), 50.0);

    char buffer[8];
    DWORD read = 0;
    Overlapped readOv;
    EXPECT_FALSE(api.ReadFile(port, buffer, sizeof buffer, &read, &readOv));
    EXPECT_EQ(api.GetLastError(), ErrorDeviceNotConnected);

    // Closing the port still works.
    EXPECT_TRUE(api.CloseHandle(port));
    port = InvalidHandle;
}

TEST_F(PosixCommEvent, ClearCommErrorCountsQueuedBytes)
{
    EXPECT_EQ(Queued(), 0u);
    pty.Write("0123456789");
    EXPECT_EQ(WaitQueued(10), 10u);
    DWORD errors = 0xFF;
    ComStat stat;
    ASSERT_TRUE(api.ClearCommError(port, &errors, &stat));
    EXPECT_EQ(errors, 0u);  // a pseudo-terminal has no line errors

    char buffer[4];
    DWORD read = 0;
    Overlapped readOv;
    ASSERT_TRUE(api.ReadFile(port, buffer, sizeof buffer, &read, &readOv));
    EXPECT_EQ(read, 4u);
    EXPECT_EQ(Queued(), 6u);

    ASSERT_TRUE(api.PurgeComm(port, PurgeRxClear | PurgeTxClear));
    EXPECT_EQ(Queued(), 0u);
}

TEST_F(PosixCommEvent, ClosingThePortEndsOperationsOtherThreadsWaitFor)
{
    ASSERT_TRUE(api.SetCommMask(port, EvRxChar));
    mask = 0xFFFF;
    ASSERT_FALSE(api.WaitCommEvent(port, &mask, &ov));
    SetTimeouts(0, 0, 0);  // a read that waits for its count
    char buffer[10];
    Overlapped readOv;
    DWORD read = 0;
    ASSERT_FALSE(api.ReadFile(port, buffer, sizeof buffer, &read, &readOv));

    std::atomic<DWORD> waitResult{WaitFailed};
    std::atomic<DWORD> readError{0};
    std::thread eventThread([&] {
        const Handle list[] = {event};
        waitResult = api.WaitForMultipleObjects(1, list, false, 5000);
    });
    std::thread reader([&] {
        DWORD n = 0;
        if (!api.GetOverlappedResult(port, &readOv, &n, true)) {
            readError = api.GetLastError();
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(api.CloseHandle(port));
    port = InvalidHandle;
    eventThread.join();
    reader.join();
    EXPECT_EQ(waitResult.load(), WaitObject0);
    EXPECT_EQ(readError.load(), ErrorOperationAborted);
}

}  // namespace
