// TThread: suspended start, the end of Execute, exceptions, and waiting for
// the end on the main thread while the thread hands calls over or sends
// messages to a notification window.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/Exception.h"
#include "framework/MainThread.h"
#include "framework/Thread.h"
#include "platform/Diagnostics.h"
#include "platform/NotifyWindow.h"
#include "threads/Sync.h"

namespace {

// A thread whose body is given as a function.
class TTestThread : public TThread {
public:
    explicit TTestThread(std::function<void(TTestThread&)> body) : body_(std::move(body)) {}
    // Execute uses body_: end the thread before it goes.
    ~TTestThread() override { TerminateAndWait(); }

protected:
    void Execute() override { body_(*this); }

private:
    std::function<void(TTestThread&)> body_;
};

class ThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainThread();
        platform::SetDiagnosticSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(diagnosticsMutex_);
            diagnostics_.push_back(line);
        });
    }
    void TearDown() override { platform::SetDiagnosticSink({}); }

    std::vector<std::string> Diagnostics()
    {
        std::lock_guard<std::mutex> lock(diagnosticsMutex_);
        return diagnostics_;
    }

private:
    std::mutex diagnosticsMutex_;
    std::vector<std::string> diagnostics_;
};

TEST_F(ThreadTest, IsCreatedSuspendedAndRunsExecuteOnItsOwnThreadAfterResume)
{
    bool ran = false;
    {
        TTestThread never([&](TTestThread&) { ran = true; });
        EXPECT_TRUE(never.Suspended());
        never.WaitFor();  // nothing to wait for
        EXPECT_FALSE(never.Finished());
    }
    EXPECT_FALSE(ran) << "a thread never resumed must never run";

    std::thread::id ranOn;
    TTestThread thread([&](TTestThread&) { ranOn = std::this_thread::get_id(); });
    thread.Resume();
    thread.Resume();  // a second Resume does nothing
    EXPECT_FALSE(thread.Suspended());
    {
        tarvel_test::DeadlockGuard guard("WaitFor");
        thread.WaitFor();
    }
    EXPECT_TRUE(thread.Finished());
    EXPECT_NE(ranOn, std::thread::id());
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST_F(ThreadTest, DestructionEndsAThreadBlockedInAHandOverAfterRunningThePendingCall)
{
    std::vector<std::string> log;  // written in order by both threads, no lock
    bool destroying = false;
    bool firstCallRanWhileDestroying = false;
    {
        auto thread = std::make_unique<TTestThread>([&](TTestThread& self) {
            do {
                self.Synchronize([&] {
                    if (log.empty())
                        firstCallRanWhileDestroying = destroying;
                    log.push_back("call");
                });
            } while (!self.Terminated());
            log.push_back("end");
        });
        thread->Resume();
        // The main thread has served nothing yet: the thread is (or soon is)
        // blocked in its first hand-over.
        destroying = true;
        tarvel_test::DeadlockGuard guard("destroying a thread blocked in a hand-over");
        thread.reset();
    }
    ASSERT_GE(log.size(), 2u);
    EXPECT_TRUE(firstCallRanWhileDestroying);
    EXPECT_EQ(log.front(), "call");
    EXPECT_EQ(log.back(), "end");
}

TEST_F(ThreadTest, WaitForDeliversMessagesSentToANotificationWindow)
{
    std::vector<std::uintptr_t> codes;
    std::vector<bool> fromOtherThread;
    auto window = platform::CreateNotifyWindow(
        [&](std::uint32_t message, std::uintptr_t wParam, std::intptr_t) -> std::intptr_t {
            if (message == platform::WmUser + 1) {
                fromOtherThread.push_back(platform::InSendMessage());
                codes.push_back(wParam);
            }
            return 0;
        });
    platform::INotifyWindow* target = window.get();
    {
        TTestThread thread([&](TTestThread&) {
            for (std::uintptr_t code : {128u, 1u, 4u})
                target->SendMessageA(platform::WmUser + 1, code, 0);
        });
        thread.Resume();
        tarvel_test::DeadlockGuard guard("WaitFor with messages to deliver");
        thread.WaitFor();
    }
    EXPECT_EQ(codes, (std::vector<std::uintptr_t>{128, 1, 4}));
    EXPECT_EQ(fromOtherThread, (std::vector<bool>{true, true, true}));
}

TEST_F(ThreadTest, AnExceptionLeavingExecuteIsKeptAndReportedNotFatal)
{
    TTestThread thread([](TTestThread&) { throw EConvertError("'z' is not a valid integer value"); });
    thread.Resume();
    {
        tarvel_test::DeadlockGuard guard("WaitFor");
        thread.WaitFor();
    }
    EXPECT_TRUE(thread.Finished());
    ASSERT_TRUE(thread.FatalException());
    try {
        std::rethrow_exception(thread.FatalException());
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'z' is not a valid integer value");
    } catch (...) {
        ADD_FAILURE() << "the kept exception changed its class";
    }
    const std::vector<std::string> lines = Diagnostics();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("'z' is not a valid integer value"), std::string::npos) << lines[0];
}

TEST_F(ThreadTest, WaitForFromTheThreadItselfRaisesInsteadOfHanging)
{
    std::string message;
    TTestThread thread([&](TTestThread& self) {
        try {
            self.WaitFor();
        } catch (const Exception& e) {
            message = e.what();
        }
    });
    thread.Resume();
    {
        tarvel_test::DeadlockGuard guard("WaitFor");
        thread.WaitFor();
    }
    EXPECT_EQ(message, "A thread cannot wait for its own end");
    EXPECT_FALSE(thread.FatalException());
}

TEST_F(ThreadTest, AnotherThreadMayWaitForTheEnd)
{
    tarvel_test::Latch release;
    bool executeReturned = false;  // ordered by the end of the thread
    bool released = false;
    TTestThread thread([&](TTestThread&) {
        released = release.Wait();
        executeReturned = true;
    });
    thread.Resume();
    bool sawReturn = false;
    std::thread waiter([&] {
        thread.WaitFor();
        sawReturn = executeReturned;
    });
    release.Set();
    waiter.join();
    EXPECT_TRUE(released);
    EXPECT_TRUE(sawReturn);
}

// Many short lives of a thread that hands calls over and sends messages
// while the main thread destroys it: for ThreadSanitizer, and for any
// deadlock in the ways the two meet.
TEST_F(ThreadTest, RepeatedLivesWithHandOversAndMessagesEndCleanly)
{
    long handled = 0;  // main thread only
    auto window = platform::CreateNotifyWindow([&](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        if (platform::InSendMessage())
            platform::ReplyMessage(0);
        ++handled;
        return 0;
    });
    platform::INotifyWindow* target = window.get();
    constexpr int Lives = 300;
    tarvel_test::DeadlockGuard guard("repeated thread lives");
    for (int i = 0; i < Lives; ++i) {
        auto thread = std::make_unique<TTestThread>([&, i](TTestThread& self) {
            do {
                if (i % 2 == 0)
                    self.Synchronize([&] { ++handled; });
                else
                    target->SendMessageA(platform::WmUser + 1, 1, 0);
            } while (!self.Terminated());
        });
        thread->Resume();
        if (i % 3 == 0)
            ServeHandOvers();  // sometimes the main thread serves first
        thread.reset();
    }
    EXPECT_GE(handled, Lives) << "each life hands at least one call or message over";
}

}  // namespace
