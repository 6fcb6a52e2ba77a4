#include "platform/linux/XServerKeys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <xkbcommon/xkbcommon-x11.h>

#include "platform/Diagnostics.h"

namespace platform {

std::unique_ptr<XServerKeys> XServerKeys::Open(Display* display, std::string& failure)
{
    xcb_connection_t* connection = XGetXCBConnection(display);
    if (connection == nullptr ||
        !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
        failure = "the X display has no XKEYBOARD extension";
        return nullptr;
    }
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device < 0) {
        failure = "the X display names no core keyboard";
        return nullptr;
    }
    // Xlib's side of the extension, for the events and the group.
    int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) {
        failure = "the X display has no XKEYBOARD extension";
        return nullptr;
    }
    const unsigned changes = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
    XkbSelectEvents(display, XkbUseCoreKbd, changes, changes);
    std::unique_ptr<XServerKeys> keys(new XServerKeys(display, device));
    if (!keys->Load()) {
        failure = "cannot read the X display's keymap";
        return nullptr;
    }
    return keys;
}

bool XServerKeys::Load()
{
    xkb_context* context = xkb_context_new(
        static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (context == nullptr)
        return false;
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context, XGetXCBConnection(display_), device_,
                                                        XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    if (keymap == nullptr)
        return false;
    keys_ = std::make_unique<XkbKeys>(keymap);
    xkb_keymap_unref(keymap);
    stale_ = false;
    return true;
}

void XServerKeys::Reload()
{
    XSync(display_, False);
    stale_ = true;
}

const XkbKeys* XServerKeys::Current(std::uint32_t& group)
{
    // We select only keymap changes; any event (MappingNotify, which every
    // client gets, included) means the keymap may have changed.
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == MappingNotify)
            XRefreshKeyboardMapping(&event.xmapping);
        stale_ = true;
    }
    if (stale_ && !Load())
        Diagnostic("tarvel: cannot read the X display's keymap again; the keys of the last one are used");
    XkbStateRec state{};
    group = XkbGetState(display_, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    return keys_.get();
}

}  // namespace platform
