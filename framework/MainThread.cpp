#include "framework/MainThread.h"

#include <exception>

#include "platform/HandOver.h"

void SetMainThread() { platform::SetMainThread(); }

bool IsMainThread() { return platform::IsMainThread(); }

void RunOnMainThread(const std::function<void()>& Call)
{
    if (platform::IsMainThread()) {
        Call();
        return;
    }
    // Both live on this stack until the main thread has set done.
    std::exception_ptr error;
    platform::Completion done;
    platform::PostToMainThread([&Call, &error, &done] {
        try {
            Call();
        } catch (...) {
            error = std::current_exception();
        }
        done.Set();
    });
    platform::WaitServing(done);
    if (error)
        std::rethrow_exception(error);
}

bool ServeHandOvers() { return platform::ServeMainThread(); }
