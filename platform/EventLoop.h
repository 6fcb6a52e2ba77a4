#pragma once
// The main thread's event loops: the plain loop and the toolkit's. Each one
// serves the work handed to the main thread (HandOver.h) while it runs.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/HandOver.h"

namespace platform {

// --- Event loops -------------------------------------------------------------

using TimerId = std::uint64_t;  // 0 is no timer

// An event loop of the main thread. Every operation belongs to the main
// thread, except Quit, which may be called from any thread.
class IEventLoop {
public:
    virtual ~IEventLoop() = default;

    // Runs until Quit and returns Quit's exit code. Queued jobs, timers and
    // (for the toolkit loops) window messages are served meanwhile. A Quit
    // that came before Run makes Run return at once.
    virtual int Run() = 0;
    virtual void Quit(int exitCode) = 0;

    // Calls onTimer on the main thread every `milliseconds` (repeating) or
    // once, `milliseconds` from now. Runs only while the loop runs. The
    // callback should not throw: what escapes is reported on the diagnostic
    // stream and the loop goes on. A one-shot timer is gone once it fired.
    virtual TimerId StartTimer(std::uint32_t milliseconds, bool repeating, std::function<void()> onTimer) = 0;
    // Stops a timer; unknown or finished timers are ignored. A timer may stop
    // itself from its own callback.
    virtual void StopTimer(TimerId id) = 0;
};

// The framework's own loop: no toolkit, no windows; the main thread sleeps
// until work is queued, a sent message arrives or a timer is due. Used by
// unit tests on every platform and by programs that show no window.
std::unique_ptr<IEventLoop> CreatePlainEventLoop();

// The toolkit's loop. Linux: Qt's (QCoreApplication::exec) on the existing
// QCoreApplication or QApplication; when there is none, the loop makes a
// QCoreApplication of its own and deletes it with itself. Windows: the
// GetMessage loop. Create it on the main thread.
std::unique_ptr<IEventLoop> CreateSystemEventLoop();

}  // namespace platform
