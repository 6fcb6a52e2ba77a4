// The key table of the Linux back ends, checked against what the keys give
// on a real layout, so that a wrong number in the table shows.

#include <gtest/gtest.h>

// After GoogleTest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <xkbcommon/xkbcommon.h>

#include <set>
#include <vector>
#include <string>

#include "platform/Keyboard.h"
#include "platform/posix/KeyMap.h"

namespace {

// What each key gives on a US keyboard, as libxkbcommon compiles it from the
// system's layout files: the evdev key pressed without modifiers, and the X
// keysym, must both give the character the card holds (letters in lower
// case). A key moved to a neighbour in the table shows here.
TEST(KeyMap, EachKeyGivesItsCharacterOnAUsKeyboard)
{
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    ASSERT_NE(context, nullptr);
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    ASSERT_NE(keymap, nullptr) << "no US keymap (is xkb-data installed?)";
    xkb_state* state = xkb_state_new(keymap);

    const struct {
        std::uint8_t vk;
        char32_t character;
    } cases[] = {
        {'0', U'0'}, {'1', U'1'}, {'2', U'2'}, {'3', U'3'}, {'4', U'4'}, {'5', U'5'}, {'6', U'6'},
        {'7', U'7'}, {'8', U'8'}, {'9', U'9'}, {'A', U'a'}, {'B', U'b'}, {'C', U'c'}, {'D', U'd'},
        {'E', U'e'}, {'F', U'f'}, {platform::VkOemMinus, U'-'}, {platform::VkTab, U'\t'},
        {platform::VkReturn, U'\r'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::VkText(c.vk));
        const platform::KeyMapping* key = platform::FindKeyMapping(c.vk);
        ASSERT_NE(key, nullptr);
        // evdev codes are X key codes less 8.
        EXPECT_EQ(xkb_state_key_get_utf32(state, key->evdevCode + 8u), static_cast<std::uint32_t>(c.character));
        EXPECT_EQ(xkb_keysym_to_utf32(key->keysym), static_cast<std::uint32_t>(c.character));
    }
    xkb_state_unref(state);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
}

TEST(KeyMap, NoTwoCodesShareAKey)
{
    std::set<std::uint8_t> codes;
    std::set<std::uint16_t> evdevCodes;
    std::set<std::uint32_t> keysyms;
    for (const platform::KeyMapping& key : platform::KeyMappings()) {
        EXPECT_TRUE(codes.insert(key.vk).second) << platform::VkText(key.vk);
        EXPECT_TRUE(evdevCodes.insert(key.evdevCode).second) << platform::VkText(key.vk);
        EXPECT_TRUE(keysyms.insert(key.keysym).second) << platform::VkText(key.vk);
    }
}

// Codes a raw frame byte could become if characters were used as key codes:
// none of them may reach a key.
TEST(KeyMap, ControlAndSystemKeysHaveNoEntry)
{
    for (const std::uint8_t vk : {0x00, 0x10, 0x11, 0x12, 0x14, 0x1B, 0x2D, 0x2E, 0x5B, 0x5C, 0x60, 0x61, 0x66,
                                  0x70, 0x90, 0xFF}) {
        EXPECT_EQ(platform::FindKeyMapping(vk), nullptr) << platform::VkText(vk);
    }
}

}  // namespace
