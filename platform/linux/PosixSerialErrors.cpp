#include "platform/linux/PosixSerialErrors.h"

#include <cerrno>
#include <cstring>

namespace platform::posix {
namespace {

thread_local DWORD t_lastError = ErrorSuccess;

constexpr DWORD ErrorTooManyOpenFiles = 4;

// errno -> Windows error code. The right-hand column applies to calls on a
// device that is already open, where ENODEV/ENXIO/EIO mean it went away
// (a USB adapter unplugged, the other end of a pseudo-terminal closed).
//
//   errno                                   opening                 open device
//   ENOENT                                  2 FILE_NOT_FOUND        2
//   ENODEV, ENXIO                           2 FILE_NOT_FOUND        1167 DEVICE_NOT_CONNECTED
//   EIO, EPIPE, ESHUTDOWN, EHOSTDOWN        1167                    1167
//   ENOTDIR, ENAMETOOLONG, ELOOP            3 PATH_NOT_FOUND        3
//   EACCES, EPERM, EBUSY, EAGAIN/EWOULDBLOCK
//     (flock held by another), EISDIR,
//     EROFS, ETXTBSY                        5 ACCESS_DENIED         5
//   EBADF                                   6 INVALID_HANDLE        6
//   ENOMEM                                  8 NOT_ENOUGH_MEMORY     8
//   EMFILE, ENFILE                          4 TOO_MANY_OPEN_FILES   4
//   EINVAL, ERANGE, EFAULT                  87 INVALID_PARAMETER    87
//   ENOTTY, EOPNOTSUPP, ENOSYS              50 NOT_SUPPORTED        50
//   ECANCELED                               995 OPERATION_ABORTED   995
//   ETIMEDOUT                               1460 TIMEOUT            1460
//   anything else                           31 GEN_FAILURE          31
struct ErrnoRow {
    int err;
    DWORD opening;
    DWORD openDevice;
};

constexpr ErrnoRow kErrnoTable[] = {
    {ENOENT, ErrorFileNotFound, ErrorFileNotFound},
    {ENODEV, ErrorFileNotFound, ErrorDeviceNotConnected},
    {ENXIO, ErrorFileNotFound, ErrorDeviceNotConnected},
    {EIO, ErrorDeviceNotConnected, ErrorDeviceNotConnected},
    {EPIPE, ErrorDeviceNotConnected, ErrorDeviceNotConnected},
    {ESHUTDOWN, ErrorDeviceNotConnected, ErrorDeviceNotConnected},
    {EHOSTDOWN, ErrorDeviceNotConnected, ErrorDeviceNotConnected},
    {ENOTDIR, ErrorPathNotFound, ErrorPathNotFound},
    {ENAMETOOLONG, ErrorPathNotFound, ErrorPathNotFound},
    {ELOOP, ErrorPathNotFound, ErrorPathNotFound},
    {EACCES, ErrorAccessDenied, ErrorAccessDenied},
    {EPERM, ErrorAccessDenied, ErrorAccessDenied},
    {EBUSY, ErrorAccessDenied, ErrorAccessDenied},
    {EAGAIN, ErrorAccessDenied, ErrorAccessDenied},
    {EWOULDBLOCK, ErrorAccessDenied, ErrorAccessDenied},
    {EISDIR, ErrorAccessDenied, ErrorAccessDenied},
    {EROFS, ErrorAccessDenied, ErrorAccessDenied},
    {ETXTBSY, ErrorAccessDenied, ErrorAccessDenied},
    {EBADF, ErrorInvalidHandle, ErrorInvalidHandle},
    {ENOMEM, ErrorNotEnoughMemory, ErrorNotEnoughMemory},
    {EMFILE, ErrorTooManyOpenFiles, ErrorTooManyOpenFiles},
    {ENFILE, ErrorTooManyOpenFiles, ErrorTooManyOpenFiles},
    {EINVAL, ErrorInvalidParameter, ErrorInvalidParameter},
    {ERANGE, ErrorInvalidParameter, ErrorInvalidParameter},
    {EFAULT, ErrorInvalidParameter, ErrorInvalidParameter},
    {ENOTTY, ErrorNotSupported, ErrorNotSupported},
    {EOPNOTSUPP, ErrorNotSupported, ErrorNotSupported},
    {ENOSYS, ErrorNotSupported, ErrorNotSupported},
    {ECANCELED, ErrorOperationAborted, ErrorOperationAborted},
    {ETIMEDOUT, ErrorTimeout, ErrorTimeout},
};

}  // namespace

DWORD WindowsErrorFromErrno(int err, ErrnoContext context)
{
    for (const ErrnoRow& row : kErrnoTable) {
        if (row.err == err) {
            return context == ErrnoContext::Opening ? row.opening : row.openDevice;
        }
    }
    return ErrorGenFailure;
}

void SetLastError(DWORD code) { t_lastError = code; }

DWORD LastError() { return t_lastError; }

bool Fail(DWORD code)
{
    t_lastError = code;
    return false;
}

std::string ErrnoText(int err)
{
    char buffer[256];
    // GNU strerror_r: returns the text, which may or may not be in buffer.
    const char* text = strerror_r(err, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string("error ") + std::to_string(err);
}

}  // namespace platform::posix
