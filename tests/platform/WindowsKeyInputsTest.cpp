// The key events that type a character on Windows, from VkKeyScanExW's
// answer: modifiers around the key, Tab and Enter as their own keys, a
// Unicode event where no key gives the character.

#include <gtest/gtest.h>

#include <vector>

#include "platform/WindowsKeyInputs.h"

namespace {

using platform::WindowsKeyInput;
using Inputs = std::vector<WindowsKeyInput>;

WindowsKeyInput Down(std::uint16_t vk) { return {vk, 0, false, false}; }
WindowsKeyInput Up(std::uint16_t vk) { return {vk, 0, true, false}; }

TEST(WindowsKeyInputs, ModifiersGoAroundTheKey)
{
    const struct {
        const char* what;
        char c;
        std::int16_t scan;
        Inputs inputs;
    } cases[] = {
        {"US 1: no shift", '1', 0x0031, {Down(0x31), Up(0x31)}},
        {"French 1: Shift", '1', 0x0131, {Down(0x10), Down(0x31), Up(0x31), Up(0x10)}},
        {"US a: the A key", 'a', 0x0041, {Down(0x41), Up(0x41)}},
        {"French a: where Q is on US", 'a', 0x0051, {Down(0x51), Up(0x51)}},
        {"US minus: VK_OEM_MINUS", '-', 0x00BD, {Down(0xBD), Up(0xBD)}},
        {"French minus: the 6 key", '-', 0x0036, {Down(0x36), Up(0x36)}},
        {"AltGr (Ctrl+Alt)", '-', 0x0636, {Down(0x11), Down(0x12), Down(0x36), Up(0x36), Up(0x12), Up(0x11)}},
        {"Shift+AltGr",
         'f',
         0x0746,
         {Down(0x10), Down(0x11), Down(0x12), Down(0x46), Up(0x46), Up(0x12), Up(0x11), Up(0x10)}},
        {"Tab whatever the scan", '\t', -1, {Down(0x09), Up(0x09)}},
        {"Enter whatever the scan", '\r', 0x014D, {Down(0x0D), Up(0x0D)}},
        {"no key: Unicode", 'a', -1, {{0, 'a', false, true}, {0, 'a', true, true}}},
        {"shift state beyond Shift/Ctrl/Alt: Unicode", '5', 0x0835, {{0, '5', false, true}, {0, '5', true, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(platform::WindowsKeyInputs(c.c, c.scan), c.inputs);
    }
}

}  // namespace
