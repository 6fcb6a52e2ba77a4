#pragma once
// Requests from outside to end the program: SIGTERM, SIGINT and SIGHUP on
// Linux (a service stopping, Ctrl+C, a closed terminal), the console's
// close and Ctrl+C events on Windows. Instead of dying where it stands, the
// program is told, so it can stop typing between two keys, close the port
// and exit normally.

#include <functional>

namespace platform {

// onRequest runs on a thread of its own, once for each request; it must only
// do what may be done from any thread (asking the event loop to quit). Call
// at the very start of main, before any other thread exists: on Linux the
// signals are blocked in every thread and taken by a watcher thread.
void WatchTerminationRequests(std::function<void()> onRequest);

// Writing to a pipe or socket whose reader has gone fails with an error
// instead of ending the program (SIGPIPE on Linux; nothing to do on
// Windows): a diagnostic line nobody reads costs that line only.
void IgnoreBrokenPipes();

}  // namespace platform
