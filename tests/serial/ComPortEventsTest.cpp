// Event dispatch without the event thread: the event mask, the status
// queries, opening a device that cannot be opened, and opening and closing
// with no event selected. (With events selected a thread runs: see
// threads/.)

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "EventLog.h"
#include "FakePortFixture.h"
#include "framework/ExceptionHandler.h"
#include "serial/ComThread.h"

namespace {

using platform::DWORD;

TEST(ComEventMask, EachEventHasItsOwnBitAndTheTwoConversionsAreInverse)
{
    const struct {
        TComEvent event;
        DWORD mask;
    } rows[] = {
        {evRxChar, 0x0001}, {evRxFlag, 0x0002}, {evTxEmpty, 0x0004}, {evCTS, 0x0008},  {evDSR, 0x0010},
        {evRLSD, 0x0020},   {evBreak, 0x0040},  {evError, 0x0080},   {evRing, 0x0100}, {evRx80Full, 0x0400},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EventsToMask(TComEvents{row.event}), row.mask) << int(row.event);
        EXPECT_EQ(MaskToEvents(row.mask), TComEvents{row.event}) << int(row.event);
    }
    EXPECT_EQ(EventsToMask(TComEvents::All()), 0x05FFu);
    EXPECT_EQ(MaskToEvents(0x05FF), TComEvents::All());
    EXPECT_EQ(EventsToMask({}), 0u);
    EXPECT_EQ(EventsToMask(TComEvents{evRxChar, evRx80Full}), 0x0401u);
    EXPECT_EQ(MaskToEvents(0x0401), (TComEvents{evRxChar, evRx80Full}));
}

TEST(ComEventMask, BitsOutsideTheTableAreIgnored)
{
    EXPECT_TRUE(MaskToEvents(0x0200).Empty());  // EV_PERR, not monitored
    EXPECT_TRUE(MaskToEvents(0xFFFFF800u).Empty());
    EXPECT_EQ(MaskToEvents(0xFFFFFFFFu), TComEvents::All());
}

class ComPortStatus : public FakePortTest {};

TEST_F(ComPortStatus, InQueueCountIsTheInputQueueAndZeroWhenTheCallFails)
{
    Open();
    EXPECT_EQ(port.InQueueCount(), 0);
    fake.QueueInput("0123456789");
    EXPECT_EQ(port.InQueueCount(), 10);
    EXPECT_EQ(fake.CallsOf("ClearCommError").at(0).handle, port.DeviceHandle());

    fake.FailCall("ClearCommError", platform::ErrorInvalidHandle);
    EXPECT_EQ(port.InQueueCount(), 0);
}

TEST_F(ComPortStatus, LineSignalsMapTheModemStatusAndAreEmptyWhenTheCallFails)
{
    Open();
    const struct {
        DWORD status;
        TLineSignals signals;
    } cases[] = {
        {0, {}},
        {platform::MsCtsOn, {lsCTS}},
        {platform::MsDsrOn, {lsDSR}},
        {platform::MsRingOn, {lsRing}},
        {platform::MsRlsdOn, {lsRLSD}},
        {0xF0, {lsCTS, lsDSR, lsRing, lsRLSD}},
        {0x0F, {}},  // bits below the lines are not lines
    };
    for (const auto& c : cases) {
        fake.SetModemStatus(c.status);
        EXPECT_EQ(port.LineSignals(), c.signals) << "status " << c.status;
    }
    fake.SetModemStatus(0xF0);
    fake.FailCall("GetCommModemStatus", platform::ErrorInvalidHandle);
    EXPECT_TRUE(port.LineSignals().Empty());
}

TEST_F(ComPortStatus, CollectErrorsMapsTheErrorWordAndClearsIt)
{
    Open();
    const struct {
        const char* what;
        DWORD word;
        bool check;
        TComErrors errors;
    } cases[] = {
        {"frame", platform::CeFrame, false, {ceFrame}},
        {"overrun", platform::CeOverrun, false, {ceOverrun}},
        {"input queue overflow", platform::CeRxOver, false, {ceRxOver}},
        {"output queue full", platform::CeTxFull, false, {ceTxFull}},
        {"break", platform::CeBreak, false, {ceBreak}},
        {"I/O error", platform::CeIoe, false, {ceIO}},
        {"mode", platform::CeMode, false, {ceMode}},
        {"parity, checked", platform::CeRxParity, true, {ceRxParity}},
        {"parity, not checked", platform::CeRxParity, false, {}},
        {"parity and frame, not checked", platform::CeRxParity | platform::CeFrame, false, {ceFrame}},
        {"unmapped flags", 0x0020 | 0x0040 | 0x0080 | 0x0200, true, {}},
        {"nothing", 0, true, {}},
    };
    for (const auto& c : cases) {
        port.Parity()->SetCheck(c.check);
        fake.SetErrorWord(c.word);
        EXPECT_EQ(port.CollectErrors(), c.errors) << c.what;
        EXPECT_TRUE(port.CollectErrors().Empty()) << c.what << ": read once, the word is cleared";
    }
}

TEST_F(ComPortStatus, CollectErrorsRaisesCode10WithTheSystemCodeWhenTheCallFails)
{
    Open();
    fake.FailCall("ClearCommError", platform::ErrorInvalidHandle);
    try {
        port.CollectErrors();
        FAIL() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 10);
        EXPECT_EQ(e.WinErrorCode(), 6);
        EXPECT_STREQ(e.what(), "ClearCommError function failed (win error code: 6)");
    }
}

