#pragma once
// The key events that type one character on Windows, worked out from what
// VkKeyScanExW says of it in the foreground window's layout. Kept apart from
// the Win32 calls so that the rule is checked on every platform.

#include <cstdint>
#include <vector>

namespace platform {

struct WindowsKeyInput {
    std::uint16_t vk = 0;    // virtual-key code (0 for a Unicode event)
    std::uint16_t unit = 0;  // the UTF-16 unit of a Unicode event
    bool up = false;
    bool unicode = false;
    bool operator==(const WindowsKeyInput&) const = default;
};

// Virtual keys of the modifiers VkKeyScanExW's shift state names.
inline constexpr std::uint16_t kVkShift = 0x10;
inline constexpr std::uint16_t kVkControl = 0x11;
inline constexpr std::uint16_t kVkMenu = 0x12;
inline constexpr std::uint16_t kVkTab = 0x09;
inline constexpr std::uint16_t kVkReturn = 0x0D;

// `scan` is VkKeyScanExW's result for `c`: the virtual key in the low byte,
// the shift state in the high byte (1 Shift, 2 Ctrl, 4 Alt; Ctrl+Alt is
// AltGr), -1 when no key of the layout gives it. Tab and Enter are their own
// keys whatever `scan` says. The modifiers go down before the key and up
// after it, in reverse order. A character that no key gives, or only with a
// shift state beyond Shift, Ctrl and Alt, becomes a Unicode key event
// (KEYEVENTF_UNICODE), down and up.
std::vector<WindowsKeyInput> WindowsKeyInputs(char c, std::int16_t scan);

}  // namespace platform
