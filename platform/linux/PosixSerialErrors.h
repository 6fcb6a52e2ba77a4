#pragma once
// The POSIX serial back end's error side: the thread's last error (a Windows
// code, so the component's messages read the same on both systems), the
// errno-to-Windows mapping and errno's own text.

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

}  // namespace platform::posix
