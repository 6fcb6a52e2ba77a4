#pragma once
// The POSIX serial back end's error side: the thread's last error (a Windows
// code, so the component's messages read the same on both systems), the
// errno-to-Windows mapping, and safe texts for diagnostic lines.

#include <string>

#include "platform/SerialApi.h"

namespace platform::posix {

// Where an errno came from: opening a device file, or a call on a device that
// is already open (there "no such device" means the device went away).
enum class ErrnoContext { Opening, OpenDevice };

DWORD WindowsErrorFromErrno(int err, ErrnoContext context);

// The calling thread's last error.
void SetLastError(DWORD code);
DWORD LastError();

// Sets the last error and returns false, for the "fail the call" paths.
bool Fail(DWORD code);

// errno's own text (strerror, thread-safe).
std::string ErrnoText(int err);

// A path or name shown on one diagnostic line: bytes outside printable ASCII
// become \xNN, so a name from the command line cannot break the line.
std::string Printable(const std::string& text);

}  // namespace platform::posix
