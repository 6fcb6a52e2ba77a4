#pragma once
// Serial device calls with Windows semantics. The component calls nothing
// else for what it does with a device; the Windows back end passes the calls
// to kernel32, the POSIX back end implements them on termios, and tests use a
// scripted fake that records every call.
//
// Names of constants avoid the spelling of the <windows.h> macros so that
// this header can be included beside it.

#include <cstdint>
#include <string>

namespace platform {

using DWORD = std::uint32_t;
// A handle: a device, or an event object. 0 is no handle, -1 the invalid
// handle value that a failed CreateFileA returns.
using Handle = std::intptr_t;
inline constexpr Handle NullHandle = 0;
inline constexpr Handle InvalidHandle = -1;

// CreateFileA
inline constexpr DWORD GenericRead = 0x80000000u;
inline constexpr DWORD GenericWrite = 0x40000000u;
inline constexpr DWORD OpenExisting = 3;
inline constexpr DWORD FileFlagOverlapped = 0x40000000u;

// Communication event mask bits (SetCommMask / WaitCommEvent)
inline constexpr DWORD EvRxChar = 0x0001;
inline constexpr DWORD EvRxFlag = 0x0002;
inline constexpr DWORD EvTxEmpty = 0x0004;
inline constexpr DWORD EvCts = 0x0008;
inline constexpr DWORD EvDsr = 0x0010;
inline constexpr DWORD EvRlsd = 0x0020;
inline constexpr DWORD EvBreak = 0x0040;
inline constexpr DWORD EvErr = 0x0080;
inline constexpr DWORD EvRing = 0x0100;
inline constexpr DWORD EvRx80Full = 0x0400;

// ClearCommError error word
inline constexpr DWORD CeRxOver = 0x0001;
inline constexpr DWORD CeOverrun = 0x0002;
inline constexpr DWORD CeRxParity = 0x0004;
inline constexpr DWORD CeFrame = 0x0008;
inline constexpr DWORD CeBreak = 0x0010;
inline constexpr DWORD CeTxFull = 0x0100;
inline constexpr DWORD CeIoe = 0x0400;
inline constexpr DWORD CeMode = 0x8000;

// GetCommModemStatus
inline constexpr DWORD MsCtsOn = 0x0010;
inline constexpr DWORD MsDsrOn = 0x0020;
inline constexpr DWORD MsRingOn = 0x0040;
inline constexpr DWORD MsRlsdOn = 0x0080;

// PurgeComm
inline constexpr DWORD PurgeTxAbort = 0x0001;
inline constexpr DWORD PurgeRxAbort = 0x0002;
inline constexpr DWORD PurgeTxClear = 0x0004;
inline constexpr DWORD PurgeRxClear = 0x0008;

// Waits
inline constexpr DWORD Infinite = 0xFFFFFFFFu;
inline constexpr DWORD WaitObject0 = 0;
inline constexpr DWORD WaitTimeout = 258;
inline constexpr DWORD WaitFailed = 0xFFFFFFFFu;
inline constexpr DWORD MaxDword = 0xFFFFFFFFu;

// GetLastError codes the component and back ends use
inline constexpr DWORD ErrorSuccess = 0;
inline constexpr DWORD ErrorFileNotFound = 2;
inline constexpr DWORD ErrorPathNotFound = 3;
inline constexpr DWORD ErrorAccessDenied = 5;
inline constexpr DWORD ErrorInvalidHandle = 6;
inline constexpr DWORD ErrorNotEnoughMemory = 8;
inline constexpr DWORD ErrorGenFailure = 31;
inline constexpr DWORD ErrorSharingViolation = 32;
inline constexpr DWORD ErrorNotSupported = 50;
inline constexpr DWORD ErrorInvalidParameter = 87;
inline constexpr DWORD ErrorBadCommand = 22;
inline constexpr DWORD ErrorDeviceNotConnected = 1167;
inline constexpr DWORD ErrorOperationAborted = 995;
inline constexpr DWORD ErrorIoIncomplete = 996;
inline constexpr DWORD ErrorIoPending = 997;
inline constexpr DWORD ErrorTimeout = 1460;

// DCB flag bits, in the flags word that follows BaudRate.
inline constexpr DWORD DcbBinary = 1u << 0;
inline constexpr DWORD DcbParity = 1u << 1;
inline constexpr DWORD DcbOutxCtsFlow = 1u << 2;
inline constexpr DWORD DcbOutxDsrFlow = 1u << 3;
inline constexpr unsigned DcbDtrControlShift = 4;  // 2 bits
inline constexpr DWORD DcbDsrSensitivity = 1u << 6;
inline constexpr DWORD DcbTxContinueOnXoff = 1u << 7;
inline constexpr DWORD DcbOutX = 1u << 8;
inline constexpr DWORD DcbInX = 1u << 9;
inline constexpr DWORD DcbErrorChar = 1u << 10;
inline constexpr DWORD DcbNull = 1u << 11;
inline constexpr unsigned DcbRtsControlShift = 12;  // 2 bits
inline constexpr DWORD DcbAbortOnError = 1u << 14;

// The Windows DCB, with its bit fields as one flags word.
struct Dcb {
    DWORD DCBlength = 28;
    DWORD BaudRate = 0;
    DWORD Flags = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    std::uint16_t wReserved1 = 0;

