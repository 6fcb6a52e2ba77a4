// Keys through the XTest extension of an X display: fake key events that the
// server delivers to the window with the input focus.

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <vector>

#include "platform/Diagnostics.h"
#include "platform/posix/KeyMap.h"
#include "platform/posix/SystemKeyboard.h"

namespace platform {
namespace {

class XTestKeyboard final : public IKeyboard {
public:
    explicit XTestKeyboard(Display* display) : display_(display) {}
    ~XTestKeyboard() override
    {
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

    void KeyDown(std::uint8_t vk) override { Send(vk, True); }
    void KeyUp(std::uint8_t vk) override { Send(vk, False); }
    std::string Name() const override { return "XTest"; }

private:
    struct Binding {
        KeySym keysym;
        KeyCode keycode;
    };

    void Send(std::uint8_t vk, Bool down)
    {
        DropQueuedEvents();
        const KeyCode keycode = KeycodeFor(vk, down == True);
        if (keycode == 0) {
            return;
        }
        XTestFakeKeyEvent(display_, keycode, down, CurrentTime);
        // Wait until the server has taken the event, so that keys go out in
        // order and the pause after a key is a pause on the display too.
        XSync(display_, False);
    }

    // We select no events, but every client gets MappingNotify; keep Xlib's
    // copy of the keyboard map current and the queue empty.
    void DropQueuedEvents()
    {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MappingNotify) {
                XRefreshKeyboardMapping(&event.xmapping);
            }
        }
    }

    KeyCode KeycodeFor(std::uint8_t vk, bool report)
    {
        const KeyMapping* key = FindKeyMapping(vk);
        if (key == nullptr) {
            if (report) {
                Diagnostic("XTest: no key for virtual-key code " + VkText(vk) + ", not pressed");
            }
            return 0;
        }
        for (const Binding& binding : bindings_) {
            if (binding.keysym == key->keysym) {
                return binding.keycode;
            }
        }
        if (const KeyCode keycode = XKeysymToKeycode(display_, key->keysym); keycode != 0) {
            return keycode;
        }
        // A bare keyboard map (Xvfb without a layout, a minimal keymap) may
        // lack the keysym: lend it a key code that has no keysym at all.
        if (const KeyCode keycode = BindSpareKeycode(key->keysym); keycode != 0) {
            return keycode;
        }
        if (report) {
            const char* name = XKeysymToString(key->keysym);
            Diagnostic("XTest: the display's keyboard map has no key for \"" + std::string(name ? name : "?") +
                       "\" (virtual-key code " + VkText(vk) + ") and no free key code to put it on, not pressed");
        }
        return 0;
    }

    KeyCode BindSpareKeycode(KeySym keysym)
    {
        int first = 0;
        int last = 0;
        XDisplayKeycodes(display_, &first, &last);
        int perKeycode = 0;
        KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(first), last - first + 1, &perKeycode);
        if (map == nullptr) {
            return 0;
        }
        KeyCode spare = 0;
        // From the top: the highest codes are the least likely to be real keys.
        for (int keycode = last; keycode >= first && spare == 0; --keycode) {
            const KeySym* syms = map + static_cast<std::ptrdiff_t>(keycode - first) * perKeycode;
            bool empty = true;
            for (int i = 0; i < perKeycode; ++i) {
                empty = empty && syms[i] == NoSymbol;
            }
            if (empty) {
                spare = static_cast<KeyCode>(keycode);
            }
        }
        XFree(map);
        if (spare == 0) {
            return 0;
        }
        KeySym syms[2] = {keysym, keysym};
        XChangeKeyboardMapping(display_, spare, 2, syms, 1);
        XSync(display_, False);
        bindings_.push_back({keysym, spare});
        return spare;
    }

    Display* display_;
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
    return std::make_unique<XTestKeyboard>(display);
}

}  // namespace platform
