// The main thread's work queue, Completion, WaitServing and the plain loop.
// The main thread's sleep itself is per platform (posix/PosixMainThread.cpp,
// win32/Win32Loop.cpp).

#include "platform/EventLoop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Diagnostics.h"

namespace platform {
namespace {

// The thread that runs static initialisation is the one that started the
// process.
std::atomic<std::thread::id> g_mainThread{std::this_thread::get_id()};

std::mutex g_queueMutex;
std::deque<std::function<void()>> g_queue;

std::mutex g_wakerMutex;
std::function<void()> g_waker;

}  // namespace

std::string detail::DescribeCurrentException()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

void SetMainThread() { g_mainThread.store(std::this_thread::get_id()); }

bool IsMainThread() { return g_mainThread.load() == std::this_thread::get_id(); }

void PostToMainThread(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(g_queueMutex);
        g_queue.push_back(std::move(job));
    }
    detail::WakeMainThread();
    std::lock_guard<std::mutex> lock(g_wakerMutex);
    if (g_waker)
        g_waker();
}

bool ServeMainThread()
{
    if (!IsMainThread())
        return false;
    bool ran = false;
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard<std::mutex> lock(g_queueMutex);
            if (g_queue.empty())
                break;
            job = std::move(g_queue.front());
            g_queue.pop_front();
        }
        ran = true;
        try {
            job();
        } catch (...) {
            Diagnostic("Unhandled exception in a call run on the main thread: " +
                       detail::DescribeCurrentException());
        }
    }
    return ran;
}

void SetMainThreadWaker(std::function<void()> waker)
{
    std::lock_guard<std::mutex> lock(g_wakerMutex);
    g_waker = std::move(waker);
}

// --- Completion ------------------------------------------------------------

struct Completion::State {
    mutable std::mutex mutex;
    std::condition_variable cv;
    bool set = false;
};

Completion::Completion() : state_(std::make_unique<State>()) {}
Completion::~Completion() = default;

void Completion::Set()
{
    {
        // Notified under the lock: a waiter may destroy this object as soon
        // as it sees the flag, so nothing of it is touched after unlocking.
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->set = true;
        state_->cv.notify_all();
    }
    detail::WakeMainThread();
}

bool Completion::IsSet() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->set;
}

void WaitServing(Completion& done)
{
    if (!IsMainThread()) {
        std::unique_lock<std::mutex> lock(done.state_->mutex);
        done.state_->cv.wait(lock, [&] { return done.state_->set; });
        return;
    }
    // A wake that arrives between the checks and the sleep is kept by the
    // sleep primitive, so nothing is missed.
    for (;;) {
        if (done.IsSet())
            return;
        if (ServeMainThread())
            continue;
        detail::SleepMainThread(-1);
    }
}

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

    TimerId StartTimer(std::uint32_t milliseconds, bool repeating,
                       std::function<void()> onTimer) override
    {
        const TimerId id = ++lastId_;
        timers_[id] = Timer{std::chrono::milliseconds(milliseconds), repeating,
                            Clock::now() + std::chrono::milliseconds(milliseconds),
                            std::move(onTimer)};
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
