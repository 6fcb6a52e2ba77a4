// The event thread when things go wrong: a handler that raises, a handler
// that closes its own port, closing while the thread waits in a hand-over,
// and waits that fail or are aborted.

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <initializer_list>
#include <string>
#include <vector>

#include "framework/Exception.h"
#include "framework/ExceptionHandler.h"
#include "tests/serial/threads/EventThreadFixture.h"

namespace {

using tarvel_test::EventThreadTest;
using tarvel_test::FakeLimitMs;
using tarvel_test::MethodName;

class ComPortEventFaults : public EventThreadTest {};

// One bad frame must not turn the reader off: the exception is reported on
// the diagnostic stream (smThreadSync, smNone) or handed to the central
// exception handler (smWindowSync), the rest of the batch still runs, and the
// next wait's events are delivered.
TEST_F(ComPortEventFaults, AnExceptionInAHandlerDoesNotStopDelivery)
{
    std::vector<std::string> central;
    const void* source = nullptr;
    const TExceptionHandler before = SetExceptionHandler([&](const std::exception& e, const void* s) {
        central.push_back(e.what());
        source = s;
    });
    std::vector<std::string> reported;  // on the diagnostic stream, so far
    for (TSyncMethod method : {smThreadSync, smNone, smWindowSync}) {
        int calls = 0;
        port.SetOnRxChar([&](TComponent*, std::int32_t count) {
            log.Add("RxChar(" + std::to_string(count) + ")");
            if (++calls == 1)
                throw Exception("malformed frame");
        });
        Open(method, TComEvents{evRxChar, evTxEmpty});
        fake.QueueInput("ab");
        log.ServeUntil("RxChar(2)");
        fake.FireCommEvents(platform::EvTxEmpty);
        log.ServeUntil("TxEmpty");
        fake.QueueInput("c");
        log.ServeUntil("RxChar(3)");
        port.SetConnected(false);

        EXPECT_EQ(log.Entries(), (std::vector<std::string>{"RxChar(2)", "TxEmpty", "RxChar(3)", "CTS(off)", "DSR(off)",
                                                           "RLSD(off)", "BeforeClose", "AfterClose"}))
            << MethodName(method);
        if (method == smWindowSync) {
            EXPECT_EQ(central, std::vector<std::string>{"malformed frame"});
            EXPECT_EQ(source, &port);
        } else {
            reported.push_back("malformed frame");
            EXPECT_TRUE(central.empty()) << MethodName(method);
        }
        EXPECT_EQ(Diagnostics(), reported) << MethodName(method);
    }
    SetExceptionHandler(before);
}

TEST_F(ComPortEventFaults, AnExceptionDoesNotSkipTheRestOfItsBatch)
{
    fake.SetErrorWord(platform::CeBreak);
    port.SetOnError([&](TComponent*, TComErrors) {
        log.Add("Error");
        throw Exception("error handler failed");
    });
    fake.QueueInput("xyz");
    Open(smThreadSync);
    fake.FireCommEvents(platform::EvErr | platform::EvRxChar);
    log.ServeUntil("RxChar(3)");
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"Error", "RxChar(3)"}));
    EXPECT_EQ(Diagnostics(), std::vector<std::string>{"error handler failed"});
    port.SetConnected(false);
}

// Under smThreadSync and smNone the event thread waits for the handler (or
// runs it): closing from there is refused, and the port stays open and keeps
// delivering.
TEST_F(ComPortEventFaults, ClosingFromInsideOwnHandlerIsRefused)
{
    for (TSyncMethod method : {smThreadSync, smNone}) {
        port.SetOnRxChar([&](TComponent*, std::int32_t count) {
            log.Add("RxChar(" + std::to_string(count) + ")");
            for (auto close : {+[](TComPort& p) { p.SetConnected(false); }, +[](TComPort& p) { p.ClosePort(); }})
                log.AddOutcome([&] { close(port); }, "closed");
            log.Add("handled");
        });
        Open(method, TComEvents{evRxChar});
        fake.QueueInput("a");
        log.ServeUntil("handled");
        EXPECT_TRUE(port.Connected()) << MethodName(method);
        fake.QueueInput("b");
        log.ServeUntil("handled", 2);
        const std::string refused = "Cannot close port COM1 from inside one of its own event handlers";
        EXPECT_EQ(log.Entries(), (std::vector<std::string>{"RxChar(1)", refused, refused, "handled", "RxChar(2)",
                                                           refused, refused, "handled"}))
            << MethodName(method);

        port.SetConnected(false);
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(port.EventThread(), nullptr);
    }
}

