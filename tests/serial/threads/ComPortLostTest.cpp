// Losing the device: when the event thread ends on a failed wait, OnLost runs
// once on the main thread, after the thread's last step, with the failure's
// error code, whatever the delivery method; its handler may close the port.
// A loss that reaches the main thread after the port was closed, reopened or
// destroyed raises nothing, and neither does an ordinary close.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/MainThread.h"
#include "platform/EventLoop.h"
#include "tests/serial/threads/EventThreadFixture.h"

namespace {

using tarvel_test::EventThreadTest;
using tarvel_test::FakeLimitMs;
using tarvel_test::MethodName;

class ComPortLost : public EventThreadTest {
protected:
    // Records each loss; the handler closes the port when asked to.
    void WatchLoss(bool closeInHandler)
    {
        port.SetOnLost([this, closeInHandler](TComponent* sender, std::uint32_t error) {
            lossThreads.push_back(std::this_thread::get_id());
            log.Add("Lost(" + std::to_string(error) + (sender == &port ? ")" : ",wrong sender)"));
            if (closeInHandler)
                port.SetConnected(false);
        });
    }

    std::vector<std::thread::id> lossThreads;
};

TEST_F(ComPortLost, AFailedWaitTellsTheMainThreadOnceWhichMayCloseThePort)
{
    struct Case {
        TSyncMethod method;
        bool cannotStart;  // the next wait cannot even be started
        platform::DWORD error;
    };
    const Case cases[] = {
        {smThreadSync, false, platform::ErrorDeviceNotConnected},
        {smWindowSync, false, 31},
        {smNone, false, 22},
        {smThreadSync, true, 5},
    };
    WatchLoss(/*closeInHandler=*/true);
    for (const Case& c : cases) {
        const std::string what = std::string(MethodName(c.method)) + " error " + std::to_string(c.error);
        lossThreads.clear();
        Open(c.method, TComEvents{evRxChar});
        if (c.cannotStart) {
            // The wait pending now ends normally with an event; the next one
            // cannot be started.
            fake.FailCall("WaitCommEvent", c.error);
            fake.FireCommEvents(platform::EvRxChar);
        } else {
            fake.FailPendingWaits(c.error);
        }
        const std::string expected = "Lost(" + std::to_string(c.error) + ")";
        log.ServeUntil(expected);
        fake.FailCall("WaitCommEvent", 0);
        platform::ServeMainThread();  // anything else queued would show up below

        EXPECT_EQ(log.Count(expected), 1u) << what;
        ASSERT_EQ(lossThreads.size(), 1u) << what;
        EXPECT_EQ(lossThreads[0], std::this_thread::get_id()) << what << ": not on the main thread";
        EXPECT_FALSE(port.Connected()) << what << ": the handler closed it";
        EXPECT_EQ(port.EventThread(), nullptr) << what;
        EXPECT_EQ(fake.OpenDeviceCount(), 0u) << what;
    }
}

// The loss is queued by the thread and served later: when the port has been
// closed, closed and opened again, or destroyed by then, it is stale.
TEST_F(ComPortLost, ALossThatComesAfterTheConnectionEndedIsDropped)
{
    WatchLoss(/*closeInHandler=*/false);
    for (const bool reopen : {false, true}) {
        Open(smThreadSync, TComEvents{evRxChar});
        fake.FailPendingWaits(platform::ErrorDeviceNotConnected);
        ASSERT_TRUE(fake.WaitUntilCalled("PurgeComm", 1, FakeLimitMs));  // the thread's last step
        // Closing serves the queue while it waits for the thread: the loss
        // runs then, if at all, while the port is closing.
        port.SetConnected(false);
        if (reopen) {
            port.SetConnected(true);
            ASSERT_TRUE(fake.WaitUntilWaitPending(FakeLimitMs));
        }
        platform::ServeMainThread();
        EXPECT_TRUE(lossThreads.empty()) << (reopen ? "reopened" : "closed");
        if (reopen)
            port.SetConnected(false);
    }

    tarvel_test::Latch lost;
    {
        auto doomed = std::make_unique<TComPort>(nullptr);
        doomed->SetEvents(TComEvents{evRxChar});
        doomed->SetOnLost([&](TComponent*, std::uint32_t) { lost.Set(); });
        doomed->SetConnected(true);
        ASSERT_TRUE(fake.WaitUntilWaitPending(FakeLimitMs));
        fake.ClearCalls();
        fake.FailPendingWaits(platform::ErrorDeviceNotConnected);
        ASSERT_TRUE(fake.WaitUntilCalled("PurgeComm", 1, FakeLimitMs));
        doomed.reset();
    }
    platform::ServeMainThread();
    EXPECT_FALSE(lost.IsSet()) << "destroyed";
}

TEST_F(ComPortLost, AnOrdinaryCloseIsNoLoss)
{
    WatchLoss(/*closeInHandler=*/false);
    for (const TSyncMethod method : {smThreadSync, smWindowSync, smNone}) {
        Open(method, TComEvents{evRxChar});
        fake.QueueInput("x");
        log.ServeUntil("RxChar(1)");
        port.SetConnected(false);
        platform::ServeMainThread();
        EXPECT_TRUE(lossThreads.empty()) << MethodName(method);
        EXPECT_TRUE(Diagnostics().empty()) << MethodName(method);
    }
}

}  // namespace
