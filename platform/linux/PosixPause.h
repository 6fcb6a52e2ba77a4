#pragma once
// The Linux pause, with the sleep call it is built on passed in, so that what
// it asks of the system can be checked without sleeping.

#include <time.h>

#include <cstdint>

namespace platform {

// clock_nanosleep: returns 0 or an error number.
using ClockNanosleepCall = int (*)(clockid_t clock, int flags, const timespec* request, timespec* remaining);

// Sleeps until `deadlineMs` on CLOCK_MONOTONIC (in milliseconds) through
// `clockNanosleep`, with an absolute deadline, so that an interruption by a
// signal sleeps on to the same end.
void SleepUntilMilliseconds(std::uint64_t deadlineMs, ClockNanosleepCall clockNanosleep);

}  // namespace platform
