#pragma once
// The focused window the benchmarks' tarvel types into: a plain X window on
// the benchmark's own Xvfb that takes the focus and collects the characters
// of the key presses it gets.

#include <X11/Xlib.h>

#include <string>

namespace bench {

class FocusWindow {
public:
    // Maps the window and waits (up to 10 s) for it to have the focus; ends
    // the benchmark when it does not get it.
    explicit FocusWindow(const std::string& displayName);
    ~FocusWindow();
    FocusWindow(const FocusWindow&) = delete;
    FocusWindow& operator=(const FocusWindow&) = delete;

    // The connection's descriptor, to poll with others.
    int Fd() const { return ConnectionNumber(display_); }

    // Waits at most ms for X input; false on time-out.
    bool Wait(int ms);

    // Appends the characters of queued key presses (Enter as \n); true when
    // a FocusIn came.
    bool Take(std::string& typed);

private:
    Display* display_ = nullptr;
    ::Window window_ = 0;
};

}  // namespace bench
