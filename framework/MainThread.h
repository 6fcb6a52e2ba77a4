#pragma once
// The main-thread hand-over. Another thread hands a call to the main thread
// and blocks until the main thread has run it; an exception the call raises
// is carried back and raised again in the caller. The main thread runs
// handed-over calls from its event loop (whichever loop runs, modal ones
// included) and while it waits for a thread to end (TThread::WaitFor).
// Nothing else is locked: the blocking hand-over is the synchronisation.

#include <functional>

// Makes the calling thread the main thread. Until it is called, the main
// thread is the one that started the process. Called at start-up (and by
// tests).
void SetMainThread();
bool IsMainThread();

// Runs Call on the main thread. From another thread: blocks until the main
// thread has run it, then raises again whatever it raised. On the main thread:
// runs it at once.
//
// The main thread must come to serve it: a main thread that waits for the
// caller in any other way than TThread::WaitFor deadlocks.
void RunOnMainThread(const std::function<void()>& Call);

// Main thread: runs the calls handed over so far. Returns true when it ran
// any. For loops of one's own; the event loops and WaitFor do it already.
bool ServeHandOvers();
