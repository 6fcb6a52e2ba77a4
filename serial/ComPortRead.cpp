// Reading from the device.
//
// Filled in with the read path (an overlapped read per call, its own
// completion event, the port's read time-outs); until then nothing is read.

#include "serial/ComPort.h"

std::int32_t TCustomComPort::ReadText(std::string& Text, std::int32_t /*Count*/)
{
    Text.clear();
    return 0;
}

std::int32_t TCustomComPort::ReadBytes(void* /*Buffer*/, std::int32_t /*Count*/)
{
    return 0;
}
