#pragma once
// Synchronisation helpers for the thread tests. Tests wait on events, never
// on the clock; the time limits below only turn a deadlock into a failure.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace tarvel_test {

inline constexpr std::chrono::seconds DeadlockLimit{20};

// A one-shot event between threads.
class Latch {
public:
    void Set()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
        cv_.notify_all();
    }
    // False when the limit passed first (a deadlock).
    [[nodiscard]] bool Wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, DeadlockLimit, [this] { return set_; });
    }
    bool IsSet()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return set_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false;
};

// Ends the process with a message when the scope is still running after the
// limit: for waits that have no time limit of their own (WaitFor, a loop's
// Run), so that a deadlock fails the test instead of hanging it.
class DeadlockGuard {
public:
    explicit DeadlockGuard(const char* what) : what_(what)
    {
        watcher_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!cv_.wait_for(lock, DeadlockLimit, [this] { return done_; })) {
                std::fprintf(stderr, "deadlock: %s did not finish\n", what_);
                std::fflush(stderr);
                std::abort();
            }
        });
    }
    ~DeadlockGuard()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
            cv_.notify_all();
        }
        watcher_.join();
    }
    DeadlockGuard(const DeadlockGuard&) = delete;
    DeadlockGuard& operator=(const DeadlockGuard&) = delete;

private:
    const char* what_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread watcher_;
};

}  // namespace tarvel_test
