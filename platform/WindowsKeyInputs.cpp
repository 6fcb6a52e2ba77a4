#include "platform/WindowsKeyInputs.h"

namespace platform {

std::vector<WindowsKeyInput> WindowsKeyInputs(char c, std::int16_t scan)
{
    if (c == '\t' || c == '\r') {
        const std::uint16_t vk = c == '\t' ? kVkTab : kVkReturn;
        return {{vk, 0, false, false}, {vk, 0, true, false}};
    }
    const auto bits = static_cast<std::uint16_t>(scan);
    const std::uint16_t vk = bits & 0xFF;
    const std::uint16_t shift = bits >> 8;
    if (scan == -1 || vk == 0xFF || vk == 0 || (shift & ~0x07) != 0) {
        const auto unit = static_cast<std::uint16_t>(static_cast<unsigned char>(c));
        return {{0, unit, false, true}, {0, unit, true, true}};
    }
    std::vector<std::uint16_t> modifiers;
    if (shift & 1)
        modifiers.push_back(kVkShift);
    if (shift & 2)
        modifiers.push_back(kVkControl);
    if (shift & 4)
        modifiers.push_back(kVkMenu);
    std::vector<WindowsKeyInput> inputs;
    for (const std::uint16_t m : modifiers)
        inputs.push_back({m, 0, false, false});
    inputs.push_back({vk, 0, false, false});
    inputs.push_back({vk, 0, true, false});
    for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m)
        inputs.push_back({*m, 0, true, false});
    return inputs;
}

}  // namespace platform
