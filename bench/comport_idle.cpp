// comport_idle: how often the serial component's event thread wakes while its
// port is open and nothing arrives. It opens a TComPort as the application
// does (events evRxChar and evRx80Full, delivery to the main thread) on a
// fresh pseudo-terminal (or the port named on the command line), lets the
// main thread run its event loop for the given time, and prints the context
// switches and CPU time of every thread that opening started (the event
// thread and the back end's I/O thread) and of the main thread. The goal is
// zero wake-ups.
//
//   comport_idle [seconds] [port]      defaults: 10, a new pseudo-terminal

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "bench/BenchProcesses.h"
#include "framework/MainThread.h"
#include "platform/EventLoop.h"
#include "platform/HandOver.h"
#include "serial/ComPort.h"
#include "serial/ComPortErrors.h"

namespace {

using bench::ThreadFigures;

int Usage(const char* program)
{
    std::fprintf(stderr, "usage: %s [seconds] [port]\n", program);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 3)
        return Usage(argv[0]);
    int seconds = 10;
    if (argc > 1) {
        char* end = nullptr;
        const long value = std::strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || value < 1 || value > 3600)
            return Usage(argv[0]);
        seconds = static_cast<int>(value);
    }

    bench::Pty reader;
    std::string port;
    if (argc > 2) {
        port = argv[2];
    } else {
        reader = bench::OpenPty();
        port = reader.slave;
    }

    SetMainThread();
    InitSerialErrorTexts();
    const auto loop = platform::CreatePlainEventLoop();
    long rxChars = 0;
    TComPort comPort(nullptr);
    comPort.SetPort(port);
    comPort.SetEvents(TComEvents{evRxChar, evRx80Full});
    comPort.Timeouts()->SetReadInterval(200);
    comPort.SetOnRxChar([&](TComponent*, std::int32_t) { ++rxChars; });

    const auto beforeOpen = bench::Threads(getpid());
    try {
        comPort.SetConnected(true);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot open %s: %s\n", port.c_str(), e.what());
        return 1;
    }
    loop->StartTimer(100, false, [&] { loop->Quit(0); });  // let the threads settle
    loop->Run();

    const auto before = bench::Threads(getpid());
    const auto start = std::chrono::steady_clock::now();
    loop->StartTimer(static_cast<std::uint32_t>(seconds) * 1000u, false, [&] { loop->Quit(0); });
    loop->Run();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto after = bench::Threads(getpid());

    std::printf("port %s open and idle for %.2f s (events evRxChar, evRx80Full; smThreadSync)\n", port.c_str(),
                elapsed);
    std::printf("%-8s %-30s %10s %10s\n", "thread", "role", "wake-ups", "cpu ms");
    const int mainTid = static_cast<int>(getpid());
    long eventThreadWakeups = -1;
    double eventThreadCpuMs = 0;
    for (const auto& [tid, now] : after) {
        std::string role;
        if (tid == mainTid)
            role = "main (event loop)";
        else if (beforeOpen.count(tid) != 0)
            continue;  // not started by the opening
        else if (now.name == "tarvel-serial")
            role = "back end I/O (" + now.name + ")";
        else
            role = "event thread";
        const auto was = before.find(tid);
        const ThreadFigures old = was != before.end() ? was->second : ThreadFigures{};
        const long wakeups = now.wakeups - old.wakeups;
        const double cpuMs = static_cast<double>(now.cpuNs - old.cpuNs) / 1e6;
        std::printf("%-8d %-30s %10ld %10.3f\n", tid, role.c_str(), wakeups, cpuMs);
        if (role == "event thread") {
            eventThreadWakeups = wakeups;
            eventThreadCpuMs = cpuMs;
        }
    }
    if (eventThreadWakeups < 0)
        std::printf("no event thread found\n");
    else
        std::printf("event thread: %ld wake-ups, %.3f ms CPU in %.2f s\n", eventThreadWakeups, eventThreadCpuMs,
                    elapsed);
    if (rxChars != 0)
        std::printf("note: %ld OnRxChar events arrived meanwhile: the port was not idle\n", rxChars);

    comPort.SetConnected(false);
    if (reader.master >= 0)
        close(reader.master);
    return 0;
}