// --- Opening a device that cannot be opened: an error, and nothing opened.

// A port whose events are logged. The log goes before the port (a member of
// the base), so the port is closed while the log still exists.
class LoggedPortTest : public FakePortTest {
protected:
    LoggedPortTest() { log.Attach(port); }
    ~LoggedPortTest() override { port.SetConnected(false); }
    tarvel_test::EventLog log;
};

class ComPortOpenFailure : public LoggedPortTest {};

TEST_F(ComPortOpenFailure, RaisesCode1WithTheSystemCodeAndLeavesThePortClosed)
{
    struct Case {
        const char* what;
        std::function<void()> prepare;
        int winError;
    };
    TComPort other(nullptr);
    other.SetEvents({});
    const Case cases[] = {
        {"no such device", [&] { fake.SetOpenError(platform::ErrorFileNotFound); }, 2},
        {"another program has it",
         [&] {
             fake.SetOpenError(0);
             other.SetConnected(true);
         },
         5},
    };
    for (const Case& c : cases) {
        c.prepare();
        fake.ClearCalls();
        log.Clear();
        try {
            port.SetConnected(true);
            ADD_FAILURE() << c.what << ": no exception";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorCode(), 1) << c.what;
            EXPECT_EQ(e.WinErrorCode(), c.winError) << c.what;
            EXPECT_EQ(std::string(e.what()),
                      "Unable to open com port (win error code: " + std::to_string(c.winError) + ")");
        }
        EXPECT_FALSE(port.Connected()) << c.what;
        EXPECT_EQ(port.DeviceHandle(), platform::InvalidHandle) << c.what;
        EXPECT_EQ(port.EventThread(), nullptr) << c.what;
        EXPECT_EQ(log.Entries(), std::vector<std::string>{"BeforeOpen"}) << c.what;
        EXPECT_EQ(CallNames(), (std::vector<std::string>{"CreateFileA", "GetLastError"})) << c.what;
    }
}

TEST_F(ComPortOpenFailure, NoThreadStartsEvenWithEventsSelected)
{
    port.SetEvents(TComEvents::All());
    port.SetSyncMethod(smWindowSync);
    fake.SetOpenError(platform::ErrorFileNotFound);
    EXPECT_THROW(port.SetConnected(true), EComPort);
    EXPECT_EQ(port.EventThread(), nullptr);
    EXPECT_EQ(port.NotifyWindow(), nullptr);
    EXPECT_EQ(fake.CountOf("CreateEventA"), 0u);
    EXPECT_EQ(fake.CountOf("SetCommMask"), 0u);

    // The device comes back: opening works again.
    fake.SetOpenError(0);
    port.SetEvents({});
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPortOpenFailure, AfterLoadingTheErrorGoesToTheCentralHandler)
{
    std::vector<std::string> seen;
    const void* source = nullptr;
    const TExceptionHandler before = SetExceptionHandler([&](const std::exception& e, const void* s) {
        seen.push_back(e.what());
        source = s;
    });
    fake.SetOpenError(platform::ErrorFileNotFound);
    port.BeginLoading();
    port.SetConnected(true);
    EXPECT_NO_THROW(port.EndLoading());
    SetExceptionHandler(before);

    EXPECT_EQ(seen, std::vector<std::string>{"Unable to open com port (win error code: 2)"});
    EXPECT_EQ(source, &port);
    EXPECT_FALSE(port.Connected());
}

// --- Opening and closing with no event selected: no thread, no window, the
// same events.

class ComPortNoEvents : public LoggedPortTest {};

TEST_F(ComPortNoEvents, NoThreadNoWindowButAllOpenAndCloseEvents)
{
    for (TSyncMethod method : {smThreadSync, smWindowSync, smNone}) {
        port.SetSyncMethod(method);
        log.Clear();
        fake.SetModemStatus(platform::MsDsrOn);
        port.SetConnected(true);
        EXPECT_FALSE(port.EventThreadRunning());
        EXPECT_EQ(port.EventThread(), nullptr);
        EXPECT_EQ(port.NotifyWindow(), nullptr);
        EXPECT_EQ(fake.CountOf("CreateEventA"), 0u);
        EXPECT_EQ(fake.CountOf("SetCommMask"), 0u);
        port.SetConnected(false);
        EXPECT_EQ(log.Entries(),
                  (std::vector<std::string>{"BeforeOpen", "AfterOpen", "CTS(off)", "DSR(on)", "RLSD(off)", "CTS(off)",
                                            "DSR(off)", "RLSD(off)", "BeforeClose", "AfterClose"}))
            << "sync method " << int(method);
    }
}

TEST_F(ComPortNoEvents, ConnectedTrueTwiceOpensOnceAndClosingAClosedPortDoesNothing)
{
    port.SetConnected(true);
    log.Clear();
    fake.ClearCalls();
    port.SetConnected(true);
    port.OpenPort();
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_TRUE(log.Entries().empty());

    port.SetConnected(false);
    log.Clear();
    fake.ClearCalls();
    port.ClosePort();
    port.SetConnected(false);
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_TRUE(log.Entries().empty());
}

TEST_F(ComPortNoEvents, AnExceptionFromBeforeOpenLeavesBeforeTheDeviceIsOpened)
{
    port.SetOnBeforeOpen([](TComponent*) { throw Exception("not now"); });
    EXPECT_THROW(port.SetConnected(true), Exception);
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(fake.Calls().empty());
}

}  // namespace
