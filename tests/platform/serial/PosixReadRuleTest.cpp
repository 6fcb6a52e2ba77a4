// The read time-out rules of the Linux serial back end, as a table: for each
// set of time-outs, a read of a given count and how far it has got, whether
// it has ended. No clock and no device: the times are given.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/linux/PosixSerialReadRule.h"

namespace {

using namespace platform;
using namespace platform::posix;
using std::chrono::milliseconds;

constexpr DWORD X = MaxDword;

struct Case {
    const char* what;
    DWORD interval, multiplier, constant;
    DWORD count, done;
    int sinceStartMs, sinceLastByteMs;
    bool ended;
};

TEST(PosixReadRule, WhenAReadEnds)
{
    const Case cases[] = {
        // MAXDWORD/0/0: at once, with or without bytes.
        {"immediate, nothing queued", X, 0, 0, 10, 0, 0, 0, true},
        {"immediate, some queued", X, 0, 0, 10, 3, 0, 0, true},
        // MAXDWORD/MAXDWORD/c: what is queued at once, else the first byte, else c.
        {"any byte, some queued", X, X, 1000, 10, 3, 0, 0, true},
        {"any byte, nothing yet", X, X, 1000, 10, 0, 999, 0, false},
        {"any byte, nothing by the constant", X, X, 1000, 10, 0, 1000, 0, true},
        {"any byte, constant 1", X, X, 1, 10, 0, 1, 0, true},
        {"any byte, largest constant", X, X, X - 1, 10, 0, 1000000, 0, false},
        // No time-outs at all: only the count ends it.
        {"0/0/0 short", 0, 0, 0, 10, 9, 1000000, 1000000, false},
        {"0/0/0 full", 0, 0, 0, 10, 10, 0, 0, true},
        // The interval runs from the last byte, once one has come.
        {"interval, no byte yet", 200, 0, 0, 10, 0, 1000000, 1000000, false},
        {"interval, pause shorter", 200, 0, 0, 10, 4, 5000, 199, false},
        {"interval, pause reached", 200, 0, 0, 10, 4, 5000, 200, true},
        // The total: multiplier * count + constant from the start.
        {"total before", 0, 200, 200, 100, 5, 20199, 0, false},
        {"total reached", 0, 200, 200, 100, 5, 20200, 0, true},
        {"total, no byte", 0, 0, 300, 10, 0, 300, 0, true},
        {"multiplier only", 0, 5, 0, 10, 0, 50, 0, true},
        // The wedge's 200/200/200: whichever comes first.
        {"wedge, interval first", 200, 200, 200, 100, 12, 400, 200, true},
        {"wedge, still reading", 200, 200, 200, 100, 12, 20199, 199, false},
        {"wedge, total first", 200, 200, 200, 100, 99, 20200, 10, true},
        // An interval of MAXDWORD is no interval outside the two special
        // forms (measured on Wine): MAXDWORD/0/c waits for the count or c.
        {"MAXDWORD/0/c, bytes queued", X, 0, 1000, 10, 3, 999, 999, false},
        {"MAXDWORD/0/c, constant reached", X, 0, 1000, 10, 3, 1000, 1000, true},
        {"MAXDWORD/m/0", X, 5, 0, 10, 3, 50, 50, true},
        {"MAXDWORD/MAXDWORD/0 waits for the count", X, X, 0, 10, 3, 1000000, 1000000, false},
        {"MAXDWORD/MAXDWORD/0 full", X, X, 0, 10, 10, 0, 0, true},
        // A total that does not fit in 32 bits is none.
        {"total beyond 32 bits", 0, X, 1500, 10, 3, 1000000, 1000000, false},
        {"a total of MAXDWORD ms still counts", 0, 0, X, 10, 3, 1000000, 1000000, false},
    };
    for (const Case& c : cases) {
        CommTimeouts t;
        t.ReadIntervalTimeout = c.interval;
        t.ReadTotalTimeoutMultiplier = c.multiplier;
        t.ReadTotalTimeoutConstant = c.constant;
        ASSERT_TRUE(ReadTimeoutsAccepted(t)) << c.what;
        const ReadRule rule = ReadRuleFor(t, c.count);
        EXPECT_EQ(ReadEnded(rule, c.count, c.done, milliseconds(c.sinceStartMs), milliseconds(c.sinceLastByteMs)),
                  c.ended)
            << c.what;
    }
}

TEST(PosixReadRule, TheTimeOutsSetCommTimeoutsRefuses)
{
    CommTimeouts t;
    t.ReadIntervalTimeout = X;
    t.ReadTotalTimeoutMultiplier = X;
    t.ReadTotalTimeoutConstant = X;
    EXPECT_FALSE(ReadTimeoutsAccepted(t));
    t.ReadTotalTimeoutConstant = X - 1;
    EXPECT_TRUE(ReadTimeoutsAccepted(t));
}

}  // namespace
