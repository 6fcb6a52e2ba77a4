#pragma once
// EComPort, the serial component's exception, and the table of its 23
// message texts.
//
// Each failure has an error code from 1 to 23 that selects a text of
// SerialErrorTexts. When the failure came from an operating-system call the
// exception also carries that call's error code (GetLastError), and the
// message is the table text followed by " (win error code: <code>)", the
// suffix translated each time.

#include <array>
#include <string>

#include "framework/Exception.h"

class EComPort : public Exception {
public:
    // Without an operating-system code: WinErrorCode is -1 and the message is
    // the table text alone.
    explicit EComPort(int AErrorCode);

    // With the operating-system code of the failed call (GetLastError read
    // right after it).
    EComPort(int AErrorCode, int AWinErrorCode);

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

private:
    friend void InitSerialErrorTexts();
    friend void FreeSerialErrorTexts();

    std::array<std::u16string, Count> texts_;
};

extern const TSerialErrorTexts& SerialErrorTexts;

// The English text of each code, as given to the translation layer.
const std::u16string& SerialErrorMessageId(int code);

// Start-up, once, after InitTranslation and before any serial operation:
// adds the domain "comport" to the domains consulted for the framework's own
// texts, and fills SerialErrorTexts with each English text passed through
// the translation layer (unchanged when it has no translation).
void InitSerialErrorTexts();

// Shut-down: releases the 23 texts.
void FreeSerialErrorTexts();
