#include "app/KeyTyper.h"

#include <cstddef>
#include <cstdint>
#include <optional>

#include "app/Settings.h"
#include "platform/Diagnostics.h"

namespace {

platform::IKeyboard* g_keyboard = nullptr;
platform::IPause* g_pause = nullptr;
bool g_missingKeyboardReported = false;

constexpr std::uint32_t KeyPauseMs = 20;

// The characters that have keys, by what they are: digits to the digit keys,
// both cases of A-F to the letter keys (no Shift is sent), "-" to the minus
// key. Nothing else is ever turned into a key.
struct CharacterKeys {
    char first;
    char last;
    std::uint8_t firstKey;
};
constexpr CharacterKeys CharacterKeyTable[] = {
    {'0', '9', 0x30},
    {'A', 'F', 0x41},
    {'a', 'f', 0x41},
    {'-', '-', platform::VkOemMinus},
};

std::optional<std::uint8_t> KeyOf(char c)
{
    for (const auto& range : CharacterKeyTable) {
        if (c >= range.first && c <= range.last)
            return static_cast<std::uint8_t>(range.firstKey + (c - range.first));
    }
    return std::nullopt;
}

// The text as hexadecimal bytes: safe to print whatever it holds.
std::string HexBytes(const std::string& text)
{
    constexpr std::size_t Shown = 100;
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < Shown; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (i != 0) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    if (text.size() > Shown) out += " ...";
    return out;
}

void Press(platform::IKeyboard& keyboard, std::uint8_t vk)
{
    keyboard.KeyDown(vk);
    keyboard.KeyUp(vk);
}

void PressAndPause(platform::IKeyboard& keyboard, std::uint8_t vk)
{
    Press(keyboard, vk);
    Pause().Sleep(KeyPauseMs);
}

}  // namespace

void SetKeyboard(platform::IKeyboard* keyboard)
{
    g_keyboard = keyboard;
    g_missingKeyboardReported = false;
}

void SetPause(platform::IPause* pause) { g_pause = pause; }

platform::IPause& Pause() { return g_pause != nullptr ? *g_pause : platform::SystemPause(); }

void TypeText(const std::string& T)
{
    if (g_keyboard == nullptr) {
        if (!g_missingKeyboardReported) {
            g_missingKeyboardReported = true;
            platform::Diagnostic("tarvel: no keyboard to type with; card texts are not typed");
        }
        return;
    }
    platform::IKeyboard& keyboard = *g_keyboard;

    std::string keys;  // the virtual-key code of each character of T
    keys.reserve(T.size());
    for (const char c : T) {
        const auto key = KeyOf(c);
        if (!key) {
            platform::Diagnostic("tarvel: card text not typed, it holds characters that have no key: " +
                                 std::to_string(T.size()) + " bytes, hex " + HexBytes(T));
            return;
        }
        keys += static_cast<char>(*key);
    }
    const auto L = static_cast<std::int64_t>(T.size());

    if (CardFormat == 7 && L == 3) {
        for (const char key : keys) PressAndPause(keyboard, static_cast<std::uint8_t>(key));
        return;
    }

    const std::int64_t fill = FillZeroLength;
    if (L > fill) {
        platform::Diagnostic("tarvel: card text \"" + T + "\" not typed: " + std::to_string(L) +
                             " characters, more than the fill length " + std::to_string(fill));
        return;
    }
    for (std::int64_t i = L; i < fill; ++i) PressAndPause(keyboard, 0x30);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (CardFormat == 10 && i == 3) PressAndPause(keyboard, platform::VkTab);
        PressAndPause(keyboard, static_cast<std::uint8_t>(keys[i]));
    }
    if (AutoEnter == 1) Press(keyboard, platform::VkReturn);
    Pause().Sleep(KeyPauseMs);
}
