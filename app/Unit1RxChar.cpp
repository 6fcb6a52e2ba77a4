// Form1's received-frame handler: one call reads one reader frame, converts
// it with the current card format and types the card.

#include <cstdio>
#include <string>

#include "app/CardFormats.h"
#include "app/KeyTyper.h"
#include "app/Unit1.h"
#include "framework/Exception.h"
#include "platform/Diagnostics.h"

namespace {

// The longest frame one read takes.
constexpr std::int32_t kFrameLength = 100;

// Without the characters of code 32 or less at either end; those inside stay.
std::string TrimControls(const std::string& text)
{
    auto kept = [](char c) { return static_cast<unsigned char>(c) > 32; };
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && !kept(text[first]))
        ++first;
    while (last > first && !kept(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

// "02 30 41 03": every byte as two upper-case hex digits, blanks between.
std::string HexPairs(const std::string& bytes)
{
    std::string hex;
    hex.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
        if (!hex.empty())
            hex += ' ';
        hex += pair;
    }
    return hex;
}

// The text with every byte outside printable ASCII written as \xHH, so that
// a message quoting part of a frame stays on one line and gives a terminal
// no control sequence (0x80-0x9F are controls too).
std::string OneLine(const std::string& text)
{
    std::string line;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 32 || code >= 127) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(code));
            line += escape;
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace

void TForm1::ComPort1RxChar(TComponent* /*Sender*/, std::int32_t /*Count*/)
{
    // Count is not used: a frame is whatever one read of up to 100
    // characters returns under the port's read time-outs.
    std::string frame;
    ComPort1->ReadText(frame, kFrameLength);

    std::string card;
    try {
        card = ConvertFrame(frame);  // format 7 types its prefix here
    } catch (const EConvertError& e) {
        // A malformed frame costs that frame only. It is reported here, where
        // the frame is known, and not passed on: the port's event delivery
        // would only repeat the message without the frame (and, delivering
        // through window messages, would show it in an error box), while
        // the reader must go on working unattended.
        platform::Diagnostic("serial port " + ComPort1->Port() + ": frame [" + HexPairs(frame) +
                             "] not typed: " + OneLine(e.Message()));
        return;
    }
    TypeText(TrimControls(card));
}
