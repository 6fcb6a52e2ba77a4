#pragma once
// The Windows serial back end's conversion of a Dcb, for tests: the 28 bytes
// of the DCB that SetCommState receives.

#include <array>
#include <cstdint>

#include "platform/SerialApi.h"

namespace platform {

std::array<std::uint8_t, 28> Win32DcbBytes(const Dcb& dcb);

}  // namespace platform
