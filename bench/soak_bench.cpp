// soak_bench: many cards through the real tarvel, counted at the window.
// It plays the card reader (the master of a fresh pseudo-terminal whose slave
// is tarvel's port, bytes paced at 9600 baud) and the focused window (on an
// Xvfb of its own, where tarvel types through XTest), runs
// `tarvel SLAVE 10 1 1` and sends two batches of distinct cards:
//   - at the reader's normal pace: a gap of 500 ms after each frame;
//   - with no gap at all: each frame's STX right after the last one's ETX.
// For each batch it prints how many cards were
//   - typed right (the card's own number, in the order sent),
//   - lost with a line (not typed, and tarvel's diagnostic stream shows the
//     card's bytes),
//   - lost silently (not typed, and no line shows them),
//   - typed wrong (a line in the window that is no card sent, or one typed
//     out of order),
// and how many frames could not be sent at all (the port took no more bytes).
// A batch ends once every card is typed, or when nothing has been typed for
// 10 s.
//
//   soak_bench [cards-per-batch]     default 1000

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kByteTime = std::chrono::nanoseconds(10'000'000'000LL / 9600);  // 10 bits at 9600 baud
constexpr milliseconds kQuietEnd{10000};

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "soak_bench: %s\n", what.c_str());
    std::exit(1);
}

// Starts args[0] with DISPLAY set; its standard error goes to errFd when
// given, and readyFd becomes its descriptor 3.
pid_t Spawn(const std::vector<std::string>& args, const std::string& display, int errFd = -1, int readyFd = -1)
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
        if (readyFd >= 0)
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

// Xvfb on a free display number; returns ":N".
std::string StartXvfb(pid_t& pid)
{
    int ready[2];
    if (pipe(ready) != 0)
        Fail("pipe");
    pid = Spawn({TARVEL_XVFB, "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "640x480x24"}, "", -1,
                ready[1]);
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

// A window that takes the focus and collects the characters typed into it.
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
        std::string ignored;
        while (!focused && Clock::now() < deadline) {
            pollfd p{Fd(), POLLIN, 0};
            if (XPending(display_) == 0)
                poll(&p, 1, 100);
            focused = Take(ignored);
        }
        if (!focused)
            Fail("the window did not get the focus");
    }
    ~FocusWindow() { XCloseDisplay(display_); }

    int Fd() const { return ConnectionNumber(display_); }

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

// The card's eight hex digits as tarvel's diagnostic lines show bytes.
std::string HexPairsOfCard(std::uint32_t card)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08X", card);
    std::string pairs;
    for (int i = 0; i < 8; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(static_cast<unsigned char>(digits[i])));
        if (i != 0)
            pairs += ' ';
        pairs += pair;
    }
    return pairs;
}

struct Counts {
    std::string examples;  // the first few cards lost silently or lines typed wrong
    int right = 0;
    int lostWithLine = 0;
    int lostSilently = 0;
    int wrong = 0;
    int unsent = 0;  // frames the port never took (its input stopped)
    double seconds = 0;
};

