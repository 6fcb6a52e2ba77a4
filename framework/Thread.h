#pragma once
// TThread: the base of the program's worker threads (the serial component's
// event thread derives from it). A thread object is created suspended;
// Resume starts Execute on a new thread. Synchronize hands a call to the main
// thread and blocks until it has run there. Terminate only sets a flag that
// Execute may consult; a thread ends when Execute returns.
//
// Waiting for the end (WaitFor, and the destruction) on the main thread keeps
// serving handed-over calls and messages sent to the main thread's
// notification windows, so a thread that is blocked handing something to the
// main thread can finish and end.
//
// Destruction: the destructor marks the thread terminated and waits for its
// end. A derived class whose Execute uses the derived object's own members
// must end the thread in its own destructor (TerminateAndWait), because those
// members are gone by the time this destructor runs. One thread waits for a
// thread's end; a thread object is not destroyed from its own Execute.

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/HandOver.h"

class TThread {
public:
    TThread();
    virtual ~TThread();

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts the thread the first time; does nothing later.
    void Resume();
    bool Suspended() const { return !started_; }

    // Sets the terminated flag. Execute decides whether and when to look.
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }

    // Waits until Execute has returned. On the main thread it meanwhile runs
    // handed-over calls and delivers sent messages. A thread that was never
    // resumed has nothing to wait for. From the thread itself it raises an
    // Exception instead of waiting forever.
    void WaitFor();

    // True once Execute has returned (or ended by an exception).
    bool Finished() const { return finished_.IsSet(); }

    // The exception that ended Execute, if one did; kept for whoever wants
    // it and also reported on the diagnostic stream. Read it after WaitFor.
    std::exception_ptr FatalException() const { return fatalException_; }

    // The main-thread hand-over (RunOnMainThread) for this thread's use.
    void Synchronize(const std::function<void()>& Call);

protected:
    // The thread's body.
    virtual void Execute() = 0;

    // Marks the thread terminated and waits for its end, as the destructor
    // does. Call it first in the destructor of a class whose Execute uses
    // the class's own members.
    void TerminateAndWait();

private:
    void Body();

    std::atomic<bool> terminated_{false};
    bool started_ = false;
    platform::Completion finished_;
    std::exception_ptr fatalException_;
    std::thread thread_;
};
