#pragma once
// The Linux pause, with the sleep call it is built on passed in, so that what
// it asks of the system can be checked without sleeping.

#include <time.h>

#include <cstdint>

namespace platform {

using NanosleepCall = int (*)(const timespec* request, timespec* remaining);

// Sleeps `milliseconds` through `nanosleep`; after an interruption by a
// signal it sleeps on for what is left.
void SleepMilliseconds(std::uint32_t milliseconds, NanosleepCall nanosleep);

}  // namespace platform
