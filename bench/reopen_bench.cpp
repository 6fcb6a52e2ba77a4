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

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "reopen_bench: %s\n", what.c_str());
    std::exit(1);
}

double MsSince(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& display, int displayFd = -1)
{
    std::vector<std::string> env;
    for (char** v = environ; *v != nullptr; ++v)
        if (std::strncmp(*v, "DISPLAY=", 8) != 0)
            env.emplace_back(*v);
    if (!display.empty())
        env.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = args;
    std::vector<char*> argv;
    for (auto& a : argCopy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        if (displayFd >= 0)
            dup2(displayFd, 3);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0)
        Fail(std::string("fork: ") + std::strerror(errno));
    return pid;
}

void Stop(pid_t pid)
{
    kill(pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

std::string StartXvfb(pid_t& pid)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        Fail("pipe");
    pid = Spawn({TARVEL_XVFB, "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "640x480x24"}, "", ready[1]);
    close(ready[1]);
    std::string number;
    for (;;) {
        pollfd p{ready[0], POLLIN, 0};
        char c = 0;
        if (poll(&p, 1, 30000) <= 0 || read(ready[0], &c, 1) != 1)
            Fail("Xvfb did not start");
        if (c == '\n')
            break;
        number += c;
    }
    close(ready[0]);
    return ":" + number;
}

// CPU nanoseconds and context switches of all the process's threads.
struct Usage {
    long long cpuNs = 0;
    long switches = 0;
};

Usage UsageOf(pid_t pid)
{
    Usage usage;
    const std::string dirName = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(dirName.c_str());
    if (dir == nullptr)
        return usage;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string base = dirName + "/" + entry->d_name;
        std::ifstream status(base + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                usage.switches += std::stol(line.substr(line.find(':') + 1));
        long long ns = 0;
        std::ifstream schedstat(base + "/schedstat");
        schedstat >> ns;
        usage.cpuNs += ns;
    }
    closedir(dir);
    return usage;
}

bool HoldsFile(pid_t pid, const std::string& path)
{
    const std::string dirName = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = opendir(dirName.c_str());
    if (dir == nullptr)
        return false;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        char target[512];
        const ssize_t n = readlink((dirName + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == path)
            found = true;
    }
    closedir(dir);
    return found;
}

// A reader's device: the master of a new pseudo-terminal, its slave behind
// the link (made under another name and renamed, so it appears at once).
struct Reader {
    int master = -1;
    std::string slave;
};

Reader PlugIn(const std::string& link)
{
    Reader reader;
    reader.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (reader.master < 0 || grantpt(reader.master) != 0 || unlockpt(reader.master) != 0)
        Fail("cannot create a pseudo-terminal");
    reader.slave = ptsname(reader.master);
    const std::string temporary = link + ".new";
    unlink(temporary.c_str());
    if (symlink(reader.slave.c_str(), temporary.c_str()) != 0 || rename(temporary.c_str(), link.c_str()) != 0)
        Fail("cannot make the link " + link);
    return reader;
}

void Unplug(Reader& reader, const std::string& link)
{
    unlink(link.c_str());
    close(reader.master);
    reader.master = -1;
}

void WaitUntil(pid_t tarvel, const std::string& what, double limitMs, bool (*done)(pid_t, const std::string&),
               const std::string& path)
{
    const auto since = Clock::now();
    while (!done(tarvel, path)) {
        if (MsSince(since) > limitMs)
            Fail("tarvel did not " + what + " within " + std::to_string(static_cast<int>(limitMs)) + " ms");
        int status = 0;
        if (waitpid(tarvel, &status, WNOHANG) == tarvel)
            Fail("tarvel ended");
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int awaySeconds = argc > 2 ? std::atoi(argv[2]) : 60;
    if (rounds < 1 || awaySeconds < 1)
        Fail("usage: reopen_bench [rounds] [away-seconds]");
    if (access("/dev/uinput", W_OK) == 0)
        Fail("/dev/uinput is writable here, so tarvel would type through uinput into this machine's console");
    if (std::string(TARVEL_XVFB).empty())
        Fail("Xvfb was not found when the build was configured (install the xvfb package)");
    signal(SIGPIPE, SIG_IGN);

    pid_t xvfb = -1;
    const std::string display = StartXvfb(xvfb);
    const std::string link = "/tmp/reopen-bench-" + std::to_string(getpid());

    Reader reader = PlugIn(link);
    const pid_t tarvel = Spawn({TARVEL_PROGRAM, link, "10", "1", "1"}, display);
    WaitUntil(tarvel, "open " + reader.slave, 10000, HoldsFile, reader.slave);

    std::vector<double> delays;
    Usage away{};
    double awayMs = 0;
    unsigned seed = 12345;
    for (int round = 0; round < rounds; ++round) {
        std::this_thread::sleep_for(milliseconds(300));  // the port settles into its wait
        const std::string old = reader.slave;
        Unplug(reader, link);
        WaitUntil(
            tarvel, "close the lost " + old, 10000, [](pid_t p, const std::string& f) { return !HoldsFile(p, f); },
            old);
        if (round == 0) {
            const Usage before = UsageOf(tarvel);
            const auto since = Clock::now();
            std::this_thread::sleep_for(std::chrono::seconds(awaySeconds));
            const Usage after = UsageOf(tarvel);
            awayMs = MsSince(since);
            away = {after.cpuNs - before.cpuNs, after.switches - before.switches};
        } else {
            seed = seed * 1103515245u + 12345u;  // away 1.3 to 2.9 s: any phase of the one-second attempts
            std::this_thread::sleep_for(milliseconds(1300 + (seed >> 8) % 1600));
        }
        reader = PlugIn(link);
        const auto appeared = Clock::now();
        WaitUntil(tarvel, "open the new " + reader.slave, 10000, HoldsFile, reader.slave);
        delays.push_back(MsSince(appeared));
    }
    Stop(tarvel);
    Unplug(reader, link);
    Stop(xvfb);

    std::printf("tarvel %s 10 1 1; the reader unplugged and plugged in again %d times\n", link.c_str(), rounds);
    std::printf("  waiting %.1f s for the reader:      %ld wake-ups, %.3f ms CPU (%.3f ms a minute)\n",
                awayMs / 1000, away.switches, static_cast<double>(away.cpuNs) / 1e6,
                static_cast<double>(away.cpuNs) / 1e6 * 60000 / awayMs);
    std::printf("  new reader's link to port open:");
    for (const double d : delays)
        std::printf(" %.1f", d);
    std::sort(delays.begin(), delays.end());
    std::printf(" ms\n  median %.1f ms, maximum %.1f ms\n", delays[delays.size() / 2], delays.back());
    std::fflush(stdout);
    return 0;
}
