#include "platform/fake/FakeSerialApi.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace platform {

namespace {
// A completed comm-event wait reports its mask's four bytes as transferred.
constexpr DWORD kWaitTransferred = sizeof(DWORD);
}  // namespace

FakeSerialApi::FakeSerialApi() = default;
FakeSerialApi::~FakeSerialApi() = default;

// ---------------------------------------------------------------------------
// Script

void FakeSerialApi::SetOpenError(DWORD error)
{
    Lock lock(mutex_);
    openError_ = error;
}

void FakeSerialApi::FailCall(const std::string& name, DWORD error)
{
    Lock lock(mutex_);
    if (error == ErrorSuccess)
        failures_.erase(name);
    else
        failures_[name] = error;
}

void FakeSerialApi::QueueInput(const std::string& bytes)
{
    Lock lock(mutex_);
    if (bytes.empty())
        return;
    input_ += bytes;
    for (auto& [handle, device] : devices_) {
        FeedReadsLocked(device);
        FireLocked(device, EvRxChar);
    }
    changed_.notify_all();
}

void FakeSerialApi::SetReadsWait(bool wait)
{
    Lock lock(mutex_);
    readsWait_ = wait;
}

void FakeSerialApi::SetModemStatus(DWORD status)
{
    Lock lock(mutex_);
    modemStatus_ = status;
}

void FakeSerialApi::SetErrorWord(DWORD errors)
{
    Lock lock(mutex_);
    errorWord_ = errors;
}

void FakeSerialApi::FireCommEvents(DWORD events)
{
    Lock lock(mutex_);
    for (auto& [handle, device] : devices_)
        FireLocked(device, events);
    changed_.notify_all();
}

void FakeSerialApi::FailPendingWaits(DWORD error)
{
    Lock lock(mutex_);
    for (auto& [handle, device] : devices_) {
        if (device.wait) {
            *device.wait->mask = 0;
            CompleteLocked(device.wait->ov, error, 0);
            device.wait.reset();
        }
    }
    changed_.notify_all();
}

// ---------------------------------------------------------------------------
// What happened

std::vector<SerialCall> FakeSerialApi::Calls() const
{
    Lock lock(mutex_);
    return calls_;
}

std::vector<SerialCall> FakeSerialApi::CallsOf(const std::string& name) const
{
    Lock lock(mutex_);
    std::vector<SerialCall> out;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(out),
                 [&](const SerialCall& c) { return c.name == name; });
    return out;
}

std::size_t FakeSerialApi::CountOf(const std::string& name) const
{
    Lock lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(calls_.begin(), calls_.end(), [&](const SerialCall& c) { return c.name == name; }));
}

void FakeSerialApi::ClearCalls()
{
    Lock lock(mutex_);
    calls_.clear();
}

std::optional<Dcb> FakeSerialApi::LastDcb() const
{
    Lock lock(mutex_);
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it)
        if (it->name == "SetCommState")
            return it->dcb;
    return std::nullopt;
}

bool FakeSerialApi::IsOpen(Handle device) const
{
    Lock lock(mutex_);
    return FindDevice(device) != nullptr;
}

std::size_t FakeSerialApi::OpenDeviceCount() const
{
    Lock lock(mutex_);
    return devices_.size();
}

std::size_t FakeSerialApi::InputQueued() const
{
    Lock lock(mutex_);
    return input_.size();
}

DWORD FakeSerialApi::EventMask(Handle device) const
{
    Lock lock(mutex_);
    const Device* d = FindDevice(device);
    return d != nullptr ? d->mask : 0;
}

bool FakeSerialApi::WaitPending(Handle device) const
{
    Lock lock(mutex_);
    const Device* d = FindDevice(device);
    return d != nullptr && d->wait.has_value();
}

bool FakeSerialApi::WaitUntilWaitPending(DWORD milliseconds) const
{
    Lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
        return std::any_of(devices_.begin(), devices_.end(),
                           [](const auto& entry) { return entry.second.wait.has_value(); });
    });
}

