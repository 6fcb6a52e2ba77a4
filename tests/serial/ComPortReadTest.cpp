// Reading on the scripted fake device: ReadText and ReadBytes, their records
// and completion events, and the steps they are made of.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "FakePortFixture.h"
#include "platform/Diagnostics.h"
#include "serial/AsyncRecord.h"

namespace {

using platform::DWORD;
using platform::Handle;

class ComPortRead : public FakePortTest {
protected:
    void SetUp() override
    {
        FakePortTest::SetUp();
        platform::SetDiagnosticSink([this](const std::string& line) { diagnostics.push_back(line); });
    }
    void TearDown() override { platform::SetDiagnosticSink({}); }

    // Every completion event the reads created (manual reset, signalled)
    // was closed again, and nothing else was closed.
    void ExpectEveryRecordFreed() const
    {
        const std::size_t created = fake.CountOf("CreateEventA");
        EXPECT_GE(created, 1u) << "no read record was made";
        for (const auto& create : fake.CallsOf("CreateEventA")) {
            EXPECT_TRUE(create.flag) << "manual reset";
            EXPECT_TRUE(create.initialState) << "created signalled";
        }
        EXPECT_EQ(fake.CountOf("CloseHandle"), created) << ::testing::PrintToString(CallNames());
        for (const auto& close : fake.CallsOf("CloseHandle"))
            EXPECT_NE(close.handle, port.DeviceHandle()) << "the device was closed instead of the event";
    }

    std::vector<std::string> diagnostics;
};

// An API that passes everything to the fake, and throws from one call after
// the fake has run it.
class ThrowingApi final : public platform::ISerialApi {
public:
    ThrowingApi(platform::ISerialApi& inner, std::string throwIn) : inner_(inner), throwIn_(std::move(throwIn)) {}

