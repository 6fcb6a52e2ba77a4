// Temporary: replaced by the real back end.
#include "platform/SerialApi.h"

namespace platform {
namespace {
class StubSerialApi final : public ISerialApi {
public:
    Handle CreateFileA(const std::string&, DWORD, DWORD, DWORD, DWORD) override { return InvalidHandle; }
    bool CloseHandle(Handle) override { return false; }
    bool SetupComm(Handle, DWORD, DWORD) override { return false; }
    bool SetCommState(Handle, const Dcb&) override { return false; }
    bool SetCommTimeouts(Handle, const CommTimeouts&) override { return false; }
    bool SetCommMask(Handle, DWORD) override { return false; }
    bool WaitCommEvent(Handle, DWORD*, Overlapped*) override { return false; }
    bool GetOverlappedResult(Handle, Overlapped*, DWORD*, bool) override { return false; }
    bool ReadFile(Handle, void*, DWORD, DWORD*, Overlapped*) override { return false; }
    bool ClearCommError(Handle, DWORD*, ComStat*) override { return false; }
    bool GetCommModemStatus(Handle, DWORD*) override { return false; }
    bool PurgeComm(Handle, DWORD) override { return false; }
    Handle CreateEventA(bool, bool) override { return NullHandle; }
    bool SetEvent(Handle) override { return false; }
    bool ResetEvent(Handle) override { return false; }
    DWORD WaitForSingleObject(Handle, DWORD) override { return WaitFailed; }
    DWORD WaitForMultipleObjects(DWORD, const Handle*, bool, DWORD) override { return WaitFailed; }
    void Sleep(DWORD) override {}
    DWORD GetLastError() override { return ErrorNotSupported; }
};
}  // namespace

ISerialApi& SystemSerialApi()
{
    static StubSerialApi api;
    return api;
}

}  // namespace platform
