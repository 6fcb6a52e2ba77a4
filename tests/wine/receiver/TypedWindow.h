#pragma once
// The window the Windows-side test programs type into: it takes the keyboard
// focus and keeps every WM_CHAR character, Enter as \n. One a process.

#include <windows.h>

#include <string>

namespace wine_test {

class TypedWindow {
public:
    // Registers the class, shows the window and asks for the focus; Handle()
    // is null (and the error printed on standard error) when that fails.
    TypedWindow(const char* className, const char* title);
    ~TypedWindow();
    TypedWindow(const TypedWindow&) = delete;
    TypedWindow& operator=(const TypedWindow&) = delete;

    HWND Handle() const { return window_; }
    // Whether the window has the keyboard focus.
    bool HasFocus() const;
    // Whether it has the focus and is the foreground window.
    bool Focused() const;
    const std::string& Received() const;

private:
    HWND window_ = nullptr;
};

// Handles the messages already queued.
void PumpMessages();

// Handles messages as they come for ms milliseconds.
void PumpFor(DWORD ms);

}  // namespace wine_test
