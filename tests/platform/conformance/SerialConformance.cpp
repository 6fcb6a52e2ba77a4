// What every serial back end does with a device, run against each bench (see
// SerialBench.h). Where Windows' documentation says what happens, the suite
// follows it, and the Linux back end and the fake do what it says; where Wine
// departs from it, the row says so and expects Wine's own answer from the
// Wine bench only (so a Wine that comes to follow the documentation shows).

#include "tests/platform/conformance/SerialConformance.h"

#include <optional>
#include <string>

namespace tarvel_test {
namespace {

using namespace platform;

constexpr DWORD kLongWait = 20000;   // ms; only a hang ever reaches it
constexpr DWORD kMomentWait = 1000;  // ms; a read that stays pending outlasts it

}  // namespace

void SerialConformance::SetUp()
{
    bench = GetParam().make();
    if (const std::string why = bench->Unavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    event = Api().CreateEventA(true, false);
    ASSERT_NE(event, NullHandle);
    ov.hEvent = event;
}

void SerialConformance::TearDown()
{
    if (port != InvalidHandle) {
        Api().CloseHandle(port);
    }
    if (event != NullHandle) {
        Api().CloseHandle(event);
    }
}

Handle SerialConformance::OpenPort()
{
    return Api().CreateFileA(bench->PortPath(), GenericRead | GenericWrite, 0, OpenExisting, FileFlagOverlapped);
}

void SerialConformance::OpenAndSetUp()
{
    port = OpenPort();
    ASSERT_NE(port, InvalidHandle) << "error " << Api().GetLastError();
    ASSERT_TRUE(Api().SetupComm(port, 1024, 1024));
    ASSERT_TRUE(Api().SetCommState(port, Dcb8N1(9600)));
    SetTimeouts(MaxDword, 0, 0);
    ASSERT_TRUE(Api().PurgeComm(port, PurgeRxClear));
}

Dcb SerialConformance::Dcb8N1(DWORD baud)
{
    Dcb dcb;
    dcb.BaudRate = baud;
    dcb.Flags = DcbBinary;
    dcb.ByteSize = 8;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    return dcb;
}

void SerialConformance::SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant)
{
    CommTimeouts t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    ASSERT_TRUE(Api().SetCommTimeouts(port, t)) << "error " << Api().GetLastError();
    bench->TimeoutsSet(t);
}

void SerialConformance::StartPendingWait(DWORD eventMask)
{
    ASSERT_TRUE(Api().SetCommMask(port, eventMask));
    mask = 0xDEADBEEF;
    ASSERT_FALSE(Api().WaitCommEvent(port, &mask, &ov));
    ASSERT_EQ(Api().GetLastError(), ErrorIoPending);
}

DWORD SerialConformance::WaitQueued(DWORD n)
{
    ComStat stat;
    DWORD errors = 0;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_TRUE(Api().ClearCommError(port, &errors, &stat));
        if (stat.cbInQue >= n) {
            break;
        }
        Api().Sleep(10);
    }
    return stat.cbInQue;
}

bool SerialConformance::Ended() { return Api().WaitForSingleObject(event, kLongWait) == WaitObject0; }

SerialConformance::ReadEnd SerialConformance::ReadUntilItEnds(DWORD count, const std::string& moreOncePending,
                                                              const std::string& restOnceStillPending)
{
    char buffer[64] = {};
    DWORD n = 0;
    ReadEnd end;
    Api().ResetEvent(event);
    if (!Api().ReadFile(port, buffer, count, &n, &ov)) {
        EXPECT_EQ(Api().GetLastError(), ErrorIoPending);
        if (!moreOncePending.empty()) {
            bench->Send(moreOncePending);
        }
        if (!restOnceStillPending.empty()) {
            EXPECT_EQ(Api().WaitForSingleObject(event, kMomentWait), WaitTimeout) << "the read ended";
            bench->Send(restOnceStillPending);
        }
        if (!Ended()) {
            ADD_FAILURE() << "the read did not end";
            Api().PurgeComm(port, PurgeRxAbort);
            Api().WaitForSingleObject(event, kLongWait);
        }
        if (!Api().GetOverlappedResult(port, &ov, &n, true)) {
            end.error = Api().GetLastError();
        }
    }
    end.bytes.assign(buffer, n);
    return end;
}

