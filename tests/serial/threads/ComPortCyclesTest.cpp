// Many openings and closings while bytes keep arriving from another thread,
// on all three delivery methods: no deadlock, no event after closing, and
// (under ThreadSanitizer) no data race.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/serial/threads/EventThreadFixture.h"

namespace {

using tarvel_test::EventThreadTest;

// Queues bytes on the fake device whenever asked, from its own thread, so
// that they arrive while the port opens, delivers or closes.
class Feeder {
public:
    explicit Feeder(platform::FakeSerialApi& fake) : fake_(fake), thread_([this] { Run(); }) {}
    ~Feeder()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    Feeder(const Feeder&) = delete;
    Feeder& operator=(const Feeder&) = delete;

    void Feed()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++requests_;
        }
        cv_.notify_all();
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return stop_ || requests_ > 0; });
            if (stop_)
                return;
            --requests_;
            lock.unlock();
            fake_.QueueInput("0123456789");
            lock.lock();
        }
    }

    platform::FakeSerialApi& fake_;
    std::mutex mutex_;
    std::condition_variable cv_;
    int requests_ = 0;
    bool stop_ = false;
    std::thread thread_;
};

class ComPortCycles : public EventThreadTest {};

TEST_F(ComPortCycles, AThousandOpenCloseCyclesWithBytesArriving)
{
    constexpr int Cycles = 1000;
    constexpr TSyncMethod methods[] = {smThreadSync, smWindowSync, smNone};

    std::atomic<int> received{0};
    std::atomic<bool> open{false};
    std::atomic<int> afterClose{0};
    std::mutex awaitedMutex;
    platform::Completion* awaited = nullptr;
    port.SetOnRxChar([&](TComponent*, std::int32_t count) {
        if (count <= 0 || !open.load())
            afterClose.fetch_add(1);
        received.fetch_add(1);
        std::lock_guard<std::mutex> lock(awaitedMutex);
        if (awaited != nullptr)
            awaited->Set();
    });
    port.SetOnBeforeOpen([&](TComponent*) { open.store(true); });
    port.SetOnAfterClose([&](TComponent*) { open.store(false); });
    port.SetEvents(TComEvents{evRxChar, evRx80Full});

    Feeder feeder(fake);
    int awaitedCycles = 0;
    {
        tarvel_test::DeadlockGuard guard("the open/close cycles");
        for (int cycle = 0; cycle < Cycles; ++cycle) {
            port.SetSyncMethod(methods[cycle % 3]);
            fake.ClearCalls();
            port.SetConnected(true);
            const int before = received.load();
            feeder.Feed();
            if (cycle % 4 == 0) {
                // Every fourth cycle waits until bytes have been reported; the
                // others close while they may be arriving.
                platform::Completion done;
                bool wait = false;
                {
                    std::lock_guard<std::mutex> lock(awaitedMutex);
                    if (received.load() == before) {
                        awaited = &done;
                        wait = true;
                    }
                }
                if (wait)
                    platform::WaitServing(done);
                {
                    std::lock_guard<std::mutex> lock(awaitedMutex);
                    awaited = nullptr;
                }
                ++awaitedCycles;
            }
            port.SetConnected(false);
            ASSERT_FALSE(port.Connected());
            ASSERT_EQ(port.EventThread(), nullptr);
            ASSERT_EQ(fake.OpenDeviceCount(), 0u);
        }
    }
    EXPECT_GE(received.load(), awaitedCycles);
    EXPECT_EQ(afterClose.load(), 0) << "OnRxChar raised with nothing waiting or while the port was closed";
    EXPECT_TRUE(Diagnostics().empty());
}

}  // namespace
