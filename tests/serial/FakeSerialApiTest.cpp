// The scripted device behaves as the component's later parts expect of a
// Windows serial device: exclusive opening, overlapped comm-event waits that
// complete when the test fires events, reads of queued bytes, and event
// objects whose waits really block until another thread sets them.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/fake/FakeSerialApi.h"

namespace {

using namespace platform;

TEST(FakeSerialApi, OpeningIsExclusiveAndCanBeScriptedToFail)
{
    FakeSerialApi api;
    const Handle a = api.CreateFileA("\\\\.\\COM1", GenericRead | GenericWrite, 0, OpenExisting, 0);
    ASSERT_NE(a, InvalidHandle);
    EXPECT_EQ(api.CreateFileA("\\\\.\\COM1", GenericRead, 0, OpenExisting, 0), InvalidHandle);
    EXPECT_EQ(api.GetLastError(), ErrorAccessDenied);

    api.SetOpenError(ErrorFileNotFound);
    EXPECT_EQ(api.CreateFileA("\\\\.\\COM9", GenericRead, 0, OpenExisting, 0), InvalidHandle);
    EXPECT_EQ(api.GetLastError(), ErrorFileNotFound);
    api.SetOpenError(ErrorSuccess);

    EXPECT_TRUE(api.CloseHandle(a));
    EXPECT_FALSE(api.CloseHandle(a));
    EXPECT_EQ(api.GetLastError(), ErrorInvalidHandle);
    const Handle b = api.CreateFileA("\\\\.\\COM1", GenericRead, 0, OpenExisting, 0);
    EXPECT_NE(b, InvalidHandle);

    // Calls on a handle that is no open device fail as on Windows.
    EXPECT_FALSE(api.SetCommState(a, Dcb{}));
    EXPECT_FALSE(api.SetupComm(InvalidHandle, 1, 1));
    EXPECT_EQ(api.GetLastError(), ErrorInvalidHandle);

    api.FailCall("SetCommState", ErrorGenFailure);
    EXPECT_FALSE(api.SetCommState(b, Dcb{}));
    EXPECT_EQ(api.GetLastError(), ErrorGenFailure);
    api.FailCall("SetCommState", ErrorSuccess);
    Dcb valid;  // 9600 8N1: a Dcb of zeros is refused as a device refuses it
    valid.BaudRate = 9600;
    valid.ByteSize = 8;
    EXPECT_TRUE(api.SetCommState(b, valid));
    EXPECT_EQ(api.CountOf("SetCommState"), 3u);  // failed calls are recorded too
}

TEST(FakeSerialApi, LastErrorBelongsToTheCallingThread)
{
    FakeSerialApi api;
    api.CloseHandle(12345);
    DWORD other = 1;
    std::thread([&] { other = api.GetLastError(); }).join();
    EXPECT_EQ(other, ErrorSuccess);
    EXPECT_EQ(api.GetLastError(), ErrorInvalidHandle);
}

TEST(FakeSerialApi, EventObjectsAutoAndManualReset)
{
    FakeSerialApi api;
    const Handle manual = api.CreateEventA(true, false);
    const Handle automatic = api.CreateEventA(false, true);
    EXPECT_EQ(api.WaitForSingleObject(manual, 0), WaitTimeout);
    EXPECT_EQ(api.WaitForSingleObject(automatic, 0), WaitObject0);
    EXPECT_EQ(api.WaitForSingleObject(automatic, 0), WaitTimeout);  // consumed

    api.SetEvent(manual);
    EXPECT_EQ(api.WaitForSingleObject(manual, 0), WaitObject0);
    EXPECT_EQ(api.WaitForSingleObject(manual, 0), WaitObject0);  // stays set
    api.ResetEvent(manual);
    EXPECT_EQ(api.WaitForSingleObject(manual, 0), WaitTimeout);

    const Handle both[] = {manual, automatic};
    api.SetEvent(automatic);
    EXPECT_EQ(api.WaitForMultipleObjects(2, both, false, 0), WaitObject0 + 1);
    api.SetEvent(manual);
    api.SetEvent(automatic);
    EXPECT_EQ(api.WaitForMultipleObjects(2, both, false, 0), WaitObject0);  // the lowest index wins
    EXPECT_EQ(api.WaitForMultipleObjects(2, both, true, 0), WaitObject0);
    EXPECT_EQ(api.WaitForSingleObject(automatic, 0), WaitTimeout);  // consumed by the wait for all

    EXPECT_TRUE(api.CloseHandle(manual));
    EXPECT_EQ(api.WaitForSingleObject(manual, 0), WaitFailed);
    EXPECT_EQ(api.GetLastError(), ErrorInvalidHandle);
}

TEST(FakeSerialApi, AWaitBlocksUntilAnotherThreadSetsTheEvent)
{
    FakeSerialApi api;
    const Handle stop = api.CreateEventA(true, false);
    const Handle other = api.CreateEventA(true, false);
    DWORD result = 0;
    std::thread waiter([&] {
        const Handle list[] = {other, stop};
        result = api.WaitForMultipleObjects(2, list, false, Infinite);
    });
    // The waiter is blocked (or not yet waiting); either way it returns only
    // once the event is set.
    api.SetEvent(stop);
    waiter.join();
    EXPECT_EQ(result, WaitObject0 + 1);
}

TEST(FakeSerialApi, CommEventWaitCompletesWhenTheTestFiresEvents)
{
    FakeSerialApi api;
    const Handle dev = api.CreateFileA("\\\\.\\COM1", GenericRead, 0, OpenExisting, FileFlagOverlapped);
    Overlapped ov;
    ov.hEvent = api.CreateEventA(true, true);
    DWORD mask = 0;
    DWORD n = 0;

    ASSERT_TRUE(api.SetCommMask(dev, EvRxChar | EvErr));
    EXPECT_FALSE(api.WaitCommEvent(dev, &mask, &ov));
    EXPECT_EQ(api.GetLastError(), ErrorIoPending);
    EXPECT_TRUE(api.WaitPending(dev));
    EXPECT_EQ(api.WaitForSingleObject(ov.hEvent, 0), WaitTimeout);
    EXPECT_FALSE(api.GetOverlappedResult(dev, &ov, &n, false));
    EXPECT_EQ(api.GetLastError(), ErrorIoIncomplete);

    api.FireCommEvents(EvBreak);  // not in the mask: nothing
    EXPECT_TRUE(api.WaitPending(dev));
    api.FireCommEvents(EvErr | EvBreak | EvRxChar);
    EXPECT_EQ(api.WaitForSingleObject(ov.hEvent, 0), WaitObject0);
    EXPECT_TRUE(api.GetOverlappedResult(dev, &ov, &n, false));
    EXPECT_EQ(mask, EvErr | EvRxChar);

    // Events while no wait is pending complete the next wait at once.
    api.FireCommEvents(EvErr);
    mask = 0;
    EXPECT_TRUE(api.WaitCommEvent(dev, &mask, &ov));
    EXPECT_EQ(mask, EvErr);
    EXPECT_EQ(api.WaitForSingleObject(ov.hEvent, 0), WaitObject0);

    // A new mask ends a pending wait, reporting no event.
    EXPECT_FALSE(api.WaitCommEvent(dev, &mask, &ov));
    EXPECT_TRUE(api.SetCommMask(dev, 0));
    EXPECT_EQ(api.WaitForSingleObject(ov.hEvent, 0), WaitObject0);
    EXPECT_TRUE(api.GetOverlappedResult(dev, &ov, &n, false));
    EXPECT_EQ(mask, 0u);
}

// The loop an event thread runs, against the fake: bytes arriving fire
// EV_RXCHAR into the pending wait, and the stop event ends the loop.
TEST(FakeSerialApi, RunsAnEventThreadLoop)
{
    FakeSerialApi api;
    const Handle dev = api.CreateFileA("\\\\.\\COM1", GenericRead, 0, OpenExisting, FileFlagOverlapped);
    const Handle stop = api.CreateEventA(true, false);
    api.SetCommMask(dev, EvRxChar);
    int received = 0;
    std::thread thread([&] {
        Overlapped ov;
        ov.hEvent = api.CreateEventA(true, true);
        const Handle list[] = {stop, ov.hEvent};
        DWORD mask = 0;  // written when the wait ends, which may be after the loop
        for (;;) {
            DWORD n = 0;
            api.WaitCommEvent(dev, &mask, &ov);
            if (api.WaitForMultipleObjects(2, list, false, Infinite) != WaitObject0 + 1)
                break;
            if (api.GetOverlappedResult(dev, &ov, &n, false) && (mask & EvRxChar) != 0) {
                char buffer[8];
                DWORD read = 0;
                api.ReadFile(dev, buffer, sizeof buffer, &read, nullptr);
                received += static_cast<int>(read);
            }
        }
        api.SetCommMask(dev, 0);
        api.CloseHandle(ov.hEvent);
    });
    for (const char* bytes : {"abc", "de"}) {
        EXPECT_TRUE(api.WaitUntilWaitPending(10000));
        api.QueueInput(bytes);
    }
    EXPECT_TRUE(api.WaitUntilWaitPending(10000));  // the last batch was read
    api.SetEvent(stop);
    thread.join();
    EXPECT_EQ(received, 5);
    EXPECT_EQ(api.InputQueued(), 0u);
}

TEST(FakeSerialApi, ReadsTakeQueuedBytes)
{
    FakeSerialApi api;
    const Handle dev = api.CreateFileA("\\\\.\\COM1", GenericRead, 0, OpenExisting, FileFlagOverlapped);
    Overlapped ov;
    ov.hEvent = api.CreateEventA(true, true);
    char buffer[16] = {};
    DWORD n = 99;

    // Nothing queued: completes at once with nothing.
    EXPECT_TRUE(api.ReadFile(dev, buffer, 4, &n, &ov));
    EXPECT_EQ(n, 0u);

    api.QueueInput(std::string("ab\0cdef", 7));
    DWORD errors = 1;
    ComStat stat;
    api.SetErrorWord(CeFrame | CeOverrun);
    ASSERT_TRUE(api.ClearCommError(dev, &errors, &stat));
    EXPECT_EQ(errors, CeFrame | CeOverrun);
    EXPECT_EQ(stat.cbInQue, 7u);
    ASSERT_TRUE(api.ClearCommError(dev, &errors, &stat));
    EXPECT_EQ(errors, 0u);  // read once, then cleared

    EXPECT_TRUE(api.ReadFile(dev, buffer, 4, &n, &ov));
    EXPECT_TRUE(api.GetOverlappedResult(dev, &ov, &n, false));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::string(buffer, 4), std::string("ab\0c", 4));
    EXPECT_EQ(api.InputQueued(), 3u);