std::string SerialConformance::Read(DWORD count, const std::string& moreOncePending)
{
    const ReadEnd end = ReadUntilItEnds(count, moreOncePending);
    EXPECT_EQ(end.error, ErrorSuccess);
    return end.bytes;
}

// One opening at a time; the close frees the port for the next; a port that
// does not exist is named as such.
TEST_P(SerialConformance, OpenIsExclusiveAndCloseFreesThePort)
{
    port = OpenPort();
    ASSERT_NE(port, InvalidHandle) << "error " << Api().GetLastError();
    const Handle second = OpenPort();
    if (bench->UnderWine()) {
        // Wine's departure: it does not keep a serial device to one opening.
        EXPECT_NE(second, InvalidHandle);
        Api().CloseHandle(second);
    } else {
        EXPECT_EQ(second, InvalidHandle);
        EXPECT_EQ(Api().GetLastError(), ErrorAccessDenied);
    }
    EXPECT_TRUE(Api().CloseHandle(port));
    port = OpenPort();
    EXPECT_NE(port, InvalidHandle) << "error " << Api().GetLastError();

    EXPECT_EQ(
        Api().CreateFileA(bench->MissingPortPath(), GenericRead | GenericWrite, 0, OpenExisting, FileFlagOverlapped),
        InvalidHandle);
    EXPECT_EQ(Api().GetLastError(), ErrorFileNotFound);
}

// Line settings the component uses are taken; after them (and back at 8N1)
// every byte value arrives as sent: no flow-control character eaten, no
// high bit stripped. A byte size no UART has is refused.
TEST_P(SerialConformance, SettingsAreTakenAndBytesArriveUnchanged)
{
    OpenAndSetUp();
    const struct {
        DWORD baud;
        std::uint8_t byteSize, parity, stopBits;
        DWORD lines;
    } rows[] = {
        {1200, 8, 0, 0, 0},
        {19200, 7, 2, 0, 1u << DcbDtrControlShift},
        {57600, 8, 1, 2, 1u << DcbRtsControlShift},
        {115200, 8, 0, 0, (1u << DcbDtrControlShift) | (1u << DcbRtsControlShift)},
    };
    for (const auto& r : rows) {
        Dcb dcb = Dcb8N1(r.baud);
        dcb.ByteSize = r.byteSize;
        dcb.Parity = r.parity;
        dcb.StopBits = r.stopBits;
        dcb.Flags |= r.lines;
        EXPECT_TRUE(Api().SetCommState(port, dcb)) << r.baud << ": error " << Api().GetLastError();
    }
    Dcb bad = Dcb8N1(9600);
    bad.ByteSize = 9;
    EXPECT_FALSE(Api().SetCommState(port, bad));
    EXPECT_NE(Api().GetLastError(), ErrorSuccess);

    ASSERT_TRUE(Api().SetCommState(port, Dcb8N1(9600)));
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    bench->Send(all);
    ASSERT_EQ(WaitQueued(256), 256u);
    std::string received;
    while (received.size() < all.size()) {
        const std::string chunk = Read(64, "");
        ASSERT_FALSE(chunk.empty());
        received += chunk;
    }
    EXPECT_EQ(received, all);
}

// A pending wait ends when a byte arrives: the mask names EV_RXCHAR and the
// wait transfers the mask's four bytes.
TEST_P(SerialConformance, ACommEventWaitEndsWhenAByteArrives)
{
    OpenAndSetUp();
    ASSERT_NO_FATAL_FAILURE(StartPendingWait(EvRxChar));
    DWORD transferred = 0;
    EXPECT_FALSE(Api().GetOverlappedResult(port, &ov, &transferred, false));
    EXPECT_EQ(Api().GetLastError(), ErrorIoIncomplete);
    bench->Send("x");
    ASSERT_TRUE(Ended());
    EXPECT_TRUE(Api().GetOverlappedResult(port, &ov, &transferred, false));
    EXPECT_EQ(mask & EvRxChar, EvRxChar);
    EXPECT_EQ(transferred, sizeof(DWORD));
}

