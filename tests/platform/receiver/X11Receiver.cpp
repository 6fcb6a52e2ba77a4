// A window that records what is typed into it, for the keyboard tests.
//
//   x11_receiver OUTPUT [SECONDS]
//
// Opens a plain window on $DISPLAY, takes the input focus and writes "ready"
// and a newline to standard output once it has it. From then on it keeps the
// characters of every key press, Tab as \t and Enter as \n. On SIGTERM or
// SIGINT it first takes every event the server sent before the signal, then
// writes the characters to OUTPUT and exits with 0. After SECONDS (default
// 60) without a signal it writes what it has and exits with 3.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

using Clock = std::chrono::steady_clock;

// Takes every queued event; returns true once the window has the focus.
bool TakeEvents(Display* display, std::string& received)
{
    bool focused = false;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
        case KeyPress: {
            char text[32];
            KeySym keysym = NoSymbol;
            const int length = XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
            for (int i = 0; i < length; ++i) {
                received += text[i] == '\r' ? '\n' : text[i];
            }
            break;
        }
        case FocusIn:
            focused = true;
            break;
        case MappingNotify:
            XRefreshKeyboardMapping(&event.xmapping);
            break;
        default:
            break;
        }
    }
    return focused;
}

// Waits for the X connection or a signal until the deadline. Returns 1 for
// X input, 2 for a signal, 0 at the deadline.
int Wait(int xfd, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return 0;
        }
        pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {xfd, POLLIN, 0}};
        const int n = poll(fds, 2, static_cast<int>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            std::perror("x11_receiver: poll");
            std::exit(2);
        }
        if (fds[0].revents != 0) {
            return 2;
        }
        if (fds[1].revents != 0) {
            return 1;
        }
    }
}

bool WriteFile(const char* path, const std::string& text)
{
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::perror(path);
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT [SECONDS]\n", argv[0]);
        return 2;
    }
    const char* output = argv[1];
    const int seconds = argc == 3 ? std::atoi(argv[2]) : 60;
    const auto deadline = Clock::now() + std::chrono::seconds(seconds > 0 ? seconds : 60);

    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("x11_receiver: pipe");
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11_receiver: cannot open the X display \"%s\"\n", XDisplayName(nullptr));
        return 2;
    }
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 320, 80, 0,
                                              BlackPixel(display, screen), WhitePixel(display, screen));
    XStoreName(display, window, "tarvel receiver");
    XSelectInput(display, window, KeyPressMask | FocusChangeMask | StructureNotifyMask);
    XMapRaised(display, window);

    // Focus can only go to a viewable window: wait for the map, then take it.
    std::string received;
    for (bool mapped = false; !mapped;) {
        XEvent event;
        XNextEvent(display, &event);
        mapped = event.type == MapNotify;
    }
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);

    bool focused = false;
    int woken = 1;
    while (!focused && woken == 1) {
        focused = TakeEvents(display, received);
        if (!focused) {
            woken = Wait(ConnectionNumber(display), deadline);
        }
    }
    if (!focused) {
        std::fprintf(stderr, "x11_receiver: the window did not get the input focus\n");
        XCloseDisplay(display);
        return 2;
    }
    std::fputs("ready\n", stdout);
    std::fflush(stdout);

    for (;;) {
        woken = Wait(ConnectionNumber(display), deadline);
        if (woken != 1) {
            break;
        }
        TakeEvents(display, received);
    }
    // The round trip brings in every event the server had sent before it.
    XSync(display, False);
    TakeEvents(display, received);
    XCloseDisplay(display);

    if (!WriteFile(output, received)) {
        return 2;
    }
    if (woken == 0) {
        std::fprintf(stderr, "x11_receiver: no signal within %d seconds\n", seconds);
        return 3;
    }
    return 0;
}
