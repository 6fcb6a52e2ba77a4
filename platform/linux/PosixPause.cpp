#include "platform/linux/PosixPause.h"

#include <cerrno>

#include "platform/Pause.h"

namespace platform {

void SleepUntilMilliseconds(std::uint64_t deadlineMs, ClockNanosleepCall clockNanosleep)
{
    const timespec deadline{static_cast<time_t>(deadlineMs / 1000), static_cast<long>(deadlineMs % 1000) * 1000000L};
    while (clockNanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

namespace {
class PosixPause final : public IPause {
public:
    std::uint64_t NowMs() override
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec / 1000000L);
    }
    void SleepUntilMs(std::uint64_t deadlineMs) override { SleepUntilMilliseconds(deadlineMs, ::clock_nanosleep); }
};
}  // namespace

IPause& SystemPause()
{
    static PosixPause pause;
    return pause;
}

}  // namespace platform
