#include "platform/linux/XkbKeys.h"

#include <xkbcommon/xkbcommon.h>

#include <bit>
#include <sstream>

#include "platform/Keyboard.h"

namespace platform {
namespace {

// Modifier keys by preference (evdev code plus 8): the left and right
// Shift, the right Alt (AltGr), Control, the left Alt, the logo keys.
constexpr std::uint32_t kPreferredModifierKeys[] = {50, 62, 108, 37, 105, 64, 133, 134};

// A keyboard state in `layout` with nothing held.
xkb_state* FreshState(xkb_keymap* keymap, std::uint32_t layout)
{
    xkb_state* state = xkb_state_new(keymap);
    if (state != nullptr)
        xkb_state_update_mask(state, 0, 0, 0, 0, 0, layout);
    return state;
}

}  // namespace

std::uint32_t KeysymOfCharacter(char c)
{
    if (!IsKeyboardCharacter(c))
        return 0;
    if (c == '\t')
        return XKB_KEY_Tab;
    if (c == '\r')
        return XKB_KEY_Return;
    // Digits, a-f and minus: Latin-1 keysyms are the characters' codes.
    return static_cast<unsigned char>(c);
}

XkbKeys::XkbKeys(xkb_keymap* keymap) : keymap_(xkb_keymap_ref(keymap)) {}

XkbKeys::~XkbKeys() { xkb_keymap_unref(keymap_); }

std::unique_ptr<XkbKeys> XkbKeys::FromNames(const XkbNames& names, std::string& failure)
{
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    if (context == nullptr) {
        failure = "libxkbcommon cannot start (no XKB data?)";
        return nullptr;
    }
    auto field = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    const xkb_rule_names rules{field(names.rules), field(names.model), field(names.layout), field(names.variant),
                               field(names.options)};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &rules, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    if (keymap == nullptr) {
        failure = "no keymap for the layout \"" + names.layout + "\" (variant \"" + names.variant + "\", model \"" +
                  names.model + "\", options \"" + names.options + "\")";
        return nullptr;
    }
    auto keys = std::make_unique<XkbKeys>(keymap);
    xkb_keymap_unref(keymap);
    return keys;
}

std::uint32_t XkbKeys::LayoutCount() const { return xkb_keymap_num_layouts(keymap_); }

std::uint32_t XkbKeys::ModifierKey(std::uint32_t index, std::uint32_t allowed, std::uint32_t layout) const
{
    auto holds = [&](std::uint32_t key) {
        xkb_state* state = FreshState(keymap_, layout);
        if (state == nullptr)
            return false;
        xkb_state_update_key(state, key, XKB_KEY_DOWN);
        const xkb_mod_mask_t held = xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED);
        const xkb_mod_mask_t locked = xkb_state_serialize_mods(
            state, static_cast<xkb_state_component>(XKB_STATE_MODS_LOCKED | XKB_STATE_MODS_LATCHED));
        xkb_state_unref(state);
        return (held & (1u << index)) != 0 && (held & ~allowed) == 0 && locked == 0;
    };
    for (const std::uint32_t key : kPreferredModifierKeys) {
        if (xkb_keymap_num_layouts_for_key(keymap_, key) != 0 && holds(key))
            return key;
    }
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap_);
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap_); key <= last; ++key) {
        if (xkb_keymap_num_layouts_for_key(keymap_, key) != 0 && holds(key))
            return key;
    }
    return 0;
}

std::optional<KeyStroke> XkbKeys::Find(std::uint32_t keysym, std::uint32_t layout) const
{
    if (keysym == 0)
        return std::nullopt;
    const std::uint32_t layouts = LayoutCount();
    if (layouts == 0)
        return std::nullopt;
    layout %= layouts;
    const xkb_mod_index_t lock = xkb_keymap_mod_get_index(keymap_, XKB_MOD_NAME_CAPS);

    std::optional<KeyStroke> best;
    int bestModifiers = 0;
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap_);
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap_); key <= last; ++key) {
        const xkb_layout_index_t keyLayouts = xkb_keymap_num_layouts_for_key(keymap_, key);
        if (keyLayouts == 0)
            continue;
        const xkb_layout_index_t keyLayout = layout % keyLayouts;
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap_, key, keyLayout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap_, key, keyLayout, level, &syms) != 1 || syms[0] != keysym)
                continue;
            xkb_mod_mask_t masks[16];
            const std::size_t count = xkb_keymap_key_get_mods_for_level(keymap_, key, keyLayout, level, masks, 16);
            for (std::size_t m = 0; m < count; ++m) {
                const xkb_mod_mask_t mask = masks[m];
                if (lock != XKB_MOD_INVALID && (mask & (1u << lock)) != 0)
                    continue;
                const int modifiers = std::popcount(mask);
                if (best && modifiers >= bestModifiers)
                    continue;
                KeyStroke stroke;
                stroke.key = key;
                bool complete = true;
                for (std::uint32_t index = 0; index < 32 && complete; ++index) {
                    if ((mask & (1u << index)) == 0)
                        continue;
                    const std::uint32_t modifierKey = ModifierKey(index, mask, layout);
                    complete = modifierKey != 0;
                    stroke.modifiers.push_back(modifierKey);
                }
                if (!complete)
                    continue;
                // Play it: the modifiers down, then the key must give the keysym.
                xkb_state* state = FreshState(keymap_, layout);
                if (state == nullptr)
                    continue;
                for (const std::uint32_t modifierKey : stroke.modifiers)
                    xkb_state_update_key(state, modifierKey, XKB_KEY_DOWN);
                const bool gives = xkb_state_key_get_one_sym(state, key) == keysym;
                xkb_state_unref(state);
                if (gives) {
                    best = stroke;
                    bestModifiers = modifiers;
                }
            }
        }
    }
    return best;
}

std::vector<std::pair<std::uint16_t, int>> EvdevEvents(const KeyStroke& stroke)
{
    // XKB numbers the keys 8 above evdev.
    auto evdev = [](std::uint32_t key) { return static_cast<std::uint16_t>(key - 8); };
    std::vector<std::pair<std::uint16_t, int>> events;
    for (const std::uint32_t modifier : stroke.modifiers)
        events.emplace_back(evdev(modifier), 1);
    events.emplace_back(evdev(stroke.key), 1);
    events.emplace_back(evdev(stroke.key), 0);
    for (auto m = stroke.modifiers.rbegin(); m != stroke.modifiers.rend(); ++m)
        events.emplace_back(evdev(*m), 0);
    return events;
}

XkbNames ConsoleKeyboardNames(const std::string& text)
{
    XkbNames names;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string name = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
            name.erase(0, 1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.pop_back();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (name == "XKBMODEL")
            names.model = value;
        else if (name == "XKBLAYOUT")
            names.layout = value;
        else if (name == "XKBVARIANT")
            names.variant = value;
        else if (name == "XKBOPTIONS")
            names.options = value;
    }
    if (names.layout.empty()) {
        names.layout = "us";
        names.variant.clear();
    }
    return names;
}

}  // namespace platform
