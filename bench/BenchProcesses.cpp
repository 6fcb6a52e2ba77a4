#include "bench/BenchProcesses.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

namespace bench {

void Fail(const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
    std::exit(1);
}

double MsSince(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

void PrepareToRunTarvel()
{
    if (access("/dev/uinput", W_OK) == 0)
        Fail(
            "/dev/uinput is writable here, so tarvel would type through uinput (into this machine's console) "
            "and not into the benchmark's own X display");
    if (std::string(TARVEL_XVFB).empty())
        Fail("Xvfb was not found when the build was configured (install the xvfb package)");
    signal(SIGPIPE, SIG_IGN);
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& display, int errFd, int readyFd)
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
        if (errFd >= 0)
            dup2(errFd, STDERR_FILENO);
        if (readyFd == 3)
            fcntl(3, F_SETFD, 0);  // dup2 onto itself would leave it close-on-exec
        else if (readyFd >= 0)
            dup2(readyFd, 3);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (pid < 0)
        Fail(std::string("fork: ") + std::strerror(errno));
    return pid;
}

void Stop(pid_t pid)
{
    if (pid <= 0)
        return;
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
    pid = Spawn({TARVEL_XVFB, "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "640x480x24"}, "", -1, ready[1]);
    close(ready[1]);
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    for (;;) {
        pollfd p{ready[0], POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
            Fail("Xvfb did not start");
        char c = 0;
        if (read(ready[0], &c, 1) != 1)
            Fail("Xvfb did not start");
        if (c == '\n')
            break;
        number += c;
    }
    close(ready[0]);
    return ":" + number;
}

void WaitUntil(pid_t process, const std::string& what, double limitMs, const std::function<bool()>& done)
{
    const auto since = Clock::now();
    while (!done()) {
        if (MsSince(since) > limitMs)
            Fail("tarvel did not " + what + " within " + std::to_string(static_cast<int>(limitMs)) + " ms");
        int status = 0;
        if (waitpid(process, &status, WNOHANG) == process)
            Fail("tarvel ended before it could " + what);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
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

std::map<int, ThreadFigures> Threads(pid_t pid)
{
    std::map<int, ThreadFigures> threads;
    const std::string dirName = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(dirName.c_str());
    if (dir == nullptr)
        return threads;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string base = dirName + "/" + entry->d_name;
        ThreadFigures figures;
        std::ifstream comm(base + "/comm");
        std::getline(comm, figures.name);
        std::ifstream status(base + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                figures.wakeups += std::stol(line.substr(line.find(':') + 1));
        std::ifstream schedstat(base + "/schedstat");  // first field: ns on a CPU
        schedstat >> figures.cpuNs;
        threads[std::atoi(entry->d_name)] = figures;
    }
    closedir(dir);
    return threads;
}

ThreadFigures Total(const std::map<int, ThreadFigures>& threads)
{
    ThreadFigures total;
    for (const auto& [tid, figures] : threads) {
        total.wakeups += figures.wakeups;
        total.cpuNs += figures.cpuNs;
    }
    return total;
}

Pty OpenPty(int extraFlags)
{
    Pty pty;
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | extraFlags);
    char name[128];
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 ||
        ptsname_r(pty.master, name, sizeof name) != 0)
        Fail(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    pty.slave = name;
    return pty;
}

std::string FieldFrame(std::uint32_t card)
{
    char text[32];
    const unsigned check = ((card >> 24) ^ (card >> 16) ^ (card >> 8) ^ card) & 0xFFu;
    std::snprintf(text, sizeof text,
                  "\x02"
                  "00%08X%02X\x03",
                  card, check);
    return text;
}

}  // namespace bench
