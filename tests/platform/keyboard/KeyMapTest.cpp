// The key table of the Linux back ends, checked against the names the two
// libraries give their keys, so that a wrong number in the table shows.

#include <gtest/gtest.h>

// After GoogleTest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

#include <set>
#include <vector>
#include <string>

#include "platform/Keyboard.h"
#include "platform/posix/KeyMap.h"

namespace {

TEST(KeyMap, EveryCardCharacterHasTheKeyOfItsName)
{
    struct Case {
        std::uint8_t vk;
        const char* evdevName;
        const char* keysymName;
    };
    std::vector<Case> cases = {
        {platform::VkTab, "KEY_TAB", "Tab"},
        {platform::VkReturn, "KEY_ENTER", "Return"},
        {platform::VkOemMinus, "KEY_MINUS", "minus"},
    };
    static const std::string digits = "0123456789";
    static const std::string letters = "abcdef";
    std::vector<std::string> names;  // keeps the texts the cases point to
    names.reserve(2 * (digits.size() + letters.size()));
    for (const char d : digits) {
        names.push_back(std::string("KEY_") + d);
        names.push_back(std::string(1, d));
        cases.push_back({static_cast<std::uint8_t>(d), names[names.size() - 2].c_str(), names.back().c_str()});
    }
    for (const char l : letters) {
        const char upper = static_cast<char>(l - 'a' + 'A');
        names.push_back(std::string("KEY_") + upper);
        names.push_back(std::string(1, l));
        cases.push_back({static_cast<std::uint8_t>(upper), names[names.size() - 2].c_str(), names.back().c_str()});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.evdevName);
        const platform::KeyMapping* key = platform::FindKeyMapping(c.vk);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->vk, c.vk);
        EXPECT_EQ(key->evdevCode, libevdev_event_code_from_name(EV_KEY, c.evdevName));
        EXPECT_EQ(key->keysym, XStringToKeysym(c.keysymName));
    }
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
