// The plain loop: queued jobs and timers, sleeping in the main thread's
// sleep between them.

#include "platform/EventLoop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/Diagnostics.h"

namespace platform {

// --- The plain loop ----------------------------------------------------------

namespace {

class PlainEventLoop final : public IEventLoop {
public:
    int Run() override
    {
        if (!IsMainThread())
            throw std::logic_error("the event loop runs only on the main thread");
        while (!quit_.load()) {
            ServeMainThread();
            FireDueTimers();
            if (quit_.load())
                break;
            detail::SleepMainThread(MillisecondsToNextTimer());
        }
        quit_.store(false);
        return exitCode_.load();
    }

    void Quit(int exitCode) override
    {
        exitCode_.store(exitCode);
        quit_.store(true);
        detail::WakeMainThread();
    }

    TimerId StartTimer(std::uint32_t milliseconds, bool repeating, std::function<void()> onTimer) override
    {
        const TimerId id = ++lastId_;
        timers_[id] = Timer{std::chrono::milliseconds(milliseconds), repeating,
                            Clock::now() + std::chrono::milliseconds(milliseconds), std::move(onTimer)};
        return id;
    }

    void StopTimer(TimerId id) override { timers_.erase(id); }

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        Clock::duration interval;
        bool repeating;
        Clock::time_point due;
        std::function<void()> onTimer;
    };

    void FireDueTimers()
    {
        const Clock::time_point now = Clock::now();
        std::vector<std::pair<Clock::time_point, TimerId>> due;
        for (const auto& [id, timer] : timers_)
            if (timer.due <= now)
                due.emplace_back(timer.due, id);
        std::sort(due.begin(), due.end());
        for (const auto& entry : due) {
            auto it = timers_.find(entry.second);
            if (it == timers_.end())
                continue;  // stopped by an earlier callback
            std::function<void()> onTimer = it->second.onTimer;
            if (it->second.repeating)
                it->second.due = now + it->second.interval;
            else
                timers_.erase(it);
            try {
                onTimer();
            } catch (...) {
                Diagnostic("Unhandled exception in a timer: " + detail::DescribeCurrentException());
            }
            if (quit_.load())
                return;
        }
    }

    std::int64_t MillisecondsToNextTimer() const
    {
        if (timers_.empty())
            return -1;
        Clock::time_point next = Clock::time_point::max();
        for (const auto& entry : timers_)
            next = std::min(next, entry.second.due);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
        return std::max<std::int64_t>(0, left.count());
    }

    std::atomic<bool> quit_{false};
    std::atomic<int> exitCode_{0};
    TimerId lastId_ = 0;
    std::map<TimerId, Timer> timers_;
};

}  // namespace

std::unique_ptr<IEventLoop> CreatePlainEventLoop() { return std::make_unique<PlainEventLoop>(); }

}  // namespace platform
