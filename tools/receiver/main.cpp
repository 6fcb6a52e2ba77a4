// tarvel-receiver: a window to type cards into, for the demo and the
// end-to-end tests. See HelpText below.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kHelp = R"(Usage: tarvel-receiver [--expect FILE] [--title TEXT] [--timeout SECONDS]

A window that takes the keyboard focus and shows what is typed into it, line by
line, beside the lines expected (read from FILE, one card a line; a Tab in a
line is a Tab key). Once the window has the focus it writes "ready" and a
newline to standard output, then every character typed, as it arrives: Tab as
a tab, Enter as a newline. SIGTERM or SIGINT ends it after it has taken every
key the X server sent before the signal; closing the window ends it too.

Exit status: 0 ended by a signal or the window, 1 the window never got the focus
or there is no X display, 2 bad command line, 3 the --timeout passed.
)";

int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    lines.push_back(line);
    return lines;
}

// A line as shown: a Tab as "<Tab>", other control characters as "<xx>".
std::string Shown(const std::string& line)
{
    std::string out;
    for (const char c : line) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '\t') {
            out += "<Tab>";
        } else if (code < 32 || code >= 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", static_cast<unsigned>(code));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

class ReceiverWindow {
public:
    ReceiverWindow(Display* display, std::string title, std::vector<std::string> expected)
        : display_(display), title_(std::move(title)), expected_(std::move(expected))
    {
        const int screen = DefaultScreen(display_);
        const unsigned rows = static_cast<unsigned>(expected_.size()) + 6;
        window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, 620, 20 * (rows < 8 ? 8 : rows), 1,
                                      BlackPixel(display_, screen), WhitePixel(display_, screen));
        XStoreName(display_, window_, title_.c_str());
        deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display_, window_, &deleteWindow_, 1);
        XSelectInput(display_, window_, KeyPressMask | FocusChangeMask | StructureNotifyMask | ExposureMask);
        gc_ = XCreateGC(display_, window_, 0, nullptr);
        XSetForeground(display_, gc_, BlackPixel(display_, screen));
        XMapRaised(display_, window_);
    }

    ~ReceiverWindow() { XFreeGC(display_, gc_); }

    Window Handle() const { return window_; }
    bool Focused() const { return focused_; }
    bool Closed() const { return closed_; }
    bool Mapped() const { return mapped_; }

    // Takes every queued event; new characters go to standard output.
    void TakeEvents()
    {
        bool redraw = false;
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            switch (event.type) {
            case KeyPress: {
                char text[32];
                KeySym keysym = NoSymbol;
                const int length = XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
                std::string typed;
                for (int i = 0; i < length; ++i)
                    typed += text[i] == '\r' ? '\n' : text[i];
                if (!typed.empty()) {
                    received_ += typed;
                    std::fwrite(typed.data(), 1, typed.size(), stdout);
                    std::fflush(stdout);
                    redraw = true;
                }
                break;
            }
            case FocusIn:
                focused_ = true;
                redraw = true;
                break;
            case FocusOut:
                focused_ = false;
                redraw = true;
                break;
            case MapNotify:
                mapped_ = true;
                break;
            case Expose:
                redraw = redraw || event.xexpose.count == 0;
                break;
            case MappingNotify:
                XRefreshKeyboardMapping(&event.xmapping);
                break;
            case ClientMessage:
                if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_)
                    closed_ = true;
                break;
            default:
                break;
            }
        }
        if (redraw && mapped_)
            Draw();
    }

private:
    void Text(int x, int row, const std::string& text)
    {
        XDrawString(display_, window_, gc_, x, 20 * row, text.data(), static_cast<int>(text.size()));
    }

    void Draw()
    {
        XClearWindow(display_, window_);
        Text(10, 1, title_ + (focused_ ? "  (has the keyboard focus)" : "  (click here to give it the focus)"));
        const std::vector<std::string> received = SplitLines(received_);
        if (expected_.empty()) {
            Text(10, 3, "received");
            for (std::size_t i = 0; i < received.size(); ++i)
                Text(10, static_cast<int>(i) + 4, Shown(received[i]));
        } else {
            Text(10, 3, "expected");
            Text(250, 3, "received");
            const std::size_t rows = std::max(expected_.size(), received.size());
            for (std::size_t i = 0; i < rows; ++i) {
                const int row = static_cast<int>(i) + 4;
                const bool hasExpected = i < expected_.size();
                const bool hasReceived = i < received.size();
                if (hasExpected)
                    Text(10, row, Shown(expected_[i]));
                if (hasReceived)
                    Text(250, row, Shown(received[i]));
                // A line is done once the next one has begun.
                if (hasExpected && hasReceived && i + 1 < received.size())
                    Text(500, row, expected_[i] == received[i] ? "ok" : "DIFFERENT");
            }
        }
        XFlush(display_);
    }

    Display* display_;
    std::string title_;
    std::vector<std::string> expected_;
    Window window_ = 0;
    GC gc_ = nullptr;
    Atom deleteWindow_ = 0;
    std::string received_;
    bool focused_ = false;
    bool mapped_ = false;
    bool closed_ = false;
};

