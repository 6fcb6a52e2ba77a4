#include "platform/fake/FakeKeyboard.h"

namespace platform {
namespace {
std::string Hex2(std::uint32_t v)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    if (v > 0xFF) out = std::to_string(v);
    else {
        out += digits[(v >> 4) & 0x0F];
        out += digits[v & 0x0F];
    }
    return out;
}
}  // namespace

std::string RecordingKeyboard::Timeline() const
{
    std::string out;
    for (const Event& e : events) {
        if (!out.empty()) out += ' ';
        switch (e.type) {
        case Type::Down: out += 'd'; out += Hex2(e.value); break;
        case Type::Up: out += 'u'; out += Hex2(e.value); break;
        case Type::Pause: out += 'p'; out += std::to_string(e.value); break;
        }
    }
    return out;
}

std::string RecordingKeyboard::Keys() const
{
    std::string out;
    for (const Event& e : events) {
        if (e.type != Type::Down) continue;
        const std::uint32_t vk = e.value;
        if ((vk >= 0x30 && vk <= 0x39) || (vk >= 0x41 && vk <= 0x5A)) out += static_cast<char>(vk);
        else if (vk == VkOemMinus) out += '-';
        else if (vk == VkTab) out += " Tab ";
        else if (vk == VkReturn) out += " Enter";
        else {
            out += '<';
            out += Hex2(vk);
            out += '>';
        }
    }
    return out;
}

std::uint64_t RecordingKeyboard::PausedMs() const
{
    std::uint64_t total = 0;
    for (const Event& e : events) {
        if (e.type == Type::Pause) total += e.value;
    }
    return total;
}

}  // namespace platform
