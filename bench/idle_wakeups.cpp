// idle_wakeups: how often the serial back end's threads wake while a port is
// open and idle. It opens a port (a fresh pseudo-terminal, or the device
// named on the command line), starts a comm-event wait as the component's
// event thread does, blocks in WaitForMultipleObjects for the given time, and
// prints each thread's context switches and CPU time over that time. The goal
// is zero wake-ups.
//
//   idle_wakeups [seconds] [port]      defaults: 10, a new pseudo-terminal

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "platform/SerialApi.h"

namespace {

using namespace platform;

struct ThreadFigures {
    std::string name;
    long voluntary = 0;
    long involuntary = 0;
    long long cpuNs = 0;
};

std::map<int, ThreadFigures> Snapshot()
{
    std::map<int, ThreadFigures> threads;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) {
        return threads;
    }
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const int tid = std::atoi(entry->d_name);
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        ThreadFigures figures;
        std::ifstream comm(base + "/comm");
        std::getline(comm, figures.name);
        std::ifstream status(base + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
                figures.voluntary = std::stol(line.substr(line.find(':') + 1));
            } else if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                figures.involuntary = std::stol(line.substr(line.find(':') + 1));
            }
        }
        std::ifstream schedstat(base + "/schedstat");  // first field: ns on a CPU
        schedstat >> figures.cpuNs;
        threads[tid] = figures;
    }
    closedir(dir);
    return threads;
}

int Usage(const char* program)
{
    std::fprintf(stderr, "usage: %s [seconds] [port]\n", program);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 3) {
        return Usage(argv[0]);
    }
    int seconds = 10;
    if (argc > 1) {
        char* end = nullptr;
        const long value = std::strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || value < 1 || value > 3600) {
            return Usage(argv[0]);
        }
        seconds = static_cast<int>(value);
    }

    int master = -1;
    std::string port;
    if (argc > 2) {
        port = argv[2];
    } else {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0) {
            std::perror("pseudo-terminal");
            return 1;
        }
        port = name;
    }

    ISerialApi& api = SystemSerialApi();
    const Handle h = api.CreateFileA("\\\\.\\" + port, GenericRead | GenericWrite, 0, OpenExisting,
                                     FileFlagOverlapped);
    if (h == InvalidHandle) {
        std::fprintf(stderr, "cannot open %s (error %u)\n", port.c_str(), api.GetLastError());
        return 1;
    }
    Dcb dcb;
    dcb.BaudRate = 9600;
    dcb.Flags = DcbBinary;
    dcb.XonLim = dcb.XoffLim = 256;
    dcb.ByteSize = 8;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = timeouts.ReadTotalTimeoutMultiplier =
        timeouts.ReadTotalTimeoutConstant = 200;
    api.SetupComm(h, 1024, 1024);
    api.SetCommState(h, dcb);
    api.SetCommTimeouts(h, timeouts);
    api.SetCommMask(h, EvRxChar | EvRx80Full);

    const Handle stop = api.CreateEventA(true, false);
    Overlapped ov;
    ov.hEvent = api.CreateEventA(true, true);
    DWORD mask = 0;
    api.WaitCommEvent(h, &mask, &ov);
    usleep(100 * 1000);  // let the threads settle before counting

    const auto before = Snapshot();
    const auto start = std::chrono::steady_clock::now();
    const Handle list[] = {stop, ov.hEvent};
    const DWORD result = api.WaitForMultipleObjects(2, list, false, static_cast<DWORD>(seconds) * 1000);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto after = Snapshot();

    std::printf("port %s idle for %.2f s (%s)\n", port.c_str(), elapsed,
                result == WaitTimeout ? "the wait timed out" : "the wait ended early");
    std::printf("%-8s %-16s %10s %12s %10s\n", "thread", "name", "voluntary", "involuntary",
                "cpu ms");
    long totalWakeups = 0;
    long long totalCpuNs = 0;
    for (const auto& [tid, now] : after) {
        const auto was = before.find(tid);
        const ThreadFigures old = was != before.end() ? was->second : ThreadFigures{};
        const long voluntary = now.voluntary - old.voluntary;
        const long involuntary = now.involuntary - old.involuntary;
        const long long cpuNs = now.cpuNs - old.cpuNs;
        std::printf("%-8d %-16s %10ld %12ld %10.3f\n", tid, now.name.c_str(), voluntary, involuntary,
                    cpuNs / 1e6);
        totalWakeups += voluntary + involuntary;
        totalCpuNs += cpuNs;
    }
    std::printf("wake-ups in total: %ld (the waiting thread's own wait counts one)\n", totalWakeups);
    std::printf("cpu time in total: %.3f ms\n", totalCpuNs / 1e6);

    api.CloseHandle(h);
    api.CloseHandle(ov.hEvent);
    api.CloseHandle(stop);
    if (master >= 0) {
        close(master);
    }
    return 0;
}
