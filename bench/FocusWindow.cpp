#include "bench/FocusWindow.h"

#include <X11/Xutil.h>
#include <poll.h>

#include <chrono>

#include "bench/BenchProcesses.h"

namespace bench {

FocusWindow::FocusWindow(const std::string& displayName)
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
        Wait(100);
        focused = Take(ignored);
    }
    if (!focused)
        Fail("the window did not get the focus");
}

FocusWindow::~FocusWindow() { XCloseDisplay(display_); }

bool FocusWindow::Wait(int ms)
{
    if (XPending(display_) > 0)
        return true;
    pollfd p{Fd(), POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

bool FocusWindow::Take(std::string& typed)
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

}  // namespace bench
