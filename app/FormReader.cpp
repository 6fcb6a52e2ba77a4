#include "app/FormReader.h"

#include <array>
#include <charconv>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "framework/EventLoop.h"
#include "framework/Exception.h"
#include "serial/ComPort.h"

namespace {

// --- Values ---------------------------------------------------------------------

// The member names of the enumerations, in ordinal order.
constexpr std::array<std::string_view, 16> BaudRateNames = {
    "brCustom", "br110",   "br300",   "br600",    "br1200",   "br2400",   "br4800",   "br9600",
    "br14400",  "br19200", "br38400", "br56000",  "br57600",  "br115200", "br128000", "br256000"};
constexpr std::array<std::string_view, 3> StopBitsNames = {"sbOneStopBit", "sbOne5StopBits", "sbTwoStopBits"};
constexpr std::array<std::string_view, 4> DataBitsNames = {"dbFive", "dbSix", "dbSeven", "dbEight"};
constexpr std::array<std::string_view, 5> ParityNames = {"prNone", "prOdd", "prEven", "prMark", "prSpace"};
constexpr std::array<std::string_view, 3> DTRNames = {"dtrDisable", "dtrEnable", "dtrHandshake"};
constexpr std::array<std::string_view, 4> RTSNames = {"rtsDisable", "rtsEnable", "rtsHandshake", "rtsToggle"};
constexpr std::array<std::string_view, 3> SyncMethodNames = {"smThreadSync", "smWindowSync", "smNone"};
constexpr std::array<std::string_view, 10> EventNames = {"evRxChar", "evTxEmpty", "evRxFlag", "evRing",
                                                        "evBreak",  "evCTS",     "evDSR",    "evError",
                                                        "evRLSD",   "evRx80Full"};

struct ReadError {
    std::string what;
};

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

template <typename E, std::size_t N>
E Member(const std::array<std::string_view, N>& names, std::string_view value)
{
    for (std::size_t i = 0; i < N; ++i)
        if (names[i] == value)
            return static_cast<E>(i);
    throw ReadError{"unknown value " + std::string(value)};
}

bool Boolean(std::string_view value)
{
    if (value == "True")
        return true;
    if (value == "False")
        return false;
    throw ReadError{"not a boolean: " + std::string(value)};
}

std::int32_t Integer(std::string_view value)
{
    std::int32_t result = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
    if (error != std::errc() || end != value.data() + value.size() || value.empty())
        throw ReadError{"not an integer: " + std::string(value)};
    return result;
}

std::string Text(std::string_view value)
{
    if (value.size() < 2 || value.front() != '\'' || value.back() != '\'')
        throw ReadError{"not a quoted text: " + std::string(value)};
    // Inside the quotes a quote is written twice.
    std::string text;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        text += value[i];
        if (value[i] == '\'') {
            if (i + 2 >= value.size() || value[i + 1] != '\'')
                throw ReadError{"a lone quote in " + std::string(value)};
            ++i;
        }
    }
    return text;
}

