// Saving and loading the settings to an INI store or a registry key.
//
// Filled in with the settings stores; until then the four operations save
// and load nothing.

#include "serial/ComPort.h"

void TCustomComPort::SaveToRegistry(TRegistryKey& /*Key*/) {}
void TCustomComPort::SaveToIni(TIniStore& /*Store*/) {}
void TCustomComPort::LoadFromRegistry(TRegistryKey& /*Key*/) {}
void TCustomComPort::LoadFromIni(TIniStore& /*Store*/) {}
