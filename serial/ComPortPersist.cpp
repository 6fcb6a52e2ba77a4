// Saving and loading the settings to an INI store or a registry key.
//
// The property table (ComPortProperties.cpp) gives the keys of both stores:
// in an INI store the key lives in the section named after the component, in
// a registry key it is the value name. Keys are written and read in the
// table's saving order (by group: basic, misc, parity details, buffer,
// time-outs, flow details). Every loaded value goes through its property
// setter, so an open port receives each changed setting by itself, in key
// order. Nothing is caught here: an error of the store or of a setter ends
// the operation at that key, and what was assigned before stays.

#include "serial/ComPort.h"
#include "serial/ComPortProperties.h"
#include "serial/SettingsStore.h"

namespace {

// The rate read from an INI store for "CustomBaudRate" when the key is
// absent (not the current custom rate).
constexpr std::int32_t CustomBaudRateIniDefault = 9600;

// Calls visit for each key of the selected groups, in table order. Whether
// "CustomBaudRate" takes part is decided when its turn comes, that is after
// "BaudRate" has been loaded.
template <typename Visit>
void ForEachKey(const TCustomComPort& port, Visit visit)
{
    const TPersistGroups groups = port.PersistGroups();
    for (const TPortProperty* key : SavedPortProperties()) {
        if (!groups.Contains(key->group))
            continue;
        if (key->customRateOnly && port.BaudRate() != brCustom)
            continue;
        visit(*key);
    }
}

}  // namespace

void TCustomComPort::SaveToRegistry(TRegistryKey& Key)
{
    ForEachKey(*this, [&](const TPortProperty& key) {
        if (key.text != nullptr)
            Key.PutTextValue(std::string(key.key), key.text(*this));
        else
            Key.PutIntValue(std::string(key.key), key.integer(*this));
    });
}

void TCustomComPort::SaveToIni(TIniStore& Store)
{
    const std::string section = Name();
    ForEachKey(*this, [&](const TPortProperty& key) {
        if (key.text != nullptr)
            Store.PutTextValue(section, std::string(key.key), key.text(*this));
        else
            Store.PutIntValue(section, std::string(key.key), key.integer(*this));
    });
}

void TCustomComPort::LoadFromRegistry(TRegistryKey& Key)
{
    ForEachKey(*this, [&](const TPortProperty& key) {
        if (key.text != nullptr)
            key.setText(*this, Key.GetTextValue(std::string(key.key)));
        else
            key.setInteger(*this, Key.GetIntValue(std::string(key.key)));
    });
}

void TCustomComPort::LoadFromIni(TIniStore& Store)
{
    const std::string section = Name();
    ForEachKey(*this, [&](const TPortProperty& key) {
        if (key.text != nullptr) {
            key.setText(*this, Store.GetTextValue(section, std::string(key.key), key.text(*this)));
        } else {
            const std::int32_t fallback = key.customRateOnly ? CustomBaudRateIniDefault : key.integer(*this);
            key.setInteger(*this, Store.GetIntValue(section, std::string(key.key), fallback));
        }
    });
}
