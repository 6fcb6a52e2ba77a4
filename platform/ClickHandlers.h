#pragma once
// The Buttons' click handlers of a toolkit window, by control name: what the
// Qt and Win32 windows keep for SetOnClick and run when a Button is clicked.

#include <functional>
#include <map>
#include <string>

namespace platform {

class ClickHandlers {
public:
    void Set(const std::string& control, std::function<void()> handler);
    // Runs the control's handler, if it has one. What escapes the handler is
    // reported on the diagnostic stream: a click must not end the program.
    void Run(const std::string& control) const;

private:
    std::map<std::string, std::function<void()>> handlers_;
};

}  // namespace platform
