// The serial component with its event thread on the Linux back end, on the
// slave of a pseudo-terminal pair: the test writes into the master as the
// card reader would, and closes the master to unplug the reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "framework/MainThread.h"
#include "platform/Diagnostics.h"
#include "platform/SerialApi.h"
#include "serial/ComPort.h"
#include "serial/ComPortErrors.h"
#include "serial/ComThread.h"
#include "tests/framework/threads/Sync.h"
#include "tests/support/PtyPair.h"
#include "tests/serial/EventLog.h"

namespace {

class ComPortOnPty : public ::testing::Test {
protected:
    ComPortOnPty()
    {
        log.Attach(port);
        port.SetPort(pty.SlavePath());
        port.SetEvents(TComEvents{evRxChar, evRx80Full});  // as the application's port
    }

    void SetUp() override
    {
        SetMainThread();
        InitSerialErrorTexts();
        platform::SetSerialApi(nullptr);
        platform::SetDiagnosticSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(diagnosticsMutex_);
            diagnostics_.push_back(line);
        });
    }

    void TearDown() override
    {
        tarvel_test::DeadlockGuard guard("closing the port");
        port.SetConnected(false);
        platform::SetDiagnosticSink({});
    }

    std::vector<std::string> Diagnostics()
    {
        std::lock_guard<std::mutex> lock(diagnosticsMutex_);
        return diagnostics_;
    }

    tarvel_test::PtyPair pty;
    tarvel_test::EventLog log;
    TComPort port{nullptr};

private:
    std::mutex diagnosticsMutex_;
    std::vector<std::string> diagnostics_;
};

TEST_F(ComPortOnPty, OnRxCharReportsTheBytesTheOtherEndWrote)
{
    for (TSyncMethod method : {smThreadSync, smWindowSync, smNone}) {
        port.SetSyncMethod(method);
        port.SetConnected(true);
        ASSERT_TRUE(port.EventThreadRunning());
        log.Clear();

        // A reader's frame: STX, ten hex digits, the check digits, ETX.
        const std::string frame =
            "\x02"
            "0A1B2C3D4E"
            "5F"
            "\x03";
        const int size = static_cast<int>(frame.size());
        pty.Write(frame);
        log.ServeUntil("RxChar(" + std::to_string(size) + ")");
        // The bytes may come in more than one piece; each report counts what
        // is waiting, so the counts only grow, up to the whole frame.
        int last = 0;
        for (const std::string& entry : log.Entries()) {
            ASSERT_EQ(entry.rfind("RxChar(", 0), 0u) << entry;
            const int count = std::stoi(entry.substr(7));
            EXPECT_GT(count, last) << entry;
            last = count;
        }
        EXPECT_EQ(last, size) << int(method);
        EXPECT_EQ(port.InQueueCount(), size);

        tarvel_test::DeadlockGuard guard("closing the port");
        port.SetConnected(false);
    }
}

TEST_F(ComPortOnPty, ASecondOpenOfTheSameDeviceFailsWithCode1)
{
    port.SetConnected(true);
    TComPort second(nullptr);
    second.SetPort(pty.SlavePath());
    try {
        second.SetConnected(true);
        FAIL() << "the second open succeeded";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 1);
        EXPECT_EQ(e.WinErrorCode(), static_cast<int>(platform::ErrorAccessDenied));
        EXPECT_EQ(std::string(e.what()), "Unable to open com port (win error code: 5)");
    }
    EXPECT_FALSE(second.Connected());
    EXPECT_EQ(second.EventThread(), nullptr);

    // The first port is not disturbed.
    pty.Write("AB");
    log.ServeUntil("RxChar(2)");
}

TEST_F(ComPortOnPty, AnUnpluggedReaderEndsTheThreadAndClosingStillReturns)
{
    port.SetConnected(true);
    TComThread* thread = port.EventThread();
    ASSERT_NE(thread, nullptr);
    pty.CloseMaster();
    {
        // It ends by itself; had it turned without blocking instead, this
        // wait would never end.
        tarvel_test::DeadlockGuard guard("the event thread's end after the unplug");
        thread->WaitFor();
    }
    EXPECT_TRUE(thread->Finished());
    // The hang-up ends the pending wait, or the next one as it starts.
    const std::string path = pty.SlavePath();
    const std::string tail = " (error 1167); no more events are reported until it is reopened";
    const auto lines = Diagnostics();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line == "serial port " + path + ": the wait for serial events failed" + tail ||
               line == "serial port " + path + ": cannot wait for serial events" + tail;
    })) << ::testing::PrintToString(lines);

    log.Clear();
    {
        tarvel_test::DeadlockGuard guard("closing the unplugged port");
        port.SetConnected(false);
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(log.Entries(),
              (std::vector<std::string>{"CTS(off)", "DSR(off)", "RLSD(off)", "BeforeClose", "AfterClose"}));
}

}  // namespace
