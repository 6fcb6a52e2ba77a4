#pragma once
// A scripted serial device for tests. It records every call with its
// arguments (so a test can say "no call was made", or read the Dcb that was
// sent) and plays a device: opening succeeds or fails with a chosen error
// code, bytes can be queued for reading, the modem lines and the error word
// can be set, and communication events are fired by the test.
//
// Event objects are real: WaitForSingleObject and WaitForMultipleObjects
// block until another thread (a test or the code under test) sets one of the
// events, so an event thread can run against this fake. All calls are
// thread-safe.
//
// Install with a platform::ScopedSerialApi declared after the fake, so that
// it is removed before the fake is destroyed.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/SerialApi.h"

namespace platform {

// One call as the fake received it. Only the members that belong to the
// call are set; the others keep their zero values.
struct SerialCall {
    std::string name;            // the ISerialApi function, e.g. "SetCommState"
    Handle handle = NullHandle;  // the device or event handle it was given
    std::string path;            // CreateFileA
    DWORD access = 0;            // CreateFileA desiredAccess
    DWORD shareMode = 0;         // CreateFileA
    DWORD creation = 0;          // CreateFileA creationDisposition
    DWORD flags = 0;             // CreateFileA flagsAndAttributes, PurgeComm flags
    DWORD inQueue = 0;           // SetupComm
    DWORD outQueue = 0;          // SetupComm
    Dcb dcb;                     // SetCommState
    CommTimeouts timeouts;       // SetCommTimeouts
    DWORD mask = 0;              // SetCommMask
    DWORD count = 0;             // ReadFile byte count, WaitFor* handle count
    DWORD milliseconds = 0;      // WaitFor*, Sleep
    bool flag = false;           // CreateEventA manualReset, GetOverlappedResult wait, waitAll
    bool initialState = false;   // CreateEventA
};

class FakeSerialApi final : public ISerialApi {
public:
    FakeSerialApi();
    ~FakeSerialApi() override;

    // --- Script -----------------------------------------------------------

    // Error code for the next openings: 0 (the default) lets them succeed.
    // Independently of it, a device that is open already refuses a second
    // opening with ErrorAccessDenied (share mode 0, as on Windows).
    void SetOpenError(DWORD error);

    // Makes every later call of the named function fail (return false, or
    // WaitFailed) with the given last-error code; error 0 lets it succeed
    // again. The call is still recorded.
    void FailCall(const std::string& name, DWORD error);

    // Bytes arriving on the line: queued for ReadFile and counted in
    // ClearCommError's cbInQue. If EV_RXCHAR is in the event mask it fires.
    // A read that is pending (see SetReadsWait) takes them first.
    void QueueInput(const std::string& bytes);

    // false (the default): ReadFile completes at once with what is queued, up
    // to its count, possibly nothing, as if the read time-outs had expired.
    // true: a read that finds fewer bytes than asked stays pending until
    // enough arrive, PurgeComm aborts it, or the device is closed.
    void SetReadsWait(bool wait);

    // The modem status word (MsCtsOn, ...) and the pending error word
    // (CeFrame, ...) that ClearCommError returns and then clears.
    void SetModemStatus(DWORD status);
    void SetErrorWord(DWORD errors);

    // Communication events on the device: the bits in the current event mask
    // complete the pending WaitCommEvent, or wait for the next one.
    void FireCommEvents(DWORD events);

    // Ends every pending WaitCommEvent with this error, as a device that goes
    // away does (or ErrorOperationAborted, as Wine reports a wait ended by a
    // purge or a cleared mask).
    void FailPendingWaits(DWORD error);

    // --- What happened ----------------------------------------------------

    std::vector<SerialCall> Calls() const;
    // Calls of one function, in order.
    std::vector<SerialCall> CallsOf(const std::string& name) const;
    std::size_t CountOf(const std::string& name) const;
    void ClearCalls();
    // The Dcb of the last SetCommState, if any.
    std::optional<Dcb> LastDcb() const;

