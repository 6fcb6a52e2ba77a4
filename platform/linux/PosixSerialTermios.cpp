// The only file of the back end that speaks to the terminal layer. It uses the
// kernel's own termios2 definitions, which cannot be mixed with <termios.h>.
#include "platform/linux/PosixSerialTermios.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "platform/linux/PosixSerialTermios2.h"

namespace platform::posix {
namespace {

struct StandardRate {
    DWORD rate;
    unsigned int constant;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

constexpr unsigned int kSizeFlags[] = {CS5, CS6, CS7, CS8};

bool SetModemLine(int fd, int line, bool on)
{
    // Devices without modem lines (pseudo-terminals) refuse; that is fine.
    return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

}  // namespace

bool MakeRaw(int fd)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return false;
    }
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IUCLC | IXON | IXANY | IXOFF | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE |
                                        IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool DcbIsValid(const Dcb& dcb)
{
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2) {
        return false;
    }
    if (dcb.StopBits == 1 && dcb.ByteSize != 5) {
        return false;  // 1.5 stop bits exist only with 5 data bits
    }
    if (dcb.StopBits == 2 && dcb.ByteSize == 5) {
        return false;
    }
    if ((dcb.Flags & (DcbOutX | DcbInX)) != 0 && dcb.XonChar == dcb.XoffChar) {
        return false;
    }
    return true;
}

void DcbToTermios(const Dcb& dcb, termios2& t)
{
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    unsigned int speed = BOTHER;
    for (const StandardRate& standard : kStandardRates) {
        if (standard.rate == dcb.BaudRate) {
            speed = standard.constant;
            break;
        }
    }
    t.c_cflag |= speed;  // CIBAUD left 0: input speed follows output speed
    t.c_ispeed = dcb.BaudRate;
    t.c_ospeed = dcb.BaudRate;

    t.c_cflag |= kSizeFlags[(dcb.ByteSize - 5) & 3];
    if (dcb.StopBits != 0) {
        t.c_cflag |= CSTOPB;  // with 5 data bits the UART sends 1.5
    }
    switch (dcb.Parity) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;  // odd
    case 2:
        t.c_cflag |= PARENB;
        break;  // even
    case 3:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;  // mark
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;  // space
    default:
        break;
    }
    if ((dcb.Flags & DcbOutxCtsFlow) != 0 && dcb.RtsControl() == 2) {
        t.c_cflag |= CRTSCTS;
    }
    t.c_cflag |= CREAD | CLOCAL;

    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    if ((dcb.Flags & DcbOutX) != 0) {
        t.c_iflag |= IXON;
    }
    if ((dcb.Flags & DcbInX) != 0) {
        t.c_iflag |= IXOFF;
    }
    if ((dcb.Flags & DcbParity) != 0) {
        t.c_iflag |= INPCK;
    }
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
}

bool ApplyDcb(int fd, const Dcb& dcb)
{
    if (!DcbIsValid(dcb)) {
        errno = EINVAL;
        return false;
    }
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return false;
    }
    DcbToTermios(dcb, t);
    if (ioctl(fd, TCSETS2, &t) != 0) {
        return false;
    }

    // DTR: disable lowers it, enable and handshake raise it. RTS: disable
    // lowers, enable raises; handshake is the driver's (CRTSCTS); toggle is
    // left as it is.
    SetModemLine(fd, TIOCM_DTR, dcb.DtrControl() != 0);
    if (dcb.RtsControl() == 0 || dcb.RtsControl() == 1) {
        SetModemLine(fd, TIOCM_RTS, dcb.RtsControl() == 1);
    }
    return true;
}

bool ReadLineCounters(int fd, LineCounters& counters)
{
    serial_icounter_struct raw{};
    if (ioctl(fd, TIOCGICOUNT, &raw) != 0) {
        return false;
    }
    counters.cts = static_cast<std::uint32_t>(raw.cts);
    counters.dsr = static_cast<std::uint32_t>(raw.dsr);
    counters.ring = static_cast<std::uint32_t>(raw.rng);
    counters.dcd = static_cast<std::uint32_t>(raw.dcd);
    counters.frame = static_cast<std::uint32_t>(raw.frame);
    counters.overrun = static_cast<std::uint32_t>(raw.overrun);
    counters.parity = static_cast<std::uint32_t>(raw.parity);
    counters.brk = static_cast<std::uint32_t>(raw.brk);
    counters.bufferOverrun = static_cast<std::uint32_t>(raw.buf_overrun);
    return true;
}

bool ReadModemStatus(int fd, DWORD& status)
{
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) != 0) {
        return false;
    }
    status = 0;
    if ((lines & TIOCM_CTS) != 0)
        status |= MsCtsOn;
    if ((lines & TIOCM_DSR) != 0)
        status |= MsDsrOn;
    if ((lines & TIOCM_RNG) != 0)
        status |= MsRingOn;
    if ((lines & TIOCM_CAR) != 0)
        status |= MsRlsdOn;
    return true;
}

bool FlushInput(int fd) { return ioctl(fd, TCFLSH, TCIFLUSH) == 0; }

bool FlushOutput(int fd) { return ioctl(fd, TCFLSH, TCOFLUSH) == 0; }

bool KernelInputBytes(int fd, DWORD& count)
{
    int n = 0;
    if (ioctl(fd, FIONREAD, &n) != 0) {
        return false;
    }
    count = n > 0 ? static_cast<DWORD>(n) : 0;
    return true;
}

bool KernelOutputBytes(int fd, DWORD& count)
{
    int n = 0;
    if (ioctl(fd, TIOCOUTQ, &n) != 0) {
        return false;
    }
    count = n > 0 ? static_cast<DWORD>(n) : 0;
    return true;
}

bool SetExclusive(int fd, bool exclusive) { return ioctl(fd, exclusive ? TIOCEXCL : TIOCNXCL) == 0; }

}  // namespace platform::posix
