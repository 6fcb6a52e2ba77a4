#include "serial/ComThread.h"

#include <exception>
#include <string>

#include "framework/ExceptionHandler.h"
#include "platform/Diagnostics.h"
#include "platform/EventLoop.h"
#include "platform/NotifyWindow.h"

namespace {

// The ports whose event batch the calling thread is running, innermost
// first. A batch can nest inside another port's handler when that handler
// runs a nested event loop (a modal box) that serves the next hand-over.
struct BatchFrame {
    const TCustomComPort* port;
    const BatchFrame* outer;
};
thread_local const BatchFrame* t_batch = nullptr;

class BatchScope {
public:
    explicit BatchScope(const TCustomComPort* port) : frame_{port, t_batch} { t_batch = &frame_; }
    ~BatchScope() { t_batch = frame_.outer; }
    BatchScope(const BatchScope&) = delete;
    BatchScope& operator=(const BatchScope&) = delete;

private:
    BatchFrame frame_;
};

// Inside a catch block: the message of the exception being handled.
std::string CurrentMessage()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

}  // namespace

bool InsideEventBatch(const TCustomComPort* Port)
{
    for (const BatchFrame* frame = t_batch; frame != nullptr; frame = frame->outer)
        if (frame->port == Port)
            return true;
    return false;
}

TComThread::TComThread(TCustomComPort* AOwnerPort)
    : ownerPort_(AOwnerPort),
      api_(platform::SerialApi()),
      device_(AOwnerPort->deviceHandle_),
      syncMethod_(AOwnerPort->syncMethod_),
      portName_(AOwnerPort->port_),
      port_(AOwnerPort->self_),
      opening_(AOwnerPort->opening_)
{
    // Created suspended (the base starts nothing before Resume), at normal
    // priority.
    stopSignal_ = api_.CreateEventA(/*manualReset=*/true, /*initialState=*/false);
    api_.SetCommMask(device_, EventsToMask(ownerPort_->events_));  // a refusal is not reported
    try {
        Resume();
    } catch (...) {
        if (stopSignal_ != platform::NullHandle)
            api_.CloseHandle(stopSignal_);
        throw;
    }
}

TComThread::~TComThread()
{
    SignalStop();
    TerminateAndWait();
    // Closed here, once the thread has ended, rather than by the body: a
    // thread whose wait failed ends on its own, and the stop signal must stay
    // valid until this destructor has set it (a closed handle value may
    // already name another object).
    if (stopSignal_ != platform::NullHandle)
        api_.CloseHandle(stopSignal_);
}

void TComThread::SignalStop()
{
    api_.SetEvent(stopSignal_);
    api_.Sleep(0);
}

void TComThread::Execute()
{
    overlapped_ = platform::Overlapped{};
    overlapped_.hEvent = api_.CreateEventA(/*manualReset=*/true, /*initialState=*/true);
    const platform::Handle waitList[2] = {stopSignal_, overlapped_.hEvent};

    for (;;) {
        // A wait that completes at once signals the overlapped event just as
        // one that completes later. One that cannot be started ends the loop:
        // the overlapped event would stay signalled and the loop would turn
        // without ever blocking.
        if (!api_.WaitCommEvent(device_, &eventMask_, &overlapped_)) {
            const platform::DWORD error = api_.GetLastError();
            if (error != platform::ErrorIoPending) {
                ReportWaitFailure("cannot wait for serial events", error);
                break;
            }
        }
        waitOutstanding_ = true;

        const platform::DWORD woke = api_.WaitForMultipleObjects(2, waitList, false, platform::Infinite);
        if (woke == platform::WaitObject0)
            break;  // the stop signal
        if (woke != platform::WaitObject0 + 1) {
            ReportWaitFailure("waiting for serial events failed", api_.GetLastError());
            break;
        }

        platform::DWORD transferred = 0;
        const bool done = api_.GetOverlappedResult(device_, &overlapped_, &transferred, false);
        waitOutstanding_ = false;
        if (done) {
            firedEvents_ = MaskToEvents(eventMask_);
            DeliverEvents();
            continue;
        }
        // A wait ended by clearing the mask or by a purge is normal (Wine
        // reports it so); any other failure means the device is gone.
        const platform::DWORD error = api_.GetLastError();
        if (error != platform::ErrorOperationAborted) {
            ReportWaitFailure("the wait for serial events failed", error);
            break;
        }
    }
    Finish();
    if (failed_)
        ReportLoss();
}

void TComThread::Finish()
{
    // Clearing the mask ends the outstanding wait; let it complete before
    // its block is left behind.
    const bool cleared = api_.SetCommMask(device_, 0);
    if (cleared && waitOutstanding_) {
        platform::DWORD transferred = 0;
        api_.GetOverlappedResult(device_, &overlapped_, &transferred, true);
    }
    waitOutstanding_ = false;
    api_.PurgeComm(device_, platform::PurgeTxClear | platform::PurgeRxClear);
    if (overlapped_.hEvent != platform::NullHandle)
        api_.CloseHandle(overlapped_.hEvent);
    overlapped_.hEvent = platform::NullHandle;
}

void TComThread::ReportLoss()
{
    platform::PostToMainThread([port = port_, opening = opening_, error = failure_] {
        const std::shared_ptr<TCustomComPort*> alive = port.lock();
        if (!alive)
            return;
        TCustomComPort* owner = *alive;
        try {
            owner->HandleLost(opening, error);
        } catch (...) {
            HandleCurrentException(owner);
        }
    });
}

void TComThread::ReportWaitFailure(const char* what, platform::DWORD error)
{
    failed_ = true;
    failure_ = error;
    platform::Diagnostic("serial port " + portName_ + ": " + what + " (error " + std::to_string(error) +
                         "); no more events are reported until it is reopened");
}

void TComThread::DeliverEvents()
{
    try {
        switch (syncMethod_) {
        case smThreadSync:
            // Also for an empty set: the main thread runs the batch while this
            // thread waits.
            Synchronize([this] { RunEventHandlers(); });
            break;
        case smWindowSync:
            NotifyByMessage();
            break;
        case smNone:
            RunEventHandlers();
            break;
        }
    } catch (...) {
        // The thread goes on waiting.
        platform::Diagnostic(CurrentMessage());
    }
}

void TComThread::RunEventHandlers()
{
    const BatchScope batch(ownerPort_);
    for (TComEvent event : EventDispatchOrder) {
        if (!firedEvents_.Contains(event))
            continue;
        // One failing handler neither stops the rest of the batch nor the
        // thread: a malformed frame must not turn the reader off.
        try {
            ownerPort_->RunEventStep(event);
        } catch (...) {
            platform::Diagnostic(CurrentMessage());
        }
    }
}

void TComThread::NotifyByMessage()
{
    platform::INotifyWindow* window = ownerPort_->notifyWindow_.get();
    if (window == nullptr)
        return;
    for (TComEvent event : EventDispatchOrder)
        if (firedEvents_.Contains(event))
            window->SendMessageA(ComEventMessage, EventsToMask(TComEvents{event}), 0);
}
