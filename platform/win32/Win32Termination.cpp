#include <windows.h>

#include "platform/Termination.h"

namespace platform {
namespace {
std::function<void()> g_onRequest;

BOOL WINAPI ConsoleEvent(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        if (g_onRequest)
            g_onRequest();
        return TRUE;
    default:
        return FALSE;
    }
}
}  // namespace

void WatchTerminationRequests(std::function<void()> onRequest)
{
    g_onRequest = std::move(onRequest);
    SetConsoleCtrlHandler(ConsoleEvent, TRUE);
}

void IgnoreBrokenPipes() {}

}  // namespace platform
