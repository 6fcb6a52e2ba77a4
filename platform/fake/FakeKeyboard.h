#pragma once
// A keyboard and pause that record into one timeline instead of typing and
// sleeping, so tests can assert the exact order of characters and pauses.
// Time is the recorder's own: it moves only when a pause sleeps or when a
// typed character costs time (`typeCostMs`, a slow or loaded machine).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Keyboard.h"
#include "platform/Pause.h"

namespace platform {

class RecordingKeyboard final : public IKeyboard, public IPause {
public:
    enum class Type { Key, Pause };
    struct Event {
        Type type;
        std::uint64_t value;  // the character, or the milliseconds slept
        std::uint64_t atMs;   // the recorder's time when it began
        bool operator==(const Event&) const = default;
    };

    void Type(char c) override;
    std::string Untypable(const std::string& characters) override;
    std::string BeginCard() override;
    void EndCard() override { ++cardsEnded; }
    std::string Name() const override { return "recording"; }
    std::uint64_t NowMs() override { return nowMs; }
    void SleepUntilMs(std::uint64_t deadlineMs) override;

    void Clear()
    {
        events.clear();
        nowMs = 0;
    }

    // Compact form: "1 p20 Tab p20 Enter p20" (the characters as themselves,
    // Tab and Enter by name, pauses with their milliseconds).
    std::string Timeline() const;

    // The characters typed, as a person would read them: " Tab " and
    // " Enter" for those keys. "0018752445 Enter".
    std::string Keys() const;

    // Sum of all pauses in milliseconds.
    std::uint64_t PausedMs() const;

    // The times at which the characters were typed.
    std::vector<std::uint64_t> KeyTimes() const;

    std::vector<Event> events;
    std::uint64_t nowMs = 0;
    std::uint64_t typeCostMs = 0;
    // Characters the recorder plays a layout without (Untypable names them).
    std::string missing;
    // What BeginCard answers (empty: type the card); the cards begun and ended.
    std::string refusal;
    int cardsBegun = 0;
    int cardsEnded = 0;
};

}  // namespace platform
