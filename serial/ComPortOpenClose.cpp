// Opening and closing the device.
//
// TO DO with the event thread (not here yet):
// - OpenPort: HandleBeforeOpen first; after ApplySettings, start the event
//   thread when Events is not empty (and the notification window first for
//   smWindowSync); HandleAfterOpen last; a device that cannot be opened
//   raises EComPort code 1 with the system's error code instead of going on.
// - ClosePort: HandleBeforeClose first; after AbortPending, stop and destroy
//   the event thread (and the notification window); HandleAfterClose last.
// - Destructor: stop the thread too if ClosePort fails.

#include <exception>

#include "framework/ExceptionHandler.h"
#include "platform/Diagnostics.h"
#include "serial/ComPort.h"

TCustomComPort::~TCustomComPort()
{
    // A destructor must not throw: when closing fails (a close handler
    // raised), the failure is reported and the device released regardless.
    try {
        ClosePort();
    } catch (const std::exception& e) {
        platform::Diagnostic("Closing " + port_ + " failed: " + e.what());
    } catch (...) {
        platform::Diagnostic("Closing " + port_ + " failed");
    }
    if (connected_) {
        CloseDeviceHandle();
        connected_ = false;
    }
    delete buffer_;
    delete flowControl_;
    delete timeouts_;
    delete parity_;
}

void TCustomComPort::OpenDeviceHandle()
{
    // Exclusive (share mode 0) and overlapped; the result is not examined here.
    deviceHandle_ = platform::SerialApi().CreateFileA(
        "\\\\.\\" + port_, platform::GenericRead | platform::GenericWrite, 0, platform::OpenExisting,
        platform::FileFlagOverlapped);
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
    OpenDeviceHandle();
    connected_ = true;
    try {
        ApplySettings();
    } catch (...) {
        CloseDeviceHandle();
        connected_ = false;
        throw;
    }
}

void TCustomComPort::ClosePort()
{
    if (!connected_)
        return;
    AbortPending();
    CloseDeviceHandle();
    connected_ = false;
}

void TCustomComPort::AbortPending()
{
    platform::SerialApi().PurgeComm(deviceHandle_, platform::PurgeTxAbort | platform::PurgeRxAbort);
}

void TCustomComPort::FinishLoading()
{
    TComponent::FinishLoading();  // ends the loading state: applying acts again
    if (!connected_)
        return;
    connected_ = false;  // so that OpenPort does not return at once
    try {
        OpenPort();
    } catch (...) {
        // Reported to the user; loading itself goes on normally.
        HandleCurrentException(this);
    }
}
