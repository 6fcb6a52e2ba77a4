// The key and modifiers chosen for each card character, on keymaps that
// libxkbcommon compiles from the system's layout files: US, French, German,
// Belgian, Swiss German and US Dvorak.

#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon.h>

#include <string>
#include <vector>

#include "platform/linux/XkbKeys.h"

namespace {

using platform::KeyStroke;
using platform::XkbKeys;
using platform::XkbNames;

// evdev key codes of <linux/input-event-codes.h>, as XKB numbers them (+8).
constexpr std::uint32_t Key(std::uint32_t evdev) { return evdev + 8; }
constexpr std::uint32_t KEY_1 = Key(2), KEY_6 = Key(7), KEY_0 = Key(11), KEY_MINUS = Key(12), KEY_EQUAL = Key(13),
                        KEY_TAB = Key(15), KEY_Q = Key(16), KEY_Y = Key(21), KEY_I = Key(23), KEY_ENTER = Key(28),
                        KEY_A = Key(30), KEY_D = Key(32), KEY_H = Key(35), KEY_APOSTROPHE = Key(40),
                        KEY_LEFTSHIFT = Key(42), KEY_B = Key(48), KEY_N = Key(49), KEY_SLASH = Key(53);

std::unique_ptr<XkbKeys> Compile(const std::string& layout, const std::string& variant = "")
{
    std::string failure;
    auto keys = XkbKeys::FromNames({"evdev", "pc105", layout, variant, ""}, failure);
    EXPECT_NE(keys, nullptr) << failure;
    return keys;
}

// The strokes of characters whose keys are known for each layout.
TEST(XkbKeys, KnownKeysOfEachLayout)
{
    const struct {
        const char* layout;
        const char* variant;
        char character;
        KeyStroke stroke;
    } cases[] = {
        {"us", "", '1', {{}, KEY_1}},
        {"us", "", 'a', {{}, KEY_A}},
        {"us", "", '-', {{}, KEY_MINUS}},
        {"us", "", '\t', {{}, KEY_TAB}},
        {"us", "", '\r', {{}, KEY_ENTER}},
        // French AZERTY: the digits are on the Shift level, a where Q is,
        // minus on the 6 key.
        {"fr", "", '1', {{KEY_LEFTSHIFT}, KEY_1}},
        {"fr", "", '0', {{KEY_LEFTSHIFT}, KEY_0}},
        {"fr", "", 'a', {{}, KEY_Q}},
        {"fr", "", 'b', {{}, KEY_B}},
        {"fr", "", '-', {{}, KEY_6}},
        {"fr", "", '\t', {{}, KEY_TAB}},
        // German QWERTZ: minus where the US slash is.
        {"de", "", '1', {{}, KEY_1}},
        {"de", "", 'a', {{}, KEY_A}},
        {"de", "", '-', {{}, KEY_SLASH}},
        // Belgian AZERTY: shifted digits, minus right of the parenthesis.
        {"be", "", '6', {{KEY_LEFTSHIFT}, KEY_6}},
        {"be", "", 'a', {{}, KEY_Q}},
        {"be", "", '-', {{}, KEY_EQUAL}},
        // Swiss German.
        {"ch", "", '-', {{}, KEY_SLASH}},
        {"ch", "", '0', {{}, KEY_0}},
        // Dvorak: the letters move.
        {"us", "dvorak", 'a', {{}, KEY_A}},
        {"us", "dvorak", 'b', {{}, KEY_N}},
        {"us", "dvorak", 'c', {{}, KEY_I}},
        {"us", "dvorak", 'd', {{}, KEY_H}},
        {"us", "dvorak", 'e', {{}, KEY_D}},
        {"us", "dvorak", 'f', {{}, KEY_Y}},
        {"us", "dvorak", '-', {{}, KEY_APOSTROPHE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.layout) + "(" + c.variant + ") " + std::to_string(int(c.character)));
        auto keys = Compile(c.layout, c.variant);
        ASSERT_NE(keys, nullptr);
        const auto stroke = keys->Find(platform::KeysymOfCharacter(c.character), 0);
        ASSERT_TRUE(stroke.has_value());
        EXPECT_EQ(stroke->key, c.stroke.key);
        EXPECT_EQ(stroke->modifiers, c.stroke.modifiers);
    }
}

// What the window gets: every card character's stroke, played on a fresh
// keyboard state of the layout, gives that character and nothing else.
TEST(XkbKeys, EveryCardCharacterArrivesAsItselfOnEachLayout)
{
    const std::string characters = "0123456789abcdef-\t\r";
    const std::pair<const char*, const char*> layouts[] = {
        {"us", ""}, {"fr", ""}, {"de", ""}, {"be", ""}, {"ch", ""}, {"us", "dvorak"}, {"gb", ""}, {"fr", "bepo"},
    };
    for (const auto& [layout, variant] : layouts) {
        auto keys = Compile(layout, variant);
        ASSERT_NE(keys, nullptr);
        for (const char c : characters) {
            SCOPED_TRACE(std::string(layout) + "(" + variant + ") " + std::to_string(int(c)));
            const auto stroke = keys->Find(platform::KeysymOfCharacter(c), 0);
            ASSERT_TRUE(stroke.has_value());
            xkb_state* state = xkb_state_new(keys->Keymap());
            for (const std::uint32_t modifier : stroke->modifiers)
                xkb_state_update_key(state, modifier, XKB_KEY_DOWN);
            EXPECT_EQ(xkb_state_key_get_utf32(state, stroke->key), static_cast<std::uint32_t>(c));
            xkb_state_unref(state);
            EXPECT_LE(stroke->modifiers.size(), 1u);
        }
    }
}

// Two layouts in one keymap (a user switching with a key combination): the
// stroke follows the layout asked for; an index past the last wraps round.
TEST(XkbKeys, TheStrokeFollowsTheActiveLayout)
{
    std::string failure;
    auto keys = XkbKeys::FromNames({"evdev", "pc105", "us,fr", "", ""}, failure);
    ASSERT_NE(keys, nullptr) << failure;
    EXPECT_EQ(keys->LayoutCount(), 2u);
    EXPECT_EQ(keys->Find(platform::KeysymOfCharacter('1'), 0), (KeyStroke{{}, KEY_1}));
    EXPECT_EQ(keys->Find(platform::KeysymOfCharacter('1'), 1), (KeyStroke{{KEY_LEFTSHIFT}, KEY_1}));
    EXPECT_EQ(keys->Find(platform::KeysymOfCharacter('a'), 1), (KeyStroke{{}, KEY_Q}));
    EXPECT_EQ(keys->Find(platform::KeysymOfCharacter('a'), 3), (KeyStroke{{}, KEY_Q}));
}

// A layout without Latin letters has no key for them: nothing is found
// (the keyboards then use a spare key code or report it), the digits are.
TEST(XkbKeys, ALayoutWithoutTheCharacterHasNoStroke)
{
    auto keys = Compile("ru");
    ASSERT_NE(keys, nullptr);
    EXPECT_FALSE(keys->Find(platform::KeysymOfCharacter('a'), 0).has_value());
    EXPECT_EQ(keys->Find(platform::KeysymOfCharacter('1'), 0), (KeyStroke{{}, KEY_1}));
    EXPECT_FALSE(keys->Find(platform::KeysymOfCharacter('x'), 0).has_value()) << "not a card character";
}

// What uinput sends for a stroke: evdev codes, modifiers around the key.
TEST(XkbKeys, EvdevEventsHoldTheModifiersAroundTheKey)
{
    using Events = std::vector<std::pair<std::uint16_t, int>>;
    EXPECT_EQ(platform::EvdevEvents({{}, KEY_A}), (Events{{30, 1}, {30, 0}}));
    EXPECT_EQ(platform::EvdevEvents({{KEY_LEFTSHIFT}, KEY_1}), (Events{{42, 1}, {2, 1}, {2, 0}, {42, 0}}));
    EXPECT_EQ(platform::EvdevEvents({{KEY_LEFTSHIFT, Key(100)}, KEY_6}),
              (Events{{42, 1}, {100, 1}, {7, 1}, {7, 0}, {100, 0}, {42, 0}}));
}

TEST(XkbKeys, TheConsoleKeyboardSetting)
{
    const struct {
        std::string text;
        XkbNames names;
    } cases[] = {
        {"# KEYBOARD CONFIGURATION FILE\nXKBMODEL=\"pc105\"\nXKBLAYOUT=\"fr\"\nXKBVARIANT=\"\"\nXKBOPTIONS=\"\"\n"
         "BACKSPACE=\"guess\"\n",
         {"", "pc105", "fr", "", ""}},
        {"XKBLAYOUT=de\nXKBVARIANT=nodeadkeys\nXKBOPTIONS='grp:alt_shift_toggle'\n",
         {"", "", "de", "nodeadkeys", "grp:alt_shift_toggle"}},
        {"XKBLAYOUT=\"us,ru\"\r\n", {"", "", "us,ru", "", ""}},
        {"", {"", "", "us", "", ""}},
        {"XKBLAYOUT=\"\"\nXKBVARIANT=\"dvorak\"\n", {"", "", "us", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(platform::ConsoleKeyboardNames(c.text), c.names);
    }
}

}  // namespace
