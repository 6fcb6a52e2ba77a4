// The Linux pause between keys: what it asks the system for, checked with a
// stand-in for clock_nanosleep that records instead of sleeping.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/linux/PosixPause.h"

namespace {

struct Call {
    clockid_t clock;
    int flags;
    long long seconds;
    long nanoseconds;
    bool operator==(const Call&) const = default;
};
std::vector<Call> g_calls;
std::vector<int> g_results;  // what the calls return, in order; then 0

int RecordingClockNanosleep(clockid_t clock, int flags, const timespec* request, timespec*)
{
    g_calls.push_back({clock, flags, static_cast<long long>(request->tv_sec), request->tv_nsec});
    if (g_results.empty())
        return 0;
    const int result = g_results.front();
    g_results.erase(g_results.begin());
    return result;
}

// An absolute deadline on the monotonic clock, the same one again after a
// signal (so interruptions do not stretch the pause), and no retry of any
// other failure.
TEST(PosixPause, SleepsToAnAbsoluteDeadlineOnTheMonotonicClock)
{
    const struct {
        std::uint64_t deadlineMs;
        std::vector<int> results;
        std::size_t calls;
        long long seconds;
        long nanoseconds;
    } cases[] = {
        {20, {}, 1, 0, 20000000},
        {1500, {}, 1, 1, 500000000},
        {86400123, {}, 1, 86400, 123000000},
        {1020, {EINTR}, 2, 1, 20000000},
        {1020, {EINTR, EINTR}, 3, 1, 20000000},
        {1020, {EINVAL}, 1, 1, 20000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deadlineMs);
        g_calls.clear();
        g_results = c.results;
        platform::SleepUntilMilliseconds(c.deadlineMs, RecordingClockNanosleep);
        ASSERT_EQ(g_calls.size(), c.calls);
        for (const Call& call : g_calls)
            EXPECT_EQ(call, (Call{CLOCK_MONOTONIC, TIMER_ABSTIME, c.seconds, c.nanoseconds}));
    }
}

}  // namespace
