#pragma once
// Synthetic keyboard input: one character at a time, produced in whatever
// window has the focus with the keyboard layout active when it is typed.

#include <memory>
#include <string>

namespace platform {

// The characters a keyboard produces: '0'-'9', 'a'-'f' (the letter key
// without Shift, so the window gets upper case while Caps Lock is on), '-',
// '\t' (the Tab key) and '\r' (the Enter key).
bool IsKeyboardCharacter(char c);

class IKeyboard {
public:
    virtual ~IKeyboard() = default;
    // Finds the key and the modifiers (Shift, AltGr) that give `c` in the
    // layout and group active now, presses the modifiers, the key down and
    // up, and releases the modifiers. A character that is not a keyboard
    // character is not typed (and reported).
    virtual void Type(char c) = 0;
    // Those of `characters` that no key gives in the layout active now and
    // that this keyboard has no other way to type; empty when it can type
    // them all (XTest lends spare key codes, Windows sends Unicode events).
    virtual std::string Untypable(const std::string& characters) { return characters.substr(0, 0); }
    // Called before a card's first key (once for each text the typer types).
    // Empty: the card may be typed. Otherwise why it must not be typed now
    // (another program holds the keyboard, the window with the focus cannot
    // receive synthetic keys, a modifier is held that cannot be set aside):
    // the typer then types nothing of it and writes the reason on one line.
    // A keyboard may set state aside here (held modifiers) to give it back in
    // EndCard.
    virtual std::string BeginCard() { return {}; }
    // Called after a card whose BeginCard said yes: after its last key, or
    // where it was abandoned. Gives back what BeginCard set aside.
    virtual void EndCard() {}
    // A short name for diagnostics ("uinput", "XTest", "SendInput").
    virtual std::string Name() const = 0;
};

// The system keyboard, chosen once. Windows: SendInput. Linux: uinput when
// /dev/uinput can be opened for writing, else XTest when an X display can be
// opened. Throws std::runtime_error naming both and what each needs when
// neither can be used.
std::unique_ptr<IKeyboard> CreateSystemKeyboard();

}  // namespace platform
