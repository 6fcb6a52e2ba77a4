#include "platform/posix/KeyMap.h"

#include <linux/input-event-codes.h>

#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/Keyboard.h"

namespace platform {
namespace {

// Digits, letters, Tab, Enter and minus: what a card text can hold. Letters
// are mapped to their lower-case keysym, the key's unshifted level; without
// Shift the window gets lower case unless Caps Lock is on, as with
// keybd_event on Windows.
constexpr std::array kKeyMap = {
    KeyMapping{'0', KEY_0, XK_0},
    KeyMapping{'1', KEY_1, XK_1},
    KeyMapping{'2', KEY_2, XK_2},
    KeyMapping{'3', KEY_3, XK_3},
    KeyMapping{'4', KEY_4, XK_4},
    KeyMapping{'5', KEY_5, XK_5},
    KeyMapping{'6', KEY_6, XK_6},
    KeyMapping{'7', KEY_7, XK_7},
    KeyMapping{'8', KEY_8, XK_8},
    KeyMapping{'9', KEY_9, XK_9},
    KeyMapping{'A', KEY_A, XK_a},
    KeyMapping{'B', KEY_B, XK_b},
    KeyMapping{'C', KEY_C, XK_c},
    KeyMapping{'D', KEY_D, XK_d},
    KeyMapping{'E', KEY_E, XK_e},
    KeyMapping{'F', KEY_F, XK_f},
    KeyMapping{'G', KEY_G, XK_g},
    KeyMapping{'H', KEY_H, XK_h},
    KeyMapping{'I', KEY_I, XK_i},
    KeyMapping{'J', KEY_J, XK_j},
    KeyMapping{'K', KEY_K, XK_k},
    KeyMapping{'L', KEY_L, XK_l},
    KeyMapping{'M', KEY_M, XK_m},
    KeyMapping{'N', KEY_N, XK_n},
    KeyMapping{'O', KEY_O, XK_o},
    KeyMapping{'P', KEY_P, XK_p},
    KeyMapping{'Q', KEY_Q, XK_q},
    KeyMapping{'R', KEY_R, XK_r},
    KeyMapping{'S', KEY_S, XK_s},
    KeyMapping{'T', KEY_T, XK_t},
    KeyMapping{'U', KEY_U, XK_u},
    KeyMapping{'V', KEY_V, XK_v},
    KeyMapping{'W', KEY_W, XK_w},
    KeyMapping{'X', KEY_X, XK_x},
    KeyMapping{'Y', KEY_Y, XK_y},
    KeyMapping{'Z', KEY_Z, XK_z},
    KeyMapping{VkTab, KEY_TAB, XK_Tab},
    KeyMapping{VkReturn, KEY_ENTER, XK_Return},
    KeyMapping{VkOemMinus, KEY_MINUS, XK_minus},
};

}  // namespace

std::span<const KeyMapping> KeyMappings()
{
    return kKeyMap;
}

const KeyMapping* FindKeyMapping(std::uint8_t vk)
{
    const auto* found = std::find_if(kKeyMap.begin(), kKeyMap.end(),
                                     [vk](const KeyMapping& m) { return m.vk == vk; });
    return found == kKeyMap.end() ? nullptr : &*found;
}

std::string VkText(std::uint8_t vk)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(vk));
    return text;
}

}  // namespace platform
