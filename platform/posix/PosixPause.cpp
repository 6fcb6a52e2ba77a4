#include "platform/posix/PosixPause.h"

#include <cerrno>

#include "platform/Pause.h"

namespace platform {

void SleepMilliseconds(std::uint32_t milliseconds, NanosleepCall nanosleep)
{
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

namespace {
class PosixPause final : public IPause {
public:
    void Sleep(std::uint32_t milliseconds) override { SleepMilliseconds(milliseconds, ::nanosleep); }
};
}  // namespace

IPause& SystemPause()
{
    static PosixPause pause;
    return pause;
}

}  // namespace platform
