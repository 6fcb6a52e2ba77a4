// Saving and loading the settings to an INI store or a registry key.
//
// One key table serves both stores: in an INI store the key lives in the
// section named after the component, in a registry key it is the value name.
// The table lists the keys in the order of the groups (basic, misc, parity
// details, buffer, time-outs, flow details) and, within a group, in the
// order of writing and reading. Every loaded value goes through its property
// setter, so an open port receives each changed setting by itself, in key
// order. Nothing is caught here: an error of the store or of a setter ends
// the operation at that key, and what was assigned before stays.

#include <array>

#include "serial/ComPort.h"
#include "serial/ComPortText.h"
#include "serial/SettingsStore.h"

namespace {

// The rate read from an INI store for "CustomBaudRate" when the key is
// absent (not the current custom rate).
constexpr std::int32_t CustomBaudRateIniDefault = 9600;

// One key: a text setting (with its text form both ways) or an integer one.
struct PersistKey {
    TPersistGroup group;
    const char* name;
    std::string (*text)(const TCustomComPort&);
    void (*setText)(TCustomComPort&, const std::string&);
    std::int32_t (*integer)(const TCustomComPort&);
    void (*setInteger)(TCustomComPort&, std::int32_t);
    // Written and read only while BaudRate is brCustom.
    bool customRateOnly;

    bool IsText() const { return text != nullptr; }
};

constexpr PersistKey TextKey(TPersistGroup group, const char* name, std::string (*text)(const TCustomComPort&),
                             void (*setText)(TCustomComPort&, const std::string&))
{
    return {group, name, text, setText, nullptr, nullptr, false};
}

constexpr PersistKey IntKey(TPersistGroup group, const char* name, std::int32_t (*integer)(const TCustomComPort&),
                            void (*setInteger)(TCustomComPort&, std::int32_t), bool customRateOnly = false)
{
    return {group, name, nullptr, nullptr, integer, setInteger, customRateOnly};
}

using Self = TCustomComPort;
using Text = const std::string&;

constexpr std::array<PersistKey, 29> Keys{{
    TextKey(pgBasic, "Port",
            [](const Self& p) { return p.Port(); },
            [](Self& p, Text t) { p.SetPort(t); }),
    TextKey(pgBasic, "BaudRate",
            [](const Self& p) { return BaudRateText(p.BaudRate()); },
            [](Self& p, Text t) { p.SetBaudRate(ParseBaudRate(t)); }),
    IntKey(pgBasic, "CustomBaudRate",
           [](const Self& p) { return p.CustomBaudRate(); },
           [](Self& p, std::int32_t v) { p.SetCustomBaudRate(v); }, true),
    TextKey(pgBasic, "StopBits",
            [](const Self& p) { return StopBitsText(p.StopBits()); },
            [](Self& p, Text t) { p.SetStopBits(ParseStopBits(t)); }),
    TextKey(pgBasic, "DataBits",
            [](const Self& p) { return DataBitsText(p.DataBits()); },
            [](Self& p, Text t) { p.SetDataBits(ParseDataBits(t)); }),
    TextKey(pgBasic, "Parity",
            [](const Self& p) { return ParityText(p.Parity()->Bits()); },
            [](Self& p, Text t) { p.Parity()->SetBits(ParseParity(t)); }),
    TextKey(pgBasic, "FlowControl",
            [](const Self& p) { return FlowControlText(p.FlowControl()->FlowControl()); },
            [](Self& p, Text t) { p.FlowControl()->SetFlowControl(ParseFlowControl(t)); }),

    TextKey(pgMisc, "EventChar",
            [](const Self& p) { return CharText(p.EventChar()); },
            [](Self& p, Text t) { p.SetEventChar(ParseCharText(t)); }),
    TextKey(pgMisc, "DiscardNull",
            [](const Self& p) { return YesNoText(p.DiscardNull()); },
            [](Self& p, Text t) { p.SetDiscardNull(ParseYesNo(t)); }),

    TextKey(pgParityDetails, "Parity.Check",
            [](const Self& p) { return YesNoText(p.Parity()->Check()); },
            [](Self& p, Text t) { p.Parity()->SetCheck(ParseYesNo(t)); }),
    TextKey(pgParityDetails, "Parity.Replace",
            [](const Self& p) { return YesNoText(p.Parity()->Replace()); },
            [](Self& p, Text t) { p.Parity()->SetReplace(ParseYesNo(t)); }),
    TextKey(pgParityDetails, "Parity.ReplaceChar",
            [](const Self& p) { return CharText(p.Parity()->ReplaceChar()); },
            [](Self& p, Text t) { p.Parity()->SetReplaceChar(ParseCharText(t)); }),

    IntKey(pgBuffer, "Buffer.OutputSize",
           [](const Self& p) { return p.Buffer()->OutputSize(); },
           [](Self& p, std::int32_t v) { p.Buffer()->SetOutputSize(v); }),
    IntKey(pgBuffer, "Buffer.InputSize",
           [](const Self& p) { return p.Buffer()->InputSize(); },
           [](Self& p, std::int32_t v) { p.Buffer()->SetInputSize(v); }),

    IntKey(pgTimeouts, "Timeouts.ReadInterval",
           [](const Self& p) { return p.Timeouts()->ReadInterval(); },
           [](Self& p, std::int32_t v) { p.Timeouts()->SetReadInterval(v); }),
    IntKey(pgTimeouts, "Timeouts.ReadTotalConstant",
           [](const Self& p) { return p.Timeouts()->ReadTotalConstant(); },
           [](Self& p, std::int32_t v) { p.Timeouts()->SetReadTotalConstant(v); }),
    IntKey(pgTimeouts, "Timeouts.ReadTotalMultiplier",
           [](const Self& p) { return p.Timeouts()->ReadTotalMultiplier(); },
           [](Self& p, std::int32_t v) { p.Timeouts()->SetReadTotalMultiplier(v); }),
    IntKey(pgTimeouts, "Timeouts.WriteTotalConstant",
           [](const Self& p) { return p.Timeouts()->WriteTotalConstant(); },
           [](Self& p, std::int32_t v) { p.Timeouts()->SetWriteTotalConstant(v); }),
    IntKey(pgTimeouts, "Timeouts.WriteTotalMultiplier",
           [](const Self& p) { return p.Timeouts()->WriteTotalMultiplier(); },
           [](Self& p, std::int32_t v) { p.Timeouts()->SetWriteTotalMultiplier(v); }),

    TextKey(pgFlowDetails, "FlowControl.ControlRTS",
            [](const Self& p) { return RTSControlText(p.FlowControl()->ControlRTS()); },
            [](Self& p, Text t) { p.FlowControl()->SetControlRTS(ParseRTSControl(t)); }),
    TextKey(pgFlowDetails, "FlowControl.ControlDTR",
            [](const Self& p) { return DTRControlText(p.FlowControl()->ControlDTR()); },
            [](Self& p, Text t) { p.FlowControl()->SetControlDTR(ParseDTRControl(t)); }),
    TextKey(pgFlowDetails, "FlowControl.DSRSensitivity",
            [](const Self& p) { return YesNoText(p.FlowControl()->DSRSensitivity()); },
            [](Self& p, Text t) { p.FlowControl()->SetDSRSensitivity(ParseYesNo(t)); }),
    TextKey(pgFlowDetails, "FlowControl.OutCTSFlow",
            [](const Self& p) { return YesNoText(p.FlowControl()->OutCTSFlow()); },
            [](Self& p, Text t) { p.FlowControl()->SetOutCTSFlow(ParseYesNo(t)); }),
    TextKey(pgFlowDetails, "FlowControl.OutDSRFlow",
            [](const Self& p) { return YesNoText(p.FlowControl()->OutDSRFlow()); },
            [](Self& p, Text t) { p.FlowControl()->SetOutDSRFlow(ParseYesNo(t)); }),
    TextKey(pgFlowDetails, "FlowControl.TxContinueOnXoff",
            [](const Self& p) { return YesNoText(p.FlowControl()->TxContinueOnXoff()); },
            [](Self& p, Text t) { p.FlowControl()->SetTxContinueOnXoff(ParseYesNo(t)); }),
    TextKey(pgFlowDetails, "FlowControl.XonXoffIn",
            [](const Self& p) { return YesNoText(p.FlowControl()->XonXoffIn()); },
            [](Self& p, Text t) { p.FlowControl()->SetXonXoffIn(ParseYesNo(t)); }),
    TextKey(pgFlowDetails, "FlowControl.XonXoffOut",
            [](const Self& p) { return YesNoText(p.FlowControl()->XonXoffOut()); },
            [](Self& p, Text t) { p.FlowControl()->SetXonXoffOut(ParseYesNo(t)); }),
    TextKey(pgFlowDetails, "FlowControl.XoffChar",
            [](const Self& p) { return CharText(p.FlowControl()->XoffChar()); },
            [](Self& p, Text t) { p.FlowControl()->SetXoffChar(ParseCharText(t)); }),
    TextKey(pgFlowDetails, "FlowControl.XonChar",
            [](const Self& p) { return CharText(p.FlowControl()->XonChar()); },
            [](Self& p, Text t) { p.FlowControl()->SetXonChar(ParseCharText(t)); }),
}};

// Calls visit for each key of the selected groups, in table order. Whether
// "CustomBaudRate" takes part is decided when its turn comes, that is after
// "BaudRate" has been loaded.
template <typename Visit>
void ForEachKey(const TCustomComPort& port, Visit visit)
{
    const TPersistGroups groups = port.PersistGroups();
    for (const PersistKey& key : Keys) {
        if (!groups.Contains(key.group))
            continue;
        if (key.customRateOnly && port.BaudRate() != brCustom)
            continue;
        visit(key);
    }
}

}  // namespace

