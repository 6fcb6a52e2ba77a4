// The event thread on the fake device: what opening and closing raise and
// when, the events of one wait in their fixed order on every delivery
// method, and what is not raised.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/serial/threads/EventThreadFixture.h"

namespace {

using tarvel_test::EventThreadTest;
using tarvel_test::FakeLimitMs;
using tarvel_test::MethodName;

constexpr TSyncMethod AllMethods[] = {smThreadSync, smWindowSync, smNone};

class ComPortOpenClose : public EventThreadTest {
protected:
    // What exists when an open or close event is raised.
    std::string State() const
    {
        std::string state = port.EventThread() != nullptr ? "thread" : "no thread";
        if (port.NotifyWindow() != nullptr)
            state += ", window";
        state += fake.OpenDeviceCount() != 0 ? ", device open" : ", device closed";
        return state;
    }

    void LogStates()
    {
        port.SetOnBeforeOpen([this](TComponent*) { log.Add("BeforeOpen(" + State() + ")"); });
        port.SetOnAfterOpen([this](TComponent*) { log.Add("AfterOpen(" + State() + ")"); });
        port.SetOnBeforeClose([this](TComponent*) { log.Add("BeforeClose(" + State() + ")"); });
        port.SetOnAfterClose([this](TComponent*) { log.Add("AfterClose(" + State() + ")"); });
    }

    // Position of the first recorded call of that name with that mask or
    // flags (-1: none).
    static int IndexOf(const std::vector<platform::SerialCall>& calls, const std::string& name, platform::DWORD value)
    {
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const auto& c = calls[i];
            if (c.name == name && (name == "SetCommMask" ? c.mask : c.flags) == value)
                return static_cast<int>(i);
        }
        return -1;
    }
};

TEST_F(ComPortOpenClose, EventsInOrderWithTheThreadAndWindowInPlace)
{
    LogStates();
    fake.SetModemStatus(platform::MsCtsOn | platform::MsRlsdOn);
    for (TSyncMethod method : AllMethods) {
        log.Clear();
        fake.ClearCalls();
        port.SetSyncMethod(method);
        port.SetConnected(true);
        port.SetConnected(false);

        const std::string window = method == smWindowSync ? ", window" : "";
        EXPECT_EQ(log.Entries(), (std::vector<std::string>{
                                     "BeforeOpen(no thread, device closed)",
                                     "AfterOpen(thread" + window + ", device open)",
                                     "CTS(on)",
                                     "DSR(off)",
                                     "RLSD(on)",
                                     "CTS(off)",
                                     "DSR(off)",
                                     "RLSD(off)",
                                     "BeforeClose(thread" + window + ", device open)",
                                     "AfterClose(no thread, device closed)",
                                 }))
            << MethodName(method);

        // The system calls: the event mask is set before the line states are
        // read; at closing, pending I/O is aborted, then the thread clears
        // the mask and purges the queues, then the device is closed.
        const auto calls = fake.Calls();
        const int mask = IndexOf(calls, "SetCommMask", 0x05FF);
        const int abort = IndexOf(calls, "PurgeComm", platform::PurgeTxAbort | platform::PurgeRxAbort);
        const int cleared = IndexOf(calls, "SetCommMask", 0);
        const int purged = IndexOf(calls, "PurgeComm", platform::PurgeTxClear | platform::PurgeRxClear);
        const platform::Handle device = fake.CallsOf("SetupComm").at(0).handle;
        int modem = -1;
        int closed = -1;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].name == "GetCommModemStatus" && modem < 0)
                modem = static_cast<int>(i);
            if (calls[i].name == "CloseHandle" && calls[i].handle == device)
                closed = static_cast<int>(i);
        }
        EXPECT_GE(mask, 0) << MethodName(method);
        EXPECT_LT(mask, modem) << MethodName(method);
        EXPECT_LT(abort, cleared) << MethodName(method);
        EXPECT_LT(cleared, purged) << MethodName(method);
        EXPECT_LT(purged, closed) << MethodName(method);
        EXPECT_EQ(fake.OpenDeviceCount(), 0u);

        // The two events: the stop signal (manual, not set) and the wait's
        // (manual, set); both closed again.
        const auto events = fake.CallsOf("CreateEventA");
        ASSERT_EQ(events.size(), 2u) << MethodName(method);
        EXPECT_TRUE(events[0].flag && !events[0].initialState);
        EXPECT_TRUE(events[1].flag && events[1].initialState);
        EXPECT_EQ(fake.CountOf("CloseHandle"), 3u) << "two events and the device";
    }
}

TEST_F(ComPortOpenClose, ChangingPortWhileOpenClosesAndReopensWithAllEvents)
{
    fake.SetModemStatus(platform::MsDsrOn);
    Open(smThreadSync);
    port.SetPort("COM2");
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"CTS(off)", "DSR(off)", "RLSD(off)", "BeforeClose", "AfterClose",
                                                       "BeforeOpen", "AfterOpen", "CTS(off)", "DSR(on)", "RLSD(off)"}));
    EXPECT_EQ(fake.CallsOf("CreateFileA").at(0).path, "\\\\.\\COM2");
    EXPECT_TRUE(port.Connected());
    ASSERT_NE(port.EventThread(), nullptr);
    EXPECT_EQ(fake.OpenDeviceCount(), 1u);
}

