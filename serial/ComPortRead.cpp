// Reading from the device: one overlapped read per call, with a record and a
// completion event of its own, ended by the port's read time-outs (or by
// AbortPending).
//
// Failures of the read itself are not reported: a read that cannot be
// started, that ends in an error or whose wait fails returns the bytes the
// device reports as transferred, 0 when there are none. The one rule beyond
// that: no read outlives its record. Whenever the read may still be pending
// when its call ends (a failed wait, an exception), it is aborted and waited
// for before the record and the caller's buffer are let go.

#include <algorithm>
#include <memory>
#include <string>

#include "platform/Diagnostics.h"
#include "serial/AsyncRecord.h"
#include "serial/ComPort.h"
#include "serial/ComPortErrors.h"

namespace {

void CheckRecord(PAsyncRecord Record)
{
    if (Record == nullptr)
        throw EComPort(TComPortErrorCode::InvalidAsyncParameter);
}

// Makes sure the device no longer holds the record's read: a read still
// pending is aborted (PurgeComm also ends the other reads on the port, which
// then return what they have) and waited for. Never throws.
void EndOutstandingRead(TCustomComPort& Port, TAsyncRecord& Record) noexcept
{
    if (!Record.Accepted)
        return;
    try {
        platform::ISerialApi& api = platform::SerialApi();
        platform::DWORD transferred = 0;
        const bool done = api.GetOverlappedResult(Port.DeviceHandle(), &Record.Overlapped, &transferred, false) ||
                          api.GetLastError() != platform::ErrorIoIncomplete;
        if (!done) {
            api.PurgeComm(Port.DeviceHandle(), platform::PurgeRxAbort);
            api.GetOverlappedResult(Port.DeviceHandle(), &Record.Overlapped, &transferred, true);
        }
    } catch (...) {
        // Nothing more can be done here; the caller is unwinding already or
        // returns 0.
    }
    Record.Accepted = false;
}

// One read's record, owned for the length of a ReadText or ReadBytes call:
// however the call ends, a read still pending is ended, then the record is
// released.
class OwnedRecord {
public:
    explicit OwnedRecord(TCustomComPort& Port) : port_(Port), record_(NewAsyncRecord()) {}
    ~OwnedRecord()
    {
        EndOutstandingRead(port_, *record_);
        FreeAsyncRecord(record_);
    }
    OwnedRecord(const OwnedRecord&) = delete;
    OwnedRecord& operator=(const OwnedRecord&) = delete;

    PAsyncRecord Get() const { return record_; }

private:
    TCustomComPort& port_;
    PAsyncRecord record_;
};

}  // namespace

PAsyncRecord NewAsyncRecord()
{
    auto record = std::make_unique<TAsyncRecord>();
    record->Overlapped.hEvent = platform::SerialApi().CreateEventA(/*manualReset=*/true, /*initialState=*/true);
    return record.release();
}

void FreeAsyncRecord(PAsyncRecord& Record)
{
    if (Record == nullptr)
        return;
    if (Record->Overlapped.hEvent != platform::NullHandle)
        platform::SerialApi().CloseHandle(Record->Overlapped.hEvent);
    delete Record;
    Record = nullptr;
}

void StartRead(TCustomComPort& Port, void* Buffer, std::int32_t Count, PAsyncRecord Record)
{
    CheckRecord(Record);
    Record->Kind = okRead;
    Record->Requested = Count > 0 ? static_cast<platform::DWORD>(Count) : 0;
    Record->Accepted = false;
    platform::ISerialApi& api = platform::SerialApi();
    if (Record->Overlapped.hEvent == platform::NullHandle) {
        // Without its event the read could not be waited for, and would go on
        // writing into the buffer after the call has returned.
        platform::Diagnostic("serial port " + Port.Port() + ": no event object for a read; nothing was read");
        return;
    }
    platform::DWORD read = 0;  // the byte count of a read that completes at once is taken later
    // Counted as taken until ReadFile says otherwise: should the call raise,
    // the read may still be pending and must be ended before the record goes.
    Record->Accepted = true;
    Record->Accepted = api.ReadFile(Port.DeviceHandle(), Buffer, Record->Requested, &read, &Record->Overlapped) ||
                       api.GetLastError() == platform::ErrorIoPending;
}

void StartReadText(TCustomComPort& Port, std::string& Text, std::int32_t Count, PAsyncRecord Record)
{
    Text.assign(Count > 0 ? static_cast<std::size_t>(Count) : 0, '\0');
    if (Count > 0)
        StartRead(Port, Text.data(), Count, Record);
}

std::int32_t WaitForCompletion(TCustomComPort& Port, PAsyncRecord Record)
{
    CheckRecord(Record);
    platform::ISerialApi& api = platform::SerialApi();
    platform::DWORD transferred = 0;
    // A refused read is not waited for: the device may have reset the event
    // without ever setting it again.
    const bool refused = Record->Kind == okRead && !Record->Accepted;
    if (!refused) {
        if (api.WaitForSingleObject(Record->Overlapped.hEvent, platform::Infinite) != platform::WaitObject0) {
            EndOutstandingRead(Port, *Record);
            return 0;
        }
        // A failed fetch is not reported: Wine reports a read that timed out
        // with no byte as ERROR_TIMEOUT, an aborted read reports what it had.
        api.GetOverlappedResult(Port.DeviceHandle(), &Record->Overlapped, &transferred, false);
        Record->Accepted = false;  // complete: the device holds nothing of it
    }
    if (Record->Kind == okRead) {
        platform::DWORD errors = 0;
        platform::ComStat stat;
        api.ClearCommError(Port.DeviceHandle(), &errors, &stat);
    }
    return static_cast<std::int32_t>(std::min(transferred, Record->Requested));
}

void TCustomComPort::AbortIfClosing()
{
    // The close sets closing_ before it aborts the reads. Either this check
    // sees it and the read is aborted here, or the read was started before
    // the close's own abort, which then ends it.
    if (closing_)
        platform::SerialApi().PurgeComm(deviceHandle_, platform::PurgeRxAbort);
}

// Once a close has begun no read is started: a handler that runs during the
// close (the pending batch under smThreadSync, a handler under smNone) would
// otherwise wait out its whole time-out, or forever, with the close waiting
// for it.
std::int32_t TCustomComPort::ReadText(std::string& Text, std::int32_t Count)
{
    if (!connected_ || closing_ || Count <= 0) {
        Text.clear();
        return 0;
    }
    std::int32_t n = 0;
    try {
        const OwnedRecord record(*this);
        StartReadText(*this, Text, Count, record.Get());
        AbortIfClosing();
        n = WaitForCompletion(*this, record.Get());
    } catch (...) {
        Text.clear();  // the read has been ended: nothing half-read is handed back
        throw;
    }
    Text.resize(static_cast<std::size_t>(n));
    return n;
}

std::int32_t TCustomComPort::ReadBytes(void* Buffer, std::int32_t Count)
{
    if (!connected_ || closing_ || Count <= 0 || Buffer == nullptr)
        return 0;
    const OwnedRecord record(*this);
    StartRead(*this, Buffer, Count, record.Get());
    AbortIfClosing();
    return WaitForCompletion(*this, record.Get());
}
