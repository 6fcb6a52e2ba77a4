#include <windows.h>

#include "platform/Pause.h"

namespace platform {
namespace {
class Win32Pause final : public IPause {
public:
    // The performance counter: GetTickCount64 moves in steps of about 16 ms,
    // too coarse for 20 ms slots.
    std::uint64_t NowMs() override
    {
        LARGE_INTEGER frequency{};
        LARGE_INTEGER now{};
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&now);
        const auto ticks = static_cast<std::uint64_t>(now.QuadPart);
        const auto perSecond = static_cast<std::uint64_t>(frequency.QuadPart);
        return ticks / perSecond * 1000u + ticks % perSecond * 1000u / perSecond;
    }
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