TEST_F(ComPortOpenClose, ConnectedTrueTwiceOpensOnceAndEventsTakeEffectAtTheNextOpening)
{
    Open(smThreadSync, TComEvents{evRxChar});
    TComThread* const thread = port.EventThread();
    port.SetConnected(true);
    port.SetEvents(TComEvents{evRxChar, evRx80Full});
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_TRUE(log.Entries().empty());
    EXPECT_EQ(port.EventThread(), thread);
    EXPECT_EQ(fake.EventMask(port.DeviceHandle()), platform::EvRxChar);

    port.SetConnected(false);
    port.SetConnected(true);
    EXPECT_EQ(fake.EventMask(port.DeviceHandle()), platform::EvRxChar | platform::EvRx80Full);
}

TEST_F(ComPortOpenClose, DestroyingAnOpenPortClosesItFirst)
{
    auto owned = std::make_unique<TComPort>(nullptr);
    log.Attach(*owned);
    owned->SetPort("COM3");
    owned->SetConnected(true);
    ASSERT_TRUE(fake.WaitUntilWaitPending(FakeLimitMs));
    log.Clear();
    {
        tarvel_test::DeadlockGuard guard("destroying an open port");
        owned.reset();
    }
    EXPECT_EQ(log.Entries(),
              (std::vector<std::string>{"CTS(off)", "DSR(off)", "RLSD(off)", "BeforeClose", "AfterClose"}));
    EXPECT_EQ(fake.OpenDeviceCount(), 0u);
}

// --- The events of one wait

class ComPortDispatch : public EventThreadTest {};

TEST_F(ComPortDispatch, AllEventsOfOneWaitRunInTheFixedOrderOnEveryMethod)
{
    for (TSyncMethod method : AllMethods) {
        fake.QueueInput("abc");  // before the opening: queued, no event yet
        fake.SetErrorWord(platform::CeFrame);
        fake.SetModemStatus(platform::MsCtsOn | platform::MsDsrOn | platform::MsRlsdOn);
        Open(method);
        std::thread::id ranOn;
        port.SetOnRx80Full([&](TComponent*) {
            ranOn = std::this_thread::get_id();
            log.Add("Rx80Full");
        });
        fake.FireCommEvents(0x05FF);
        log.ServeUntil("Rx80Full");
        EXPECT_EQ(log.Entries(), (std::vector<std::string>{"Error(ceFrame)", "RxChar(3)", "TxEmpty", "Break", "Ring",
                                                           "CTS(on)", "DSR(on)", "RxFlag", "RLSD(on)", "Rx80Full"}))
            << MethodName(method) << ": OnRxBuf is never raised, although assigned";
        if (method == smNone)
            EXPECT_NE(ranOn, std::this_thread::get_id()) << "smNone runs the steps on the event thread";
        else
            EXPECT_EQ(ranOn, std::this_thread::get_id()) << MethodName(method) << " runs them on the main thread";
        port.SetConnected(false);
        log.Clear();
    }
}

TEST_F(ComPortDispatch, NothingToReportRaisesNothing)
{
    // An error event with an empty error word, or with only a parity error
    // while parity is not checked, raises no OnError; a received-bytes event
    // whose bytes are gone raises no OnRxChar.
    for (TSyncMethod method : AllMethods) {
        for (platform::DWORD word : {platform::DWORD{0}, platform::CeRxParity}) {
            fake.SetErrorWord(word);
            Open(method);
            fake.FireCommEvents(platform::EvErr | platform::EvRxChar | platform::EvTxEmpty);
            log.ServeUntil("TxEmpty");
            EXPECT_EQ(log.Entries(), std::vector<std::string>{"TxEmpty"})
                << MethodName(method) << ", error word " << word;
            port.SetConnected(false);
        }
    }
}

// The notification window's procedure: each code runs its own step; any
// other code runs nothing.
TEST_F(ComPortDispatch, EachNotificationCodeRunsItsStep)
{
    fake.QueueInput("ab");
    fake.SetModemStatus(platform::MsCtsOn | platform::MsDsrOn | platform::MsRlsdOn);
    Open(smWindowSync);
    platform::INotifyWindow* window = port.NotifyWindow();
    ASSERT_NE(window, nullptr);
    const struct {
        std::uintptr_t code;
        std::vector<std::string> entries;
    } cases[] = {
        {1, {"RxChar(2)"}},
        {2, {"RxFlag"}},
        {4, {"TxEmpty"}},
        {8, {"CTS(on)"}},
        {16, {"DSR(on)"}},
        {32, {"RLSD(on)"}},
        {64, {"Break"}},
        {128, {"Error(ceFrame)"}},
        {256, {"Ring"}},
        {1024, {"Rx80Full"}},
        {0x200, {}},
        {3, {}},
        {0, {}},
    };
    for (const auto& c : cases) {
        log.Clear();
        fake.SetErrorWord(platform::CeFrame);
        // From the window's own thread the procedure runs at once.
        EXPECT_EQ(window->SendMessageA(ComEventMessage, c.code, 0), 0);
        EXPECT_EQ(log.Entries(), c.entries) << "code " << c.code;
    }
}

TEST_F(ComPortDispatch, ReceivedBytesAreCountedWhenTheStepRunsNotWhenTheyArrived)
{
    Open(smThreadSync, TComEvents{evRxChar});
    fake.QueueInput("abc");
    // The event thread is delivering; the main thread has not served it yet.
    ASSERT_TRUE(fake.WaitUntilCalled("GetOverlappedResult", 1, FakeLimitMs));
    fake.QueueInput("de");
    log.ServeUntil("RxChar(5)");
    // The second arrival fired again; the handler read nothing, so five are
    // still waiting.
    log.ServeUntil("RxChar(5)", 2);
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{"RxChar(5)", "RxChar(5)"}));
}

}  // namespace
