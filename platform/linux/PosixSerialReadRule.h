#pragma once
// The Windows read time-out rules (COMMTIMEOUTS), as pure functions: which
// rule a read follows, and whether it has ended after a given time. The
// device's I/O thread turns the rule into poll deadlines; nothing here
// waits or reads a clock.
//
// Rules, ReadIntervalTimeout / ReadTotalTimeoutMultiplier / ...Constant:
// - MAXDWORD / 0 / 0: at once, with what is queued (possibly nothing).
// - MAXDWORD / MAXDWORD / 0 < c < MAXDWORD: at once with what is queued; with
//   nothing queued, as soon as a byte arrives, or after c ms with nothing.
// - MAXDWORD / MAXDWORD / MAXDWORD: refused by SetCommTimeouts.
// - otherwise a read ends when its count has arrived, or
//   - (interval 0 < i < MAXDWORD) i ms after the last byte, once one came;
//   - (multiplier or constant not 0) m * count + c ms after it started, when
//     that fits in 32 bits (a longer total is none at all).
//   An interval of MAXDWORD is then no interval: MAXDWORD / 0 / c waits for
//   the count or the c ms, even with bytes queued, and MAXDWORD / MAXDWORD / 0
//   waits for the count alone. Windows leaves these open; Wine's serial
//   driver on a pseudo-terminal does this, and so does this back end.

#include <chrono>
#include <optional>

#include "platform/SerialApi.h"

namespace platform::posix {

struct ReadRule {
    bool immediate = false;  // MAXDWORD/0/0
    bool anyByte = false;    // MAXDWORD/MAXDWORD/c: the first bytes, or c ms
    std::optional<std::chrono::milliseconds> total;
    std::optional<std::chrono::milliseconds> interval;

    bool operator==(const ReadRule&) const = default;
};

// Whether SetCommTimeouts takes these time-outs.
bool ReadTimeoutsAccepted(const CommTimeouts& timeouts);

// The rule of a read of count bytes started under these time-outs.
ReadRule ReadRuleFor(const CommTimeouts& timeouts, DWORD count);

// Whether a read following rule has ended: done of count bytes arrived,
// sinceStart since it started, sinceLastByte since its last byte (used only
// when done > 0).
bool ReadEnded(const ReadRule& rule, DWORD count, DWORD done, std::chrono::milliseconds sinceStart,
               std::chrono::milliseconds sinceLastByte);

}  // namespace platform::posix
