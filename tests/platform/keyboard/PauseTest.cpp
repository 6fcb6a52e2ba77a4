// The Linux pause between keys: what it asks the system for, checked with a
// stand-in for nanosleep that records instead of sleeping.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/posix/PosixPause.h"

namespace {

struct Call {
    long long seconds;
    long nanoseconds;
    bool operator==(const Call&) const = default;
};
std::vector<Call> g_calls;
// Interruptions to play: each takes `interruptedAfterNs` off the request.
std::vector<long> g_interruptions;

int RecordingNanosleep(const timespec* request, timespec* remaining)
{
    g_calls.push_back({static_cast<long long>(request->tv_sec), request->tv_nsec});
    if (g_interruptions.empty())
        return 0;
    const long slept = g_interruptions.front();
    g_interruptions.erase(g_interruptions.begin());
    long long left = static_cast<long long>(request->tv_sec) * 1000000000LL + request->tv_nsec - slept;
    remaining->tv_sec = static_cast<time_t>(left / 1000000000LL);
    remaining->tv_nsec = static_cast<long>(left % 1000000000LL);
    errno = EINTR;
    return -1;
}

TEST(PosixPause, AsksForTheWholeTimeAndSleepsOnAfterASignal)
{
    const struct {
        std::uint32_t milliseconds;
        std::vector<long> interruptions;  // nanoseconds slept before each
        std::vector<Call> calls;
    } cases[] = {
        {20, {}, {{0, 20000000}}},
        {0, {}, {{0, 0}}},
        {1500, {}, {{1, 500000000}}},
        {4294967295u, {}, {{4294967, 295000000}}},
        // A signal 5 ms in: the other 15 ms follow.
        {20, {5000000}, {{0, 20000000}, {0, 15000000}}},
        {1200, {700000000, 400000000}, {{1, 200000000}, {0, 500000000}, {0, 100000000}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.milliseconds);
        g_calls.clear();
        g_interruptions = c.interruptions;
        platform::SleepMilliseconds(c.milliseconds, RecordingNanosleep);
        EXPECT_EQ(g_calls, c.calls);
    }
}

// Another failure (a bad request) is not retried for ever.
TEST(PosixPause, AFailureOtherThanASignalEndsThePause)
{
    static int calls = 0;
    calls = 0;
    platform::SleepMilliseconds(20, [](const timespec*, timespec*) {
        ++calls;
        errno = EINVAL;
        return -1;
    });
    EXPECT_EQ(calls, 1);
}

}  // namespace