    // The device state the calls left.
    bool IsOpen(Handle device) const;
    std::size_t OpenDeviceCount() const;
    std::size_t InputQueued() const;
    DWORD EventMask(Handle device) const;
    bool WaitPending(Handle device) const;
    // Blocks until a WaitCommEvent is pending on some device (for tests that
    // run an event thread). Returns false after the time-out.
    bool WaitUntilWaitPending(DWORD milliseconds) const;
    // Blocks until the named function has been called at least `count` times
    // since the last ClearCalls. Returns false after the time-out.
    bool WaitUntilCalled(const std::string& name, std::size_t count, DWORD milliseconds) const;

    // --- ISerialApi ---------------------------------------------------------
    Handle CreateFileA(const std::string& path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                       DWORD flagsAndAttributes) override;
    bool CloseHandle(Handle h) override;
    bool SetupComm(Handle h, DWORD inQueue, DWORD outQueue) override;
    bool SetCommState(Handle h, const Dcb& dcb) override;
    bool SetCommTimeouts(Handle h, const CommTimeouts& timeouts) override;
    bool SetCommMask(Handle h, DWORD mask) override;
    // Overlapped waits only: without ov it fails with ErrorInvalidParameter.
    bool WaitCommEvent(Handle h, DWORD* mask, Overlapped* ov) override;
    bool GetOverlappedResult(Handle h, Overlapped* ov, DWORD* transferred, bool wait) override;
    bool ReadFile(Handle h, void* buffer, DWORD count, DWORD* read, Overlapped* ov) override;
    bool ClearCommError(Handle h, DWORD* errors, ComStat* stat) override;
    bool GetCommModemStatus(Handle h, DWORD* modemStatus) override;
    bool PurgeComm(Handle h, DWORD flags) override;
    Handle CreateEventA(bool manualReset, bool initialState) override;
    bool SetEvent(Handle h) override;
    bool ResetEvent(Handle h) override;
    DWORD WaitForSingleObject(Handle h, DWORD milliseconds) override;
    DWORD WaitForMultipleObjects(DWORD count, const Handle* handles, bool waitAll, DWORD milliseconds) override;
    void Sleep(DWORD milliseconds) override;
    DWORD GetLastError() override;

private:
    struct Event {
        bool manualReset = false;
        bool signaled = false;
    };
    struct PendingWait {
        DWORD* mask = nullptr;
        Overlapped* ov = nullptr;
    };
    struct PendingRead {
        char* buffer = nullptr;
        DWORD count = 0;
        DWORD done = 0;
        Overlapped* ov = nullptr;
    };
    struct Device {
        std::string path;
        DWORD mask = 0;
        DWORD history = 0;  // events that fired while no wait was pending
        std::optional<PendingWait> wait;
        std::vector<PendingRead> reads;
    };

    using Lock = std::unique_lock<std::mutex>;

    // Appends a record of the call; the reference is good until the next one.
    SerialCall& Record(const char* name, Handle h = NullHandle);
    bool Fail(const std::string& name);  // true when scripted to fail; sets the error
    void SetError(DWORD error);
    Device* FindDevice(Handle h);
    const Device* FindDevice(Handle h) const;
    void SignalLocked(Handle event);
    void ResetLocked(Handle event);
    void CompleteLocked(Overlapped* ov, DWORD status, DWORD transferred);
    void FireLocked(Device& device, DWORD events);
    void FeedReadsLocked(Device& device);
    // The index of the first signalled handle (all of them for waitAll), or
    // -1; consumes auto-reset signals. -2 when a handle is no event.
    int ReadyLocked(DWORD count, const Handle* handles, bool waitAll);
    DWORD WaitLocked(Lock& lock, DWORD count, const Handle* handles, bool waitAll, DWORD milliseconds);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<SerialCall> calls_;
    std::map<std::string, DWORD> failures_;
    std::map<std::thread::id, DWORD> lastError_;
    std::map<Handle, Device> devices_;
    std::map<Handle, Event> events_;
    Handle nextHandle_ = 0x100;
    DWORD openError_ = 0;
    bool readsWait_ = false;
    std::string input_;
    DWORD modemStatus_ = 0;
    DWORD errorWord_ = 0;
};

}  // namespace platform
