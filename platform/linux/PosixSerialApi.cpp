// The Linux serial back end: the Windows serial calls on termios devices and
// eventfd event objects. Handles are numbers of our own (never 0 or -1, never
// reused) that name a device or an event object in one table.
#include <sched.h>

#include <cerrno>
#include <ctime>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <variant>
#include <vector>

#include "platform/Diagnostics.h"
#include "platform/SerialApi.h"
#include "platform/linux/PosixSerialDevice.h"
#include "platform/linux/PosixSerialErrors.h"
#include "platform/linux/PosixSerialEvent.h"
#include "platform/linux/PosixSerialPath.h"

namespace platform {
namespace {

using posix::EventObject;
using posix::Fail;
using posix::SerialDevice;

// Windows allows at most this many objects in one wait.
constexpr DWORD kMaximumWaitObjects = 64;

using Object = std::variant<std::shared_ptr<SerialDevice>, std::shared_ptr<EventObject>>;

class HandleTable {
public:
    Handle Add(Object object)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const Handle handle = next_;
        next_ += 4;
        objects_.emplace(handle, std::move(object));
        return handle;
    }

    std::optional<Object> Find(Handle handle)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = objects_.find(handle);
        if (it == objects_.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    std::optional<Object> Remove(Handle handle)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = objects_.find(handle);
        if (it == objects_.end()) {
            return std::nullopt;
        }
        Object object = std::move(it->second);
        objects_.erase(it);
        return object;
    }

    std::shared_ptr<SerialDevice> Device(Handle handle) { return Get<SerialDevice>(handle); }
    std::shared_ptr<EventObject> Event(Handle handle) { return Get<EventObject>(handle); }

private:
    // The object behind a handle when it is of that kind; null otherwise.
    template <typename T>
    std::shared_ptr<T> Get(Handle handle)
    {
        const std::optional<Object> object = Find(handle);
        if (object) {
            if (const auto* found = std::get_if<std::shared_ptr<T>>(&*object)) {
                return *found;
            }
        }
        return nullptr;
    }

    std::mutex mutex_;
    std::unordered_map<Handle, Object> objects_;
    Handle next_ = 0x1000;
};

class PosixSerialApi final : public ISerialApi {
public:
    Handle CreateFileA(const std::string& path, DWORD /*desiredAccess*/, DWORD /*shareMode*/,
                       DWORD /*creationDisposition*/, DWORD /*flagsAndAttributes*/) override
    {
        // Always read-write, exclusive and overlapped: the only way a serial
        // device is opened.
        const std::string deviceFile = posix::DeviceFileForPort(path);
        if (deviceFile.empty()) {
            Diagnostic("serial port " + Printable(path) + ": no device name");
            posix::SetLastError(ErrorFileNotFound);
            return InvalidHandle;
        }
        std::shared_ptr<SerialDevice> device = SerialDevice::Open(deviceFile);
        if (!device) {
            return InvalidHandle;
        }
        return handles_.Add(std::move(device));
    }

    bool CloseHandle(Handle h) override
    {
        std::optional<Object> object = handles_.Remove(h);
        if (!object) {
            return Fail(ErrorInvalidHandle);
        }
        if (auto* device = std::get_if<std::shared_ptr<SerialDevice>>(&*object)) {
            (*device)->Close();  // other threads' pending operations end as aborted
        }
        return true;
    }

    bool SetupComm(Handle h, DWORD inQueue, DWORD outQueue) override
    {
        auto device = handles_.Device(h);
        return device ? device->SetupComm(inQueue, outQueue) : Fail(ErrorInvalidHandle);
    }

    bool SetCommState(Handle h, const Dcb& dcb) override
    {
        auto device = handles_.Device(h);
        return device ? device->SetCommState(dcb) : Fail(ErrorInvalidHandle);
    }

    bool SetCommTimeouts(Handle h, const CommTimeouts& timeouts) override
    {
        auto device = handles_.Device(h);
        return device ? device->SetCommTimeouts(timeouts) : Fail(ErrorInvalidHandle);
    }

    bool SetCommMask(Handle h, DWORD mask) override
    {
        auto device = handles_.Device(h);
        return device ? device->SetCommMask(mask) : Fail(ErrorInvalidHandle);
    }

    bool WaitCommEvent(Handle h, DWORD* mask, Overlapped* ov) override
    {
        const auto device = handles_.Device(h);
        std::shared_ptr<EventObject> event;
        if (!device || !EventOf(ov, event)) {
            return Fail(ErrorInvalidHandle);
        }
        return device->WaitCommEvent(mask, ov, std::move(event));
    }

