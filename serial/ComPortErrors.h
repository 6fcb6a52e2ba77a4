#pragma once
// EComPort, the serial component's exception, and the table of its 23
// message texts.
//
// Each failure has an error code (TComPortErrorCode, numbered 1 to 23) that
// selects a text of SerialErrorTexts. When the failure came from an operating-system call the
// exception also carries that call's error code (GetLastError), and the
// message is the table text followed by " (win error code: <code>)", the
// suffix translated each time.

#include <array>
#include <string>

#include "framework/Exception.h"

// The failures, in the order of the message table.
enum class TComPortErrorCode : int {
    OpenFailed = 1,         // "Unable to open com port"
    WriteFailed,            // "WriteFile function failed"
    ReadFailed,             // "ReadFile function failed"
    InvalidAsyncParameter,  // "Invalid Async parameter"
    PurgeFailed,            // "PurgeComm function failed"
    AsyncStatusFailed,      // "Unable to get async status"
    SetStateFailed,         // "SetCommState function failed"
    SetTimeoutsFailed,      // "SetCommTimeouts failed"
    SetupFailed,            // "SetupComm function failed"
    ClearErrorFailed,       // "ClearCommError function failed"
    ModemStatusFailed,      // "GetCommModemStatus function failed"
    EscapeFailed,           // "EscapeCommFunction function failed"
    TransmitCharFailed,     // "TransmitCommChar function failed"
    SetWhileConnected,      // "Cannot set property while connected"
    EnumPortsFailed,        // "EnumPorts function failed"
    StoreFailed,            // "Failed to store settings"
    LoadFailed,             // "Failed to load settings"
    LinkFailed,             // "Link (un)registration failed"
    LedStateWithPort,       // "Cannot change led state if ComPort is selected"
    WaitWithEventThread,    // "Cannot wait for event if event thread is created"
    WaitForEventFailed,     // "WaitForEvent method failed"
    RxBufLinked,            // "A component is linked to OnRxBuf event"
    RegistryError,          // "Registry error"
};

class EComPort : public Exception {
public:
    // Without an operating-system code: WinErrorCode is -1 and the message is
    // the table text alone.
    explicit EComPort(TComPortErrorCode AErrorCode);

    // With the operating-system code of the failed call (GetLastError read
    // right after it).
    EComPort(TComPortErrorCode AErrorCode, int AWinErrorCode);

    int WinErrorCode() const noexcept { return winErrorCode_; }
    int ErrorCode() const noexcept { return errorCode_; }

private:
    int winErrorCode_;
    int errorCode_;
};

// The message table: 23 wide (UTF-16) texts indexed from 1 to 23; there is
// no entry 0. Empty before InitSerialErrorTexts and after
// FreeSerialErrorTexts; read-only (and safe to read from any thread) in
// between.
class TSerialErrorTexts {
public:
    static constexpr int Count = 23;

    // The text of `code`; an empty text for a code outside 1..23.
    const std::u16string& operator[](int code) const;
    const std::u16string& operator[](TComPortErrorCode code) const { return (*this)[static_cast<int>(code)]; }

private:
    friend void InitSerialErrorTexts();
    friend void FreeSerialErrorTexts();

    std::array<std::u16string, Count> texts_;
};

extern const TSerialErrorTexts& SerialErrorTexts;

// The English text of each code, as given to the translation layer.
const std::u16string& SerialErrorMessageId(int code);
inline const std::u16string& SerialErrorMessageId(TComPortErrorCode code)
{
    return SerialErrorMessageId(static_cast<int>(code));
}

// Start-up, once, after InitTranslation and before any serial operation:
// adds the domain "comport" to the domains consulted for the framework's own
// texts, and fills SerialErrorTexts with each English text passed through
// the translation layer (unchanged when it has no translation).
void InitSerialErrorTexts();

// Shut-down: releases the 23 texts.
void FreeSerialErrorTexts();