// Waits for X input or a signal, at most timeoutMs (-1: no limit). 1 for X
// input, 2 for a signal, 0 at the time-out.
int Wait(int xfd, int timeoutMs)
{
    for (;;) {
        pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {xfd, POLLIN, 0}};
        const int n = poll(fds, 2, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            std::perror("tarvel-receiver: poll");
            std::exit(1);
        }
        if (n == 0)
            return 0;
        return fds[0].revents != 0 ? 2 : 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::string expectFile;
    std::string title = "tarvel receiver";
    long timeoutSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tarvel-receiver: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--expect") {
            expectFile = value("--expect");
        } else if (arg == "--title") {
            title = value("--title");
        } else if (arg == "--timeout") {
            const std::string text = value("--timeout");
            char* end = nullptr;
            timeoutSeconds = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || timeoutSeconds <= 0 || timeoutSeconds > 86400) {
                std::fprintf(stderr, "tarvel-receiver: --timeout: not a number of seconds from 1 to 86400: %s\n",
                             text.c_str());
                return 2;
            }
        } else {
            std::fprintf(stderr, "tarvel-receiver: unknown argument: %s (see --help)\n", arg.c_str());
            return 2;
        }
    }
    std::vector<std::string> expected;
    if (!expectFile.empty()) {
        std::ifstream file(expectFile, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "tarvel-receiver: cannot read %s: %s\n", expectFile.c_str(), std::strerror(errno));
            return 2;
        }
        std::ostringstream text;
        text << file.rdbuf();
        expected = SplitLines(text.str());
        if (!expected.empty() && expected.back().empty())
            expected.pop_back();
    }

    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("tarvel-receiver: pipe");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a reader of the output that went away is no reason to stop

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "tarvel-receiver: cannot open the X display \"%s\"\n", XDisplayName(nullptr));
        return 1;
    }
    const int xfd = ConnectionNumber(display);
    const auto start = std::chrono::steady_clock::now();
    auto msLeft = [&]() -> int {
        if (timeoutSeconds == 0)
            return -1;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              start + std::chrono::seconds(timeoutSeconds) - std::chrono::steady_clock::now())
                              .count();
        return left > 0 ? static_cast<int>(left) : 0;
    };

    int status = 0;
    {
        ReceiverWindow window(display, title, expected);
        // Focus can only go to a viewable window: wait for the map, then take
        // it, within 30 seconds.
        const auto focusDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        bool asked = false;
        int woken = 1;
        while (!window.Focused() && woken == 1 && std::chrono::steady_clock::now() < focusDeadline) {
            window.TakeEvents();
            if (window.Mapped() && !asked) {
                XSetInputFocus(display, window.Handle(), RevertToParent, CurrentTime);
                XSync(display, False);
                asked = true;
                continue;
            }
            if (!window.Focused())
                woken = Wait(xfd, 200);
            if (woken == 0)
                woken = 1;  // poll again until the deadline
        }
        if (!window.Focused()) {
            std::fprintf(stderr, "tarvel-receiver: the window did not get the keyboard focus\n");
            status = 1;
        } else {
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
            for (;;) {
                woken = Wait(xfd, msLeft());
                if (woken == 0) {
                    std::fprintf(stderr, "tarvel-receiver: %ld seconds passed\n", timeoutSeconds);
                    status = 3;
                    break;
                }
                if (woken == 2)
                    break;
                window.TakeEvents();
                if (window.Closed())
                    break;
            }
            // The round trip brings in every event the server sent before it.
            XSync(display, False);
            window.TakeEvents();
        }
    }
    XCloseDisplay(display);
    return status;
}
