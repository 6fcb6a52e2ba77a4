#include <windows.h>

#include "platform/Pause.h"

namespace platform {
namespace {
class Win32Pause final : public IPause {
public:
    std::uint64_t NowMs() override { return GetTickCount64(); }
    void SleepUntilMs(std::uint64_t deadlineMs) override
    {
        for (std::uint64_t now = NowMs(); now < deadlineMs; now = NowMs())
            ::Sleep(static_cast<DWORD>(deadlineMs - now));
    }
};
}  // namespace

IPause& SystemPause()
{
    static Win32Pause pause;
    return pause;
}

}  // namespace platform
