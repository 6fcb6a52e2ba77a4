// The main thread's sleep on Linux: a condition variable. Messages to the
// notification windows arrive as queued jobs, so a wake covers them too.

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/HandOver.h"

namespace platform::detail {
namespace {
std::mutex g_mutex;
std::condition_variable g_cv;
bool g_woken = false;
}  // namespace

void SleepMainThread(std::int64_t timeoutMilliseconds)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    if (timeoutMilliseconds < 0)
        g_cv.wait(lock, [] { return g_woken; });
    else
        g_cv.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds), [] { return g_woken; });
    g_woken = false;
}

void WakeMainThread()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_woken = true;
    g_cv.notify_all();
}

}  // namespace platform::detail
