#include "tools/reader/Options.h"

#include <string_view>

namespace reader {
namespace {

constexpr std::uint32_t kMaxMs = 3600000;  // one hour
constexpr std::uint32_t kMinBaud = 50;
constexpr std::uint32_t kMaxBaud = 4000000;
constexpr std::uint32_t kDefaultOpenDelayMs = 300;

std::uint32_t ParseNumber(const std::string& option, const std::string& text, std::uint32_t low, std::uint32_t high,
                          const char* what)
{
    std::uint64_t value = 0;
    bool ok = !text.empty() && text.size() <= 10;
    for (char c : text) {
        if (c < '0' || c > '9') {
            ok = false;
            break;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (!ok || value < low || value > high) {
        throw UsageError("bad value \"" + text + "\" for " + option + ": give " + what + " from " +
                         std::to_string(low) + " to " + std::to_string(high));
    }
    return static_cast<std::uint32_t>(value);
}

std::uint8_t ParseVersionByte(const std::string& text)
{
    std::uint32_t value = 0;
    bool ok = !text.empty() && text.size() <= 2;
    for (char c : text) {
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        if (v < 0) {
            ok = false;
            break;
        }
        value = value * 16 + static_cast<std::uint32_t>(v);
    }
    if (!ok) {
        throw UsageError("bad value \"" + text + "\" for --version-byte: give one byte as two hex digits, e.g. 0F");
    }
    return static_cast<std::uint8_t>(value);
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args)
{
    Options options;
    std::vector<std::string> cards;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            cards.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw UsageError("option " + name + " needs a value");
            return args[++i];
        };
        auto flag = [&]() {
            if (inlineValue)
                throw UsageError("option " + name + " takes no value (got \"" + *inlineValue + "\")");
        };

        if (name == "--help" || name == "-h") {
            flag();
            options.help = true;
        } else if (name == "--link") {
            options.link = value();
            if (options.link.empty())
                throw UsageError("bad value \"\" for --link: give a path");
        } else if (name == "--style") {
            const std::string text = value();
            try {
                options.style = StyleFromName(text);
            } catch (const FrameError& e) {
                throw UsageError(std::string("--style: ") + e.what());
            }
        } else if (name == "--version-byte") {
            options.frame.versionByte = ParseVersionByte(value());
        } else if (name == "--crlf") {
            flag();
            options.frame.crlf = true;
        } else if (name == "--lower") {
            flag();
            options.frame.lowerCase = true;
        } else if (name == "--bad-checksum") {
            flag();
            options.frame.badChecksum = true;
        } else if (name == "--split") {
            options.splitMs = ParseNumber(name, value(), 1, kMaxMs, "milliseconds");
        } else if (name == "--together") {
            flag();
            options.together = true;
        } else if (name == "--baud") {
            options.baud = ParseNumber(name, value(), kMinBaud, kMaxBaud, "a baud rate");
        } else if (name == "--gap") {
            options.gapMs = ParseNumber(name, value(), 0, kMaxMs, "milliseconds");
        } else if (name == "--wait-open") {
            flag();
            options.waitOpen = true;
        } else if (name == "--delay") {
            options.delayMs = ParseNumber(name, value(), 0, kMaxMs, "milliseconds");
        } else if (name == "--hold") {
            const std::string text = value();
            options.holdMs = text == "forever" ? kHoldForever
                                               : ParseNumber(name, text, 0, kMaxMs, "milliseconds (or forever)");
        } else if (name == "--exit-after-send") {
            flag();
            options.exitAfterSend = true;
        } else if (name == "--report") {
            flag();
            options.report = true;
        } else {
            throw UsageError("unknown option \"" + arg + "\" (see --help)");
        }
    }

    if (options.together && options.splitMs != 0) {
        throw UsageError("--together and --split exclude each other");
    }
    if (options.holdMs && options.exitAfterSend) {
        throw UsageError("--hold and --exit-after-send exclude each other");
    }
    // Cards are built only after every option is known, so that an option
    // given after a card still applies to it.
    for (const std::string& card : cards) {
        try {
            options.frames.push_back(BuildFrame(card, options.style, options.frame));
        } catch (const FrameError& e) {
            throw UsageError(e.what());
        }
    }
    return options;
}

std::uint32_t FirstCardDelayMs(const Options& options)
{
    if (options.delayMs)
        return *options.delayMs;
    return options.waitOpen ? kDefaultOpenDelayMs : 0;
}

std::int64_t ByteTimeNs(std::uint32_t baud) { return baud == 0 ? 0 : 10'000'000'000LL / baud; }

std::string HelpText()
{
    return R"(Usage: tarvel-reader [OPTION]... [CARD]...

A virtual card reader. It creates a pseudo-terminal, prints the device to give
tarvel as the first line of its output, and sends the frames of the CARDs named
on the command line or, when none are named, of the cards read from standard
input, one a line (empty lines and lines starting with # are skipped; a bad line
is reported and skipped).

Cards
  AABBCCDD            a field frame of card AABBCCDD with the version byte of
                      --version-byte: STX, "00AABBCCDD", the XOR checksum of
                      the five bytes as two hex digits, ETX
  0FAABBCCDD          ten digits: the first two are the version byte
  field:AABBCCDD      the same, whatever the --style
  bare:AABBCCDD       just the hex text, any length ("bare:0123456789ABCD")
  raw:TEXT            any bytes: TEXT with the escapes \r \n \t \0 \\ and \xHH
                      (two hex digits); every other character is itself,
                      e.g. raw:'\x02ZZZZ\x03' or raw:'\x0200AABB' (cut short)
  bytes:HEX           any bytes as hex pairs, blanks, ':' or '-' between them,
                      e.g. bytes:'02 41 42 03'
  noise:N             N bytes of line noise (1 to 1000000): hex digits with no
                      STX or ETX, as a reader at the wrong speed may send;
                      the same bytes every time
  Hex digits may be upper or lower case. A style prefix is always recognised;
  without one a card has the --style.

Options
  --style STYLE       field (default), bare, raw, bytes or noise
  --version-byte HH   the version byte of 8-digit field cards (default 00)
  --crlf              CR LF before ETX in field frames, after the text in bare
  --lower             lower-case hex digits in field frames
  --bad-checksum      field frames with check digits that do not match
  --baud N            pace the bytes as the line would: 10 bits a byte at N
                      baud (9600: about 1 ms a byte); without it each frame is
                      written at once
  --gap MS            at least MS milliseconds from the last byte of a frame to
                      the first of the next (default 500; tarvel takes bytes
                      less than 200 ms apart as one frame)
  --split MS          write each frame in three parts, MS milliseconds apart
                      (a pause inside a frame)
  --together          write the cards named on the command line in one write,
                      with no gap (several frames in one read)
  --wait-open         send nothing until the other side has opened the device,
                      then wait --delay (300 ms unless given) so that it is set
                      up and listening
  --delay MS          wait MS milliseconds before the first card (after the
                      open, with --wait-open)
  --link PATH         also make a symbolic link PATH to the device; an existing
                      symbolic link there is replaced, anything else is left
                      alone and is an error; the link is removed on exit
  --hold MS           after the last card, keep the device MS milliseconds,
                      then exit; "--hold forever" keeps it until a signal
  --exit-after-send   exit as soon as the last card is written
  --report            after each frame's last byte, print a line
                      "sent SECONDS HEX" (SECONDS on the system's monotonic
                      clock, CLOCK_MONOTONIC; HEX the bytes as hex pairs), and
                      with --wait-open a line "open SECONDS" when the device
                      was opened
  -h, --help          this text
  --                  what follows is a card, even when it starts with -
  Options take their value as "--gap 300" or "--gap=300".

When the reader ends
  Closing the device is an unplug for the program on the other side, and the
  bytes it has not read yet are lost with it. So after the last card the reader
  keeps the device until standard input ends: with cards on the command line,
  whatever comes on standard input is read and dropped until its end; with
  cards from standard input, its end is the last card. --hold and
  --exit-after-send choose otherwise. A script that starts the reader in the
  background usually gives it /dev/null as standard input, which ends at once:
  give it --hold. SIGINT, SIGTERM and SIGHUP end the reader at any time, as a
  normal end; the link is removed.

Exit status: 0 done, 1 failure (the device, the link, a write, or a bad line on
standard input), 2 bad command line.

Examples
  tarvel-reader --link /tmp/reader --wait-open AABBCCDD 0F12345678
      prints /dev/pts/N; then start "tarvel /tmp/reader 10 1 1": once it holds
      the port, the two cards are sent half a second apart; Ctrl-D or Ctrl-C
      ends the reader
  tarvel-reader --wait-open --baud 9600 --gap 1000 --hold 2000 AABBCCDD 0F12345678
      sends two cards at the line's speed 1 s apart, keeps the port 2 s more
  tarvel-reader --crlf --version-byte 0F
      sends a field frame with CR LF for every card typed on the terminal
  tarvel-reader --wait-open --hold 3000 raw:'\x02ZZZZZZZZZZZZ\x03' bare:00AABBCCDD
      a malformed frame, then a bare one
  printf 'AABBCCDD\nbytes:02 30 30\n' | tarvel-reader --wait-open --hold 1000
      cards from a pipe: a field frame, then three raw bytes
)";
}

}  // namespace reader
