// The terminal settings a DCB produces, read back from the master side of a
// pseudo-terminal with TCGETS2 (the termios2 form of tcgetattr, which also
// gives the exact bit rate). The pseudo-terminal driver forces CS8 and clears
// PARENB on every change, so data bits and parity enable are checked on the
// translation itself and everything else also on the device.
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <cstring>

#include "platform/SerialApi.h"
#include "platform/linux/PosixSerialTermios2.h"
#include "tests/support/PtyPair.h"

namespace {

using namespace platform;
using tarvel_test::PtyPair;

Dcb BaseDcb()
{
    Dcb dcb;
    dcb.BaudRate = 9600;
    dcb.Flags = DcbBinary;
    dcb.XonLim = 256;
    dcb.XoffLim = 256;
    dcb.ByteSize = 8;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    return dcb;
}

class PosixSerialTermios : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = api.CreateFileA(pty.PortPath(), GenericRead | GenericWrite, 0, OpenExisting, FileFlagOverlapped);
        ASSERT_NE(port, InvalidHandle);
    }
    void TearDown() override
    {
        if (port != InvalidHandle) {
            api.CloseHandle(port);
        }
    }
    termios2 Settings() const
    {
        termios2 t{};
        EXPECT_EQ(ioctl(pty.Master(), TCGETS2, &t), 0);
        return t;
    }

    ISerialApi& api = SystemSerialApi();
    PtyPair pty;
    Handle port = InvalidHandle;
};

TEST_F(PosixSerialTermios, OpeningLeavesTheDeviceRaw)
{
    const termios2 t = Settings();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP | BRKINT), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), CREAD | CLOCAL);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(PosixSerialTermios, DcbBecomesTermios)
{
    struct Case {
        const char* name;
        DWORD rate;
        std::uint8_t byteSize, parity, stopBits;
        DWORD flags;
        char xon, xoff;
        // expected
        unsigned speedConstant;  // CBAUD bits: B9600 ..., or BOTHER
        unsigned cflagSet;       // CSIZE, PARENB, PARODD, CMSPAR, CSTOPB, CRTSCTS
        unsigned iflagSet;       // IXON, IXOFF, INPCK
    };
    constexpr unsigned kCflagMask = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    constexpr unsigned kIflagMask = IXON | IXOFF | INPCK;
    const Case cases[] = {
        {"9600 8N1", 9600, 8, 0, 0, DcbBinary, 17, 19, B9600, CS8, 0},
        {"115200 7E1", 115200, 7, 2, 0, DcbBinary, 17, 19, B115200, CS7 | PARENB, 0},
        {"2400 7O2", 2400, 7, 1, 2, DcbBinary, 17, 19, B2400, CS7 | PARENB | PARODD | CSTOPB, 0},
        {"mark", 9600, 8, 3, 0, DcbBinary, 17, 19, B9600, CS8 | PARENB | CMSPAR | PARODD, 0},
        {"space", 9600, 8, 4, 0, DcbBinary, 17, 19, B9600, CS8 | PARENB | CMSPAR, 0},
        {"5 bits, 1.5 stop", 1200, 5, 0, 1, DcbBinary, 17, 19, B1200, CS5 | CSTOPB, 0},
        {"6 bits", 4800, 6, 0, 0, DcbBinary, 17, 19, B4800, CS6, 0},
        {"Windows rate 14400", 14400, 8, 0, 0, DcbBinary, 17, 19, BOTHER, CS8, 0},
        {"Windows rate 256000", 256000, 8, 0, 0, DcbBinary, 17, 19, BOTHER, CS8, 0},
        {"any rate 31250", 31250, 8, 0, 0, DcbBinary, 17, 19, BOTHER, CS8, 0},
        {"hardware flow 0x2005", 9600, 8, 0, 0, 0x2005, 17, 19, B9600, CS8 | CRTSCTS, 0},
        {"CTS output flow alone", 9600, 8, 0, 0, DcbBinary | DcbOutxCtsFlow, 17, 19, B9600, CS8, 0},
        {"software flow 0x301", 9600, 8, 0, 0, 0x301, 17, 19, B9600, CS8, IXON | IXOFF},
        {"XON/XOFF out only, own characters", 9600, 8, 0, 0, DcbBinary | DcbOutX, 'A', 'B', B9600, CS8, IXON},
        {"parity check", 9600, 7, 2, 0, DcbBinary | DcbParity, 17, 19, B9600, CS7 | PARENB, INPCK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dcb dcb = BaseDcb();
        dcb.BaudRate = c.rate;
        dcb.ByteSize = c.byteSize;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stopBits;
        dcb.Flags = c.flags;
        dcb.XonChar = c.xon;
        dcb.XoffChar = c.xoff;
        termios2 translated{};
        posix::DcbToTermios(dcb, translated);
        EXPECT_EQ(translated.c_cflag & CBAUD, c.speedConstant);
        EXPECT_EQ(translated.c_cflag & kCflagMask, c.cflagSet);
        EXPECT_EQ(translated.c_iflag & kIflagMask, c.iflagSet);

        ASSERT_TRUE(api.SetCommState(port, dcb)) << api.GetLastError();
        const termios2 t = Settings();
        constexpr unsigned kForcedByPty = CSIZE | PARENB;
        EXPECT_EQ(t.c_cflag & CBAUD, c.speedConstant);
        EXPECT_EQ(t.c_ospeed, c.rate);
        EXPECT_EQ(t.c_cflag & CIBAUD, 0u);  // input speed follows output
        EXPECT_EQ(t.c_cflag & kCflagMask & ~kForcedByPty, c.cflagSet & ~kForcedByPty);
        EXPECT_EQ(t.c_iflag & kIflagMask, c.iflagSet);
        EXPECT_EQ(t.c_cc[VSTART], static_cast<cc_t>(c.xon));
        EXPECT_EQ(t.c_cc[VSTOP], static_cast<cc_t>(c.xoff));
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), CREAD | CLOCAL);
    }
}