bool FakeSerialApi::WaitUntilCalled(const std::string& name, std::size_t count, DWORD milliseconds) const
{
    Lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
        return static_cast<std::size_t>(std::count_if(calls_.begin(), calls_.end(),
                                                      [&](const SerialCall& c) { return c.name == name; })) >= count;
    });
}

// ---------------------------------------------------------------------------
// Helpers; the mutex is held.

SerialCall& FakeSerialApi::Record(const char* name, Handle h)
{
    SerialCall& call = calls_.emplace_back();
    call.name = name;
    call.handle = h;
    changed_.notify_all();  // for WaitUntilCalled
    return call;
}

bool FakeSerialApi::Fail(const std::string& name)
{
    auto it = failures_.find(name);
    if (it == failures_.end())
        return false;
    SetError(it->second);
    return true;
}

void FakeSerialApi::SetError(DWORD error) { lastError_[std::this_thread::get_id()] = error; }

FakeSerialApi::Device* FakeSerialApi::FindDevice(Handle h)
{
    auto it = devices_.find(h);
    return it != devices_.end() ? &it->second : nullptr;
}

const FakeSerialApi::Device* FakeSerialApi::FindDevice(Handle h) const
{
    auto it = devices_.find(h);
    return it != devices_.end() ? &it->second : nullptr;
}

void FakeSerialApi::SignalLocked(Handle event)
{
    auto it = events_.find(event);
    if (it != events_.end())
        it->second.signaled = true;
    changed_.notify_all();
}

void FakeSerialApi::ResetLocked(Handle event)
{
    auto it = events_.find(event);
    if (it != events_.end())
        it->second.signaled = false;
}

void FakeSerialApi::CompleteLocked(Overlapped* ov, DWORD status, DWORD transferred)
{
    ov->Internal = status;
    ov->InternalHigh = transferred;
    SignalLocked(ov->hEvent);
}

void FakeSerialApi::FireLocked(Device& device, DWORD events)
{
    const DWORD fired = events & device.mask;
    if (fired == 0)
        return;
    if (device.wait) {
        *device.wait->mask = fired;
        CompleteLocked(device.wait->ov, ErrorSuccess, kWaitTransferred);
        device.wait.reset();
    } else {
        device.history |= fired;
    }
}

void FakeSerialApi::FeedReadsLocked(Device& device)
{
    while (!device.reads.empty() && !input_.empty()) {
        PendingRead& read = device.reads.front();
        const std::size_t n = std::min<std::size_t>(read.count - read.done, input_.size());
        std::memcpy(read.buffer + read.done, input_.data(), n);
        input_.erase(0, n);
        read.done += static_cast<DWORD>(n);
        if (read.done < read.count)
            break;
        CompleteLocked(read.ov, ErrorSuccess, read.done);
        device.reads.erase(device.reads.begin());
    }
}

int FakeSerialApi::ReadyLocked(DWORD count, const Handle* handles, bool waitAll)
{
    for (DWORD i = 0; i < count; ++i)
        if (events_.find(handles[i]) == events_.end())
            return -2;
    if (waitAll) {
        for (DWORD i = 0; i < count; ++i)
            if (!events_[handles[i]].signaled)
                return -1;
        for (DWORD i = 0; i < count; ++i)
            if (!events_[handles[i]].manualReset)
                events_[handles[i]].signaled = false;
        return 0;
    }
    for (DWORD i = 0; i < count; ++i) {
        Event& e = events_[handles[i]];
        if (e.signaled) {
            if (!e.manualReset)
                e.signaled = false;
            return static_cast<int>(i);
        }
    }
    return -1;
}