// A port change asked for from inside the port's own handler is refused like
// the close it needs: the port stays open on its device, Port keeps naming
// it, and asking for the same name again later does reopen.
TEST_F(ComPortEventFaults, ARefusedPortChangeKeepsTheOldName)
{
    for (TSyncMethod method : {smThreadSync, smNone}) {
        port.SetPort("COM1");
        port.SetOnRxChar([&](TComponent*, std::int32_t) {
            log.AddOutcome([&] { port.SetPort("COM9"); }, "changed");
            log.Add("handled");
        });
        Open(method, TComEvents{evRxChar});
        fake.QueueInput("a");
        log.ServeUntil("handled");
        EXPECT_EQ(log.Entries(), (std::vector<std::string>{
                                     "Cannot close port COM1 from inside one of its own event handlers", "handled"}))
            << MethodName(method);
        EXPECT_EQ(port.Port(), "COM1") << MethodName(method);
        EXPECT_TRUE(port.Connected()) << MethodName(method);

        port.SetOnRxChar({});
        fake.ClearCalls();
        port.SetPort("COM9");
        ASSERT_FALSE(fake.CallsOf("CreateFileA").empty()) << MethodName(method);
        EXPECT_EQ(fake.CallsOf("CreateFileA").back().path, "\\\\.\\COM9") << MethodName(method);
        EXPECT_EQ(port.Port(), "COM9") << MethodName(method);
        port.SetConnected(false);
    }
}

// Under smWindowSync the event thread is released before the step runs, so a
// handler may close the port.
TEST_F(ComPortEventFaults, UnderWindowSyncAHandlerMayClose)
{
    port.SetOnRxChar([&](TComponent*, std::int32_t count) {
        log.Add("RxChar(" + std::to_string(count) + ")");
        port.SetConnected(false);
    });
    Open(smWindowSync, TComEvents{evRxChar});
    fake.QueueInput("a");
    log.ServeUntil("AfterClose");
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"RxChar(1)", "CTS(off)", "DSR(off)", "RLSD(off)", "BeforeClose",
                                                       "AfterClose"}));
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.NotifyWindow(), nullptr);
    EXPECT_EQ(fake.OpenDeviceCount(), 0u);
}

// The main thread closes while the event thread is blocked delivering a
// batch: the batch runs during the close (the port still connected), then the
// thread ends. (Under smWindowSync the thread is released before the step
// runs and purges the input queue on its way out, so the step there is one
// that does not count bytes.)
TEST_F(ComPortEventFaults, ClosingWhileTheThreadWaitsInAHandOverRunsThePendingBatchFirst)
{
    const struct {
        TSyncMethod method;
        std::function<void()> fire;
        std::string step;
    } cases[] = {
        {smThreadSync, [&] { fake.QueueInput("abc"); }, "RxChar(3)"},
        {smWindowSync, [&] { fake.FireCommEvents(platform::EvTxEmpty); }, "TxEmpty"},
    };
    for (const auto& c : cases) {
        Open(c.method, TComEvents{evRxChar, evTxEmpty});
        c.fire();
        ASSERT_TRUE(fake.WaitUntilCalled("GetOverlappedResult", 1, FakeLimitMs));
        {
            tarvel_test::DeadlockGuard guard("closing while a batch is pending");
            port.SetConnected(false);
        }
        EXPECT_EQ(log.Entries(),
                  (std::vector<std::string>{"CTS(off)", "DSR(off)", "RLSD(off)", "BeforeClose", c.step, "AfterClose"}))
            << MethodName(c.method);
        EXPECT_EQ(fake.OpenDeviceCount(), 0u);
    }
}

