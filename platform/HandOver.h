#pragma once
// The main thread and the work other threads hand to it.
//
// One thread is the main thread: it runs the event loop (EventLoop.h), owns
// the windows and runs every call that another thread hands over. Other
// threads queue work for it with PostToMainThread; the main thread runs that
// work from whatever loop it is in:
// - the running event loop (Qt's, the Win32 message loop, or the plain loop
//   of unit tests, including the nested loops of modal boxes);
// - WaitServing, the wait of the main thread for something another thread
//   will signal (a thread's end), which also delivers messages sent to the
//   main thread's notification windows. It wakes for either, never on a timer.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// --- The main thread -------------------------------------------------------

// Makes the calling thread the main thread. Until it is called, the main
// thread is the one that started the process. Call it at start-up, before any
// other thread hands anything over (tests call it too).
void SetMainThread();
bool IsMainThread();

// --- Work handed to the main thread ------------------------------------------

// Queues job for the main thread and wakes it. Any thread; never blocks on
// the main thread. Jobs run one at a time, in the order they were queued.
// A job must not throw: one that does is reported on the diagnostic stream.
void PostToMainThread(std::function<void()> job);

// Main thread: runs the jobs queued so far (and those they queue meanwhile).
// Returns true when it ran any. Elsewhere it does nothing and returns false.
bool ServeMainThread();

// A one-shot signal, set from any thread, that WaitServing waits for.
class Completion {
public:
    Completion();
    ~Completion();
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;

    void Set();
    bool IsSet() const;

private:
    friend void WaitServing(Completion& done);
    struct State;
    std::unique_ptr<State> state_;
};

// Waits until done is set. On the main thread it meanwhile runs queued jobs
// and delivers messages sent to the main thread's windows; on another thread
// it only waits.
void WaitServing(Completion& done);

// --- For the loop back ends -------------------------------------------------

// A loop that does not sleep in WaitServing's primitive (a toolkit loop)
// installs a waker: called from any thread whenever a job is queued, it makes
// the loop call ServeMainThread soon. Pass an empty function to remove it.
void SetMainThreadWaker(std::function<void()> waker);

namespace detail {
// The main thread's sleep, per platform: returns when woken (a job queued, a
// Completion set), when a message is sent to one of its windows (after it
// has been delivered) or at the timeout. A wake that came while it was not
// sleeping makes the next sleep return at once.
void SleepMainThread(std::int64_t timeoutMilliseconds);  // < 0: no timeout
void WakeMainThread();

// Inside a catch block: the message of the exception being handled.
std::string DescribeCurrentException();
}  // namespace detail

}  // namespace platform