    Handle CreateFileA(const std::string& path, DWORD access, DWORD share, DWORD creation, DWORD flags) override
    {
        return inner_.CreateFileA(path, access, share, creation, flags);
    }
    bool CloseHandle(Handle h) override { return inner_.CloseHandle(h); }
    bool SetupComm(Handle h, DWORD in, DWORD out) override { return inner_.SetupComm(h, in, out); }
    bool SetCommState(Handle h, const platform::Dcb& dcb) override { return inner_.SetCommState(h, dcb); }
    bool SetCommTimeouts(Handle h, const platform::CommTimeouts& t) override { return inner_.SetCommTimeouts(h, t); }
    bool SetCommMask(Handle h, DWORD mask) override { return inner_.SetCommMask(h, mask); }
    bool WaitCommEvent(Handle h, DWORD* mask, platform::Overlapped* ov) override
    {
        return inner_.WaitCommEvent(h, mask, ov);
    }
    bool GetOverlappedResult(Handle h, platform::Overlapped* ov, DWORD* transferred, bool wait) override
    {
        return inner_.GetOverlappedResult(h, ov, transferred, wait);
    }
    bool ReadFile(Handle h, void* buffer, DWORD count, DWORD* read, platform::Overlapped* ov) override
    {
        const bool ok = inner_.ReadFile(h, buffer, count, read, ov);
        Maybe("ReadFile");
        return ok;
    }
    bool ClearCommError(Handle h, DWORD* errors, platform::ComStat* stat) override
    {
        const bool ok = inner_.ClearCommError(h, errors, stat);
        Maybe("ClearCommError");
        return ok;
    }
    bool GetCommModemStatus(Handle h, DWORD* status) override { return inner_.GetCommModemStatus(h, status); }
    bool PurgeComm(Handle h, DWORD flags) override { return inner_.PurgeComm(h, flags); }
    Handle CreateEventA(bool manualReset, bool initialState) override
    {
        return inner_.CreateEventA(manualReset, initialState);
    }
    bool SetEvent(Handle h) override { return inner_.SetEvent(h); }
    bool ResetEvent(Handle h) override { return inner_.ResetEvent(h); }
    DWORD WaitForSingleObject(Handle h, DWORD ms) override
    {
        Maybe("WaitForSingleObject");
        return inner_.WaitForSingleObject(h, ms);
    }
    DWORD WaitForMultipleObjects(DWORD count, const Handle* handles, bool all, DWORD ms) override
    {
        return inner_.WaitForMultipleObjects(count, handles, all, ms);
    }
    void Sleep(DWORD ms) override { inner_.Sleep(ms); }
    DWORD GetLastError() override { return inner_.GetLastError(); }

private:
    void Maybe(const char* name)
    {
        if (throwIn_ == name)
            throw std::runtime_error(std::string(name) + " raised");
    }
    platform::ISerialApi& inner_;
    std::string throwIn_;
};

// --- What a read returns -------------------------------------------------------------

TEST_F(ComPortRead, TextHoldsExactlyTheBytesReadNulIncluded)
{
    struct Case {
        const char* what;
        std::string queued;
        std::int32_t count;
        std::string text;
        std::size_t left;  // bytes still queued afterwards
    };
    const Case cases[] = {
        {"a frame shorter than the count",
         "\x02"
         "00AABBCCDD33\x03",
         100,
         "\x02"
         "00AABBCCDD33\x03",
         0},
        {"a NUL byte inside",
         std::string("\x02"
                     "00\0AB\x03",
                     7),
         100,
         std::string("\x02"
                     "00\0AB\x03",
                     7),
         0},
        {"a NUL byte at the end", std::string("AB\0", 3), 100, std::string("AB\0", 3), 0},
        {"nothing waiting", "", 100, "", 0},
        {"more waiting than the count", std::string(130, 'x'), 100, std::string(100, 'x'), 30},
        {"exactly the count", "ABCDE", 5, "ABCDE", 0},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake.QueueInput(c.queued);
        std::string text = "stale text from before";
        const std::int32_t n = port.ReadText(text, c.count);
        EXPECT_EQ(n, static_cast<std::int32_t>(c.text.size()));
        EXPECT_EQ(text.size(), static_cast<std::size_t>(n));
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(fake.InputQueued(), c.left);
        ASSERT_FALSE(fake.CallsOf("ReadFile").empty());
        EXPECT_EQ(fake.CallsOf("ReadFile").back().count, static_cast<DWORD>(c.count));
        // Drain for the next case.
        std::string rest;
        while (port.ReadText(rest, 100) > 0) {
        }
    }
}

TEST_F(ComPortRead, ARestLeftInTheQueueComesWithTheNextRead)
{
    Open();
    fake.QueueInput(std::string(100, 'a') + std::string(30, 'b'));
    std::string text;
    EXPECT_EQ(port.ReadText(text, 100), 100);
    EXPECT_EQ(text, std::string(100, 'a'));
    EXPECT_EQ(port.ReadText(text, 100), 30);
    EXPECT_EQ(text, std::string(30, 'b'));
}

TEST_F(ComPortRead, ReadBytesFillsTheStartOfTheBuffer)
{
    Open();
    fake.QueueInput(std::string("AB\0CD", 5));
    char buffer[8] = {'.', '.', '.', '.', '.', '.', '.', '.'};
    EXPECT_EQ(port.ReadBytes(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 8), std::string("AB\0C....", 8));
    EXPECT_EQ(fake.InputQueued(), 1u);
}

// One read is: a record with its event, ReadFile of the count, the wait on
// the event, the outcome, the driver's error flags once, the event closed.
TEST_F(ComPortRead, OneReadMakesTheseCallsAndDiscardsThePendingErrorFlags)
{
    Open();
    fake.QueueInput("12");
    fake.SetErrorWord(platform::CeFrame | platform::CeOverrun);
    std::string text;
    EXPECT_EQ(port.ReadText(text, 100), 2);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"CreateEventA", "ReadFile", "WaitForSingleObject",
                                                     "GetOverlappedResult", "ClearCommError", "CloseHandle"}));
    const Handle event = fake.CallsOf("WaitForSingleObject")[0].handle;
    EXPECT_EQ(fake.CallsOf("WaitForSingleObject")[0].milliseconds, platform::Infinite);
    EXPECT_EQ(fake.CallsOf("CloseHandle")[0].handle, event);
    EXPECT_FALSE(fake.CallsOf("GetOverlappedResult")[0].flag) << "the outcome is fetched without waiting";
    EXPECT_EQ(port.CollectErrors(), TComErrors{}) << "the read took the pending line errors";
}

