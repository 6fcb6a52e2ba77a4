// A window that records what is typed into it, for the keyboard test under
// Wine.
//
//   win32_receiver OUTPUT READY-EVENT STOP-EVENT [SECONDS]
//
// READY-EVENT and STOP-EVENT name events that the caller has made. The
// window takes the focus and sets READY-EVENT once it has it. From then on it
// keeps every WM_CHAR character, Tab as \t and Enter as \n. When STOP-EVENT
// is set it first handles every message already queued, then writes the
// characters to OUTPUT and exits with 0. After SECONDS (default 60) without
// STOP-EVENT it writes what it has and exits with 3; other failures exit
// with 2.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/wine/receiver/TypedWindow.h"

namespace {

using namespace wine_test;

bool WriteOutput(const char* path, const std::string& received)
{
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "win32_receiver: cannot write %s\n", path);
        return false;
    }
    const bool ok = std::fwrite(received.data(), 1, received.size(), file) == received.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: %s OUTPUT READY-EVENT STOP-EVENT [SECONDS]\n", argv[0]);
        return 2;
    }
    const char* output = argv[1];
    const int seconds = argc == 5 ? std::atoi(argv[4]) : 60;
    const DWORD limitMs = static_cast<DWORD>(seconds > 0 ? seconds : 60) * 1000;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (ready == nullptr || stop == nullptr) {
        std::fprintf(stderr, "win32_receiver: cannot open the events %s and %s\n", argv[2], argv[3]);
        return 2;
    }

    TypedWindow window("TarvelReceiver", "tarvel receiver");
    if (window.Handle() == nullptr) {
        return 2;
    }

    const ULONGLONG deadline = GetTickCount64() + limitMs;
    auto left = [deadline]() -> DWORD {
        const ULONGLONG now = GetTickCount64();
        return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    };

    bool stopped = false;
    bool announced = false;
    while (!stopped) {
        PumpMessages();
        if (!announced && window.Focused()) {
            SetEvent(ready);
            announced = true;
        }
        const DWORD woken = MsgWaitForMultipleObjects(1, &stop, FALSE, left(), QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) {
            stopped = true;
        } else if (woken == WAIT_TIMEOUT || woken == WAIT_FAILED) {
            break;
        }
    }
    // Keys sent before the stop are queued by now: take them all.
    PumpMessages();

    if (!WriteOutput(output, window.Received())) {
        return 2;
    }
    if (!stopped) {
        std::fprintf(stderr, "win32_receiver: %s\n", announced ? "not stopped in time" : "never got the focus");
        return announced ? 3 : 2;
    }
    return 0;
}
