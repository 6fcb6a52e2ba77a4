// Typing through SendInput into a real window: the receiver program's
// window has the focus, the typer types a card with its real 20 ms pauses,
// and the test reads back the characters the window got. Needs an X display
// for Wine's windows (with-display.sh gives one).

#include <gtest/gtest.h>

// After GoogleTest, which it would otherwise break.
#include <windows.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/CardFormats.h"
#include "app/KeyTyper.h"
#include "app/Settings.h"
#include "platform/Diagnostics.h"
#include "platform/Keyboard.h"
#include "platform/WindowsKeyInputs.h"
#include "tests/support/TypedCards.h"

namespace {

constexpr DWORD kWaitMs = 30000;

std::string Here()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

struct Handle {
    HANDLE h = nullptr;
    ~Handle()
    {
        if (h != nullptr) {
            CloseHandle(h);
        }
    }
};

// The receiver program with its two events; Finish() stops it and returns
// what its window received.
class Receiver {
public:
    bool Start(std::string& error)
    {
        static int counter = 0;
        const std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
        const std::string readyName = "tarvel-receiver-ready-" + tag;
        const std::string stopName = "tarvel-receiver-stop-" + tag;
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        output_ = std::string(temp) + "tarvel-receiver-" + tag + ".txt";
        DeleteFileA(output_.c_str());

        ready_.h = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
        stop_.h = CreateEventA(nullptr, TRUE, FALSE, stopName.c_str());
        if (ready_.h == nullptr || stop_.h == nullptr) {
            error = "CreateEvent failed: " + std::to_string(GetLastError());
            return false;
        }
        const std::string program = Here() + "win32_receiver.exe";
        std::string commandLine = "\"" + program + "\" \"" + output_ + "\" " + readyName + " " + stopName + " 60";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info)) {
            error = "cannot start " + program + ": " + std::to_string(GetLastError());
            return false;
        }
        CloseHandle(info.hThread);
        process_.h = info.hProcess;

        HANDLE waits[2] = {ready_.h, process_.h};
        const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, kWaitMs);
        if (woken != WAIT_OBJECT_0) {
            error = woken == WAIT_OBJECT_0 + 1 ? "the receiver ended before its window had the focus"
                                               : "the receiver window did not get the focus in time";
            return false;
        }
        return true;
    }

    std::string Finish(std::string& error)
    {
        SetEvent(stop_.h);
        if (WaitForSingleObject(process_.h, kWaitMs) != WAIT_OBJECT_0) {
            TerminateProcess(process_.h, 1);
            error = "the receiver did not stop";
        }
        DWORD code = 0;
        GetExitCodeProcess(process_.h, &code);
        if (code != 0 && error.empty()) {
            error = "the receiver ended with exit code " + std::to_string(code);
        }
        std::ifstream file(output_, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        file.close();
        DeleteFileA(output_.c_str());
        return text.str();
    }

    ~Receiver()
    {
        if (process_.h != nullptr && WaitForSingleObject(process_.h, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.h, 1);
        }
    }

private:
    Handle ready_;
    Handle stop_;
    Handle process_;
    std::string output_;
};

std::vector<int> KeysOfCards()
{
    std::vector<int> keys = {VK_TAB, VK_RETURN, VK_OEM_MINUS};
    for (int vk = '0'; vk <= '9'; ++vk) {
        keys.push_back(vk);
    }
    for (int vk = 'A'; vk <= 'F'; ++vk) {
        keys.push_back(vk);
    }
    return keys;
}

class KeybdEvent : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAppSettings();
        SetPause(nullptr);
        platform::SetDiagnosticSink([this](const std::string& line) { diagnostics_.push_back(line); });
    }
    void TearDown() override
    {
        platform::SetDiagnosticSink({});
        SetKeyboard(nullptr);
        ResetAppSettings();
    }

    std::string Received(const std::function<void()>& type)
    {
        Receiver receiver;
        std::string error;
        if (!receiver.Start(error)) {
            ADD_FAILURE() << error;
            return {};
        }
        type();
        const std::string text = receiver.Finish(error);
        EXPECT_EQ(error, "");
        return text;
    }

    std::vector<std::string> diagnostics_;
};

TEST_F(KeybdEvent, CardsArriveInTheWindowAsTyped)
{
    const std::unique_ptr<platform::IKeyboard> keyboard = platform::CreateSystemKeyboard();
    EXPECT_EQ(keyboard->Name(), "SendInput");
    SetKeyboard(keyboard.get());
    for (const tarvel_test::TypedCard& c : tarvel_test::CardsToType()) {
        SCOPED_TRACE(c.what);
        CardFormat = c.format;
        FillZeroLength = c.fill;
        AutoEnter = c.autoEnter;
        EXPECT_EQ(Received([&] { TypeText(ConvertFrame(c.frame)); }), c.expected);
        // Every key went up again: none is left held down in the system.
        for (const int vk : KeysOfCards()) {
            EXPECT_EQ(GetAsyncKeyState(vk) & 0x8000, 0) << "virtual key " << vk << " is still down";
        }
    }
    EXPECT_EQ(diagnostics_, std::vector<std::string>{});
}

// The lookup on its own, in the layout active now (Wine's follows the X
// display's): the key and shift state VkKeyScanExW gives for each card
// character, translated back by the layout with those modifiers held, is
// the character. With TARVEL_EXPECT_LAYOUT=fr the French layout must be the
// one in force (digits on the Shift level, "a" on the US "Q" key).
TEST(KeyLookup, EachCharactersKeyGivesItBackInTheActiveLayout)
{
    const HKL layout = GetKeyboardLayout(0);
    for (const char c : std::string("0123456789abcdef-")) {
        SCOPED_TRACE(std::string(1, c));
        const SHORT scan = VkKeyScanExW(static_cast<WCHAR>(c), layout);
        ASSERT_NE(scan, -1) << "no key gives it";
        BYTE state[256] = {};
        for (const platform::WindowsKeyInput& key : platform::WindowsKeyInputs(c, scan)) {
            if (!key.up && key.vk != static_cast<std::uint16_t>(scan & 0xFF))
                state[key.vk] = 0x80;
        }
        const UINT vk = static_cast<UINT>(scan & 0xFF);
        WCHAR text[8] = {};
        const int n = ToUnicodeEx(vk, MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC, layout), state, text, 8, 0, layout);
        ASSERT_EQ(n, 1);
        EXPECT_EQ(text[0], static_cast<WCHAR>(c));
    }
    char expected[16] = {};
    if (GetEnvironmentVariableA("TARVEL_EXPECT_LAYOUT", expected, sizeof expected) > 0) {
        const std::string name = expected;
        if (name == "fr") {
            EXPECT_EQ(VkKeyScanExW(L'1', layout), 0x0131) << "the digits are not on the Shift level";
            // Windows names letter keys by their letter: VK_A is the key
            // where US has Q (scan code 0x10).
            const UINT a = static_cast<UINT>(VkKeyScanExW(L'a', layout) & 0xFF);
            EXPECT_EQ(a, static_cast<UINT>('A'));
            EXPECT_EQ(MapVirtualKeyExW(a, MAPVK_VK_TO_VSC, layout), 0x10u) << "\"a\" is not where US has \"q\"";
        }
    }
}

}  // namespace
