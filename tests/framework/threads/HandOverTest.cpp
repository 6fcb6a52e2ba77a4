// The main-thread hand-over: blocking, exceptions carried back, many callers.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/Exception.h"
#include "framework/MainThread.h"
#include "platform/EventLoop.h"
#include "platform/HandOver.h"
#include "threads/Sync.h"

namespace {

class HandOverTest : public ::testing::Test {
protected:
    void SetUp() override { SetMainThread(); }

    // Runs body on a new thread while this (the main) thread serves hand-overs
    // on a plain loop; returns when body has returned.
    template <typename Body>
    void OnWorker(Body body)
    {
        auto loop = platform::CreatePlainEventLoop();
        std::thread worker([&] {
            body();
            loop->Quit(0);
        });
        {
            tarvel_test::DeadlockGuard guard("the main thread serving hand-overs");
            loop->Run();
        }
        worker.join();
    }
};

TEST_F(HandOverTest, OnTheMainThreadTheCallRunsAtOnce)
{
    std::thread::id ranOn;
    RunOnMainThread([&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(HandOverTest, TheCallerBlocksUntilTheMainThreadHasRunTheCall)
{
    const std::thread::id mainId = std::this_thread::get_id();
    std::thread::id ranOn;
    bool ran = false;  // plain on purpose: only the hand-over orders the accesses
    bool ranWhenReturned = false;
    OnWorker([&] {
        RunOnMainThread([&] {
            ranOn = std::this_thread::get_id();
            ran = true;
        });
        ranWhenReturned = ran;
    });
    EXPECT_EQ(ranOn, mainId);
    EXPECT_TRUE(ranWhenReturned);
}

struct Thrown {
    int code;
};

TEST_F(HandOverTest, AnExceptionOfTheCallIsRaisedAgainInTheCaller)
{
    struct Case {
        const char* name;
        std::function<void()> call;
        std::string expected;  // what the caller caught
    };
    const std::vector<Case> cases = {
        {"conversion error", [] { throw EConvertError("'x' is not a valid integer value"); },
         "EConvertError: 'x' is not a valid integer value"},
        {"framework exception", [] { throw Exception("Unable to open com port"); },
         "Exception: Unable to open com port"},
        {"standard exception", [] { throw std::runtime_error("broken"); }, "runtime_error: broken"},
        {"not an exception class", [] { throw Thrown{42}; }, "Thrown: 42"},
        {"no exception", [] {}, "returned"},
    };
    for (const Case& c : cases) {
        std::string caught;
        OnWorker([&] {
            try {
                RunOnMainThread(c.call);
                caught = "returned";
            } catch (const EConvertError& e) {
                caught = std::string("EConvertError: ") + e.what();
            } catch (const Exception& e) {
                caught = std::string("Exception: ") + e.what();
            } catch (const std::runtime_error& e) {
                caught = std::string("runtime_error: ") + e.what();
            } catch (const Thrown& t) {
                caught = "Thrown: " + std::to_string(t.code);
            }
        });
        EXPECT_EQ(caught, c.expected) << c.name;
    }
}

TEST_F(HandOverTest, ManyCallersAreServedOneCallAtATimeInTheirOwnOrder)
{
    constexpr int Threads = 4;
    constexpr int CallsEach = 300;
    // Written only by handed-over calls, without a lock.
    long total = 0;
    std::vector<std::vector<int>> seen(Threads);

    auto loop = platform::CreatePlainEventLoop();
    std::atomic<int> running{Threads};
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < CallsEach; ++i)
                RunOnMainThread([&, t, i] {
                    ++total;
                    seen[t].push_back(i);
                });
            if (--running == 0)
                loop->Quit(0);
        });
    {
        tarvel_test::DeadlockGuard guard("serving many callers");
        loop->Run();
    }
    for (std::thread& w : workers)
        w.join();

    EXPECT_EQ(total, Threads * CallsEach);
    for (int t = 0; t < Threads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<size_t>(CallsEach)) << "thread " << t;
        for (int i = 0; i < CallsEach; ++i)
            ASSERT_EQ(seen[t][i], i) << "thread " << t;
    }
}

}  // namespace