// A new mask ends a pending wait with mask 0. Windows' documentation has the
// wait return (not fail) with the mask set to zero; Wine fails it with
// ERROR_OPERATION_ABORTED instead, which the Wine row accepts.
TEST_P(SerialConformance, ANewMaskEndsAPendingWaitWithMaskZero)
{
    OpenAndSetUp();
    ASSERT_NO_FATAL_FAILURE(StartPendingWait(EvRxChar));
    ASSERT_TRUE(Api().SetCommMask(port, EvRxChar | EvErr));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(mask, 0u);
    DWORD transferred = 0;
    const bool ok = Api().GetOverlappedResult(port, &ov, &transferred, false);
    if (bench->UnderWine()) {
        EXPECT_FALSE(ok);  // Wine's departure
        EXPECT_EQ(Api().GetLastError(), ErrorOperationAborted);
    } else {
        EXPECT_TRUE(ok) << "error " << Api().GetLastError();
    }
}

// Waiting with an empty mask is refused; closing the port ends a pending
// wait with mask 0 and a failure.
TEST_P(SerialConformance, WaitWithoutMaskIsRefusedAndCloseEndsAWait)
{
    OpenAndSetUp();
    ASSERT_TRUE(Api().SetCommMask(port, 0));
    EXPECT_FALSE(Api().WaitCommEvent(port, &mask, &ov));
    if (bench->UnderWine()) {
        // Wine's departure: it lets the wait pend; a mask ends it.
        ASSERT_EQ(Api().GetLastError(), ErrorIoPending);
        ASSERT_TRUE(Api().SetCommMask(port, EvRxChar));
        ASSERT_TRUE(Ended());
    } else {
        EXPECT_EQ(Api().GetLastError(), ErrorInvalidParameter);
    }

    ASSERT_NO_FATAL_FAILURE(StartPendingWait(EvRxChar));
    EXPECT_TRUE(Api().CloseHandle(port));
    port = InvalidHandle;
    ASSERT_TRUE(Ended());
    EXPECT_EQ(mask, 0u);
    EXPECT_NE(ov.Internal, std::uintptr_t{ErrorSuccess});
    EXPECT_NE(ov.Internal, StatusPending);
}

// The read time-out forms. Queued bytes are in the input queue before the
// read; more bytes are sent once the read is pending (a read that ends at
// once never sees them). A row where Wine departs from Windows' documented
// behaviour gives Wine's answer beside the documented one and says why.
TEST_P(SerialConformance, ReadTimeoutRules)
{
    OpenAndSetUp();
    struct Answer {
        const char* bytes;
        DWORD error;
    };
    const struct {
        const char* form;
        DWORD interval, multiplier, constant;
        bool timed;  // needs a clock
        const char* queued;
        DWORD count;
        const char* more;
        Answer expected;
        // Where Wine departs from the documentation: its answer, and the
        // bytes sent once its read is still pending a moment after `more`.
        std::optional<Answer> underWine;
        const char* wineRest;
    } rows[] = {
        // The documented form: what is queued, at once, even nothing.
        {"MAXDWORD/0/0", MaxDword, 0, 0, false, "abc", 10, "", {"abc", 0}, {}, ""},
        // Wine's departure: on an empty queue it keeps the read pending and
        // returns the first bytes that arrive (as in the form below without
        // a total); Windows returns at once with nothing.
        {"MAXDWORD/0/0 empty", MaxDword, 0, 0, false, "", 10, "z", {"", 0}, Answer{"z", 0}, ""},
        // No time-outs: the read waits for its count.
        {"0/0/0", 0, 0, 0, false, "abc", 5, "de", {"abcde", 0}, {}, ""},
        // The documented special form: the first byte ends the read.
        // Wine's departure: MAXDWORD is no interval here either, and the
        // multiplier makes a total beyond any wait, so the read waits for
        // its count; Windows returns the first byte.
        {"MAXDWORD/MAXDWORD/60000",
         MaxDword,
         MaxDword,
         60000,
         true,
         "",
         10,
         "x",
         {"x", 0},
         Answer{"xabcdefghi", 0},
         "abcdefghi"},
        // Outside the special forms MAXDWORD is no interval (the
        // documentation is silent; Windows and Wine wait for the count).
        {"MAXDWORD/0/60000", MaxDword, 0, 60000, true, "abc", 10, "defghij", {"abcdefghij", 0}, {}, ""},
        {"MAXDWORD/MAXDWORD/0", MaxDword, MaxDword, 0, true, "abc", 5, "de", {"abcde", 0}, {}, ""},
        // A total time-out: the read ends (successfully) with what was
        // there. Wine's departure: a read that timed out with no byte
        // fails with ERROR_TIMEOUT (STATUS_TIMEOUT taken for an error).
        {"0/0/100", 0, 0, 100, true, "", 10, "", {"", 0}, Answer{"", ErrorTimeout}, ""},
        {"0/10/50", 0, 10, 50, true, "ab", 4, "", {"ab", 0}, {}, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.form);
        if (r.timed && !bench->MeasuresTime()) {
            continue;
        }
        SetTimeouts(r.interval, r.multiplier, r.constant);
        const std::string queued = r.queued;
        if (!queued.empty()) {
            bench->Send(queued);
            ASSERT_EQ(WaitQueued(static_cast<DWORD>(queued.size())), queued.size());
        }
        const bool departs = bench->UnderWine() && r.underWine.has_value();
        const Answer expected = departs ? *r.underWine : r.expected;
        const ReadEnd end = ReadUntilItEnds(r.count, r.more, departs ? r.wineRest : "");
        EXPECT_EQ(end.bytes, expected.bytes) << (departs ? "(Wine's departure)" : "");
        EXPECT_EQ(end.error, expected.error) << (departs ? "(Wine's departure)" : "");
        ASSERT_TRUE(Api().PurgeComm(port, PurgeRxClear));
    }
}

