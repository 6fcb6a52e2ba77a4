#pragma once
// Terminal settings of a serial device file, through the kernel's termios2
// interface (TCGETS2/TCSETS2), which takes any bit rate. Every function
// returns false with errno set when the device refuses.

#include <cstdint>

#include "platform/SerialApi.h"

namespace platform::posix {

// Raw mode for a freshly opened device: no line editing, no echo, no
// translation, no signals; 8 data bits, receiver on, modem lines ignored for
// reading; a read returns as soon as one byte is there (VMIN=1, VTIME=0).
bool MakeRaw(int fd);

// The Windows rules for a DCB SetCommState accepts: a rate above 0, 5 to 8
// data bits, parity 0 to 4, stop bits 0 to 2 with 1.5 only for 5 data bits
// and 2 not for 5 data bits, distinct XON/XOFF characters when either
// direction uses them.
bool DcbIsValid(const Dcb& dcb);

// Applies a valid DCB: speed (the standard rates by their constant, any other
// through BOTHER), data bits, parity (mark and space through CMSPAR), stop
// bits (CSTOPB for 1.5 and 2), RTS/CTS (CRTSCTS when CTS output flow and RTS
// handshake are both asked), XON/XOFF (IXON for output, IXOFF for input, with
// the DCB's characters), parity checking (INPCK). DTR and RTS are raised or
// lowered as fDtrControl/fRtsControl say where the device has modem lines.
// Not done on Linux: DSR flow and sensitivity, RTS toggle, the error
// replacement character, TX-continue-on-XOFF.
bool ApplyDcb(int fd, const Dcb& dcb);

// The driver's line counters (TIOCGICOUNT). Pseudo-terminals have none.
struct LineCounters {
    std::uint32_t cts = 0, dsr = 0, ring = 0, dcd = 0;
    std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufferOverrun = 0;
};
bool ReadLineCounters(int fd, LineCounters& counters);

// GetCommModemStatus's word (MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON)
// from TIOCMGET.
bool ReadModemStatus(int fd, DWORD& status);

bool FlushInput(int fd);
bool FlushOutput(int fd);
// Bytes waiting in the kernel's input and output queues (FIONREAD, TIOCOUTQ).
bool KernelInputBytes(int fd, DWORD& count);
bool KernelOutputBytes(int fd, DWORD& count);

// TIOCEXCL / TIOCNXCL: further opens of the terminal are refused (EBUSY).
bool SetExclusive(int fd, bool exclusive);

}  // namespace platform::posix