    api.SetModemStatus(MsCtsOn | MsRlsdOn);
    DWORD modem = 0;
    EXPECT_TRUE(api.GetCommModemStatus(dev, &modem));
    EXPECT_EQ(modem, MsCtsOn | MsRlsdOn);

    EXPECT_TRUE(api.PurgeComm(dev, PurgeRxClear));
    EXPECT_EQ(api.InputQueued(), 0u);
}

TEST(FakeSerialApi, AWaitingReadEndsWhenEnoughArrivesOrWhenAborted)
{
    FakeSerialApi api;
    api.SetReadsWait(true);
    const Handle dev = api.CreateFileA("\\\\.\\COM1", GenericRead, 0, OpenExisting, FileFlagOverlapped);
    Overlapped ov;
    ov.hEvent = api.CreateEventA(true, true);
    char buffer[8] = {};
    DWORD n = 0;

    api.QueueInput("ab");
    EXPECT_FALSE(api.ReadFile(dev, buffer, 4, &n, &ov));
    EXPECT_EQ(api.GetLastError(), ErrorIoPending);
    EXPECT_EQ(api.WaitForSingleObject(ov.hEvent, 0), WaitTimeout);
    api.QueueInput("cdef");
    EXPECT_EQ(api.WaitForSingleObject(ov.hEvent, 0), WaitObject0);
    EXPECT_TRUE(api.GetOverlappedResult(dev, &ov, &n, false));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(api.InputQueued(), 2u);

    // Two bytes queued, six asked: pending until PurgeComm aborts it.
    EXPECT_FALSE(api.ReadFile(dev, buffer, 6, &n, &ov));
    DWORD done = 0;
    std::thread waiter([&] { api.GetOverlappedResult(dev, &ov, &done, true); });
    api.PurgeComm(dev, PurgeTxAbort | PurgeRxAbort);
    waiter.join();
    EXPECT_EQ(done, 2u);
    EXPECT_FALSE(api.GetOverlappedResult(dev, &ov, &n, false));
    EXPECT_EQ(api.GetLastError(), ErrorOperationAborted);
    EXPECT_EQ(std::string(buffer, 2), "ef");
}

}  // namespace
