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

#include <X11/Xlib.h>
#include <X11/Xutil.h>
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
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr double kReadIntervalMs = 200;
constexpr double kKeyPauseMs = 20;
constexpr int kKeysBeforeEnter = 10;  // FillZeroLength 10: ten digits, then Enter

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "wedge_bench: %s\n", what.c_str());
    std::exit(1);
}

double MsSince(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& display, int extraFd = -1)
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
        if (extraFd >= 0 && extraFd != 3)
            dup2(extraFd, 3);
        else if (extraFd == 3)
            fcntl(3, F_SETFD, 0);
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

// Xvfb on a free display number; returns ":N".
std::string StartXvfb(pid_t& pid)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        Fail("pipe");
    pid = Spawn({TARVEL_XVFB, "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "640x480x24"}, "", ready[1]);
    close(ready[1]);
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    for (;;) {
        pollfd p{ready[0], POLLIN, 0};
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
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

struct Task {
    std::string name;
    long switches = 0;
    long long cpuNs = 0;
};

std::map<int, Task> Tasks(pid_t pid)
{
    std::map<int, Task> tasks;
    const std::string dirName = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(dirName.c_str());
    if (dir == nullptr)
        return tasks;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string base = dirName + "/" + entry->d_name;
        Task task;
        std::ifstream comm(base + "/comm");
        std::getline(comm, task.name);
        std::ifstream status(base + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                task.switches += std::stol(line.substr(line.find(':') + 1));
        std::ifstream schedstat(base + "/schedstat");
        schedstat >> task.cpuNs;
        tasks[std::atoi(entry->d_name)] = task;
    }
    closedir(dir);
    return tasks;
}

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

class FocusWindow {
public:
    explicit FocusWindow(const std::string& displayName)
    {
        display_ = XOpenDisplay(displayName.c_str());
        if (display_ == nullptr)
            Fail("cannot open the display " + displayName);
        const int screen = DefaultScreen(display_);
        window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, 300, 60, 0,
                                      BlackPixel(display_, screen), WhitePixel(display_, screen));
        XSelectInput(display_, window_, KeyPressMask | FocusChangeMask | StructureNotifyMask);
        XMapRaised(display_, window_);
        for (bool mapped = false; !mapped;) {
            XEvent event;
            XNextEvent(display_, &event);
            mapped = event.type == MapNotify;
        }
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        bool focused = false;
        while (!focused && Clock::now() < deadline) {
            std::string ignored;
            focused = Take(ignored);
            if (!focused)
                Wait(100);
        }
        if (!focused)
            Fail("the window did not get the focus");
    }
    ~FocusWindow() { XCloseDisplay(display_); }

    // Waits at most ms for X input; false on time-out.
    bool Wait(int ms)
    {
        if (XPending(display_) > 0)
            return true;
        pollfd p{ConnectionNumber(display_), POLLIN, 0};
        return poll(&p, 1, ms) > 0;
    }

    // Appends the characters of queued key presses (Enter as \n); true when
    // a FocusIn came.
    bool Take(std::string& typed)
    {
        bool focused = false;
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == KeyPress) {
                char text[16];
                KeySym keysym = NoSymbol;
                const int n = XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
                for (int i = 0; i < n; ++i)
                    typed += text[i] == '\r' ? '\n' : text[i];
            } else if (event.type == FocusIn) {
                focused = true;
            } else if (event.type == MappingNotify) {
                XRefreshKeyboardMapping(&event.xmapping);
            }
        }
        return focused;
    }

private:
    Display* display_ = nullptr;
    ::Window window_ = 0;
};

std::string FieldFrame(std::uint32_t card)
{
    char text[32];
    const unsigned check = ((card >> 24) ^ (card >> 16) ^ (card >> 8) ^ card) & 0xFFu;
    std::snprintf(text, sizeof text, "\x02" "00%08X%02X\x03", card, check);
    return text;
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
    if (access("/dev/uinput", W_OK) == 0)
        Fail("/dev/uinput is writable here, so tarvel would type through uinput and not into the benchmark's "
             "own X display");
    if (std::string(TARVEL_XVFB).empty())
        Fail("Xvfb was not found when the build was configured (install the xvfb package)");
    signal(SIGPIPE, SIG_IGN);

    pid_t xvfb = -1;
    const std::string display = StartXvfb(xvfb);
    std::optional<FocusWindow> window;
    window.emplace(display);

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        Fail("cannot create a pseudo-terminal");
    const std::string slave = ptsname(master);

    // Start-up: from the fork to tarvel holding the device.
    const auto started = Clock::now();
    const pid_t tarvel = Spawn({TARVEL_PROGRAM, slave, "10", "1", "1"}, display);
    while (!HoldsFile(tarvel, slave)) {
        if (MsSince(started) > 10000)
            Fail("tarvel did not open " + slave + " within 10 s");
        int status = 0;
        if (waitpid(tarvel, &status, WNOHANG) == tarvel)
            Fail("tarvel ended before it opened the port");
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    const double startMs = MsSince(started);

    // Idle with the port open (after a moment for the event thread to settle
    // into its wait).
    std::this_thread::sleep_for(milliseconds(300));
    const auto before = Tasks(tarvel);
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const auto after = Tasks(tarvel);
    long idleSwitches = 0;
    long long idleCpuNs = 0;
    std::string perThread;
    for (const auto& [tid, task] : after) {
        const auto it = before.find(tid);
        const long switches = task.switches - (it != before.end() ? it->second.switches : 0);
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
                    latencies.push_back(std::chrono::duration<double, std::milli>(woke - lastByte).count() -
                                        fixedMs);
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
