#pragma once
// Pauses of the main thread (the 20 ms key slots), on a monotonic clock.
// Injected so that unit tests never sleep.

#include <cstdint>

namespace platform {

class IPause {
public:
    virtual ~IPause() = default;
    // Milliseconds on a clock that never goes back (its start is arbitrary).
    virtual std::uint64_t NowMs() = 0;
    // Returns once NowMs() has reached `deadlineMs` (at once when it has).
    virtual void SleepUntilMs(std::uint64_t deadlineMs) = 0;

    void Sleep(std::uint32_t milliseconds) { SleepUntilMs(NowMs() + milliseconds); }
};

// Linux: CLOCK_MONOTONIC and clock_nanosleep; Windows: the performance
// counter and Sleep.
IPause& SystemPause();

}  // namespace platform
