// wedge_bench: the real tarvel as a user runs it, measured from outside.
// It plays the card reader itself (the master of a fresh pseudo-terminal,
// whose slave is tarvel's port) and the focused window (on an Xvfb of its
// own, where tarvel types through XTest), starts `tarvel SLAVE 10 1 1` and
// prints:
//   - the time from starting the process to the port being open (the
//     start-up timer's 100 ms included);
//   - the process's CPU time and wake-ups (context switches of all its
//     threads) while it waits 10 s with the port open and nothing arrives;
//   - for a batch of cards: the time from a frame's last byte to the Enter
//     key arriving in the window, minus the delays the design adds on
//     purpose (the 200 ms read interval, 20 ms after each of the ten keys
//     before Enter), as median and 95th percentile;
//   - the peak resident memory (VmHWM) at the end.
//
//   wedge_bench [cards] [idle-seconds]     defaults: 30 cards, 10 s

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchProcesses.h"
#include "bench/FocusWindow.h"

namespace {

using namespace bench;
using std::chrono::milliseconds;

constexpr double kReadIntervalMs = 200;
constexpr double kKeyPauseMs = 20;
constexpr int kKeysBeforeEnter = 10;  // FillZeroLength 10: ten digits, then Enter

// A field of /proc/PID/status ("VmHWM"), as it stands there.
std::string StatusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) {
            const std::size_t first = line.find_first_not_of(" \t", field.size() + 1);
            return first == std::string::npos ? "" : line.substr(first);
        }
    return "";
}

double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const double rank = p * static_cast<double>(values.size() - 1);
    const auto low = static_cast<std::size_t>(std::floor(rank));
    const auto high = static_cast<std::size_t>(std::ceil(rank));
    return values[low] + (values[high] - values[low]) * (rank - static_cast<double>(low));
}

}  // namespace

int main(int argc, char** argv)
{
    const int cards = argc > 1 ? std::atoi(argv[1]) : 30;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    if (cards < 1 || idleSeconds < 1)
        Fail("usage: wedge_bench [cards] [idle-seconds]");
    PrepareToRunTarvel();

    pid_t xvfb = -1;
    const std::string display = StartXvfb(xvfb);
    std::optional<FocusWindow> window;
    window.emplace(display);

    const Pty reader = OpenPty();
    const int master = reader.master;
    const std::string slave = reader.slave;

    // Start-up: from the fork to tarvel holding the device.
    const auto started = Clock::now();
    const pid_t tarvel = Spawn({TARVEL_PROGRAM, slave, "10", "1", "1"}, display);
    WaitUntil(tarvel, "open " + slave, 10000, [&] { return HoldsFile(tarvel, slave); });
    const double startMs = MsSince(started);

    // Idle with the port open (after a moment for the event thread to settle
    // into its wait).
    std::this_thread::sleep_for(milliseconds(300));
    const auto before = Threads(tarvel);
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const auto after = Threads(tarvel);
    long idleSwitches = 0;
    long long idleCpuNs = 0;
    std::string perThread;
    for (const auto& [tid, task] : after) {
        const auto it = before.find(tid);
        const long switches = task.wakeups - (it != before.end() ? it->second.wakeups : 0);
        const long long cpu = task.cpuNs - (it != before.end() ? it->second.cpuNs : 0);
        idleSwitches += switches;
        idleCpuNs += cpu;
        char line[160];
        std::snprintf(line, sizeof line, "    %-16s %6ld wake-ups %9.3f ms CPU\n", task.name.c_str(), switches,
                      static_cast<double>(cpu) / 1e6);
        perThread += line;
    }

    // The batch.
    const double fixedMs = kReadIntervalMs + kKeysBeforeEnter * kKeyPauseMs;
    std::vector<double> latencies;
    int wrong = 0;
    for (int i = 0; i < cards; ++i) {
        const std::uint32_t card = 0x10000000u + static_cast<std::uint32_t>(i) * 0x01234567u;
        const std::string frame = FieldFrame(card);
        char expected[16];
        std::snprintf(expected, sizeof expected, "%010u\n", card);
        if (write(master, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
            Fail("cannot write into the pseudo-terminal");
        const auto lastByte = Clock::now();
        std::string typed;
        while (typed.find('\n') == std::string::npos) {
            if (MsSince(lastByte) > 10000)
                Fail("no Enter within 10 s of card " + std::to_string(i + 1) + " (typed \"" + typed + "\")");
            if (window->Wait(100)) {
                const auto woke = Clock::now();
                window->Take(typed);
                if (typed.find('\n') != std::string::npos)
                    latencies.push_back(std::chrono::duration<double, std::milli>(woke - lastByte).count() - fixedMs);
            }
        }
        if (typed != expected)
            ++wrong;
        std::this_thread::sleep_for(milliseconds(300));  // the next card comes on its own
    }
    const std::string peak = StatusField(tarvel, "VmHWM");
    Stop(tarvel);
    window.reset();
    Stop(xvfb);
    close(master);

    std::printf("tarvel %s 10 1 1, typing through XTest into a window on an Xvfb of its own\n", slave.c_str());
    std::printf("  process start to port open:        %8.1f ms (the 100 ms start-up timer included)\n", startMs);
    std::printf("  idle %d s with the port open:      %8ld wake-ups, %.3f ms CPU\n", idleSeconds, idleSwitches,
                static_cast<double>(idleCpuNs) / 1e6);
    std::fputs(perThread.c_str(), stdout);
    std::printf("  last byte to Enter, minus %.0f ms of fixed delays (%.0f ms read interval + %d keys x %.0f ms),\n",
                fixedMs, kReadIntervalMs, kKeysBeforeEnter, kKeyPauseMs);
    std::printf("  %d cards:                           median %.1f ms, 95th percentile %.1f ms\n", cards,
                Percentile(latencies, 0.5), Percentile(latencies, 0.95));
    std::printf("  peak resident memory (VmHWM):      %s\n", peak.c_str());
    if (wrong > 0) {
        std::printf("  %d of %d cards arrived wrong\n", wrong, cards);
        return 1;
    }
    return 0;
}
