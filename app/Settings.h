#pragma once
// The application settings: process-wide values set by the start-up timer or
// the RUN button and read by the card formats and the key typer. The serial
// port name is held only as ComPort1's Port property.

#include <cstdint>

extern std::int32_t FillZeroLength;  // leading "0" keys up to this length; also the longest text typed
extern std::uint8_t AutoEnter;       // 1: an Enter key follows each card
extern std::int32_t CardFormat;      // 1 to 14; any other value gives the empty text

// Back to the start values (10, 1, 1).
void ResetAppSettings();
