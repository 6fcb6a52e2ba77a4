#pragma once
// The kernel's termios2, for the files that translate settings into it. It
// cannot be mixed with <termios.h>: include this only where that is not.

#include <asm/termbits.h>

#include "platform/SerialApi.h"

namespace platform::posix {

// Writes a valid DCB's speed, data bits, parity, stop bits, flow control and
// XON/XOFF characters into t; every other setting of t is kept.
void DcbToTermios(const Dcb& dcb, termios2& t);

}  // namespace platform::posix
