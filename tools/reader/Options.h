#pragma once
// The command line of tarvel-reader.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/reader/Frames.h"

namespace reader {

// --hold forever: keep the device until a signal ends the reader.
inline constexpr std::uint32_t kHoldForever = 0xFFFFFFFF;

struct Options {
    bool help = false;
    std::string link;  // --link PATH: symlink to the device
    FrameStyle style = FrameStyle::Field;
    FrameOptions frame;                    // --version-byte, --crlf, --lower, --bad-checksum
    std::uint32_t baud = 0;                // --baud N: pace each byte; 0 sends each frame at once
    std::uint32_t gapMs = 500;             // --gap MS: at least this long between frames
    bool waitOpen = false;                 // --wait-open
    std::optional<std::uint32_t> delayMs;  // --delay MS
    std::optional<std::uint32_t> holdMs;   // --hold MS, or kHoldForever
    bool exitAfterSend = false;            // --exit-after-send
    std::uint32_t splitMs = 0;             // --split MS: each frame in three parts, MS apart
    bool together = false;                 // --together: the cards in one write
    bool report = false;                   // --report
    // The frames of the cards named on the command line, already built;
    // empty when the cards come from standard input.
    std::vector<std::string> frames;
};

// A bad command line; the message names the bad option or value.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The arguments after the program name. Throws UsageError.
Options ParseOptions(const std::vector<std::string>& args);

// How long to wait before the first card: --delay, or 300 ms after the
// device was opened when --wait-open is given without --delay.
std::uint32_t FirstCardDelayMs(const Options& options);

// The time one byte takes on the line: 10 bits (start, 8 data, stop) at
// the given baud rate, in nanoseconds; 0 when there is no pacing.
std::int64_t ByteTimeNs(std::uint32_t baud);

std::string HelpText();

}  // namespace reader
