// The Windows back end (run under Wine in the cross build): the DCB it hands
// to kernel32, and calls that need no serial device.

#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstring>

#include "platform/SerialApi.h"
#include "platform/win32/Win32SerialApi.h"

namespace {

using namespace platform;

// Dcb has the layout of DCB, with the bit fields as one word in the same
// bit positions, so the conversion must give back the same bytes.
TEST(Win32SerialApi, DcbReachesKernel32BitForBit)
{
    Dcb base;
    base.BaudRate = 115200;
    base.XonLim = 256;
    base.XoffLim = 0x1234;
    base.ByteSize = 7;
    base.Parity = 3;
    base.StopBits = 2;
    base.XonChar = 17;
    base.XoffChar = 19;
    base.ErrorChar = '?';
    base.EofChar = 26;
    base.EvtChar = '\n';

    const DWORD flagWords[] = {0x0001, 0x2005, 0x0301, 0x0403, 0x0011, 0x0021, 0x0041,
                               0x0081, 0x0801, 0x1001, 0x3001, 0x4001, 0x7FFF};
    for (DWORD flags : flagWords) {
        Dcb dcb = base;
        dcb.Flags = flags;
        std::array<std::uint8_t, 28> expected{};
        std::memcpy(expected.data(), &dcb, expected.size());
        EXPECT_EQ(Win32DcbBytes(dcb), expected) << std::hex << flags;
    }
}

TEST(Win32SerialApi, OpeningAMissingPortFailsWithTheSystemError)
{
    ISerialApi& api = SystemSerialApi();
    const Handle h = api.CreateFileA("\\\\.\\COM237", GenericRead | GenericWrite, 0, OpenExisting, FileFlagOverlapped);
    EXPECT_EQ(h, InvalidHandle);
    EXPECT_EQ(api.GetLastError(), ErrorFileNotFound);  // as Windows reports a port that is not there
    EXPECT_FALSE(api.SetCommState(InvalidHandle, Dcb{}));
}

TEST(Win32SerialApi, EventObjectsAndWaits)
{
    ISerialApi& api = SystemSerialApi();
    const Handle manual = api.CreateEventA(true, false);
    const Handle automatic = api.CreateEventA(false, true);
    ASSERT_NE(manual, NullHandle);
    ASSERT_NE(automatic, NullHandle);
    EXPECT_EQ(api.WaitForSingleObject(manual, 0), WaitTimeout);
    EXPECT_EQ(api.WaitForSingleObject(automatic, 0), WaitObject0);
    EXPECT_EQ(api.WaitForSingleObject(automatic, 0), WaitTimeout);
    const Handle both[] = {manual, automatic};
    EXPECT_TRUE(api.SetEvent(automatic));
    EXPECT_EQ(api.WaitForMultipleObjects(2, both, false, 0), WaitObject0 + 1);
    EXPECT_TRUE(api.SetEvent(manual));
    EXPECT_EQ(api.WaitForMultipleObjects(2, both, false, 0), WaitObject0);
    EXPECT_TRUE(api.ResetEvent(manual));
    EXPECT_EQ(api.WaitForSingleObject(manual, 0), WaitTimeout);
    EXPECT_EQ(api.WaitForMultipleObjects(0, both, false, 0), WaitFailed);
    EXPECT_EQ(api.GetLastError(), ErrorInvalidParameter);
    EXPECT_TRUE(api.CloseHandle(manual));
    EXPECT_TRUE(api.CloseHandle(automatic));
}

}  // namespace

#endif  // _WIN32
