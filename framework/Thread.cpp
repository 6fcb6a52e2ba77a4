#include "framework/Thread.h"

#include "framework/Exception.h"
#include "framework/MainThread.h"
#include "platform/Diagnostics.h"

namespace {
// The TThread whose Execute runs on this thread.
thread_local const TThread* t_current = nullptr;
}  // namespace

TThread::TThread() = default;

TThread::~TThread() { TerminateAndWait(); }

void TThread::Resume()
{
    if (started_)
        return;
    thread_ = std::thread([this] { Body(); });  // may throw: then nothing started
    started_ = true;
}

void TThread::Body()
{
    t_current = this;
    try {
        Execute();
    } catch (...) {
        fatalException_ = std::current_exception();
        platform::Diagnostic("A thread ended by an exception: " + platform::detail::DescribeCurrentException());
    }
    // The last thing this thread does with the object: a waiter may destroy
    // it as soon as this is set.
    finished_.Set();
}

void TThread::WaitFor()
{
    if (t_current == this)
        throw Exception("A thread cannot wait for its own end");
    if (!started_)
        return;
    platform::WaitServing(finished_);
    if (thread_.joinable())
        thread_.join();  // returns at once: Body has finished
}

void TThread::TerminateAndWait()
{
    Terminate();
    WaitFor();
}

void TThread::Synchronize(const std::function<void()>& Call) { RunOnMainThread(Call); }
