// Keys through the XTest extension of an X display: fake key events that the
// server delivers to the window with the input focus. Each character's key
// and modifiers are looked up in the server's XKB keymap, in the group
// active when the character is typed.

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <vector>

#include "platform/Diagnostics.h"
#include "platform/linux/SystemKeyboard.h"
#include "platform/linux/XServerKeys.h"

namespace platform {
namespace {

std::string CharacterName(char c)
{
    if (c == '\t')
        return "Tab";
    if (c == '\r')
        return "Enter";
    if (c >= 0x21 && c < 0x7F)
        return std::string("\"") + c + "\"";
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    return code;
}

class XTestKeyboard final : public IKeyboard {
public:
    XTestKeyboard(Display* display, std::unique_ptr<XServerKeys> keys) : display_(display), keys_(std::move(keys)) {}
    ~XTestKeyboard() override
    {
        keys_.reset();
        // Give back the key codes lent to keysyms the map lacked.
        for (const Binding& binding : bindings_) {
            KeySym none[2] = {NoSymbol, NoSymbol};
            XChangeKeyboardMapping(display_, binding.keycode, 2, none, 1);
        }
        XSync(display_, False);
        XCloseDisplay(display_);
    }
    XTestKeyboard(const XTestKeyboard&) = delete;
    XTestKeyboard& operator=(const XTestKeyboard&) = delete;

    void Type(char c) override
    {
        const std::uint32_t keysym = KeysymOfCharacter(c);
        if (keysym == 0) {
            Diagnostic("XTest: " + CharacterName(c) + " is not a keyboard character, not typed");
            return;
        }
        std::uint32_t group = 0;
        const XkbKeys* keys = keys_->Current(group);
        std::optional<KeyStroke> stroke = keys != nullptr ? keys->Find(keysym, group) : std::nullopt;
        if (!stroke) {
            // No key of the layout gives it (a layout without Latin letters,
            // a bare keymap): lend it a key code that has no keysym at all.
            const KeyCode spare = SpareKeycodeFor(keysym);
            if (spare == 0) {
                Diagnostic("XTest: the display's keyboard map has no key for " + CharacterName(c) +
                           " and no free key code to put it on, not typed");
                return;
            }
            stroke = KeyStroke{{}, spare};
        }
        for (const std::uint32_t modifier : stroke->modifiers)
            XTestFakeKeyEvent(display_, modifier, True, CurrentTime);
        XTestFakeKeyEvent(display_, stroke->key, True, CurrentTime);
        XTestFakeKeyEvent(display_, stroke->key, False, CurrentTime);
        for (auto m = stroke->modifiers.rbegin(); m != stroke->modifiers.rend(); ++m)
            XTestFakeKeyEvent(display_, *m, False, CurrentTime);
        // Wait until the server has taken the events, so that keys go out in
        // order and the pause after a key is a pause on the display too.
        XSync(display_, False);
    }
    std::string Name() const override { return "XTest"; }

private:
    struct Binding {
        KeySym keysym;
        KeyCode keycode;
    };

    KeyCode SpareKeycodeFor(KeySym keysym)
    {
        for (const Binding& binding : bindings_) {
            if (binding.keysym == keysym)
                return binding.keycode;
        }
        int first = 0;
        int last = 0;
        XDisplayKeycodes(display_, &first, &last);
        int perKeycode = 0;
        KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(first), last - first + 1, &perKeycode);
        if (map == nullptr)
            return 0;
        KeyCode spare = 0;
        // From the top: the highest codes are the least likely to be real keys.
        for (int keycode = last; keycode >= first && spare == 0; --keycode) {
            const KeySym* syms = map + static_cast<std::ptrdiff_t>(keycode - first) * perKeycode;
            bool empty = true;
            for (int i = 0; i < perKeycode; ++i)
                empty = empty && syms[i] == NoSymbol;
            if (empty)
                spare = static_cast<KeyCode>(keycode);
        }
        XFree(map);
        if (spare == 0)
            return 0;
        KeySym syms[2] = {keysym, keysym};
        XChangeKeyboardMapping(display_, spare, 2, syms, 1);
        keys_->Reload();
        bindings_.push_back({keysym, spare});
        return spare;
    }

    Display* display_;
    std::unique_ptr<XServerKeys> keys_;
    std::vector<Binding> bindings_;
};

}  // namespace

std::unique_ptr<IKeyboard> OpenXTestKeyboard(const char* displayName, std::string& failure)
{
    if (displayName == nullptr) {
        const char* fromEnvironment = std::getenv("DISPLAY");
        if (fromEnvironment == nullptr || *fromEnvironment == '\0') {
            failure = "DISPLAY is not set";
            return nullptr;
        }
    }
    const std::string name = XDisplayName(displayName);
    Display* display = XOpenDisplay(displayName);
    if (display == nullptr) {
        failure = "cannot open the X display \"" + name + "\"";
        return nullptr;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        XCloseDisplay(display);
        failure = "the X display \"" + name + "\" has no XTEST extension";
        return nullptr;
    }
    std::string keymapFailure;
    auto keys = XServerKeys::Open(display, keymapFailure);
    if (!keys) {
        XCloseDisplay(display);
        failure = keymapFailure + " (\"" + name + "\")";
        return nullptr;
    }
    return std::make_unique<XTestKeyboard>(display, std::move(keys));
}

}  // namespace platform
