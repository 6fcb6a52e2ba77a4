#include "app/KeyTyper.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#include "app/Settings.h"
#include "platform/Diagnostics.h"

namespace {

platform::IKeyboard* g_keyboard = nullptr;
platform::IPause* g_pause = nullptr;
bool g_missingKeyboardReported = false;
std::atomic<bool> g_stopRequested{false};
std::function<void()> g_keyPauseHook;

// The hook, then the pause up to `deadlineMs`.
void PauseUntil(platform::IPause& pause, std::uint64_t deadlineMs)
{
    if (g_keyPauseHook)
        g_keyPauseHook();
    pause.SleepUntilMs(deadlineMs);
}

constexpr std::uint64_t KeyPauseMs = 20;

// The character each card character is typed as: digits and "-" as they
// are, both cases of A-F as the lower-case letter (the letter key without
// Shift). Nothing else is ever typed.
std::optional<char> KeyCharacterOf(char c)
{
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-')
        return c;
    if (c >= 'A' && c <= 'F')
        return static_cast<char>(c - 'A' + 'a');
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
        if (i != 0)
            out += ' ';
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    if (text.size() > Shown)
        out += " ...";
    return out;
}

// One call's keys: `zeros` "0" keys, then `keys`, then Enter when `enter`.
// The zeros are counted, not stored: a fill length can be very large.
struct KeyRun {
    std::int64_t zeros = 0;
    std::string keys;
    bool enter = false;

    std::int64_t Count() const { return zeros + static_cast<std::int64_t>(keys.size()) + (enter ? 1 : 0); }
    char At(std::int64_t k) const
    {
        if (k < zeros)
            return '0';
        k -= zeros;
        if (k < static_cast<std::int64_t>(keys.size()))
            return keys[static_cast<std::size_t>(k)];
        return '\r';
    }
};

// Types the keys in order, one 20 ms slot each, except that Enter has no
// slot of its own; `finalPause` adds one slot after the last key. The slots
// are counted from one start time, so a key that takes long (a loaded
// machine) shortens the pause after it instead of delaying every later key.
// A stop request is looked at before every key: the rest of the keys are then
// left untyped.
void TypeKeys(platform::IKeyboard& keyboard, const KeyRun& run, bool finalPause)
{
    // The keyboard may refuse the card as a whole (another program holds the
    // keyboard, say), and gives back after it what it set aside for it.
    if (const std::string refusal = keyboard.BeginCard(); !refusal.empty()) {
        platform::Diagnostic("tarvel: " + refusal);
        return;
    }
    struct EndCard {
        platform::IKeyboard& keyboard;
        ~EndCard() { keyboard.EndCard(); }
    } endCard{keyboard};
    platform::IPause& pause = Pause();
    const std::uint64_t start = pause.NowMs();
    std::uint64_t slot = 0;
    const std::int64_t count = run.Count();
    for (std::int64_t k = 0; k < count; ++k) {
        PauseUntil(pause, start + KeyPauseMs * slot);
        if (g_stopRequested.load()) {
            platform::Diagnostic("tarvel: stopping: the rest of the card is not typed (" + std::to_string(k) + " of " +
                                 std::to_string(count) + " keys pressed)");
            return;
        }
        keyboard.Type(run.At(k));
        const bool isEnter = run.enter && k + 1 == count;
        if (!isEnter)
            ++slot;
    }
    if (finalPause)
        ++slot;
    PauseUntil(pause, start + KeyPauseMs * slot);
}

}  // namespace

void SetKeyboard(platform::IKeyboard* keyboard)
{
    g_keyboard = keyboard;
    g_missingKeyboardReported = false;
}

void RequestTypingStop() { g_stopRequested.store(true); }
void ClearTypingStop() { g_stopRequested.store(false); }
bool TypingStopRequested() { return g_stopRequested.load(); }

void SetKeyPauseHook(std::function<void()> hook) { g_keyPauseHook = std::move(hook); }

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

    std::string keys;  // the character typed for each character of T
    keys.reserve(T.size());
    for (const char c : T) {
        const auto key = KeyCharacterOf(c);
        if (!key) {
            platform::Diagnostic("tarvel: card text not typed, it holds characters that have no key: " +
                                 std::to_string(T.size()) + " bytes, hex " + HexBytes(T));
            return;
        }
        keys += *key;
    }
    const auto L = static_cast<std::int64_t>(T.size());

    // A card is typed whole or not at all: a keyboard layout without a key
    // for one of its characters (and no other way to type it) would leave a
    // wrong card number in the window.
    std::string needed = keys;
    if (!(CardFormat == 7 && L == 3)) {
        if (L < FillZeroLength)
            needed += '0';
        if (CardFormat == 10 && L >= 4)
            needed += '\t';
        if (AutoEnter == 1)
            needed += '\r';
    }
    if (const std::string missing = keyboard.Untypable(needed); !missing.empty()) {
        platform::Diagnostic("tarvel: card text not typed: the keyboard layout has no key for " +
                             std::to_string(missing.size()) + " of its characters, hex " + HexBytes(missing));
        return;
    }

    if (CardFormat == 7 && L == 3) {
        TypeKeys(keyboard, KeyRun{0, keys, false}, false);
        return;
    }

    const std::int64_t fill = FillZeroLength;
    if (L > fill) {
        platform::Diagnostic("tarvel: card text \"" + T + "\" not typed: " + std::to_string(L) +
                             " characters, more than the fill length " + std::to_string(fill));
        return;
    }
    KeyRun card;
    card.zeros = fill - L;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (CardFormat == 10 && i == 3)
            card.keys += '\t';
        card.keys += keys[i];
    }
    card.enter = AutoEnter == 1;
    TypeKeys(keyboard, card, true);
}
