#include <pthread.h>
#include <signal.h>

#include <thread>

#include "platform/Diagnostics.h"
#include "platform/Termination.h"

namespace platform {

void WatchTerminationRequests(std::function<void()> onRequest)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    // Blocked here, before any other thread exists, so every thread created
    // later inherits the mask and only the watcher takes these signals.
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) {
        Diagnostic("tarvel: cannot block the termination signals; they end the program at once");
        return;
    }
    std::thread([set, onRequest = std::move(onRequest)] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0)
                return;
            onRequest();
        }
    }).detach();
}

void IgnoreBrokenPipes() { signal(SIGPIPE, SIG_IGN); }

}  // namespace platform
