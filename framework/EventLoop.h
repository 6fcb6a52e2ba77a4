#pragma once
// The application's event loop and its timer component.
//
// The program picks a loop (platform::CreateSystemEventLoop for the window
// toolkit, platform::CreatePlainEventLoop where no window is shown), installs
// it here and runs it on the main thread. The loop serves the calls other
// threads hand to the main thread (MainThread.h) whichever kind it is.

#include <cstdint>
#include <functional>
#include <string>

#include "framework/Component.h"
#include "platform/EventLoop.h"

// Installs the loop the application runs (not owned; nullptr removes it;
// remove it before destroying it).
// Running timers move to the new loop. Main thread.
void SetApplicationEventLoop(platform::IEventLoop* Loop);
platform::IEventLoop* ApplicationEventLoop();

// Runs the installed loop until QuitEventLoop and returns the exit code given
// there. Raises an Exception when no loop is installed.
int RunEventLoop();
// Asks the installed loop to end; ignored when none is installed. A request
// made before RunEventLoop makes it return at once.
void QuitEventLoop(int ExitCode);

// TTimer: while Enabled, calls OnTimer on the main thread every Interval
// milliseconds, from the application's event loop. It runs only when it is
// enabled, its interval is above 0, a handler is assigned, no stored form
// description is being read into it and an event loop is installed. An
// exception that leaves OnTimer goes to the central exception handler with
// the timer as its source; the timer keeps running.
class TTimer : public TComponent {
public:
    using THandler = std::function<void(TComponent* Sender)>;

    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    std::uint32_t Interval() const { return interval_; }
    void SetInterval(std::uint32_t Value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value);
    const THandler& OnTimer() const { return onTimer_; }
    void SetOnTimer(THandler Value);

    std::string ClassName() const override { return "TTimer"; }

    // Stops or (re)starts the loop's timer to match the settings; called by
    // the setters and when the application's loop changes.
    void UpdateTimer();

protected:
    void FinishLoading() override;
    // Raises OnTimer; exceptions go to the central exception handler.
    virtual void Timer();

private:
    void StopLoopTimer();

    std::uint32_t interval_ = 1000;
    bool enabled_ = true;
    THandler onTimer_;
    platform::IEventLoop* loop_ = nullptr;  // the loop the timer runs on
    platform::TimerId timerId_ = 0;
};
