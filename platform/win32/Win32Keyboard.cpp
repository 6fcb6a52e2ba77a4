// Keys through keybd_event: each virtual key goes into the system's input
// stream and reaches the window that has the keyboard focus.

#include <windows.h>

#include "platform/Keyboard.h"

namespace platform {
namespace {

class Win32Keyboard final : public IKeyboard {
public:
    void KeyDown(std::uint8_t vk) override { keybd_event(vk, 0, 0, 0); }
    void KeyUp(std::uint8_t vk) override { keybd_event(vk, 0, KEYEVENTF_KEYUP, 0); }
    std::string Name() const override { return "keybd_event"; }
};

}  // namespace

std::unique_ptr<IKeyboard> CreateSystemKeyboard()
{
    return std::make_unique<Win32Keyboard>();
}

}  // namespace platform