TComEvents Events(std::string_view value)
{
    if (value.size() < 2 || value.front() != '[' || value.back() != ']')
        throw ReadError{"not a set: " + std::string(value)};
    TComEvents events;
    std::string_view rest = value.substr(1, value.size() - 2);
    while (!Trim(rest).empty()) {
        const std::size_t comma = rest.find(',');
        events.Include(Member<TComEvent>(EventNames, Trim(rest.substr(0, comma))));
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return events;
}

template <typename Map>
typename Map::mapped_type Method(const Map& methods, std::string_view name)
{
    auto it = methods.find(name);
    if (it == methods.end())
        throw ReadError{"the form has no method " + std::string(name)};
    return it->second;
}

// --- Properties ------------------------------------------------------------------

bool SetPortProperty(TComPort& port, std::string_view property, std::string_view value,
                     const TFormMethods& methods)
{
    using Setter = void (*)(TComPort&, std::string_view, const TFormMethods&);
    struct Entry {
        std::string_view property;
        Setter set;
    };
    static constexpr Entry Table[] = {
        {"BaudRate", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.SetBaudRate(Member<TBaudRate>(BaudRateNames, v));
         }},
        {"Port", [](TComPort& p, std::string_view v, const TFormMethods&) { p.SetPort(Text(v)); }},
        {"StopBits", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.SetStopBits(Member<TStopBits>(StopBitsNames, v));
         }},
        {"DataBits", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.SetDataBits(Member<TDataBits>(DataBitsNames, v));
         }},
        {"Events", [](TComPort& p, std::string_view v, const TFormMethods&) { p.SetEvents(Events(v)); }},
        {"SyncMethod", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.SetSyncMethod(Member<TSyncMethod>(SyncMethodNames, v));
         }},
        {"Connected", [](TComPort& p, std::string_view v, const TFormMethods&) { p.SetConnected(Boolean(v)); }},
        {"Parity.Bits", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.Parity()->SetBits(Member<TParityBits>(ParityNames, v));
         }},
        {"FlowControl.OutCTSFlow", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.FlowControl()->SetOutCTSFlow(Boolean(v));
         }},
        {"FlowControl.OutDSRFlow", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.FlowControl()->SetOutDSRFlow(Boolean(v));
         }},
        {"FlowControl.ControlDTR", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.FlowControl()->SetControlDTR(Member<TDTRFlowControl>(DTRNames, v));
         }},
        {"FlowControl.ControlRTS", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.FlowControl()->SetControlRTS(Member<TRTSFlowControl>(RTSNames, v));
         }},
        {"FlowControl.XonXoffOut", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.FlowControl()->SetXonXoffOut(Boolean(v));
         }},
        {"FlowControl.XonXoffIn", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.FlowControl()->SetXonXoffIn(Boolean(v));
         }},
        {"Timeouts.ReadInterval", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.Timeouts()->SetReadInterval(Integer(v));
         }},
        {"Timeouts.ReadTotalMultiplier", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.Timeouts()->SetReadTotalMultiplier(Integer(v));
         }},
        {"Timeouts.ReadTotalConstant", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.Timeouts()->SetReadTotalConstant(Integer(v));
         }},
        {"Timeouts.WriteTotalMultiplier", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.Timeouts()->SetWriteTotalMultiplier(Integer(v));
         }},
        {"Timeouts.WriteTotalConstant", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.Timeouts()->SetWriteTotalConstant(Integer(v));
         }},
        {"Buffer.InputSize", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.Buffer()->SetInputSize(Integer(v));
         }},
        {"Buffer.OutputSize", [](TComPort& p, std::string_view v, const TFormMethods&) {
             p.Buffer()->SetOutputSize(Integer(v));
         }},
        {"OnRxChar", [](TComPort& p, std::string_view v, const TFormMethods& m) {
             p.SetOnRxChar(Method(m.RxChar, v));
         }},
    };
    for (const Entry& entry : Table) {
        if (entry.property == property) {
            entry.set(port, value, methods);
            return true;
        }
    }
    return false;
}

bool SetTimerProperty(TTimer& timer, std::string_view property, std::string_view value,
                      const TFormMethods& methods)
{
    if (property == "Interval") {
        const std::int32_t interval = Integer(value);
        if (interval < 0)
            throw ReadError{"a negative interval: " + std::string(value)};
        timer.SetInterval(static_cast<std::uint32_t>(interval));
    } else if (property == "Enabled") {
        timer.SetEnabled(Boolean(value));
    } else if (property == "OnTimer") {
        timer.SetOnTimer(Method(methods.Notify, value));
    } else {
        return false;
    }
    return true;
}

TComponent* FindComponent(TComponent& form, std::string_view name)
{
    if (name.empty())
        return &form;
    for (TComponent* c : form.Components())
        if (c->Name() == name)
            return c;
    return nullptr;
}

void ReadProperty(TComponent& form, const TStoredProperty& p, const TFormMethods& methods)
{
    TComponent* component = FindComponent(form, p.Component);
    if (component == nullptr)
        throw ReadError{"no component " + std::string(p.Component)};
    bool known = false;
    if (auto* port = dynamic_cast<TComPort*>(component))
        known = SetPortProperty(*port, p.Property, p.Value, methods);
    else if (auto* timer = dynamic_cast<TTimer*>(component))
        known = SetTimerProperty(*timer, p.Property, p.Value, methods);
    if (!known)
        throw ReadError{component->ClassName() + " has no property " + std::string(p.Property)};
}

}  // namespace

void ReadStoredForm(TComponent& Form, std::span<const TStoredProperty> Description,
                    const TFormMethods& Methods)
{
    Form.BeginLoading();
    std::optional<std::string> failure;
    for (const TStoredProperty& p : Description) {
        try {
            ReadProperty(Form, p, Methods);
        } catch (const ReadError& e) {
            failure = "Error reading " + Form.Name() + "." + std::string(p.Component) +
                      (p.Component.empty() ? "" : ".") + std::string(p.Property) + ": " + e.what;
            break;
        }
    }
    // The loading state ends either way; a description that was not read
    // whole is an error of the program itself.
    Form.EndLoading();
    if (failure)
        throw Exception(*failure);
}