// Purging empties the input queue and aborts a pending read.
TEST_P(SerialConformance, PurgeEmptiesTheQueueAndAbortsAPendingRead)
{
    OpenAndSetUp();
    bench->Send("abc");
    ASSERT_EQ(WaitQueued(3), 3u);
    ASSERT_TRUE(Api().PurgeComm(port, PurgeRxClear));
    DWORD errors = 0;
    ComStat stat;
    ASSERT_TRUE(Api().ClearCommError(port, &errors, &stat));
    EXPECT_EQ(stat.cbInQue, 0u);

    SetTimeouts(0, 0, 0);
    char buffer[8];
    DWORD n = 0;
    Api().ResetEvent(event);
    ASSERT_FALSE(Api().ReadFile(port, buffer, 5, &n, &ov));
    ASSERT_EQ(Api().GetLastError(), ErrorIoPending);
    ASSERT_TRUE(Api().PurgeComm(port, PurgeRxAbort | PurgeRxClear));
    if (bench->UnderWine()) {
        // Wine's departure: its purge leaves a pending read alone; the close
        // ends it.
        EXPECT_EQ(Api().WaitForSingleObject(event, kMomentWait), WaitTimeout) << "the purge ended the read";
        Api().CloseHandle(port);
        port = InvalidHandle;
        EXPECT_TRUE(Ended());
        return;
    }
    ASSERT_TRUE(Ended());
    EXPECT_FALSE(Api().GetOverlappedResult(port, &ov, &n, false));
    EXPECT_EQ(Api().GetLastError(), ErrorOperationAborted);
    EXPECT_EQ(n, 0u);
}

// A device that goes away ends the pending wait with a failure; the port
// stays a handle to close.
TEST_P(SerialConformance, ADeviceThatGoesAwayEndsThePendingWait)
{
    OpenAndSetUp();
    ASSERT_NO_FATAL_FAILURE(StartPendingWait(EvRxChar | EvErr));
    if (!bench->Unplug()) {
        GTEST_SKIP() << "this bench cannot take its device away";
    }
    ASSERT_TRUE(Ended());
    DWORD transferred = 0;
    EXPECT_FALSE(Api().GetOverlappedResult(port, &ov, &transferred, false));
    EXPECT_EQ(Api().GetLastError(), ErrorDeviceNotConnected);
    EXPECT_TRUE(Api().CloseHandle(port));
    port = InvalidHandle;
}

}  // namespace tarvel_test
