#pragma once
// Synthetic keyboard input. Keys are named by Windows virtual-key codes on
// every platform; each back end maps them to its own key codes.

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Virtual-key codes the typer uses (Windows numbering).
inline constexpr std::uint8_t VkTab = 0x09;
inline constexpr std::uint8_t VkReturn = 0x0D;
inline constexpr std::uint8_t VkOemMinus = 0xBD;
// '0'..'9' are 0x30..0x39 and 'A'..'Z' are 0x41..0x5A, as in Windows.

class IKeyboard {
public:
    virtual ~IKeyboard() = default;
    virtual void KeyDown(std::uint8_t vk) = 0;
    virtual void KeyUp(std::uint8_t vk) = 0;
    // A short name for diagnostics ("uinput", "XTest", "keybd_event").
    virtual std::string Name() const = 0;
};

// The system keyboard, chosen once. Windows: keybd_event. Linux: uinput when
// /dev/uinput can be opened for writing, else XTest when an X display can be
// opened. Throws std::runtime_error naming both and what each needs when
// neither can be used.
std::unique_ptr<IKeyboard> CreateSystemKeyboard();

}  // namespace platform
