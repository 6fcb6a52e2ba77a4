#include <windows.h>

#include "platform/Pause.h"

namespace platform {
namespace {
class Win32Pause final : public IPause {
public:
    void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};
}  // namespace

IPause& SystemPause()
{
    static Win32Pause pause;
    return pause;
}

}  // namespace platform
