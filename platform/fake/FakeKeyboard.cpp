#include "platform/fake/FakeKeyboard.h"

namespace platform {

void RecordingKeyboard::Type(char c)
{
    events.push_back({Type::Key, static_cast<unsigned char>(c), nowMs});
    nowMs += typeCostMs;
}

std::string RecordingKeyboard::Untypable(const std::string& characters)
{
    std::string untypable;
    for (const char c : characters) {
        if (missing.find(c) != std::string::npos && untypable.find(c) == std::string::npos)
            untypable += c;
    }
    return untypable;
}

std::string RecordingKeyboard::BeginCard()
{
    if (refusal.empty())
        ++cardsBegun;
    return refusal;
}

void RecordingKeyboard::SleepUntilMs(std::uint64_t deadlineMs)
{
    // A deadline already passed is no pause at all.
    if (deadlineMs <= nowMs)
        return;
    events.push_back({Type::Pause, deadlineMs - nowMs, nowMs});
    nowMs = deadlineMs;
}

std::string RecordingKeyboard::Timeline() const
{
    std::string out;
    for (const Event& e : events) {
        if (!out.empty())
            out += ' ';
        if (e.type == Type::Pause)
            out += 'p' + std::to_string(e.value);
        else if (e.value == '\t')
            out += "Tab";
        else if (e.value == '\r')
            out += "Enter";
        else
            out += static_cast<char>(e.value);
    }
    return out;
}

std::string RecordingKeyboard::Keys() const
{
    std::string out;
    for (const Event& e : events) {
        if (e.type != Type::Key)
            continue;
        if (e.value == '\t')
            out += " Tab ";
        else if (e.value == '\r')
            out += " Enter";
        else
            out += static_cast<char>(e.value);
    }
    return out;
}

std::uint64_t RecordingKeyboard::PausedMs() const
{
    std::uint64_t total = 0;
    for (const Event& e : events) {
        if (e.type == Type::Pause)
            total += e.value;
    }
    return total;
}

std::vector<std::uint64_t> RecordingKeyboard::KeyTimes() const
{
    std::vector<std::uint64_t> times;
    for (const Event& e : events) {
        if (e.type == Type::Key)
            times.push_back(e.atMs);
    }
    return times;
}

}  // namespace platform