// Sends the cards paced at 9600 baud, `gap` after each frame, while the
// window and tarvel's diagnostic stream are read; then counts.
Counts Batch(int master, FocusWindow& window, int errors, const std::vector<std::uint32_t>& cards, milliseconds gap)
{
    std::atomic<bool> sent{false};
    std::atomic<bool> giveUp{false};
    std::atomic<std::size_t> frames{0};  // frames written whole
    std::thread writer([&] {
        auto next = Clock::now();
        for (const std::uint32_t card : cards) {
            const std::string frame = FieldFrame(card);
            for (const char byte : frame) {
                std::this_thread::sleep_until(next);
                // The master does not block: a port that takes nothing more
                // must not hang the benchmark.
                while (write(master, &byte, 1) != 1) {
                    if (errno != EINTR && errno != EAGAIN)
                        Fail(std::string("cannot write into the pseudo-terminal: ") + std::strerror(errno));
                    if (giveUp)
                        return;
                    pollfd p{master, POLLOUT, 0};
                    poll(&p, 1, 100);
                }
                next = std::max(next + kByteTime, Clock::now());
            }
            ++frames;
            next += gap;
        }
        sent = true;
    });

    const auto started = Clock::now();
    std::string typed;
    std::string said;
    auto lastTyped = Clock::now();
    std::size_t lines = 0;
    for (;;) {
        pollfd fds[2] = {{window.Fd(), POLLIN, 0}, {errors, POLLIN, 0}};
        poll(fds, 2, 200);
        const std::size_t before = typed.size();
        window.Take(typed);
        if (typed.size() != before)
            lastTyped = Clock::now();
        if (fds[1].revents & POLLIN) {
            char buffer[4096];
            const ssize_t n = read(errors, buffer, sizeof buffer);
            if (n > 0)
                said.append(buffer, static_cast<std::size_t>(n));
        }
        lines = 0;
        for (const char c : typed)
            lines += c == '\n' ? 1 : 0;
        if (sent && lines >= cards.size())
            break;
        if (Clock::now() - lastTyped > kQuietEnd && Clock::now() - started > kQuietEnd) {
            giveUp = true;  // nothing typed for a while: what has not been sent is stuck
            break;
        }
    }
    writer.join();

    Counts counts;
    counts.unsent = static_cast<int>(cards.size() - frames);
    counts.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::map<std::string, std::size_t> position;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < cards.size(); ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%010u", cards[i]);
        expected.emplace_back(text);
        position[text] = i;
    }
    std::vector<bool> typedRight(cards.size(), false);
    std::size_t next = 0;  // typed lines must follow the order sent
    std::size_t start = 0;
    for (std::size_t end; (end = typed.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = typed.substr(start, end - start);
        const auto it = position.find(line);
        if (it == position.end() || it->second < next || typedRight[it->second]) {
            if (++counts.wrong <= 5)
                counts.examples += "    typed wrong: \"" + line + "\"\n";
            continue;
        }
        typedRight[it->second] = true;
        next = it->second + 1;
        ++counts.right;
    }
    if (start < typed.size())
        ++counts.wrong;  // a card cut off before its Enter
    // tarvel's first few diagnostic lines, shortened.
    int shown = 0;
    for (std::size_t from = 0, end; shown < 5 && (end = said.find('\n', from)) != std::string::npos; from = end + 1) {
        counts.examples += "    tarvel said: " + said.substr(from, std::min<std::size_t>(end - from, 160)) + "\n";
        ++shown;
    }
    for (std::size_t i = 0; i < frames; ++i) {
        if (typedRight[i])
            continue;
        if (said.find(HexPairsOfCard(cards[i])) != std::string::npos)
            ++counts.lostWithLine;
        else if (++counts.lostSilently <= 5)
            counts.examples += "    lost silently: card " + std::to_string(i + 1) + ", " + expected[i] + "\n";
    }
    return counts;
}

}  // namespace

int main(int argc, char** argv)
{
    const int perBatch = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (perBatch < 1 || perBatch > 100000)
        Fail("usage: soak_bench [cards-per-batch]");
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

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        Fail("cannot create a pseudo-terminal");
    const std::string slave = ptsname(master);
    int errors[2];
    if (pipe2(errors, O_CLOEXEC) != 0)
        Fail("pipe");
    const pid_t tarvel = Spawn({TARVEL_PROGRAM, slave, "10", "1", "1"}, display, errors[1]);
    close(errors[1]);
    std::this_thread::sleep_for(milliseconds(1500));  // the port open and waiting

    std::printf("tarvel %s 10 1 1, typing through XTest; %d distinct cards a batch, bytes at 9600 baud\n",
                slave.c_str(), perBatch);
    std::printf("  %-28s %8s %8s %8s %8s %8s %8s\n", "batch", "right", "lost+line", "silent", "wrong", "unsent",
                "seconds");
    struct BatchSpec {
        const char* name;
        milliseconds gap;
        std::uint32_t first;
    };
    const BatchSpec batches[] = {
        {"normal pace (500 ms gap)", milliseconds(500), 0x10000000u},
        {"no gap", milliseconds(0), 0x20000000u},
    };
    int bad = 0;
    for (const BatchSpec& batch : batches) {
        std::vector<std::uint32_t> cards;
        for (int i = 0; i < perBatch; ++i)
            cards.push_back(batch.first + static_cast<std::uint32_t>(i) * 0x01234567u);
        const Counts c = Batch(master, *window, errors[0], cards, batch.gap);
        std::printf("  %-28s %8d %8d %8d %8d %8d %8.1f\n", batch.name, c.right, c.lostWithLine, c.lostSilently,
                    c.wrong, c.unsent, c.seconds);
        std::fputs(c.examples.c_str(), stdout);
        std::fflush(stdout);
        bad += c.lostSilently + c.wrong + c.unsent;
        std::this_thread::sleep_for(milliseconds(1500));
    }
    Stop(tarvel);
    window.reset();
    Stop(xvfb);
    close(master);
    return bad == 0 ? 0 : 1;
}
