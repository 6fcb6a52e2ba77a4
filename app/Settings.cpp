#include "app/Settings.h"

std::int32_t FillZeroLength = 10;
std::uint8_t AutoEnter = 1;
std::int32_t CardFormat = 1;

void ResetAppSettings()
{
    FillZeroLength = 10;
    AutoEnter = 1;
    CardFormat = 1;
}
