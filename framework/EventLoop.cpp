#include "framework/EventLoop.h"

#include <algorithm>
#include <vector>

#include "framework/Exception.h"
#include "framework/ExceptionHandler.h"

namespace {
platform::IEventLoop* g_loop = nullptr;
std::vector<TTimer*> g_timers;  // every live timer (main thread only)
}  // namespace

void SetApplicationEventLoop(platform::IEventLoop* Loop)
{
    g_loop = Loop;
    const std::vector<TTimer*> timers = g_timers;
    for (TTimer* timer : timers)
        timer->UpdateTimer();
}

platform::IEventLoop* ApplicationEventLoop() { return g_loop; }

int RunEventLoop()
{
    if (g_loop == nullptr)
        throw Exception("No event loop is installed");
    return g_loop->Run();
}

void QuitEventLoop(int ExitCode)
{
    if (g_loop != nullptr)
        g_loop->Quit(ExitCode);
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) { g_timers.push_back(this); }

TTimer::~TTimer()
{
    StopLoopTimer();
    g_timers.erase(std::remove(g_timers.begin(), g_timers.end(), this), g_timers.end());
}

void TTimer::SetInterval(std::uint32_t Value)
{
    if (Value == interval_)
        return;
    interval_ = Value;
    UpdateTimer();
}

void TTimer::SetEnabled(bool Value)
{
    if (Value == enabled_)
        return;
    enabled_ = Value;
    UpdateTimer();
}

void TTimer::SetOnTimer(THandler Value)
{
    const bool had = static_cast<bool>(onTimer_);
    onTimer_ = std::move(Value);
    if (had != static_cast<bool>(onTimer_))
        UpdateTimer();
}

void TTimer::FinishLoading()
{
    TComponent::FinishLoading();
    UpdateTimer();
}

void TTimer::UpdateTimer()
{
    StopLoopTimer();
    if (!enabled_ || interval_ == 0 || !onTimer_ || Loading() || g_loop == nullptr)
        return;
    loop_ = g_loop;
    timerId_ = loop_->StartTimer(interval_, true, [this] { Timer(); });
}

void TTimer::StopLoopTimer()
{
    if (loop_ != nullptr && timerId_ != 0)
        loop_->StopTimer(timerId_);
    loop_ = nullptr;
    timerId_ = 0;
}

void TTimer::Timer()
{
    // A copy: the handler may replace itself or disable the timer.
    const THandler handler = onTimer_;
    if (!handler)
        return;
    try {
        handler(this);
    } catch (...) {
        HandleCurrentException(this);
    }
}
