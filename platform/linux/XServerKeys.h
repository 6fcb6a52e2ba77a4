#pragma once
// The X server's own keymap and active group, kept current while the program
// runs: a user who changes the layout (setxkbmap) or switches the group with
// a key combination gets the new one from the next character on.

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/linux/XkbKeys.h"

namespace platform {

class XServerKeys {
public:
    // Takes the display (not owned, must outlive this). nullptr and `failure`
    // when the server has no usable XKB extension.
    static std::unique_ptr<XServerKeys> Open(Display* display, std::string& failure);

    // Takes the queued events; after a keymap change loads the keymap again.
    // Then the keys and the group active now. Call before each character.
    const XkbKeys* Current(std::uint32_t& group);

    // The keymap was changed by this program (a spare key code bound):
    // loads it again now.
    void Reload();

private:
    XServerKeys(Display* display, std::int32_t device) : display_(display), device_(device) {}
    bool Load();

    Display* display_;
    std::int32_t device_;
    std::unique_ptr<XkbKeys> keys_;
    bool stale_ = true;
};

}  // namespace platform