    bool GetOverlappedResult(Handle h, Overlapped* ov, DWORD* transferred, bool wait) override
    {
        if (ov == nullptr) {
            return Fail(ErrorInvalidParameter);
        }
        std::uintptr_t status = posix::OverlappedStatus(ov);
        if (status == StatusPending) {
            if (!wait) {
                return Fail(ErrorIoIncomplete);
            }
            if (auto device = handles_.Device(h)) {
                device->WaitUntilDone(ov);
            }
            // A handle closed meanwhile has ended its operations as aborted.
            status = posix::OverlappedStatus(ov);
            if (status == StatusPending) {
                return Fail(ErrorInvalidHandle);
            }
        }
        if (transferred != nullptr) {
            *transferred = posix::OverlappedTransferred(ov);
        }
        return status == ErrorSuccess ? true : Fail(static_cast<DWORD>(status));
    }

    bool ReadFile(Handle h, void* buffer, DWORD count, DWORD* read, Overlapped* ov) override
    {
        const auto device = handles_.Device(h);
        std::shared_ptr<EventObject> event;
        if (!device || !EventOf(ov, event)) {
            return Fail(ErrorInvalidHandle);
        }
        return device->ReadFile(buffer, count, read, ov, std::move(event));
    }

    bool ClearCommError(Handle h, DWORD* errors, ComStat* stat) override
    {
        auto device = handles_.Device(h);
        return device ? device->ClearCommError(errors, stat) : Fail(ErrorInvalidHandle);
    }

    bool GetCommModemStatus(Handle h, DWORD* modemStatus) override
    {
        auto device = handles_.Device(h);
        return device ? device->GetCommModemStatus(modemStatus) : Fail(ErrorInvalidHandle);
    }

    bool PurgeComm(Handle h, DWORD flags) override
    {
        auto device = handles_.Device(h);
        return device ? device->PurgeComm(flags) : Fail(ErrorInvalidHandle);
    }

    Handle CreateEventA(bool manualReset, bool initialState) override
    {
        std::shared_ptr<EventObject> event = EventObject::Create(manualReset, initialState);
        if (!event) {
            posix::SetLastError(posix::WindowsErrorFromErrno(errno, posix::ErrnoContext::Opening));
            return NullHandle;
        }
        return handles_.Add(std::move(event));
    }

    bool SetEvent(Handle h) override { return OnEvent(h, &EventObject::Set); }
    bool ResetEvent(Handle h) override { return OnEvent(h, &EventObject::Reset); }

    DWORD WaitForSingleObject(Handle h, DWORD milliseconds) override
    {
        return WaitForMultipleObjects(1, &h, false, milliseconds);
    }

    DWORD WaitForMultipleObjects(DWORD count, const Handle* handles, bool waitAll, DWORD milliseconds) override
    {
        if (count == 0 || count > kMaximumWaitObjects || handles == nullptr) {
            posix::SetLastError(ErrorInvalidParameter);
            return WaitFailed;
        }
        if (waitAll && count > 1) {
            // Waiting for all of several objects is not offered.
            posix::SetLastError(ErrorNotSupported);
            return WaitFailed;
        }
        std::vector<std::shared_ptr<EventObject>> events;
        events.reserve(count);
        for (DWORD i = 0; i < count; ++i) {
            auto event = handles_.Event(handles[i]);
            if (!event) {
                posix::SetLastError(ErrorInvalidHandle);
                return WaitFailed;
            }
            events.push_back(std::move(event));
        }
        return posix::WaitForAnyEvent(events, milliseconds);
    }

    void Sleep(DWORD milliseconds) override
    {
        if (milliseconds == 0) {
            sched_yield();
            return;
        }
        timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }

    DWORD GetLastError() override { return posix::LastError(); }

private:
    // The event an overlapped record names, in `event` (none when it names
    // none); false when its handle is not an event.
    bool EventOf(const Overlapped* ov, std::shared_ptr<EventObject>& event)
    {
        return ov == nullptr || ov->hEvent == NullHandle || (event = handles_.Event(ov->hEvent)) != nullptr;
    }

    // Calls `change` on the event behind h; ERROR_INVALID_HANDLE when h is
    // not an event.
    bool OnEvent(Handle h, void (EventObject::*change)())
    {
        const auto event = handles_.Event(h);
        if (!event) {
            return Fail(ErrorInvalidHandle);
        }
        ((*event).*change)();
        return true;
    }

    HandleTable handles_;
};

}  // namespace

ISerialApi& SystemSerialApi()
{
    // Never destroyed: devices still open at exit are the system's to close,
    // and no I/O thread is joined while static objects go away.
    static PosixSerialApi* api = new PosixSerialApi;
    return *api;
}

}  // namespace platform
