// The text forms of the port settings: the tables, their parsing, yes/no and
// the character form.

#include "serial/ComPortText.h"

#include "framework/IntegerText.h"
#include "platform/AsciiText.h"

#include <array>
#include <cstddef>
#include <span>

namespace {

// --- Tables: the text of each member at its ordinal.

constexpr std::array<std::string_view, 16> BaudRateTexts{"Custom", "110",    "300",    "600",   "1200",  "2400",
                                                         "4800",   "9600",   "14400",  "19200", "38400", "56000",
                                                         "57600",  "115200", "128000", "256000"};
constexpr std::array<std::string_view, 3> StopBitsTexts{"1", "1.5", "2"};
constexpr std::array<std::string_view, 4> DataBitsTexts{"5", "6", "7", "8"};
constexpr std::array<std::string_view, 5> ParityTexts{"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<std::string_view, 4> FlowControlTexts{"Hardware", "Software", "None", "Custom"};
constexpr std::array<std::string_view, 3> DTRControlTexts{"Disable", "Enable", "Handshake"};
constexpr std::array<std::string_view, 4> RTSControlTexts{"Disable", "Enable", "Handshake", "Toggle"};

constexpr std::string_view YesText = "Yes";
constexpr std::string_view NoText = "No";

// Codes written as the character itself; all others as "#<code>".
constexpr unsigned FirstRawCode = 33;
constexpr unsigned LastRawCode = 127;

// ---

template <typename E>
std::string EntryText(std::span<const std::string_view> table, E value)
{
    const auto ordinal = static_cast<std::size_t>(value);
    return ordinal < table.size() ? std::string(table[ordinal]) : std::string();
}

template <typename E>
E ParseEntry(std::span<const std::string_view> table, std::string_view text, E fallback)
{
    for (std::size_t i = 0; i < table.size(); ++i)
        if (platform::SameAsciiText(text, table[i]))
            return static_cast<E>(i);
    return fallback;
}

}  // namespace

std::string BaudRateText(TBaudRate Value) { return EntryText(BaudRateTexts, Value); }
TBaudRate ParseBaudRate(std::string_view Text) { return ParseEntry(BaudRateTexts, Text, br9600); }
std::string StopBitsText(TStopBits Value) { return EntryText(StopBitsTexts, Value); }
TStopBits ParseStopBits(std::string_view Text) { return ParseEntry(StopBitsTexts, Text, sbOneStopBit); }
std::string DataBitsText(TDataBits Value) { return EntryText(DataBitsTexts, Value); }
TDataBits ParseDataBits(std::string_view Text) { return ParseEntry(DataBitsTexts, Text, dbEight); }
std::string ParityText(TParityBits Value) { return EntryText(ParityTexts, Value); }
TParityBits ParseParity(std::string_view Text) { return ParseEntry(ParityTexts, Text, prNone); }
std::string FlowControlText(TFlowControl Value) { return EntryText(FlowControlTexts, Value); }
TFlowControl ParseFlowControl(std::string_view Text) { return ParseEntry(FlowControlTexts, Text, fcCustom); }
std::string DTRControlText(TDTRFlowControl Value) { return EntryText(DTRControlTexts, Value); }
TDTRFlowControl ParseDTRControl(std::string_view Text) { return ParseEntry(DTRControlTexts, Text, dtrDisable); }
std::string RTSControlText(TRTSFlowControl Value) { return EntryText(RTSControlTexts, Value); }
TRTSFlowControl ParseRTSControl(std::string_view Text) { return ParseEntry(RTSControlTexts, Text, rtsDisable); }

std::string YesNoText(bool Value) { return std::string(Value ? YesText : NoText); }

bool ParseYesNo(std::string_view Text) { return platform::SameAsciiText(Text, YesText); }

std::string CharText(char Value)
{
    const auto code = static_cast<unsigned char>(Value);
    if (code >= FirstRawCode && code <= LastRawCode)
        return std::string(1, Value);
    std::string text(1, '#');
    text += std::to_string(code);
    return text;
}

char ParseCharText(std::string_view Text)
{
    if (Text.empty())
        return 0;
    if (Text[0] != '#' || Text.size() == 1)
        return Text[0];
    const std::optional<std::int32_t> code = TryParseInt32(Text.substr(1));
    if (!code)
        return 0;
    return static_cast<char>(static_cast<unsigned char>(static_cast<std::uint32_t>(*code) & 0xFFu));
}

std::optional<std::int32_t> TryParseInt32(std::string_view Text) { return TryTextToInt32(Text); }