// A handler that reads while the port is being closed (the pending batch
// runs inside the close's wait; under smNone the handler reads after the
// close has begun) gets nothing at once: no read is started that the close
// has already aborted and would then wait for.
TEST_F(ComPortEventFaults, AReadStartedWhileClosingReturnsNothingAtOnce)
{
    const struct {
        TSyncMethod method;
        TComEvents events;
        std::function<void()> fire;
    } cases[] = {
        {smThreadSync, TComEvents{evRxChar}, [&] { fake.QueueInput("abc"); }},
        {smWindowSync, TComEvents{evTxEmpty}, [&] { fake.FireCommEvents(platform::EvTxEmpty); }},
        {smNone, TComEvents{evRxChar}, [&] { fake.QueueInput("abc"); }},
    };
    for (const auto& c : cases) {
        std::promise<void> entered;
        std::promise<void> closing;
        std::shared_future<void> closingBegun = closing.get_future().share();
        auto readDuringClose = [&] {
            if (c.method == smNone) {
                entered.set_value();
                closingBegun.wait();  // the close is under way when the read starts
            }
            std::string text = "x";
            const std::int32_t n = port.ReadText(text, 10);
            log.Add("read(" + std::to_string(n) + "," + text + ")");
        };
        port.SetOnRxChar([&](TComponent*, std::int32_t) { readDuringClose(); });
        port.SetOnTxEmpty([&](TComponent*) { readDuringClose(); });
        port.SetOnBeforeClose([&](TComponent*) {
            log.Add("BeforeClose");
            closing.set_value();
        });
        Open(c.method, c.events);
        c.fire();
        if (c.method == smNone)
            entered.get_future().wait();
        else
            ASSERT_TRUE(fake.WaitUntilCalled("GetOverlappedResult", 1, FakeLimitMs));
        {
            tarvel_test::DeadlockGuard guard("closing while a handler reads");
            port.SetConnected(false);
        }
        EXPECT_EQ(log.Entries(), (std::vector<std::string>{"CTS(off)", "DSR(off)", "RLSD(off)", "BeforeClose",
                                                           "read(0,)", "AfterClose"}))
            << MethodName(c.method);
        EXPECT_EQ(fake.CountOf("ReadFile"), 0u) << MethodName(c.method);
        EXPECT_EQ(fake.OpenDeviceCount(), 0u) << MethodName(c.method);
        port.SetOnRxChar({});
        port.SetOnTxEmpty({});
        log.Attach(port);
    }
}

// A wait that cannot be started, or that fails (the device went away), ends
// the thread's loop instead of turning without blocking; its closing steps
// run, and closing the port afterwards works.
TEST_F(ComPortEventFaults, AFailedWaitEndsTheThreadAndClosingStillWorks)
{
    struct Case {
        const char* what;
        bool beforeOpening;  // the wait cannot even be started
        platform::DWORD error;
        std::string diagnostic;
    };
    const Case cases[] = {
        {"cannot be started", true, platform::ErrorInvalidHandle,
         "serial port COM1: cannot wait for serial events (error 6); no more events are reported until it is "
         "reopened"},
        {"fails while pending", false, platform::ErrorDeviceNotConnected,
         "serial port COM1: the wait for serial events failed (error 1167); no more events are reported until "
         "it is reopened"},
    };
    for (const Case& c : cases) {
        fake.ClearCalls();
        if (c.beforeOpening) {
            fake.FailCall("WaitCommEvent", c.error);
            port.SetConnected(true);
        } else {
            port.SetConnected(true);
            ASSERT_TRUE(fake.WaitUntilWaitPending(FakeLimitMs));
            fake.FailPendingWaits(c.error);
        }
        WaitForThreadEnd();
        EXPECT_EQ(fake.CountOf("WaitCommEvent"), 1u) << c.what << ": no second wait";
        ASSERT_FALSE(Diagnostics().empty()) << c.what;
        EXPECT_EQ(Diagnostics().back(), c.diagnostic) << c.what;
        EXPECT_EQ(fake.CallsOf("PurgeComm").back().flags, platform::PurgeTxClear | platform::PurgeRxClear)
            << c.what << ": the closing steps ran";
        EXPECT_TRUE(port.Connected()) << c.what;
        fake.FailCall("WaitCommEvent", 0);

        log.Clear();
        {
            tarvel_test::DeadlockGuard guard("closing after the thread ended");
            port.SetConnected(false);
        }
        EXPECT_EQ(log.Entries(),
                  (std::vector<std::string>{"CTS(off)", "DSR(off)", "RLSD(off)", "BeforeClose", "AfterClose"}))
            << c.what;
        EXPECT_EQ(fake.OpenDeviceCount(), 0u) << c.what;
    }
}

// Wine ends a wait with ERROR_OPERATION_ABORTED when the mask is cleared or
// the queues are purged: that is normal, and the thread goes on.
TEST_F(ComPortEventFaults, AnAbortedWaitIsNormal)
{
    Open(smThreadSync, TComEvents{evRxChar});
    fake.FailPendingWaits(platform::ErrorOperationAborted);
    ASSERT_TRUE(fake.WaitUntilCalled("WaitCommEvent", 1, FakeLimitMs));  // the next wait
    fake.QueueInput("q");
    log.ServeUntil("RxChar(1)");
    EXPECT_TRUE(Diagnostics().empty());
    EXPECT_EQ(log.Entries(), std::vector<std::string>{"RxChar(1)"});
}

}  // namespace
