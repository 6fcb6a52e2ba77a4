#pragma once
// The Linux keyboard back ends press keys named by Windows virtual-key codes.
// This table says which evdev key (uinput) and which X keysym (XTest) stands
// for each code. Codes that are not in the table are never pressed.

#include <cstdint>
#include <span>
#include <string>

namespace platform {

struct KeyMapping {
    std::uint8_t vk;           // Windows virtual-key code
    std::uint16_t evdevCode;   // KEY_* of <linux/input-event-codes.h>
    std::uint32_t keysym;      // X keysym of the key's unshifted level
};

std::span<const KeyMapping> KeyMappings();

// The entry for vk, or nullptr when the code has no key here.
const KeyMapping* FindKeyMapping(std::uint8_t vk);

// "0x5B": a virtual-key code for diagnostic lines.
std::string VkText(std::uint8_t vk);

}  // namespace platform
