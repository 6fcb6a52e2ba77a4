// The main thread's work queue, Completion and WaitServing.
// The main thread's sleep itself is per platform (linux/PosixMainThread.cpp,
// win32/Win32Loop.cpp).

#include "platform/HandOver.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

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
            Diagnostic("Unhandled exception in a call run on the main thread: " + detail::DescribeCurrentException());
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

}  // namespace platform
