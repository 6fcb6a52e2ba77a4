// The Windows side of the end-to-end test under Wine (see wine-e2e.sh):
// while tarvel.exe holds COM1, this program's window takes the keyboard
// focus, the frames are written into COM2 (the other end of COM1's null-modem
// pair) with WriteFile, and the characters tarvel types into the window are
// compared with the expected text.
//
//   wine_e2e_window --expect HEX [--gap MS] FRAME-HEX...
//
// HEX texts are bytes as hex pairs ("0230..03"; the expected text with 09 for
// Tab and 0A for Enter). Prints what was expected and what arrived. Exit
// status: 0 the same, 1 different or a failure, 77 COM2 cannot be opened
// (not under scripts/wine-env.sh).

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr ULONGLONG kFocusMs = 30000;
constexpr ULONGLONG kLongestMs = 30000;
constexpr ULONGLONG kQuietMs = 700;  // after the expected text, more would come within this

std::string g_received;
bool g_focused = false;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CHAR:
        g_received += static_cast<char>(wParam) == '\r' ? '\n' : static_cast<char>(wParam);
        return 0;
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

// Handles the window's messages for up to ms milliseconds.
void Pump(DWORD ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

bool FromHex(const std::string& hex, std::string& bytes)
{
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes += static_cast<char>(high * 16 + low);
    }
    return true;
}

std::string Shown(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\t')
            out += "<Tab>";
        else if (c == '\n')
            out += "<Enter>";
        else if (static_cast<unsigned char>(c) < 32)
            out += "<?>";
        else
            out += c;
    }
    return out;
}

int Usage(const char* why)
{
    std::fprintf(stderr, "wine_e2e_window: %s\nusage: wine_e2e_window --expect HEX [--gap MS] FRAME-HEX...\n", why);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string expected;
    bool haveExpected = false;
    DWORD gapMs = 500;
    std::vector<std::string> frames;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--expect" && i + 1 < argc) {
            if (!FromHex(argv[++i], expected))
                return Usage("--expect: not hex pairs");
            haveExpected = true;
        } else if (arg == "--gap" && i + 1 < argc) {
            gapMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            std::string frame;
            if (!FromHex(arg, frame))
                return Usage(("not hex pairs: " + arg).c_str());
            frames.push_back(frame);
        }
    }
    if (!haveExpected || frames.empty())
        return Usage("an expected text and at least one frame are needed");

    HANDLE com2 = CreateFileA("\\\\.\\COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (com2 == INVALID_HANDLE_VALUE) {
        std::printf("COM2 cannot be opened (error %lu): run under scripts/wine-env.sh\n", GetLastError());
        return 77;
    }

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "TarvelE2eWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "tarvel end to end", WS_OVERLAPPEDWINDOW, 0, 0, 320,
                                  120, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        std::printf("CreateWindow failed (%lu)\n", GetLastError());
        CloseHandle(com2);
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetForegroundWindow(window);
    SetFocus(window);
    const ULONGLONG focusEnd = GetTickCount64() + kFocusMs;
    while (!(g_focused && GetForegroundWindow() == window) && GetTickCount64() < focusEnd)
        Pump(50);
    if (!g_focused) {
        std::printf("the window did not get the keyboard focus\n");
        CloseHandle(com2);
        return 1;
    }

    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i > 0)
            Pump(gapMs);
        DWORD written = 0;
        if (!WriteFile(com2, frames[i].data(), static_cast<DWORD>(frames[i].size()), &written, nullptr) ||
            written != frames[i].size()) {
            std::printf("WriteFile on COM2 failed (%lu)\n", GetLastError());
            CloseHandle(com2);
            return 1;
        }
    }

    const ULONGLONG end = GetTickCount64() + kLongestMs;
    std::size_t seen = 0;
    ULONGLONG quietSince = GetTickCount64();
    while (GetTickCount64() < end) {
        Pump(50);
        if (g_received.size() != seen) {
            seen = g_received.size();
            quietSince = GetTickCount64();
        }
        if (g_received.size() >= expected.size() && GetTickCount64() - quietSince >= kQuietMs)
            break;
    }
    DestroyWindow(window);
    CloseHandle(com2);

    std::printf("expected: %s\nreceived: %s\n", Shown(expected).c_str(), Shown(g_received).c_str());
    return g_received == expected ? 0 : 1;
}
