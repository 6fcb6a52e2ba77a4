// Event objects and waits of the Linux serial back end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/SerialApi.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ThreadStats.h"

namespace {

using namespace platform;
using tarvel_test::ElapsedMs;

class PosixEvents : public ::testing::Test {
protected:
    ~PosixEvents() override
    {
        for (Handle h : created) {
            api.CloseHandle(h);
        }
    }
    Handle Make(bool manualReset, bool initialState)
    {
        const Handle h = api.CreateEventA(manualReset, initialState);
        EXPECT_NE(h, NullHandle);
        EXPECT_NE(h, InvalidHandle);
        created.push_back(h);
        return h;
    }

    ISerialApi& api = SystemSerialApi();
    std::vector<Handle> created;
};

TEST_F(PosixEvents, ResetModesAndInitialState)
{
    struct Case {
        const char* name;
        bool manualReset, initialState;
        DWORD firstWait, secondWait;
    };
    const Case cases[] = {
        {"auto reset, signalled: one wait takes it", false, true, WaitObject0, WaitTimeout},
        {"manual reset, signalled: stays signalled", true, true, WaitObject0, WaitObject0},
        {"auto reset, not signalled", false, false, WaitTimeout, WaitTimeout},
        {"manual reset, not signalled", true, false, WaitTimeout, WaitTimeout},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Handle h = Make(c.manualReset, c.initialState);
        EXPECT_EQ(api.WaitForSingleObject(h, 0), c.firstWait);
        EXPECT_EQ(api.WaitForSingleObject(h, 0), c.secondWait);
    }

    const Handle manual = Make(true, false);
    EXPECT_TRUE(api.SetEvent(manual));
    EXPECT_TRUE(api.SetEvent(manual));
    EXPECT_EQ(api.WaitForSingleObject(manual, 0), WaitObject0);
    EXPECT_TRUE(api.ResetEvent(manual));
    EXPECT_EQ(api.WaitForSingleObject(manual, 0), WaitTimeout);
}

TEST_F(PosixEvents, TimeOutWaitsAboutTheTimeGiven)
{
    const Handle h = Make(true, false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(api.WaitForSingleObject(h, 100), WaitTimeout);
    const double elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 99.0);
    EXPECT_LT(elapsed, 250.0);
}

TEST_F(PosixEvents, WaitForAnyGivesTheLowestSignalledIndex)
{
    const Handle list[] = {Make(true, false), Make(false, true), Make(true, true)};
    EXPECT_EQ(api.WaitForMultipleObjects(3, list, false, 0), WaitObject0 + 1);
    // The auto-reset one was taken; the manual one is next.
    EXPECT_EQ(api.WaitForMultipleObjects(3, list, false, 0), WaitObject0 + 2);
    EXPECT_EQ(api.WaitForMultipleObjects(3, list, false, 0), WaitObject0 + 2);
}

TEST_F(PosixEvents, RefusedWaits)
{
    const Handle a = Make(true, true);
    const Handle b = Make(true, true);
    const Handle two[] = {a, b};
    EXPECT_EQ(api.WaitForMultipleObjects(2, two, true, 0), WaitFailed);
    EXPECT_EQ(api.GetLastError(), ErrorNotSupported);
    // Waiting for all of one object is waiting for it.
    EXPECT_EQ(api.WaitForMultipleObjects(1, two, true, 0), WaitObject0);

    EXPECT_EQ(api.WaitForMultipleObjects(0, two, false, 0), WaitFailed);
    EXPECT_EQ(api.GetLastError(), ErrorInvalidParameter);

    const Handle gone = api.CreateEventA(true, true);
    ASSERT_TRUE(api.CloseHandle(gone));
    const Handle withClosed[] = {a, gone};
    EXPECT_EQ(api.WaitForMultipleObjects(2, withClosed, false, 0), WaitFailed);
    EXPECT_EQ(api.GetLastError(), ErrorInvalidHandle);
    EXPECT_FALSE(api.SetEvent(gone));
    EXPECT_EQ(api.GetLastError(), ErrorInvalidHandle);
}

TEST_F(PosixEvents, SetEventWakesABlockedThreadAndAnAutoResetEventWakesOnlyOne)
{
    const Handle h = Make(false, false);
    std::atomic<int> woken{0};
    std::atomic<int> timedOut{0};
    auto waiter = [&] {
        const DWORD r = api.WaitForSingleObject(h, 1000);
        (r == WaitObject0 ? woken : timedOut)++;
    };
    std::thread first(waiter);
    std::thread second(waiter);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(api.SetEvent(h));
    first.join();
    second.join();
    EXPECT_EQ(woken.load(), 1);
    EXPECT_EQ(timedOut.load(), 1);
}

TEST_F(PosixEvents, ManualResetEventWakesEveryWaiter)
{
    const Handle h = Make(true, false);
    std::atomic<int> woken{0};
    auto waiter = [&] {
        if (api.WaitForSingleObject(h, Infinite) == WaitObject0) {
            woken++;
        }
    };
    std::thread first(waiter);
    std::thread second(waiter);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(api.SetEvent(h));
    first.join();
    second.join();
    EXPECT_EQ(woken.load(), 2);
}

}  // namespace
