#pragma once
// Pauses of the main thread (the 20 ms after each key). Injected so that unit
// tests never sleep.

#include <cstdint>

namespace platform {

class IPause {
public:
    virtual ~IPause() = default;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// Sleep on Windows, nanosleep on Linux.
IPause& SystemPause();

}  // namespace platform