DWORD FakeSerialApi::WaitLocked(Lock& lock, DWORD count, const Handle* handles, bool waitAll, DWORD milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const int ready = ReadyLocked(count, handles, waitAll);
        if (ready >= 0)
            return WaitObject0 + static_cast<DWORD>(ready);
        if (ready == -2) {  // not an event, or closed while waiting
            SetError(ErrorInvalidHandle);
            return WaitFailed;
        }
        if (milliseconds == Infinite) {
            changed_.wait(lock);
        } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            const int last = ReadyLocked(count, handles, waitAll);
            if (last >= 0)
                return WaitObject0 + static_cast<DWORD>(last);
            return WaitTimeout;
        }
    }
}

// ---------------------------------------------------------------------------
// ISerialApi

Handle FakeSerialApi::CreateFileA(const std::string& path, DWORD desiredAccess, DWORD shareMode,
                                  DWORD creationDisposition, DWORD flagsAndAttributes)
{
    Lock lock(mutex_);
    SerialCall& call = Record("CreateFileA");
    call.path = path;
    call.access = desiredAccess;
    call.shareMode = shareMode;
    call.creation = creationDisposition;
    call.flags = flagsAndAttributes;
    if (Fail("CreateFileA"))
        return InvalidHandle;
    if (openError_ != ErrorSuccess) {
        SetError(openError_);
        return InvalidHandle;
    }
    for (const auto& [handle, device] : devices_) {
        if (device.path == path) {
            SetError(ErrorAccessDenied);
            return InvalidHandle;
        }
    }
    const Handle h = nextHandle_++;
    devices_[h].path = path;
    SetError(ErrorSuccess);
    return h;
}

bool FakeSerialApi::CloseHandle(Handle h)
{
    Lock lock(mutex_);
    Record("CloseHandle", h);
    if (Fail("CloseHandle"))
        return false;
    if (Device* device = FindDevice(h)) {
        // Closing a device ends what is pending on it.
        if (device->wait) {
            *device->wait->mask = 0;
            CompleteLocked(device->wait->ov, ErrorOperationAborted, 0);
        }
        for (PendingRead& read : device->reads)
            CompleteLocked(read.ov, ErrorOperationAborted, read.done);
        devices_.erase(h);
        changed_.notify_all();
        return true;
    }
    if (events_.erase(h) != 0) {
        changed_.notify_all();  // a waiter on it fails
        return true;
    }
    SetError(ErrorInvalidHandle);
    return false;
}

bool FakeSerialApi::SetupComm(Handle h, DWORD inQueue, DWORD outQueue)
{
    Lock lock(mutex_);
    SerialCall& call = Record("SetupComm", h);
    call.inQueue = inQueue;
    call.outQueue = outQueue;
    if (Fail("SetupComm"))
        return false;
    if (FindDevice(h) == nullptr) {
        SetError(ErrorInvalidHandle);
        return false;
    }
    return true;
}

bool FakeSerialApi::SetCommState(Handle h, const Dcb& dcb)
{
    Lock lock(mutex_);
    Record("SetCommState", h).dcb = dcb;
    if (Fail("SetCommState"))
        return false;
    if (FindDevice(h) == nullptr) {
        SetError(ErrorInvalidHandle);
        return false;
    }
    // Settings no UART has are refused, as the real back ends refuse them.
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2) {
        SetError(ErrorInvalidParameter);
        return false;
    }
    return true;
}

bool FakeSerialApi::SetCommTimeouts(Handle h, const CommTimeouts& timeouts)
{
    Lock lock(mutex_);
    Record("SetCommTimeouts", h).timeouts = timeouts;
    if (Fail("SetCommTimeouts"))
        return false;
    if (FindDevice(h) == nullptr) {
        SetError(ErrorInvalidHandle);
        return false;
    }
    return true;
}

bool FakeSerialApi::SetCommMask(Handle h, DWORD mask)
{
    Lock lock(mutex_);
    Record("SetCommMask", h).mask = mask;
    if (Fail("SetCommMask"))
        return false;
    Device* device = FindDevice(h);
    if (device == nullptr) {
        SetError(ErrorInvalidHandle);
        return false;
    }
    device->mask = mask;
    device->history = 0;
    if (device->wait) {
        // A new mask ends the pending wait, reporting no event.
        *device->wait->mask = 0;
        CompleteLocked(device->wait->ov, ErrorSuccess, kWaitTransferred);
        device->wait.reset();
    }
    return true;
}