    DWORD DtrControl() const { return (Flags >> DcbDtrControlShift) & 3u; }
    DWORD RtsControl() const { return (Flags >> DcbRtsControlShift) & 3u; }
    friend bool operator==(const Dcb&, const Dcb&) = default;
};

struct CommTimeouts {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
    friend bool operator==(const CommTimeouts&, const CommTimeouts&) = default;
};

struct ComStat {
    DWORD Flags = 0;
    DWORD cbInQue = 0;
    DWORD cbOutQue = 0;
};

// Laid out as the Windows OVERLAPPED block on 64-bit Windows, so the Windows
// back end hands it to kernel32 as it is. Must stay at one address while an
// operation is pending on it. The POSIX back end keeps its operation state in
// Internal.
// Overlapped::Internal while an operation is pending (STATUS_PENDING); once it
// is done, Internal holds 0 or the Windows error code it ended with, and
// InternalHigh the bytes transferred (a comm-event wait transfers its mask's
// four bytes).
inline constexpr std::uintptr_t StatusPending = 0x103;

struct Overlapped {
    std::uintptr_t Internal = 0;
    std::uintptr_t InternalHigh = 0;
    DWORD Offset = 0;
    DWORD OffsetHigh = 0;
    Handle hEvent = NullHandle;
};

class ISerialApi {
public:
    virtual ~ISerialApi() = default;

    // Device. path is the Windows device path ("\\.\" followed by the
    // port name); the POSIX back end maps it to a device file.
    virtual Handle CreateFileA(const std::string& path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                               DWORD flagsAndAttributes) = 0;
    virtual bool CloseHandle(Handle h) = 0;
    virtual bool SetupComm(Handle h, DWORD inQueue, DWORD outQueue) = 0;
    virtual bool SetCommState(Handle h, const Dcb& dcb) = 0;
    virtual bool SetCommTimeouts(Handle h, const CommTimeouts& timeouts) = 0;
    virtual bool SetCommMask(Handle h, DWORD mask) = 0;
    // Overlapped: *mask must stay valid until the wait completes.
    virtual bool WaitCommEvent(Handle h, DWORD* mask, Overlapped* ov) = 0;
    virtual bool GetOverlappedResult(Handle h, Overlapped* ov, DWORD* transferred, bool wait) = 0;
    // Overlapped: buffer must stay valid until the read completes.
    virtual bool ReadFile(Handle h, void* buffer, DWORD count, DWORD* read, Overlapped* ov) = 0;
    virtual bool ClearCommError(Handle h, DWORD* errors, ComStat* stat) = 0;
    virtual bool GetCommModemStatus(Handle h, DWORD* modemStatus) = 0;
    virtual bool PurgeComm(Handle h, DWORD flags) = 0;

    // Event objects and waits
    virtual Handle CreateEventA(bool manualReset, bool initialState) = 0;
    virtual bool SetEvent(Handle h) = 0;
    virtual bool ResetEvent(Handle h) = 0;
    virtual DWORD WaitForSingleObject(Handle h, DWORD milliseconds) = 0;
    virtual DWORD WaitForMultipleObjects(DWORD count, const Handle* handles, bool waitAll, DWORD milliseconds) = 0;

    virtual void Sleep(DWORD milliseconds) = 0;
    // The calling thread's last error, as a Windows error code on every
    // platform (the POSIX back end maps errno to the closest one).
    virtual DWORD GetLastError() = 0;
};

// The system back end (kernel32 on Windows, termios on Linux).
ISerialApi& SystemSerialApi();

// The back end the component uses: the system one unless a test installed
// another. Install before any port opens; pass nullptr to restore. Returns
// the one installed before (nullptr for the system one).
ISerialApi& SerialApi();
ISerialApi* SetSerialApi(ISerialApi* api);

}  // namespace platform
