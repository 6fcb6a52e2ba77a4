#pragma once
// The text forms of the port settings, as the settings stores keep them.
//
// Each enumeration is written as the entry of its table at the member's
// ordinal ("9600", "1.5", "Even", "Handshake", ...). Parsing compares the text
// with each entry in ordinal order, with the letters a to z taken as A to Z
// and nothing else changed: no trimming, no prefix match. A text that names
// no member gives the function's fallback, never an error:
//
//   ParseBaudRate br9600, ParseStopBits sbOneStopBit, ParseDataBits dbEight,
//   ParseParity prNone, ParseFlowControl fcCustom, ParseDTRControl
//   dtrDisable, ParseRTSControl rtsDisable.
//
// Booleans are "Yes" and "No"; only "YES" in any letter case reads as true.
//
// Characters: codes 33 to 127 as the character itself, every other code as
// "#" and the code in decimal (#0, #32, #128). Reading: the empty text is
// code 0; a text that does not start with "#", or is just "#", is its first
// character; otherwise the rest is an integer in the system's integer form
// (see TryParseInt32) whose low 8 bits are the code, and code 0 when it is
// not a number.
//
// All functions are pure and may run on any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "serial/ComPort.h"

// A value outside its enumeration gives the empty text.
std::string BaudRateText(TBaudRate Value);
TBaudRate ParseBaudRate(std::string_view Text);
std::string StopBitsText(TStopBits Value);
TStopBits ParseStopBits(std::string_view Text);
std::string DataBitsText(TDataBits Value);
TDataBits ParseDataBits(std::string_view Text);
std::string ParityText(TParityBits Value);
TParityBits ParseParity(std::string_view Text);
std::string FlowControlText(TFlowControl Value);
TFlowControl ParseFlowControl(std::string_view Text);
std::string DTRControlText(TDTRFlowControl Value);
TDTRFlowControl ParseDTRControl(std::string_view Text);
std::string RTSControlText(TRTSFlowControl Value);
TRTSFlowControl ParseRTSControl(std::string_view Text);

std::string YesNoText(bool Value);
bool ParseYesNo(std::string_view Text);

std::string CharText(char Value);
char ParseCharText(std::string_view Text);

// The system's integer form (TryTextToInt32 of framework/IntegerText.h):
// empty when the text is not such a number.
std::optional<std::int32_t> TryParseInt32(std::string_view Text);
