#pragma once
// A keyboard and pause that record into one timeline instead of typing and
// sleeping, so tests can assert the exact order of key-downs, key-ups and
// pauses.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Keyboard.h"
#include "platform/Pause.h"

namespace platform {

class RecordingKeyboard final : public IKeyboard, public IPause {
public:
    enum class Type { Down, Up, Pause };
    struct Event {
        Type type;
        std::uint32_t value;  // virtual-key code, or milliseconds
        bool operator==(const Event&) const = default;
    };

    void KeyDown(std::uint8_t vk) override { events.push_back({Type::Down, vk}); }
    void KeyUp(std::uint8_t vk) override { events.push_back({Type::Up, vk}); }
    std::string Name() const override { return "recording"; }
    void Sleep(std::uint32_t milliseconds) override { events.push_back({Type::Pause, milliseconds}); }

    void Clear() { events.clear(); }

    // Compact form: "d30 u30 p20 d0D u0D p20" (codes in hexadecimal).
    std::string Timeline() const;

    // The keys pressed, as a person would read them: digits and letters as
    // themselves, 0xBD as "-", " Tab " and " Enter", any other key as "<xx>".
    // "0018752445 Enter".
    std::string Keys() const;

    // Sum of all pauses in milliseconds.
    std::uint64_t PausedMs() const;

    std::vector<Event> events;
};

}  // namespace platform
