// Wine's serial device on COM1 (bytes written into COM2, the other end of
// the pty pair of scripts/wine-env.sh), driven through kernel32 directly:
// what the Linux back end is measured against.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/wine/comport/WinePorts.h"

namespace {

using wine_test::WinePort;

// Waits until COM1's input queue holds n bytes (false after a few seconds).
bool WaitQueued(HANDLE h, DWORD n)
{
    for (int i = 0; i < 500; ++i) {
        DWORD errors = 0;
        COMSTAT stat{};
        if (::ClearCommError(h, &errors, &stat) && stat.cbInQue >= n)
            return true;
        ::Sleep(10);
    }
    return false;
}

// Opens COM1 (overlapped) and COM2; skips where they are not the pty pair.
class Win32CommOnWine : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!wine_test::WinePortsPaired())
            GTEST_SKIP() << "COM1 and COM2 are not the pty pair of scripts/wine-env.sh";
        ASSERT_TRUE(port.IsOpen()) << "COM1: error " << ::GetLastError();
        ASSERT_TRUE(other.IsOpen()) << "COM2: error " << ::GetLastError();
        ASSERT_NE(event, nullptr);
        ::PurgeComm(port.Handle(), PURGE_RXCLEAR);
    }
    void TearDown() override
    {
        if (event != nullptr)
            ::CloseHandle(event);
    }

    void SetTimeouts(DWORD interval, DWORD multiplier, DWORD constant)
    {
        COMMTIMEOUTS t{interval, multiplier, constant, 0, 0};
        ASSERT_TRUE(::SetCommTimeouts(port.Handle(), &t));
    }

    // One overlapped read of up to count bytes; more is written into COM2
    // once the read is pending. Waits for the end (a hang is a failure).
    std::string Read(DWORD count, const std::string& moreOnceStarted)
    {
        OVERLAPPED ov{};
        ov.hEvent = event;
        ::ResetEvent(event);
        DWORD n = 0;
        if (!::ReadFile(port.Handle(), buffer, count, &n, &ov)) {
            EXPECT_EQ(::GetLastError(), DWORD(ERROR_IO_PENDING));
            if (!moreOnceStarted.empty()) {
                EXPECT_TRUE(other.Write(moreOnceStarted));
            }
            if (::WaitForSingleObject(event, 20000) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "the read did not end";
                ::PurgeComm(port.Handle(), PURGE_RXABORT);
                ::WaitForSingleObject(event, 5000);
            }
            ::GetOverlappedResult(port.Handle(), &ov, &n, FALSE);
        }
        return std::string(buffer, n);
    }

    WinePort port{"\\\\.\\COM1", FILE_FLAG_OVERLAPPED};
    WinePort other{"\\\\.\\COM2", 0};
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char buffer[256] = {};
};

// Where Windows' documentation is silent, an interval of MAXDWORD is no
// interval: the read neither returns with what is queued nor with the first
// byte, but waits for its count (or its total). The Linux back end's pty
// tests hold the same table.
TEST_F(Win32CommOnWine, AnIntervalOfMaxdwordOutsideTheSpecialFormsWaitsForTheCount)
{
    const struct {
        DWORD interval, multiplier, constant;
    } rows[] = {{MAXDWORD, 0, 60000}, {MAXDWORD, MAXDWORD, 0}};
    for (const auto& r : rows) {
        SetTimeouts(r.interval, r.multiplier, r.constant);
        ASSERT_TRUE(other.Write("abc"));
        ASSERT_TRUE(WaitQueued(port.Handle(), 3));
        EXPECT_EQ(Read(10, "defghij"), "abcdefghij") << r.multiplier << "/" << r.constant;
    }
    // The documented form, for contrast: what is queued, at once.
    SetTimeouts(MAXDWORD, 0, 0);
    ASSERT_TRUE(other.Write("abc"));
    ASSERT_TRUE(WaitQueued(port.Handle(), 3));
    EXPECT_EQ(Read(10, ""), "abc");
}

// A burst of several times the input queue, then a frame, read as the wedge
// reads (an event, then reads of up to 100 bytes that return at once): the
// port is not deaf afterwards, and the frame comes whole and last. (Wine
// keeps what does not fit in the pseudo-terminal instead of dropping it.)
TEST_F(Win32CommOnWine, AfterABurstBeyondTheQueueTheNextFrameArrives)
{
    ASSERT_TRUE(::SetupComm(port.Handle(), 1024, 1024));
    SetTimeouts(MAXDWORD, 0, 0);
    ASSERT_TRUE(::SetCommMask(port.Handle(), EV_RXCHAR));
    const std::string frame =
        "\x02"
        "0A1B2C3D4E"
        "\x03";
    ASSERT_TRUE(other.Write(std::string(4 * 1024, 'A')));
    std::string received;
    bool frameSent = false;
    OVERLAPPED ov{};
    ov.hEvent = event;
    DWORD mask = 0;
    for (int events = 0; events < 1000 && received.find(frame) == std::string::npos; ++events) {
        ::ResetEvent(event);
        if (!::WaitCommEvent(port.Handle(), &mask, &ov)) {
            ASSERT_EQ(::GetLastError(), DWORD(ERROR_IO_PENDING));
            if (!frameSent && received.size() >= 1024) {
                ASSERT_TRUE(other.Write(frame));
                frameSent = true;
            }
            ASSERT_EQ(::WaitForSingleObject(event, 10000), WAIT_OBJECT_0) << "deaf after " << received.size();
            DWORD n = 0;
            ::GetOverlappedResult(port.Handle(), &ov, &n, FALSE);
        }
        for (;;) {
            const std::string chunk = Read(100, "");
            received += chunk;
            if (chunk.size() < 100)
                break;
        }
        if (!frameSent && received.size() >= 4 * 1024) {
            ASSERT_TRUE(other.Write(frame));
            frameSent = true;
        }
    }
    ::SetCommMask(port.Handle(), 0);  // ends a wait still pending
    ::WaitForSingleObject(event, 5000);
    ASSERT_GE(received.size(), frame.size());
    EXPECT_EQ(received.substr(received.size() - frame.size()), frame);
    EXPECT_EQ(received.find_first_not_of('A'), received.size() - frame.size());
}

// Closing the handle ends a pending comm-event wait: its event is set and
// its mask is written (0), so the mask must live as long as the overlapped
// block. The Linux back end does the same.
TEST_F(Win32CommOnWine, ClosingEndsAPendingWaitWritingMaskZero)
{
    ASSERT_TRUE(::SetCommMask(port.Handle(), EV_RXCHAR));
    OVERLAPPED ov{};
    ov.hEvent = event;
    ::ResetEvent(event);
    DWORD mask = 0xDEADBEEF;
    ASSERT_FALSE(::WaitCommEvent(port.Handle(), &mask, &ov));
    ASSERT_EQ(::GetLastError(), DWORD(ERROR_IO_PENDING));
    port.Close();
    ASSERT_EQ(::WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(mask, 0u);
    EXPECT_NE(ov.Internal, ULONG_PTR(0));  // not a success
}

}  // namespace