void TCustomComPort::SaveToRegistry(TRegistryKey& Key)
{
    ForEachKey(*this, [&](const PersistKey& key) {
        if (key.IsText())
            Key.PutTextValue(key.name, key.text(*this));
        else
            Key.PutIntValue(key.name, key.integer(*this));
    });
}

void TCustomComPort::SaveToIni(TIniStore& Store)
{
    const std::string section = Name();
    ForEachKey(*this, [&](const PersistKey& key) {
        if (key.IsText())
            Store.PutTextValue(section, key.name, key.text(*this));
        else
            Store.PutIntValue(section, key.name, key.integer(*this));
    });
}

void TCustomComPort::LoadFromRegistry(TRegistryKey& Key)
{
    ForEachKey(*this, [&](const PersistKey& key) {
        if (key.IsText())
            key.setText(*this, Key.GetTextValue(key.name));
        else
            key.setInteger(*this, Key.GetIntValue(key.name));
    });
}

void TCustomComPort::LoadFromIni(TIniStore& Store)
{
    const std::string section = Name();
    ForEachKey(*this, [&](const PersistKey& key) {
        if (key.IsText()) {
            key.setText(*this, Store.GetTextValue(section, key.name, key.text(*this)));
        } else {
            const std::int32_t fallback = key.customRateOnly ? CustomBaudRateIniDefault : key.integer(*this);
            key.setInteger(*this, Store.GetIntValue(section, key.name, fallback));
        }
    });
}
