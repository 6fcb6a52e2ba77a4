#pragma once
// An Xvfb of the test's own and the receiver window on it, as child
// processes. The test never types into a display it did not start.

#include <sys/types.h>

#include <memory>
#include <string>

namespace tarvel_test {

class Xvfb {
public:
    // Starts Xvfb on a free display number; nullptr with `error` set when it
    // does not come up.
    static std::unique_ptr<Xvfb> Start(std::string& error);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    const std::string& Display() const { return display_; }

private:
    Xvfb(pid_t pid, std::string display) : pid_(pid), display_(std::move(display)) {}
    pid_t pid_;
    std::string display_;
};

// The receiver program (tools/receiver, tarvel-receiver): a window with the
// input focus that reports the characters typed into it.
class Receiver {
public:
    // Starts it on `display` and waits until its window has the focus;
    // nullptr with `error` set when it does not get there.
    static std::unique_ptr<Receiver> Start(const std::string& display, std::string& error);
    ~Receiver();
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    // Stops it and returns what the window received. `error` is set when the
    // receiver did not end cleanly.
    std::string Finish(std::string& error);

private:
    Receiver(pid_t pid, int output) : pid_(pid), output_(output) {}
    pid_t pid_;
    int output_;  // the reading end of the receiver's standard output
};

}  // namespace tarvel_test
