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

#include "framework/HexDigit.h"
#include "tests/wine/receiver/TypedWindow.h"

namespace {

using namespace wine_test;

constexpr ULONGLONG kFocusMs = 30000;
constexpr ULONGLONG kLongestMs = 30000;
constexpr ULONGLONG kQuietMs = 700;  // after the expected text, more would come within this

bool FromHex(const std::string& hex, std::string& bytes)
{
    if (hex.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
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

    TypedWindow window("TarvelE2eWindow", "tarvel end to end");
    if (window.Handle() == nullptr) {
        CloseHandle(com2);
        return 1;
    }
    const ULONGLONG focusEnd = GetTickCount64() + kFocusMs;
    while (!window.Focused() && GetTickCount64() < focusEnd)
        PumpFor(50);
    if (!window.HasFocus()) {
        std::printf("the window did not get the keyboard focus\n");
        CloseHandle(com2);
        return 1;
    }

    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i > 0)
            PumpFor(gapMs);
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
        PumpFor(50);
        if (window.Received().size() != seen) {
            seen = window.Received().size();
            quietSince = GetTickCount64();
        }
        if (window.Received().size() >= expected.size() && GetTickCount64() - quietSince >= kQuietMs)
            break;
    }
    CloseHandle(com2);

    const std::string& received = window.Received();
    std::printf("expected: %s\nreceived: %s\n", Shown(expected).c_str(), Shown(received).c_str());
    return received == expected ? 0 : 1;
}
