// The Windows serial back end: every call goes straight to kernel32.

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstring>

#include "platform/SerialApi.h"
#include "platform/win32/Win32SerialApi.h"

namespace platform {
namespace {

// Overlapped is handed to kernel32 as it is: it must be laid out as OVERLAPPED.
static_assert(sizeof(Overlapped) == sizeof(OVERLAPPED));
static_assert(offsetof(Overlapped, Internal) == offsetof(OVERLAPPED, Internal));
static_assert(offsetof(Overlapped, InternalHigh) == offsetof(OVERLAPPED, InternalHigh));
static_assert(offsetof(Overlapped, Offset) == offsetof(OVERLAPPED, Offset));
static_assert(offsetof(Overlapped, OffsetHigh) == offsetof(OVERLAPPED, OffsetHigh));
static_assert(offsetof(Overlapped, hEvent) == offsetof(OVERLAPPED, hEvent));
static_assert(sizeof(Dcb) == sizeof(DCB));
static_assert(sizeof(Handle) == sizeof(HANDLE));

HANDLE ToHandle(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle FromHandle(HANDLE h) { return reinterpret_cast<Handle>(h); }
OVERLAPPED* ToOverlapped(Overlapped* ov) { return reinterpret_cast<OVERLAPPED*>(ov); }
DWORD Bit(::DWORD flag, unsigned shift) { return static_cast<DWORD>(flag & 1u) << shift; }

DCB ToDcb(const Dcb& d)
{
    DCB w{};
    w.DCBlength = sizeof(DCB);
    w.BaudRate = d.BaudRate;
    const DWORD f = d.Flags;
    w.fBinary = (f & DcbBinary) != 0;
    w.fParity = (f & DcbParity) != 0;
    w.fOutxCtsFlow = (f & DcbOutxCtsFlow) != 0;
    w.fOutxDsrFlow = (f & DcbOutxDsrFlow) != 0;
    w.fDtrControl = d.DtrControl();
    w.fDsrSensitivity = (f & DcbDsrSensitivity) != 0;
    w.fTXContinueOnXoff = (f & DcbTxContinueOnXoff) != 0;
    w.fOutX = (f & DcbOutX) != 0;
    w.fInX = (f & DcbInX) != 0;
    w.fErrorChar = (f & DcbErrorChar) != 0;
    w.fNull = (f & DcbNull) != 0;
    w.fRtsControl = d.RtsControl();
    w.fAbortOnError = (f & DcbAbortOnError) != 0;
    w.wReserved = d.wReserved;
    w.XonLim = d.XonLim;
    w.XoffLim = d.XoffLim;
    w.ByteSize = d.ByteSize;
    w.Parity = d.Parity;
    w.StopBits = d.StopBits;
    w.XonChar = d.XonChar;
    w.XoffChar = d.XoffChar;
    w.ErrorChar = d.ErrorChar;
    w.EofChar = d.EofChar;
    w.EvtChar = d.EvtChar;
    w.wReserved1 = d.wReserved1;
    return w;
}

class Win32SerialApi final : public ISerialApi {
public:
    Handle CreateFileA(const std::string& path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                       DWORD flagsAndAttributes) override
    {
        return FromHandle(::CreateFileA(path.c_str(), desiredAccess, shareMode, nullptr, creationDisposition,
                                        flagsAndAttributes, nullptr));
    }

    bool CloseHandle(Handle h) override { return ::CloseHandle(ToHandle(h)) != FALSE; }

    bool SetupComm(Handle h, DWORD inQueue, DWORD outQueue) override
    {
        return ::SetupComm(ToHandle(h), inQueue, outQueue) != FALSE;
    }

    bool SetCommState(Handle h, const Dcb& dcb) override
    {
        DCB w = ToDcb(dcb);
        return ::SetCommState(ToHandle(h), &w) != FALSE;
    }

    bool SetCommTimeouts(Handle h, const CommTimeouts& t) override
    {
        COMMTIMEOUTS w{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                       t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
        return ::SetCommTimeouts(ToHandle(h), &w) != FALSE;
    }

    bool SetCommMask(Handle h, DWORD mask) override { return ::SetCommMask(ToHandle(h), mask) != FALSE; }

    bool WaitCommEvent(Handle h, DWORD* mask, Overlapped* ov) override
    {
        // The mask is written when the wait completes, possibly later: it is
        // passed on as it is (a 32-bit unsigned either way).
        static_assert(sizeof(*mask) == sizeof(::DWORD));
        return ::WaitCommEvent(ToHandle(h), reinterpret_cast<LPDWORD>(mask), ToOverlapped(ov)) != FALSE;
    }

    bool GetOverlappedResult(Handle h, Overlapped* ov, DWORD* transferred, bool wait) override
    {
        ::DWORD n = 0;
        const BOOL ok = ::GetOverlappedResult(ToHandle(h), ToOverlapped(ov), &n, wait ? TRUE : FALSE);
        if (transferred != nullptr)
            *transferred = n;
        return ok != FALSE;
    }

    bool ReadFile(Handle h, void* buffer, DWORD count, DWORD* read, Overlapped* ov) override
    {
        ::DWORD n = 0;
        const BOOL ok = ::ReadFile(ToHandle(h), buffer, count, &n, ToOverlapped(ov));
        if (read != nullptr)
            *read = n;
        return ok != FALSE;
    }

    bool ClearCommError(Handle h, DWORD* errors, ComStat* stat) override
    {
        ::DWORD e = 0;
        COMSTAT w{};
        const BOOL ok = ::ClearCommError(ToHandle(h), &e, &w);
        if (ok == FALSE)
            return false;
        if (errors != nullptr)
            *errors = e;
        if (stat != nullptr) {
            stat->Flags = Bit(w.fCtsHold, 0) | Bit(w.fDsrHold, 1) | Bit(w.fRlsdHold, 2) | Bit(w.fXoffHold, 3) |
                          Bit(w.fXoffSent, 4) | Bit(w.fEof, 5) | Bit(w.fTxim, 6);
            stat->cbInQue = w.cbInQue;
            stat->cbOutQue = w.cbOutQue;
        }
        return true;
    }

    bool GetCommModemStatus(Handle h, DWORD* modemStatus) override
    {
        ::DWORD s = 0;
        const BOOL ok = ::GetCommModemStatus(ToHandle(h), &s);
        if (ok != FALSE && modemStatus != nullptr)
            *modemStatus = s;
        return ok != FALSE;
    }

    bool PurgeComm(Handle h, DWORD flags) override { return ::PurgeComm(ToHandle(h), flags) != FALSE; }

    Handle CreateEventA(bool manualReset, bool initialState) override
    {
        return FromHandle(::CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr));
    }

    bool SetEvent(Handle h) override { return ::SetEvent(ToHandle(h)) != FALSE; }
    bool ResetEvent(Handle h) override { return ::ResetEvent(ToHandle(h)) != FALSE; }

    DWORD WaitForSingleObject(Handle h, DWORD milliseconds) override
    {
        return ::WaitForSingleObject(ToHandle(h), milliseconds);
    }

    DWORD WaitForMultipleObjects(DWORD count, const Handle* handles, bool waitAll, DWORD milliseconds) override
    {
        std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> list{};
        if (count == 0 || count > list.size() || handles == nullptr) {
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return WAIT_FAILED;
        }
        for (DWORD i = 0; i < count; ++i)
            list[i] = ToHandle(handles[i]);
        return ::WaitForMultipleObjects(count, list.data(), waitAll ? TRUE : FALSE, milliseconds);
    }

    void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
    DWORD GetLastError() override { return ::GetLastError(); }
};

}  // namespace

std::array<std::uint8_t, 28> Win32DcbBytes(const Dcb& dcb)
{
    const DCB w = ToDcb(dcb);
    std::array<std::uint8_t, 28> bytes{};
    std::memcpy(bytes.data(), &w, bytes.size());
    return bytes;
}

ISerialApi& SystemSerialApi()
{
    static Win32SerialApi api;
    return api;
}

}  // namespace platform