TEST_F(PosixSerialTermios, RefusedDcbFailsAndChangesNothing)
{
    Dcb good = BaseDcb();
    good.BaudRate = 19200;
    good.ByteSize = 7;
    good.Parity = 2;
    ASSERT_TRUE(api.SetCommState(port, good));
    const termios2 before = Settings();

    struct Case {
        const char* name;
        void (*spoil)(Dcb&);
    };
    const Case cases[] = {
        {"rate 0", [](Dcb& d) { d.BaudRate = 0; }},
        {"4 data bits", [](Dcb& d) { d.ByteSize = 4; }},
        {"9 data bits", [](Dcb& d) { d.ByteSize = 9; }},
        {"parity 5", [](Dcb& d) { d.Parity = 5; }},
        {"stop bits 3", [](Dcb& d) { d.StopBits = 3; }},
        {"1.5 stop bits with 8 data bits", [](Dcb& d) { d.StopBits = 1; }},
        {"2 stop bits with 5 data bits",
         [](Dcb& d) {
             d.ByteSize = 5;
             d.StopBits = 2;
         }},
        {"XON equal to XOFF",
         [](Dcb& d) {
             d.Flags |= DcbOutX;
             d.XoffChar = d.XonChar;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dcb dcb = BaseDcb();
        c.spoil(dcb);
        EXPECT_FALSE(api.SetCommState(port, dcb));
        EXPECT_EQ(api.GetLastError(), ErrorInvalidParameter);
        const termios2 after = Settings();
        EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    }
}

TEST_F(PosixSerialTermios, ModemStatusOfAPseudoTerminalFailsWithoutHarm)
{
    DWORD status = 0xDEAD;
    EXPECT_FALSE(api.GetCommModemStatus(port, &status));
    EXPECT_EQ(api.GetLastError(), ErrorNotSupported);
    EXPECT_EQ(status, 0xDEADu);

    // The device goes on working.
    EXPECT_TRUE(api.SetCommState(port, BaseDcb()));
    DWORD errors = 0;
    ComStat stat;
    EXPECT_TRUE(api.ClearCommError(port, &errors, &stat));
}

}  // namespace