// --- Reads that start nothing ------------------------------------------------------

TEST_F(ComPortRead, ACountOfZeroOrLessStartsNoRead)
{
    Open();
    fake.QueueInput("waiting");
    for (const std::int32_t count : {0, -1, INT_MIN}) {
        SCOPED_TRACE(count);
        std::string text = "stale";
        EXPECT_EQ(port.ReadText(text, count), 0);
        EXPECT_EQ(text, "");
        char buffer[4] = {'.', '.', '.', '.'};
        EXPECT_EQ(port.ReadBytes(buffer, count), 0);
        EXPECT_EQ(std::string(buffer, 4), "....");
    }
    EXPECT_EQ(CallNames(), std::vector<std::string>{}) << "no record, no read";
    EXPECT_EQ(fake.InputQueued(), 7u);
}

TEST_F(ComPortRead, AClosedPortReadsNothingAndCallsNothing)
{
    fake.QueueInput("waiting");
    std::string text = "stale";
    EXPECT_EQ(port.ReadText(text, 100), 0);
    EXPECT_EQ(text, "");
    char buffer[4] = {'.', '.', '.', '.'};
    EXPECT_EQ(port.ReadBytes(buffer, 4), 0);
    EXPECT_EQ(std::string(buffer, 4), "....");

    Open();
    port.SetConnected(false);
    fake.ClearCalls();
    EXPECT_EQ(port.ReadText(text, 100), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(CallNames(), std::vector<std::string>{});
    EXPECT_EQ(fake.InputQueued(), 7u);
}

TEST_F(ComPortRead, ReadBytesIntoNoBufferReadsNothing)
{
    Open();
    fake.QueueInput("waiting");
    EXPECT_EQ(port.ReadBytes(nullptr, 10), 0);
    EXPECT_EQ(fake.InputQueued(), 7u);
}

// --- Failures give what was transferred, and free the record -----------------------

TEST_F(ComPortRead, AFailedReadReturnsWhatWasTransferredAndFreesItsRecord)
{
    struct Case {
        const char* what;
        const char* failing;
        DWORD error;
        bool readsWait;
    };
    const Case cases[] = {
        {"the device refuses the read", "ReadFile", platform::ErrorInvalidHandle, false},
        {"a time-out with no byte reported as an error (Wine)", "GetOverlappedResult", platform::ErrorTimeout, false},
        {"the wait fails with the read pending", "WaitForSingleObject", platform::ErrorInvalidHandle, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Open();
        fake.SetReadsWait(c.readsWait);
        fake.FailCall(c.failing, c.error);
        std::string text = "stale";
        EXPECT_EQ(port.ReadText(text, 100), 0);
        EXPECT_EQ(text, "");
        fake.FailCall(c.failing, 0);
        ExpectEveryRecordFreed();
        // No read is left pending on the device: a byte now stays queued.
        fake.QueueInput("X");
        EXPECT_EQ(fake.InputQueued(), 1u);
        std::string rest;
        fake.SetReadsWait(false);
        EXPECT_EQ(port.ReadText(rest, 100), 1);
        port.SetConnected(false);
    }
}

TEST_F(ComPortRead, AFailedWaitAbortsThePendingReadBeforeItsRecordGoes)
{
    Open();
    fake.SetReadsWait(true);
    fake.QueueInput("AB");
    fake.FailCall("WaitForSingleObject", platform::ErrorInvalidHandle);
    std::string text;
    EXPECT_EQ(port.ReadText(text, 100), 0);
    ASSERT_EQ(fake.CountOf("PurgeComm"), 1u);
    EXPECT_EQ(fake.CallsOf("PurgeComm")[0].flags, platform::PurgeRxAbort);
    const auto names = CallNames();
    const auto purge = std::find(names.begin(), names.end(), "PurgeComm");
    const auto close = std::find(names.begin(), names.end(), "CloseHandle");
    EXPECT_LT(purge, close) << "the record went while its read was pending";
}

TEST_F(ComPortRead, AnAbortedReadReturnsTheBytesItHad)
{
    Open();
    fake.SetReadsWait(true);
    fake.QueueInput("AB");
    std::thread aborter([&] {
        ASSERT_TRUE(fake.WaitUntilCalled("WaitForSingleObject", 1, 5000));
        port.AbortPending();
    });
    std::string text;
    const std::int32_t n = port.ReadText(text, 100);
    aborter.join();
    EXPECT_EQ(n, 2);
    EXPECT_EQ(text, "AB");
    ExpectEveryRecordFreed();
}

TEST_F(ComPortRead, TheRecordIsFreedWhenTheReadRaises)
{
    struct Case {
        const char* where;
        bool pending;  // the read is still pending when the call raises
    };
    for (const Case c : {Case{"ReadFile", true}, Case{"WaitForSingleObject", true}, Case{"ClearCommError", false}}) {
        SCOPED_TRACE(c.where);
        Open();
        fake.SetReadsWait(c.pending);
        ThrowingApi throwing(fake, c.where);
        {
            platform::ScopedSerialApi use(throwing);  // the fake again at the end: the port closes through it
            std::string text = "stale";
            EXPECT_THROW(port.ReadText(text, 100), std::runtime_error);
            EXPECT_EQ(text, "");
            char buffer[4];
            EXPECT_THROW(port.ReadBytes(buffer, 4), std::runtime_error);
        }
        ExpectEveryRecordFreed();
        fake.QueueInput("X");
        EXPECT_EQ(fake.InputQueued(), 1u) << "a read outlived its call";
        fake.SetReadsWait(false);
        std::string rest;
        EXPECT_EQ(port.ReadText(rest, 100), 1);
        port.SetConnected(false);
    }
}

TEST_F(ComPortRead, WithoutAnEventObjectNoReadIsStarted)
{
    Open();
    fake.QueueInput("AB");
    fake.FailCall("CreateEventA", platform::ErrorNotEnoughMemory);
    std::string text = "stale";
    EXPECT_EQ(port.ReadText(text, 100), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(fake.CountOf("ReadFile"), 0u);
    EXPECT_EQ(fake.InputQueued(), 2u);
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find("serial port COM1"), std::string::npos) << diagnostics[0];
}

// --- The steps ----------------------------------------------------------------------

TEST_F(ComPortRead, StepsWithoutARecordRaiseInvalidAsyncParameter)
{
    Open();
    char buffer[4];
    std::string text = "stale";
    auto expectCode4 = [](const auto& step) {
        try {
            step();
            ADD_FAILURE() << "no exception";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorCode(), 4);
            EXPECT_EQ(e.WinErrorCode(), -1);
            EXPECT_EQ(e.Message(), "Invalid Async parameter");
        }
    };
    expectCode4([&] { StartRead(port, buffer, 4, nullptr); });
    expectCode4([&] { StartReadText(port, text, 4, nullptr); });
    expectCode4([&] { WaitForCompletion(port, nullptr); });
    EXPECT_EQ(fake.CountOf("ReadFile"), 0u);
}

TEST_F(ComPortRead, ARecordWithNoReadStartedCompletesAtOnceWithNothing)
{
    Open();
    PAsyncRecord record = NewAsyncRecord();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Kind, okNone);
    EXPECT_NE(record->Overlapped.hEvent, platform::NullHandle);
    EXPECT_EQ(record->Overlapped.Internal, 0u);
    EXPECT_EQ(record->Overlapped.InternalHigh, 0u);
    EXPECT_EQ(WaitForCompletion(port, record), 0);
    EXPECT_EQ(fake.CountOf("ClearCommError"), 0u) << "error flags are only taken after a read";

    // StartReadText with nothing to read sizes the text and starts nothing.
    std::string text = "stale";
    StartReadText(port, text, 0, record);
    EXPECT_EQ(text, "");
    EXPECT_EQ(record->Kind, okNone);
    EXPECT_EQ(fake.CountOf("ReadFile"), 0u);

    FreeAsyncRecord(record);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(fake.CountOf("CloseHandle"), 1u);
    FreeAsyncRecord(record);  // an empty reference: nothing
    EXPECT_EQ(fake.CountOf("CloseHandle"), 1u);
}

}  // namespace
