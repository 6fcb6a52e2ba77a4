// reopen_bench: the real tarvel while its reader is unplugged and plugged in
// again, measured from outside. It plays the reader itself: a fresh
// pseudo-terminal behind a symbolic link, as /dev/serial/by-id/... is for a
// USB reader. tarvel runs on an Xvfb of its own (it needs a keyboard to start;
// nothing is typed). Each round the reader goes away (the master is closed,
// so the port hangs up, and the link is removed), stays away for a while,
// then a new pseudo-terminal appears behind the same link. It prints:
//   - tarvel's CPU time and wake-ups (context switches of all its threads)
//     while it waits for the reader in the first round;
//   - for every round, the time from the new link's appearance to tarvel
//     holding the new device, and their median and maximum.
//
//   reopen_bench [rounds] [away-seconds]     defaults: 5 rounds, 60 s away in
//                                            the first round (1.3 to 2.9 s in
//                                            the others)

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchProcesses.h"

namespace {

using namespace bench;
using std::chrono::milliseconds;

// A reader plugged in: a new pseudo-terminal, its slave behind the link
// (made under another name and renamed, so it appears at once).
Pty PlugIn(const std::string& link)
{
    Pty reader = OpenPty();
    const std::string temporary = link + ".new";
    unlink(temporary.c_str());
    if (symlink(reader.slave.c_str(), temporary.c_str()) != 0 || rename(temporary.c_str(), link.c_str()) != 0)
        Fail("cannot make the link " + link);
    return reader;
}

void Unplug(Pty& reader, const std::string& link)
{
    unlink(link.c_str());
    close(reader.master);
    reader.master = -1;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int awaySeconds = argc > 2 ? std::atoi(argv[2]) : 60;
    if (rounds < 1 || awaySeconds < 1)
        Fail("usage: reopen_bench [rounds] [away-seconds]");
    PrepareToRunTarvel();

    pid_t xvfb = -1;
    const std::string display = StartXvfb(xvfb);
    const std::string link = "/tmp/reopen-bench-" + std::to_string(getpid());

    Pty reader = PlugIn(link);
    const pid_t tarvel = Spawn({TARVEL_PROGRAM, link, "10", "1", "1"}, display);
    WaitUntil(tarvel, "open " + reader.slave, 10000, [&] { return HoldsFile(tarvel, reader.slave); });

    std::vector<double> delays;
    ThreadFigures away;
    double awayMs = 0;
    unsigned seed = 12345;
    for (int round = 0; round < rounds; ++round) {
        std::this_thread::sleep_for(milliseconds(300));  // the port settles into its wait
        const std::string old = reader.slave;
        Unplug(reader, link);
        WaitUntil(tarvel, "close the lost " + old, 10000, [&] { return !HoldsFile(tarvel, old); });
        if (round == 0) {
            const ThreadFigures before = Total(Threads(tarvel));
            const auto since = Clock::now();
            std::this_thread::sleep_for(std::chrono::seconds(awaySeconds));
            const ThreadFigures after = Total(Threads(tarvel));
            awayMs = MsSince(since);
            away.wakeups = after.wakeups - before.wakeups;
            away.cpuNs = after.cpuNs - before.cpuNs;
        } else {
            seed = seed * 1103515245u + 12345u;  // away 1.3 to 2.9 s: any phase of the one-second attempts
            std::this_thread::sleep_for(milliseconds(1300 + (seed >> 8) % 1600));
        }
        reader = PlugIn(link);
        const auto appeared = Clock::now();
        WaitUntil(tarvel, "open the new " + reader.slave, 10000, [&] { return HoldsFile(tarvel, reader.slave); });
        delays.push_back(MsSince(appeared));
    }
    Stop(tarvel);
    Unplug(reader, link);
    Stop(xvfb);

    std::printf("tarvel %s 10 1 1; the reader unplugged and plugged in again %d times\n", link.c_str(), rounds);
    std::printf("  waiting %.1f s for the reader:      %ld wake-ups, %.3f ms CPU (%.3f ms a minute)\n", awayMs / 1000,
                away.wakeups, static_cast<double>(away.cpuNs) / 1e6,
                static_cast<double>(away.cpuNs) / 1e6 * 60000 / awayMs);
    std::printf("  new reader's link to port open:");
    for (const double d : delays)
        std::printf(" %.1f", d);
    std::sort(delays.begin(), delays.end());
    std::printf(" ms\n  median %.1f ms, maximum %.1f ms\n", delays[delays.size() / 2], delays.back());
    std::fflush(stdout);
    return 0;
}
