#include "platform/linux/PosixSerialReadRule.h"

#include <cstdint>

namespace platform::posix {

namespace {

// Totals beyond this (about 49 days) are treated as no time-out at all.
constexpr std::uint64_t kLongestTotalMs = 0xFFFFFFFFull;

}  // namespace

bool ReadTimeoutsAccepted(const CommTimeouts& t)
{
    return !(t.ReadIntervalTimeout == MaxDword && t.ReadTotalTimeoutMultiplier == MaxDword &&
             t.ReadTotalTimeoutConstant == MaxDword);
}

ReadRule ReadRuleFor(const CommTimeouts& t, DWORD count)
{
    ReadRule rule;
    if (t.ReadIntervalTimeout == MaxDword && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
        rule.immediate = true;
        return rule;
    }
    if (t.ReadIntervalTimeout == MaxDword && t.ReadTotalTimeoutMultiplier == MaxDword &&
        t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < MaxDword) {
        rule.anyByte = true;
        rule.total = std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
        return rule;
    }
    if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MaxDword) {
        rule.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
    }
    if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
        const std::uint64_t total = std::uint64_t{t.ReadTotalTimeoutMultiplier} * count + t.ReadTotalTimeoutConstant;
        if (total <= kLongestTotalMs) {
            rule.total = std::chrono::milliseconds(total);
        }
    }
    return rule;
}

bool ReadEnded(const ReadRule& rule, DWORD count, DWORD done, std::chrono::milliseconds sinceStart,
               std::chrono::milliseconds sinceLastByte)
{
    if (done >= count || rule.immediate || (rule.anyByte && done > 0)) {
        return true;
    }
    if (rule.total && sinceStart >= *rule.total) {
        return true;  // a time-out is a success with fewer bytes
    }
    return rule.interval && done > 0 && sinceLastByte >= *rule.interval;
}

}  // namespace platform::posix
