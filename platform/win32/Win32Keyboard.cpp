// Keys through SendInput: each character's virtual key and shift state come
// from VkKeyScanExW in the keyboard layout of the foreground window's thread
// (the window the keys go to), and the modifiers, the key down and up and the
// modifiers' release go out in one SendInput call.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Diagnostics.h"
#include "platform/Keyboard.h"
#include "platform/WindowsKeyInputs.h"

namespace platform {
namespace {

class Win32Keyboard final : public IKeyboard {
public:
    void Type(char c) override
    {
        if (!IsKeyboardCharacter(c)) {
            Diagnostic("SendInput: character " + std::to_string(static_cast<unsigned char>(c)) +
                       " is not a keyboard character, not typed");
            return;
        }
        const HWND foreground = GetForegroundWindow();
        const DWORD thread = foreground != nullptr ? GetWindowThreadProcessId(foreground, nullptr) : 0;
        const HKL layout = GetKeyboardLayout(thread);
        const SHORT scan = VkKeyScanExW(static_cast<WCHAR>(static_cast<unsigned char>(c)), layout);
        std::vector<INPUT> inputs;
        for (const WindowsKeyInput& key : WindowsKeyInputs(c, scan)) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wVk = key.vk;
            input.ki.wScan = key.unicode ? key.unit
                                         : static_cast<WORD>(MapVirtualKeyExW(key.vk, MAPVK_VK_TO_VSC, layout));
            input.ki.dwFlags = (key.up ? KEYEVENTF_KEYUP : 0) | (key.unicode ? KEYEVENTF_UNICODE : 0);
            inputs.push_back(input);
        }
        const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        if (sent != inputs.size() && !failing_)
            Diagnostic("SendInput: the keys of a character were not all sent (error " + std::to_string(GetLastError()) +
                       ")");
        failing_ = sent != inputs.size();
    }
    std::string Name() const override { return "SendInput"; }

private:
    bool failing_ = false;
};

}  // namespace

std::unique_ptr<IKeyboard> CreateSystemKeyboard() { return std::make_unique<Win32Keyboard>(); }

}  // namespace platform