bool FakeSerialApi::WaitCommEvent(Handle h, DWORD* mask, Overlapped* ov)
{
    Lock lock(mutex_);
    Record("WaitCommEvent", h);
    if (Fail("WaitCommEvent"))
        return false;
    Device* device = FindDevice(h);
    if (device == nullptr) {
        SetError(ErrorInvalidHandle);
        return false;
    }
    // No mask to wait on is refused, as a Windows driver does.
    if (mask == nullptr || ov == nullptr || device->mask == 0 || device->wait) {
        SetError(ErrorInvalidParameter);
        return false;
    }
    if (device->history != 0) {
        *mask = device->history;
        device->history = 0;
        CompleteLocked(ov, ErrorSuccess, kWaitTransferred);
        return true;
    }
    ov->Internal = StatusPending;
    ov->InternalHigh = 0;
    ResetLocked(ov->hEvent);
    device->wait = PendingWait{mask, ov};
    changed_.notify_all();
    SetError(ErrorIoPending);
    return false;
}

bool FakeSerialApi::GetOverlappedResult(Handle h, Overlapped* ov, DWORD* transferred, bool wait)
{
    Lock lock(mutex_);
    Record("GetOverlappedResult", h).flag = wait;
    if (Fail("GetOverlappedResult"))
        return false;
    if (ov == nullptr) {
        SetError(ErrorInvalidParameter);
        return false;
    }
    if (ov->Internal == StatusPending) {
        if (!wait) {
            SetError(ErrorIoIncomplete);
            return false;
        }
        changed_.wait(lock, [&] { return ov->Internal != StatusPending; });
    }
    if (transferred != nullptr)
        *transferred = static_cast<DWORD>(ov->InternalHigh);
    if (ov->Internal != ErrorSuccess) {
        SetError(static_cast<DWORD>(ov->Internal));
        return false;
    }
    return true;
}

bool FakeSerialApi::ReadFile(Handle h, void* buffer, DWORD count, DWORD* read, Overlapped* ov)
{
    Lock lock(mutex_);
    Record("ReadFile", h).count = count;
    if (Fail("ReadFile"))
        return false;
    Device* device = FindDevice(h);
    if (device == nullptr) {
        SetError(ErrorInvalidHandle);
        return false;
    }
    auto* bytes = static_cast<char*>(buffer);
    const auto n = static_cast<DWORD>(std::min<std::size_t>(count, input_.size()));
    if (n > 0)
        std::memcpy(bytes, input_.data(), n);
    input_.erase(0, n);
    if (!readsWait_ || n == count) {
        if (read != nullptr)
            *read = n;
        if (ov != nullptr)
            CompleteLocked(ov, ErrorSuccess, n);
        return true;
    }
    if (ov == nullptr) {  // a waiting read needs an overlapped block here
        input_.insert(0, bytes, n);
        SetError(ErrorInvalidParameter);
        return false;
    }
    ov->Internal = StatusPending;
    ov->InternalHigh = 0;
    ResetLocked(ov->hEvent);
    device->reads.push_back({bytes, count, n, ov});
    if (read != nullptr)
        *read = 0;
    SetError(ErrorIoPending);
    return false;
}

bool FakeSerialApi::ClearCommError(Handle h, DWORD* errors, ComStat* stat)
{
    Lock lock(mutex_);
    Record("ClearCommError", h);
    if (Fail("ClearCommError"))
        return false;
    if (FindDevice(h) == nullptr) {
        SetError(ErrorInvalidHandle);
        return false;
    }
    if (errors != nullptr)
        *errors = errorWord_;
    errorWord_ = 0;
    if (stat != nullptr) {
        *stat = ComStat{};
        stat->cbInQue = static_cast<DWORD>(input_.size());
    }
    return true;
}

