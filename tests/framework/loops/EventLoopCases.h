#pragma once
// The behaviour every event loop shares, as a parametrised suite. Each test
// executable instantiates it with the loops it can run: the plain loop runs
// with the thread tests (ThreadSanitizer included), the toolkit loops in
// framework_loop_tests.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/MainThread.h"
#include "platform/Diagnostics.h"
#include "platform/EventLoop.h"
#include "platform/HandOver.h"
#include "platform/NotifyWindow.h"
#include "threads/Sync.h"

struct LoopKind {
    const char* name;
    std::function<std::unique_ptr<platform::IEventLoop>()> create;
};

inline void PrintTo(const LoopKind& kind, std::ostream* os) { *os << kind.name; }

inline std::string LoopKindName(const ::testing::TestParamInfo<LoopKind>& info) { return info.param.name; }

class EventLoopTest : public ::testing::TestWithParam<LoopKind> {
protected:
    void SetUp() override
    {
        SetMainThread();
        loop = GetParam().create();
    }
    void TearDown() override { loop.reset(); }

    int RunGuarded()
    {
        tarvel_test::DeadlockGuard guard("the event loop");
        return loop->Run();
    }

    std::unique_ptr<platform::IEventLoop> loop;
};

TEST_P(EventLoopTest, AOneShotTimerFiresOnceAndARepeatingOneUntilStopped)
{
    int oneShot = 0;
    int repeats = 0;
    loop->StartTimer(1, false, [&] { ++oneShot; });
    platform::TimerId repeating = 0;
    repeating = loop->StartTimer(1, true, [&] {
        if (++repeats == 5) {
            loop->StopTimer(repeating);
            loop->Quit(3);
        }
    });
    EXPECT_EQ(RunGuarded(), 3);
    EXPECT_EQ(oneShot, 1);
    EXPECT_EQ(repeats, 5);
}

TEST_P(EventLoopTest, ATimerStoppedInItsOwnCallbackNeverFiresAgain)
{
    int selfStopping = 0;
    int ticks = 0;
    platform::TimerId id = 0;
    id = loop->StartTimer(1, true, [&] {
        ++selfStopping;
        loop->StopTimer(id);
    });
    loop->StartTimer(1, true, [&] {
        if (++ticks == 5)
            loop->Quit(0);
    });
    RunGuarded();
    EXPECT_EQ(selfStopping, 1);
}

TEST_P(EventLoopTest, AQuitBeforeRunEndsTheNextRunAtOnce)
{
    loop->Quit(7);
    EXPECT_EQ(RunGuarded(), 7);
    // The loop runs again afterwards.
    loop->StartTimer(1, false, [&] { loop->Quit(2); });
    EXPECT_EQ(RunGuarded(), 2);
}

TEST_P(EventLoopTest, ServesHandOversAndQuitsFromAnotherThread)
{
    const std::thread::id mainId = std::this_thread::get_id();
    std::vector<std::thread::id> ranOn;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            RunOnMainThread([&] { ranOn.push_back(std::this_thread::get_id()); });
        loop->Quit(5);
    });
    EXPECT_EQ(RunGuarded(), 5);
    worker.join();
    EXPECT_EQ(ranOn, std::vector<std::thread::id>(3, mainId));
}

TEST_P(EventLoopTest, DeliversMessagesSentToANotificationWindow)
{
    std::vector<std::uintptr_t> codes;
    auto window = platform::CreateNotifyWindow(
        [&](std::uint32_t message, std::uintptr_t wParam, std::intptr_t) -> std::intptr_t {
            if (message == platform::WmUser + 1)
                codes.push_back(wParam);
            return 0;
        });
    std::thread sender([&] {
        for (std::uintptr_t code : {1u, 2u, 8u})
            window->SendMessageA(platform::WmUser + 1, code, 0);
        loop->Quit(0);
    });
    RunGuarded();
    sender.join();
    EXPECT_EQ(codes, (std::vector<std::uintptr_t>{1, 2, 8}));
}

TEST_P(EventLoopTest, AnExceptionLeavingATimerIsReportedAndTheLoopGoesOn)
{
    std::vector<std::string> lines;
    platform::SetDiagnosticSink([&](const std::string& line) { lines.push_back(line); });
    loop->StartTimer(1, false, [] { throw std::runtime_error("timer failed"); });
    int ticks = 0;
    loop->StartTimer(2, true, [&] {
        if (++ticks == 3)
            loop->Quit(0);
    });
    RunGuarded();
    platform::SetDiagnosticSink({});
    EXPECT_EQ(ticks, 3);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("timer failed"), std::string::npos) << lines[0];
}
