// Losing the device: the event thread ended on a failed wait, and the main
// thread tells the port's owner (OnLost).

#include "serial/ComPort.h"

void TCustomComPort::HandleLost(std::uint64_t Opening, std::uint32_t ErrorCode)
{
    // Closed (or closing), or closed and opened again since the thread
    // queued this: that connection is gone already.
    if (!connected_ || closing_ || Opening != opening_)
        return;
    if (onLost_)
        onLost_(this, ErrorCode);
}