bool FakeSerialApi::GetCommModemStatus(Handle h, DWORD* modemStatus)
{
    Lock lock(mutex_);
    Record("GetCommModemStatus", h);
    if (Fail("GetCommModemStatus"))
        return false;
    if (FindDevice(h) == nullptr || modemStatus == nullptr) {
        SetError(modemStatus == nullptr ? ErrorInvalidParameter : ErrorInvalidHandle);
        return false;
    }
    *modemStatus = modemStatus_;
    return true;
}

bool FakeSerialApi::PurgeComm(Handle h, DWORD flags)
{
    Lock lock(mutex_);
    Record("PurgeComm", h).flags = flags;
    if (Fail("PurgeComm"))
        return false;
    Device* device = FindDevice(h);
    if (device == nullptr) {
        SetError(ErrorInvalidHandle);
        return false;
    }
    if ((flags & PurgeRxAbort) != 0) {
        for (PendingRead& read : device->reads)
            CompleteLocked(read.ov, ErrorOperationAborted, read.done);
        device->reads.clear();
    }
    if ((flags & PurgeRxClear) != 0)
        input_.clear();
    return true;
}

Handle FakeSerialApi::CreateEventA(bool manualReset, bool initialState)
{
    Lock lock(mutex_);
    SerialCall& call = Record("CreateEventA");
    call.flag = manualReset;
    call.initialState = initialState;
    if (Fail("CreateEventA"))
        return NullHandle;
    const Handle h = nextHandle_++;
    events_[h] = Event{manualReset, initialState};
    return h;
}

bool FakeSerialApi::SetEvent(Handle h)
{
    Lock lock(mutex_);
    Record("SetEvent", h);
    if (Fail("SetEvent"))
        return false;
    if (events_.find(h) == events_.end()) {
        SetError(ErrorInvalidHandle);
        return false;
    }
    SignalLocked(h);
    return true;
}

bool FakeSerialApi::ResetEvent(Handle h)
{
    Lock lock(mutex_);
    Record("ResetEvent", h);
    if (Fail("ResetEvent"))
        return false;
    if (events_.find(h) == events_.end()) {
        SetError(ErrorInvalidHandle);
        return false;
    }
    ResetLocked(h);
    return true;
}

DWORD FakeSerialApi::WaitForSingleObject(Handle h, DWORD milliseconds)
{
    Lock lock(mutex_);
    SerialCall& call = Record("WaitForSingleObject", h);
    call.count = 1;
    call.milliseconds = milliseconds;
    if (Fail("WaitForSingleObject"))
        return WaitFailed;
    return WaitLocked(lock, 1, &h, false, milliseconds);
}

DWORD FakeSerialApi::WaitForMultipleObjects(DWORD count, const Handle* handles, bool waitAll, DWORD milliseconds)
{
    Lock lock(mutex_);
    SerialCall& call = Record("WaitForMultipleObjects");
    call.count = count;
    call.milliseconds = milliseconds;
    call.flag = waitAll;
    if (Fail("WaitForMultipleObjects"))
        return WaitFailed;
    if (count == 0 || count > 64 || handles == nullptr) {
        SetError(ErrorInvalidParameter);
        return WaitFailed;
    }
    // The handles are copied: the caller's array need not outlive a wake-up.
    const std::vector<Handle> list(handles, handles + count);
    return WaitLocked(lock, count, list.data(), waitAll, milliseconds);
}

void FakeSerialApi::Sleep(DWORD milliseconds)
{
    {
        Lock lock(mutex_);
        Record("Sleep").milliseconds = milliseconds;
    }
    // Tests never sleep: this only gives other threads a turn.
    std::this_thread::yield();
}

DWORD FakeSerialApi::GetLastError()
{
    Lock lock(mutex_);
    Record("GetLastError");
    auto it = lastError_.find(std::this_thread::get_id());
    return it != lastError_.end() ? it->second : ErrorSuccess;
}

}  // namespace platform
