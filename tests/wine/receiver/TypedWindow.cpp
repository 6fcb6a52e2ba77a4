#include "tests/wine/receiver/TypedWindow.h"

#include <cstdio>

namespace wine_test {
namespace {

std::string g_received;
bool g_focused = false;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CHAR: {
        const char c = static_cast<char>(wParam);
        g_received += c == '\r' ? '\n' : c;
        return 0;
    }
    case WM_SETFOCUS:
        g_focused = true;
        return 0;
    case WM_KILLFOCUS:
        g_focused = false;
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

TypedWindow::TypedWindow(const char* className, const char* title)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    if (RegisterClassA(&windowClass) == 0) {
        std::fprintf(stderr, "RegisterClass %s failed (%lu)\n", className, GetLastError());
        return;
    }
    window_ = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, 0, 0, 320, 120, nullptr, nullptr,
                              windowClass.hInstance, nullptr);
    if (window_ == nullptr) {
        std::fprintf(stderr, "CreateWindow failed (%lu)\n", GetLastError());
        return;
    }
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
    SetFocus(window_);
}

TypedWindow::~TypedWindow()
{
    if (window_ != nullptr)
        DestroyWindow(window_);
}

bool TypedWindow::HasFocus() const { return window_ != nullptr && g_focused; }

bool TypedWindow::Focused() const { return window_ != nullptr && g_focused && GetForegroundWindow() == window_; }

const std::string& TypedWindow::Received() const { return g_received; }

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void PumpFor(DWORD ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        PumpMessages();
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

}  // namespace wine_test
