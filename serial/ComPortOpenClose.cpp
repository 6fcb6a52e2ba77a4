// Opening and closing the device: the life of a connection, with the event
// thread and the notification window that belong to it.
//
// Opening: OnBeforeOpen, the device, all settings, then (when any event is
// selected) the notification window for smWindowSync and the event thread,
// then OnAfterOpen and the three line states. Closing undoes it in reverse:
// the three lines as off, OnBeforeClose, pending reads and writes aborted,
// the thread ended (the main thread keeps serving what it hands over
// meanwhile), the window released, the device closed, OnAfterClose.

#include <atomic>
#include <cstdlib>
#include <exception>
#include <string>

#include "framework/Exception.h"
#include "framework/ExceptionHandler.h"
#include "platform/Diagnostics.h"
#include "platform/NotifyWindow.h"
#include "serial/ComPort.h"
#include "serial/ComPortErrors.h"
#include "serial/ComThread.h"

namespace {

// Marks a port as closing for the length of a ClosePort.
class ClosingScope {
public:
    explicit ClosingScope(std::atomic<bool>& closing) : closing_(closing) { closing_ = true; }
    ~ClosingScope() { closing_ = false; }
    ClosingScope(const ClosingScope&) = delete;
    ClosingScope& operator=(const ClosingScope&) = delete;

private:
    std::atomic<bool>& closing_;
};

}  // namespace

TCustomComPort::~TCustomComPort()
{
    self_.reset();  // a loss queued for the main thread finds the port gone
    // A destructor must not throw: when closing fails (a close handler
    // raised), the failure is reported and the port released regardless.
    try {
        ClosePort();
    } catch (const std::exception& e) {
        platform::Diagnostic("Closing " + port_ + " failed: " + e.what());
    } catch (...) {
        platform::Diagnostic("Closing " + port_ + " failed");
    }
    if (connected_) {
        if (InsideEventBatch(this)) {
            // Destroyed by one of its own handlers under smThreadSync or
            // smNone: the event thread waits for that very handler, so it can
            // neither be ended nor be kept from using this object afterwards.
            platform::Diagnostic("Port " + port_ + " was destroyed from inside one of its own event handlers");
            std::abort();
        }
        StopEventThread();
        CloseDeviceHandle();
        connected_ = false;
    }
    // The groups go with the port's members, after this body.
}

void TCustomComPort::OpenDeviceHandle()
{
    // Exclusive (share mode 0) and overlapped; OpenPort examines the result.
    deviceHandle_ = platform::SerialApi().CreateFileA("\\\\.\\" + port_, platform::GenericRead | platform::GenericWrite,
                                                      0, platform::OpenExisting, platform::FileFlagOverlapped);
}

void TCustomComPort::CloseDeviceHandle()
{
    if (deviceHandle_ != platform::InvalidHandle)
        platform::SerialApi().CloseHandle(deviceHandle_);
    // Forget the released handle, so that nothing can reach a handle value
    // the system may already have given to someone else.
    deviceHandle_ = platform::InvalidHandle;
}

void TCustomComPort::OpenPort()
{
    if (connected_)
        return;
    HandleBeforeOpen();

    OpenDeviceHandle();
    if (deviceHandle_ == platform::InvalidHandle) {
        // No such device, or another program has it: an error, not a port
        // that is open in name only. Nothing else has happened yet.
        const auto error = static_cast<int>(platform::SerialApi().GetLastError());
        throw EComPort(TComPortErrorCode::OpenFailed, error);
    }
    connected_ = true;
    ++opening_;
    openedPort_ = port_;
    openedSyncMethod_ = syncMethod_;

    try {
        ApplySettings();
        if (events_.Empty()) {
            eventThreadRunning_ = false;
        } else {
            if (syncMethod_ == smWindowSync) {
                notifyWindow_ = platform::CreateNotifyWindow(
                    [this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
                        return EventWindowProc(message, wParam, lParam);
                    });
            }
            eventThread_ = std::make_unique<TComThread>(this);
            eventThreadRunning_ = true;
        }
    } catch (...) {
        notifyWindow_.reset();
        CloseDeviceHandle();
        connected_ = false;
        throw;
    }

    HandleAfterOpen();
}

void TCustomComPort::ClosePort()
{
    // Asked first, before any member is read: under smNone the asking handler
    // runs on the event thread.
    if (InsideEventBatch(this)) {
        // The event thread waits for the handler that asks (or is the one
        // asking): waiting for its end here would never return.
        throw Exception("Cannot close port " + port_ + " from inside one of its own event handlers");
    }
    if (!connected_ || closing_)
        return;  // closed, or a handler runs while this port is being closed
    const ClosingScope closing(closing_);

    HandleBeforeClose();
    AbortPending();
    StopEventThread();
    CloseDeviceHandle();
    connected_ = false;
    HandleAfterClose();
}

void TCustomComPort::StopEventThread()
{
    if (eventThread_ != nullptr) {
        // Signals the stop and waits for the end; steps the thread hands over
        // meanwhile still run (Connected is still true).
        eventThread_.reset();
    }
    eventThreadRunning_ = false;
    notifyWindow_.reset();
}

void TCustomComPort::AbortPending()
{
    platform::SerialApi().PurgeComm(deviceHandle_, platform::PurgeTxAbort | platform::PurgeRxAbort);
}

void TCustomComPort::FinishLoading()
{
    TComponent::FinishLoading();  // ends the loading state: applying acts again
    const bool wanted = loadedConnected_.value_or(connected_);
    loadedConnected_.reset();
    try {
        if (!wanted) {
            ClosePort();  // an open port told to close while it was loaded
        } else if (!connected_) {
            OpenPort();
        } else if (port_ != openedPort_ || syncMethod_ != openedSyncMethod_) {
            // Loaded while open, onto another device or another delivery:
            // both are taken only when opening.
            ClosePort();
            OpenPort();
        } else {
            // Loaded while open: the settings read meanwhile were not sent.
            ApplySettings();
        }
    } catch (...) {
        // Reported to the user; loading itself goes on normally.
        HandleCurrentException(this);
    }
}
