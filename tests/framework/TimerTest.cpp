// TTimer and the application's loop, on a recording loop: the tests fire the
// timers themselves, so nothing waits for real time.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/EventLoop.h"
#include "framework/Exception.h"
#include "framework/ExceptionHandler.h"

namespace {

class RecordingLoop final : public platform::IEventLoop {
public:
    struct Timer {
        std::uint32_t milliseconds;
        bool repeating;
        std::function<void()> onTimer;
    };

    int Run() override { return runResult; }
    void Quit(int exitCode) override { quitCodes.push_back(exitCode); }
    platform::TimerId StartTimer(std::uint32_t milliseconds, bool repeating, std::function<void()> onTimer) override
    {
        timers[++lastId] = Timer{milliseconds, repeating, std::move(onTimer)};
        return lastId;
    }
    void StopTimer(platform::TimerId id) override { timers.erase(id); }

    // Fires the only running timer, as the loop would.
    void FireOnlyTimer()
    {
        ASSERT_EQ(timers.size(), 1u);
        std::function<void()> onTimer = timers.begin()->second.onTimer;
        onTimer();
    }

    std::map<platform::TimerId, Timer> timers;
    platform::TimerId lastId = 0;
    int runResult = 0;
    std::vector<int> quitCodes;
};

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override { savedHandler_ = SetExceptionHandler({}); }
    void TearDown() override
    {
        SetApplicationEventLoop(nullptr);
        SetExceptionHandler(savedHandler_);
    }

    RecordingLoop loop;
    TComponent form{nullptr};

private:
    TExceptionHandler savedHandler_;
};

TEST_F(TimerTest, RunsOnTheLoopOnlyWhenEnabledWithAnIntervalAndAHandler)
{
    auto* timer = new TTimer(&form);  // created before a loop is installed
    timer->SetInterval(100);
    timer->SetOnTimer([](TComponent*) {});
    EXPECT_TRUE(loop.timers.empty());

    SetApplicationEventLoop(&loop);
    ASSERT_EQ(loop.timers.size(), 1u);
    EXPECT_EQ(loop.timers.begin()->second.milliseconds, 100u);
    EXPECT_TRUE(loop.timers.begin()->second.repeating);

    struct Step {
        const char* name;
        std::function<void()> change;
        size_t running;
        std::uint32_t interval;
    };
    const Step steps[] = {
        {"a new interval restarts it", [&] { timer->SetInterval(250); }, 1, 250},
        {"disabled", [&] { timer->SetEnabled(false); }, 0, 0},
        {"enabled again", [&] { timer->SetEnabled(true); }, 1, 250},
        {"interval 0", [&] { timer->SetInterval(0); }, 0, 0},
        {"interval back", [&] { timer->SetInterval(30); }, 1, 30},
        {"handler removed", [&] { timer->SetOnTimer({}); }, 0, 0},
        {"handler back", [&] { timer->SetOnTimer([](TComponent*) {}); }, 1, 30},
    };
    for (const Step& step : steps) {
        step.change();
        ASSERT_EQ(loop.timers.size(), step.running) << step.name;
        if (step.running != 0) {
            EXPECT_EQ(loop.timers.begin()->second.milliseconds, step.interval) << step.name;
        }
    }

    RecordingLoop other;
    SetApplicationEventLoop(&other);
    EXPECT_TRUE(loop.timers.empty()) << "the timer moves to the new loop";
    EXPECT_EQ(other.timers.size(), 1u);

    delete timer;
    EXPECT_TRUE(other.timers.empty()) << "a destroyed timer leaves the loop";
}

TEST_F(TimerTest, TheHandlerGetsTheTimerAsSenderAndMayDisableIt)
{
    auto* timer = new TTimer(&form);
    TComponent* sender = nullptr;
    timer->SetOnTimer([&](TComponent* s) {
        timer->SetEnabled(false);
        sender = s;
    });
    SetApplicationEventLoop(&loop);
    loop.FireOnlyTimer();
    EXPECT_EQ(sender, timer);
    EXPECT_TRUE(loop.timers.empty());
}

TEST_F(TimerTest, AnExceptionFromTheHandlerGoesToTheCentralHandlerAndTheTimerGoesOn)
{
    auto* timer = new TTimer(&form);
    timer->SetOnTimer([](TComponent*) { throw EConvertError("'x' is not a valid integer value"); });
    std::vector<std::string> handled;
    std::vector<const void*> sources;
    SetExceptionHandler([&](const std::exception& e, const void* source) {
        handled.push_back(e.what());
        sources.push_back(source);
    });
    SetApplicationEventLoop(&loop);
    EXPECT_NO_THROW(loop.FireOnlyTimer());
    EXPECT_EQ(handled, std::vector<std::string>{"'x' is not a valid integer value"});
    EXPECT_EQ(sources, std::vector<const void*>{timer});
    EXPECT_EQ(loop.timers.size(), 1u);
}

TEST_F(TimerTest, StartsOnlyWhenTheFormHasBeenRead)
{
    SetApplicationEventLoop(&loop);
    form.BeginLoading();
    auto* timer = new TTimer(&form);
    form.BeginLoading();  // the new timer joins the loading state
    timer->SetInterval(100);
    timer->SetOnTimer([](TComponent*) {});
    EXPECT_TRUE(loop.timers.empty());
    form.EndLoading();
    EXPECT_EQ(loop.timers.size(), 1u);
}

TEST_F(TimerTest, RunAndQuitGoToTheInstalledLoop)
{
    EXPECT_THROW(RunEventLoop(), Exception);
    EXPECT_NO_THROW(QuitEventLoop(1));  // no loop: ignored

    SetApplicationEventLoop(&loop);
    loop.runResult = 4;
    EXPECT_EQ(RunEventLoop(), 4);
    QuitEventLoop(2);
    EXPECT_EQ(loop.quitCodes, std::vector<int>{2});
}

}  // namespace
