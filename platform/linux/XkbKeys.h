#pragma once
// Which keys give a character in an XKB keymap (libxkbcommon): the key, in
// the given layout (group), and the modifier keys (Shift, AltGr) to hold
// while it is pressed. Both Linux keyboards use it: uinput with the keymap
// of the system's configured layout, XTest with the X server's own keymap.
// Key codes are XKB's (evdev codes plus 8).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct xkb_keymap;

namespace platform {

struct KeyStroke {
    std::vector<std::uint32_t> modifiers;  // held, in this order, around the key
    std::uint32_t key = 0;
    bool operator==(const KeyStroke&) const = default;
};

// The keysym of a keyboard character (IsKeyboardCharacter), 0 for others.
std::uint32_t KeysymOfCharacter(char c);

// The names a keymap is built from (as setxkbmap and /etc/default/keyboard
// give them). Empty fields take libxkbcommon's defaults.
struct XkbNames {
    std::string rules;
    std::string model;
    std::string layout;
    std::string variant;
    std::string options;
    bool operator==(const XkbNames&) const = default;
};

class XkbKeys {
public:
    // Takes a reference to the keymap.
    explicit XkbKeys(xkb_keymap* keymap);
    ~XkbKeys();
    XkbKeys(const XkbKeys&) = delete;
    XkbKeys& operator=(const XkbKeys&) = delete;

    // Compiles the keymap that the names give; nullptr and `failure` when
    // libxkbcommon cannot.
    static std::unique_ptr<XkbKeys> FromNames(const XkbNames& names, std::string& failure);

    // The stroke that gives `keysym` in `layout` (a layout index past the
    // last wraps round, as XKB does): the key with the fewest modifiers (never
    // Caps Lock), checked by playing it on a fresh keyboard state. Nothing
    // when no key of the layout gives it.
    std::optional<KeyStroke> Find(std::uint32_t keysym, std::uint32_t layout) const;

    std::uint32_t LayoutCount() const;
    xkb_keymap* Keymap() const { return keymap_; }

private:
    // The key that, pressed alone in `layout`, holds modifier `index` (and
    // no modifier outside `allowed`); 0 when there is none.
    std::uint32_t ModifierKey(std::uint32_t index, std::uint32_t allowed, std::uint32_t layout) const;

    xkb_keymap* keymap_;
};

// The evdev key events of a stroke, as uinput sends them: (code, 1) for a
// key down, (code, 0) for its release; modifiers down first, the key down and
// up, the modifiers up in the reverse order.
std::vector<std::pair<std::uint16_t, int>> EvdevEvents(const KeyStroke& stroke);

// The system's configured layout where there is no X server: the XKB lines
// of /etc/default/keyboard (Debian's console keyboard setting) as given in
// `text`; the layout "us" when it names none.
XkbNames ConsoleKeyboardNames(const std::string& text);

}  // namespace platform
