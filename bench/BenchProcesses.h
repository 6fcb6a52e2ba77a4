#pragma once
// What the benchmarks that measure the real tarvel from outside share: its
// process and the Xvfb it types into, the card reader's pseudo-terminal and
// frames, and the figures /proc keeps of a process's threads.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// Prints "<program>: what" on standard error and ends the benchmark.
[[noreturn]] void Fail(const std::string& what);

double MsSince(Clock::time_point since);

// Ends the benchmark when tarvel would not type into the benchmark's own
// Xvfb (uinput writable here, or no Xvfb found at configuration); ignores
// SIGPIPE.
void PrepareToRunTarvel();

// Starts args[0] with DISPLAY set to display (unset when empty), standard
// input and output on /dev/null; its standard error goes to errFd when given,
// and readyFd becomes its descriptor 3.
pid_t Spawn(const std::vector<std::string>& args, const std::string& display, int errFd = -1, int readyFd = -1);

// Sends SIGTERM and waits for the process to end.
void Stop(pid_t pid);

// Xvfb on a free display number; returns ":N".
std::string StartXvfb(pid_t& pid);

// Waits (polling every half millisecond) until done() holds; ends the
// benchmark when limitMs pass first ("tarvel did not <what> ...") or when
// the process ends.
void WaitUntil(pid_t process, const std::string& what, double limitMs, const std::function<bool()>& done);

// Whether the process holds an open file at path.
bool HoldsFile(pid_t pid, const std::string& path);

// A thread's figures from /proc: name, context switches (voluntary and
// involuntary: its wake-ups) and time on a CPU.
struct ThreadFigures {
    std::string name;
    long wakeups = 0;
    long long cpuNs = 0;
};

// The figures of every thread of the process, by thread id.
std::map<int, ThreadFigures> Threads(pid_t pid);

// The figures of all the threads together.
ThreadFigures Total(const std::map<int, ThreadFigures>& threads);

// The card reader's end of a new pseudo-terminal and the device of the
// other end, the port tarvel opens.
struct Pty {
    int master = -1;
    std::string slave;
};

// O_RDWR | O_NOCTTY | O_CLOEXEC and extraFlags (O_NONBLOCK); ends the
// benchmark when there is none.
Pty OpenPty(int extraFlags = 0);

// The frame a reader sends for the card (STX, 00, eight hex digits, their
// XOR check, ETX).
std::string FieldFrame(std::uint32_t card);

}  // namespace bench
