// The serial component on Wine's COM1, whose other end is COM2 (a pair of
// pseudo-terminals that scripts/wine-env.sh sets up): open, an OnRxChar for
// bytes written into COM2, and a close that does not hang. Skipped when COM1
// cannot be opened, i.e. when not run under wine-env.sh.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/MainThread.h"
#include "serial/ComPort.h"
#include "serial/ComPortErrors.h"
#include "tests/framework/threads/Sync.h"
#include "tests/serial/EventLog.h"
#include "tests/wine/comport/WinePorts.h"

namespace {

class ComPortOnWine : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThread();
        InitSerialErrorTexts();
        log.Attach(port);
        port.SetPort("COM1");
        port.SetEvents(TComEvents{evRxChar, evRx80Full});
    }

    // Opens COM1; false when it cannot be opened here.
    bool Open(std::string& why)
    {
        try {
            port.SetConnected(true);
            return true;
        } catch (const EComPort& e) {
            why = e.what();
            return false;
        }
    }

    tarvel_test::EventLog log;
    TComPort port{nullptr};
};

TEST_F(ComPortOnWine, BytesWrittenToTheOtherEndRaiseOnRxCharAndClosingReturns)
{
    for (TSyncMethod method : {smThreadSync, smWindowSync}) {
        port.SetSyncMethod(method);
        if (!wine_test::WinePortsPaired())
            GTEST_SKIP() << "COM1 and COM2 are not the pty pair of scripts/wine-env.sh";
        std::string why;
        if (!Open(why))
            GTEST_SKIP() << "COM1 cannot be opened (" << why << "); run under scripts/wine-env.sh";
        wine_test::WinePort other("\\\\.\\COM2", 0);
        ASSERT_TRUE(other.IsOpen()) << "COM2 cannot be opened: error " << ::GetLastError();
        ASSERT_TRUE(port.EventThreadRunning());
        log.Clear();

        ASSERT_TRUE(other.Write("0A1B2C3D4E"));
        // Wine reports received bytes again while they stay queued; the
        // handler reads nothing, so the count ends at all ten.
        log.ServeUntil("RxChar(10)");
        EXPECT_EQ(port.InQueueCount(), 10) << int(method);

        {
            tarvel_test::DeadlockGuard guard("closing COM1");
            port.SetConnected(false);
        }
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(port.EventThread(), nullptr);
        EXPECT_EQ(log.Count("BeforeClose"), 1u);
        ASSERT_FALSE(log.Entries().empty());
        EXPECT_EQ(log.Entries().back(), "AfterClose");
    }
}

}  // namespace
