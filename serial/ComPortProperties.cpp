// The property table, and the published lists and IsStored of the port and
// its groups that it gives.

#include "serial/ComPortProperties.h"

#include <array>

#include "framework/StoredValue.h"
#include "serial/ComPortText.h"

namespace {

using Self = TCustomComPort;
using Text = const std::string&;
using Handlers = const TFormHandlers&;
using enum TPropertyOwner;

template <typename>
struct MemberOf;
template <typename C, typename R>
struct MemberOf<R (C::*)() const> {
    using Class = C;
};

template <auto Getter>
const auto& OwnerOf(const TPersistent& o)
{
    return static_cast<const typename MemberOf<decltype(Getter)>::Class&>(o);
}

// Stored-default rules.
bool Always(const TPersistent&) { return true; }
template <auto Getter, auto Default>
bool Differs(const TPersistent& o)
{
    return (OwnerOf<Getter>(o).*Getter)() != Default;
}
template <auto Getter>
bool IsSet(const TPersistent& o)
{
    return static_cast<bool>((OwnerOf<Getter>(o).*Getter)());
}

// "[evRxChar, evRx80Full]"
TComEvents StoredEvents(std::string_view value)
{
    const auto trim = [](std::string_view t) {
        while (!t.empty() && t.front() == ' ')
            t.remove_prefix(1);
        while (!t.empty() && t.back() == ' ')
            t.remove_suffix(1);
        return t;
    };
    if (value.size() < 2 || value.front() != '[' || value.back() != ']')
        throw EStoredValue("not a set: " + std::string(value));
    TComEvents events;
    std::string_view rest = value.substr(1, value.size() - 2);
    while (!trim(rest).empty()) {
        const std::size_t comma = rest.find(',');
        events.Include(StoredMember<TComEvent>(ComEventNames, trim(rest.substr(0, comma))));
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return events;
}

// A handler row: written when assigned, not saved.
template <auto Getter>
constexpr TPortProperty HandlerRow(std::string_view name)
{
    return {.owner = Port, .name = name, .published = true, .isStored = IsSet<Getter>};
}

// The rows. Published order within each owner; saveOrder numbers the keys
// of the settings stores from 1 in the order of the groups (basic, misc,
// parity details, buffer, time-outs, flow details).
constexpr TPortProperty Rows[] = {
    // --- The port
    {.owner = Port,
     .name = "Connected",
     .published = true,
     .isStored = IsSet<&Self::Connected>,
     .setStored = [](Self& p, std::string_view v, Handlers) { p.SetConnected(StoredBoolean(v)); }},
    {.owner = Port,
     .name = "BaudRate",
     .published = true,
     .isStored = Always,
     .key = "BaudRate",
     .group = pgBasic,
     .saveOrder = 2,
     .text = [](const Self& p) { return BaudRateText(p.BaudRate()); },
     .setText = [](Self& p, Text t) { p.SetBaudRate(ParseBaudRate(t)); },
     .setStored = [](Self& p, std::string_view v,
                     Handlers) { p.SetBaudRate(StoredMember<TBaudRate>(BaudRateNames, v)); }},
    {.owner = Port,
     .name = "Port",
     .published = true,
     .isStored = Always,
     .key = "Port",
     .group = pgBasic,
     .saveOrder = 1,
     .text = [](const Self& p) { return p.Port(); },
     .setText = [](Self& p, Text t) { p.SetPort(t); },
     .setStored = [](Self& p, std::string_view v, Handlers) { p.SetPort(StoredText(v)); }},
    {.owner = Port, .name = "Parity", .published = true, .isStored = Always},
    {.owner = Port,
     .name = "StopBits",
     .published = true,
     .isStored = Always,
     .key = "StopBits",
     .group = pgBasic,
     .saveOrder = 4,
     .text = [](const Self& p) { return StopBitsText(p.StopBits()); },
     .setText = [](Self& p, Text t) { p.SetStopBits(ParseStopBits(t)); },
     .setStored = [](Self& p, std::string_view v,
                     Handlers) { p.SetStopBits(StoredMember<TStopBits>(StopBitsNames, v)); }},
    {.owner = Port,
     .name = "DataBits",
     .published = true,
     .isStored = Always,
     .key = "DataBits",
     .group = pgBasic,
     .saveOrder = 5,
     .text = [](const Self& p) { return DataBitsText(p.DataBits()); },
     .setText = [](Self& p, Text t) { p.SetDataBits(ParseDataBits(t)); },
     .setStored = [](Self& p, std::string_view v,
                     Handlers) { p.SetDataBits(StoredMember<TDataBits>(DataBitsNames, v)); }},
    {.owner = Port,
     .name = "DiscardNull",
     .published = true,
     .isStored = Differs<&Self::DiscardNull, ComPortDefaults::DiscardNull>,
     .key = "DiscardNull",
     .group = pgMisc,
     .saveOrder = 9,
     .text = [](const Self& p) { return YesNoText(p.DiscardNull()); },
     .setText = [](Self& p, Text t) { p.SetDiscardNull(ParseYesNo(t)); }},
    {.owner = Port,
     .name = "EventChar",
     .published = true,
     .isStored = Differs<&Self::EventChar, ComPortDefaults::EventChar>,
     .key = "EventChar",
     .group = pgMisc,
     .saveOrder = 8,
     .text = [](const Self& p) { return CharText(p.EventChar()); },
     .setText = [](Self& p, Text t) { p.SetEventChar(ParseCharText(t)); }},
    {.owner = Port,
     .name = "Events",
     .published = true,
     .isStored = Always,
     .setStored = [](Self& p, std::string_view v, Handlers) { p.SetEvents(StoredEvents(v)); }},
    {.owner = Port, .name = "Buffer", .published = true, .isStored = Always},
    {.owner = Port, .name = "FlowControl", .published = true, .isStored = Always},
    {.owner = Port, .name = "Timeouts", .published = true, .isStored = Always},
    {.owner = Port,
     .name = "SyncMethod",
     .published = true,
     .isStored = Differs<&Self::SyncMethod, ComPortDefaults::SyncMethod>,
     .setStored = [](Self& p, std::string_view v,
                     Handlers) { p.SetSyncMethod(StoredMember<TSyncMethod>(SyncMethodNames, v)); }},
    HandlerRow<&Self::OnAfterOpen>("OnAfterOpen"),
    HandlerRow<&Self::OnAfterClose>("OnAfterClose"),
    HandlerRow<&Self::OnBeforeOpen>("OnBeforeOpen"),
    HandlerRow<&Self::OnBeforeClose>("OnBeforeClose"),
    {.owner = Port,
     .name = "OnRxChar",
     .published = true,
     .isStored = IsSet<&Self::OnRxChar>,
     .setStored = [](Self& p, std::string_view v, Handlers h) { p.SetOnRxChar(h.RxChar(v)); }},
    HandlerRow<&Self::OnRxBuf>("OnRxBuf"),
    HandlerRow<&Self::OnTxEmpty>("OnTxEmpty"),
    HandlerRow<&Self::OnBreak>("OnBreak"),
    HandlerRow<&Self::OnRing>("OnRing"),
    HandlerRow<&Self::OnCTSChange>("OnCTSChange"),
    HandlerRow<&Self::OnDSRChange>("OnDSRChange"),
    HandlerRow<&Self::OnRLSDChange>("OnRLSDChange"),
    HandlerRow<&Self::OnRxFlag>("OnRxFlag"),
    HandlerRow<&Self::OnError>("OnError"),
    HandlerRow<&Self::OnRx80Full>("OnRx80Full"),
    // Not published; saved only while BaudRate is brCustom.
    {.owner = Port,
     .name = "CustomBaudRate",
     .key = "CustomBaudRate",
     .group = pgBasic,
     .saveOrder = 3,
     .customRateOnly = true,
     .integer = [](const Self& p) { return p.CustomBaudRate(); },
     .setInteger = [](Self& p, std::int32_t v) { p.SetCustomBaudRate(v); }},

    // --- Parity
    {.owner = Parity,
     .name = "Bits",
     .published = true,
     .isStored = Always,
     .key = "Parity",
     .group = pgBasic,
     .saveOrder = 6,
     .text = [](const Self& p) { return ParityText(p.Parity()->Bits()); },
     .setText = [](Self& p, Text t) { p.Parity()->SetBits(ParseParity(t)); },
     .setStored = [](Self& p, std::string_view v,
                     Handlers) { p.Parity()->SetBits(StoredMember<TParityBits>(ParityBitsNames, v)); }},
    {.owner = Parity,
     .name = "Check",
     .published = true,
     .isStored = IsSet<&TComParity::Check>,
     .key = "Parity.Check",
     .group = pgParityDetails,
     .saveOrder = 10,
     .text = [](const Self& p) { return YesNoText(p.Parity()->Check()); },
     .setText = [](Self& p, Text t) { p.Parity()->SetCheck(ParseYesNo(t)); }},
    {.owner = Parity,
     .name = "Replace",
     .published = true,
     .isStored = IsSet<&TComParity::Replace>,
     .key = "Parity.Replace",
     .group = pgParityDetails,
     .saveOrder = 11,
     .text = [](const Self& p) { return YesNoText(p.Parity()->Replace()); },
     .setText = [](Self& p, Text t) { p.Parity()->SetReplace(ParseYesNo(t)); }},
    {.owner = Parity,
     .name = "ReplaceChar",
     .published = true,
     .isStored = Differs<&TComParity::ReplaceChar, ComPortDefaults::ReplaceChar>,
     .key = "Parity.ReplaceChar",
     .group = pgParityDetails,
     .saveOrder = 12,
     .text = [](const Self& p) { return CharText(p.Parity()->ReplaceChar()); },
     .setText = [](Self& p, Text t) { p.Parity()->SetReplaceChar(ParseCharText(t)); }},

    // --- Flow control. The summary is published but never written: it has
    // no field of its own.
    {.owner = FlowControl,
     .name = "FlowControl",
     .published = true,
     .key = "FlowControl",
     .group = pgBasic,
     .saveOrder = 7,
     .text = [](const Self& p) { return FlowControlText(p.FlowControl()->FlowControl()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetFlowControl(ParseFlowControl(t)); }},
    {.owner = FlowControl,
     .name = "OutCTSFlow",
     .published = true,
     .isStored = Always,
     .key = "FlowControl.OutCTSFlow",
     .group = pgFlowDetails,
     .saveOrder = 23,
     .text = [](const Self& p) { return YesNoText(p.FlowControl()->OutCTSFlow()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetOutCTSFlow(ParseYesNo(t)); },
     .setStored = [](Self& p, std::string_view v, Handlers) { p.FlowControl()->SetOutCTSFlow(StoredBoolean(v)); }},
    {.owner = FlowControl,
     .name = "OutDSRFlow",
     .published = true,
     .isStored = Always,
     .key = "FlowControl.OutDSRFlow",
     .group = pgFlowDetails,
     .saveOrder = 24,
     .text = [](const Self& p) { return YesNoText(p.FlowControl()->OutDSRFlow()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetOutDSRFlow(ParseYesNo(t)); },
     .setStored = [](Self& p, std::string_view v, Handlers) { p.FlowControl()->SetOutDSRFlow(StoredBoolean(v)); }},
    {.owner = FlowControl,
     .name = "ControlDTR",
     .published = true,
     .isStored = Always,
     .key = "FlowControl.ControlDTR",
     .group = pgFlowDetails,
     .saveOrder = 21,
     .text = [](const Self& p) { return DTRControlText(p.FlowControl()->ControlDTR()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetControlDTR(ParseDTRControl(t)); },
     .setStored =
         [](Self& p, std::string_view v, Handlers) {
             p.FlowControl()->SetControlDTR(StoredMember<TDTRFlowControl>(DTRFlowControlNames, v));
         }},
    {.owner = FlowControl,
     .name = "ControlRTS",
     .published = true,
     .isStored = Always,
     .key = "FlowControl.ControlRTS",
     .group = pgFlowDetails,
     .saveOrder = 20,
     .text = [](const Self& p) { return RTSControlText(p.FlowControl()->ControlRTS()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetControlRTS(ParseRTSControl(t)); },
     .setStored =
         [](Self& p, std::string_view v, Handlers) {
             p.FlowControl()->SetControlRTS(StoredMember<TRTSFlowControl>(RTSFlowControlNames, v));
         }},
    {.owner = FlowControl,
     .name = "XonXoffOut",
     .published = true,
     .isStored = Always,
     .key = "FlowControl.XonXoffOut",
     .group = pgFlowDetails,
     .saveOrder = 27,
     .text = [](const Self& p) { return YesNoText(p.FlowControl()->XonXoffOut()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetXonXoffOut(ParseYesNo(t)); },
     .setStored = [](Self& p, std::string_view v, Handlers) { p.FlowControl()->SetXonXoffOut(StoredBoolean(v)); }},
    {.owner = FlowControl,
     .name = "XonXoffIn",
     .published = true,
     .isStored = Always,
     .key = "FlowControl.XonXoffIn",
     .group = pgFlowDetails,
     .saveOrder = 26,
     .text = [](const Self& p) { return YesNoText(p.FlowControl()->XonXoffIn()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetXonXoffIn(ParseYesNo(t)); },
     .setStored = [](Self& p, std::string_view v, Handlers) { p.FlowControl()->SetXonXoffIn(StoredBoolean(v)); }},
    {.owner = FlowControl,
     .name = "DSRSensitivity",
     .published = true,
     .isStored = IsSet<&TComFlowControl::DSRSensitivity>,
     .key = "FlowControl.DSRSensitivity",
     .group = pgFlowDetails,
     .saveOrder = 22,
     .text = [](const Self& p) { return YesNoText(p.FlowControl()->DSRSensitivity()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetDSRSensitivity(ParseYesNo(t)); }},
    {.owner = FlowControl,
     .name = "TxContinueOnXoff",
     .published = true,
     .isStored = IsSet<&TComFlowControl::TxContinueOnXoff>,
     .key = "FlowControl.TxContinueOnXoff",
     .group = pgFlowDetails,
     .saveOrder = 25,
     .text = [](const Self& p) { return YesNoText(p.FlowControl()->TxContinueOnXoff()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetTxContinueOnXoff(ParseYesNo(t)); }},
    {.owner = FlowControl,
     .name = "XonChar",
     .published = true,
     .isStored = Differs<&TComFlowControl::XonChar, ComPortDefaults::XonChar>,
     .key = "FlowControl.XonChar",
     .group = pgFlowDetails,
     .saveOrder = 29,
     .text = [](const Self& p) { return CharText(p.FlowControl()->XonChar()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetXonChar(ParseCharText(t)); }},
    {.owner = FlowControl,
     .name = "XoffChar",
     .published = true,
     .isStored = Differs<&TComFlowControl::XoffChar, ComPortDefaults::XoffChar>,
     .key = "FlowControl.XoffChar",
     .group = pgFlowDetails,
     .saveOrder = 28,
     .text = [](const Self& p) { return CharText(p.FlowControl()->XoffChar()); },
     .setText = [](Self& p, Text t) { p.FlowControl()->SetXoffChar(ParseCharText(t)); }},

    // --- Time-outs
    {.owner = Timeouts,
     .name = "ReadInterval",
     .published = true,
     .isStored = Differs<&TComTimeouts::ReadInterval, ComPortDefaults::ReadInterval>,
     .key = "Timeouts.ReadInterval",
     .group = pgTimeouts,
     .saveOrder = 15,
     .integer = [](const Self& p) { return p.Timeouts()->ReadInterval(); },
     .setInteger = [](Self& p, std::int32_t v) { p.Timeouts()->SetReadInterval(v); },
     .setStored = [](Self& p, std::string_view v, Handlers) { p.Timeouts()->SetReadInterval(StoredInteger(v)); }},
    {.owner = Timeouts,
     .name = "ReadTotalMultiplier",
     .published = true,
     .isStored = Differs<&TComTimeouts::ReadTotalMultiplier, ComPortDefaults::ReadTotalMultiplier>,
     .key = "Timeouts.ReadTotalMultiplier",
     .group = pgTimeouts,
     .saveOrder = 17,
     .integer = [](const Self& p) { return p.Timeouts()->ReadTotalMultiplier(); },
     .setInteger = [](Self& p, std::int32_t v) { p.Timeouts()->SetReadTotalMultiplier(v); },
     .setStored = [](Self& p, std::string_view v,
                     Handlers) { p.Timeouts()->SetReadTotalMultiplier(StoredInteger(v)); }},
    {.owner = Timeouts,
     .name = "ReadTotalConstant",
     .published = true,
     .isStored = Differs<&TComTimeouts::ReadTotalConstant, ComPortDefaults::ReadTotalConstant>,
     .key = "Timeouts.ReadTotalConstant",
     .group = pgTimeouts,
     .saveOrder = 16,
     .integer = [](const Self& p) { return p.Timeouts()->ReadTotalConstant(); },
     .setInteger = [](Self& p, std::int32_t v) { p.Timeouts()->SetReadTotalConstant(v); },
     .setStored = [](Self& p, std::string_view v, Handlers) { p.Timeouts()->SetReadTotalConstant(StoredInteger(v)); }},
    {.owner = Timeouts,
     .name = "WriteTotalMultiplier",
     .published = true,
     .isStored = Differs<&TComTimeouts::WriteTotalMultiplier, ComPortDefaults::WriteTotalMultiplier>,
     .key = "Timeouts.WriteTotalMultiplier",
     .group = pgTimeouts,
     .saveOrder = 19,
     .integer = [](const Self& p) { return p.Timeouts()->WriteTotalMultiplier(); },
     .setInteger = [](Self& p, std::int32_t v) { p.Timeouts()->SetWriteTotalMultiplier(v); },
     .setStored = [](Self& p, std::string_view v,
                     Handlers) { p.Timeouts()->SetWriteTotalMultiplier(StoredInteger(v)); }},
    {.owner = Timeouts,
     .name = "WriteTotalConstant",
     .published = true,
     .isStored = Differs<&TComTimeouts::WriteTotalConstant, ComPortDefaults::WriteTotalConstant>,
     .key = "Timeouts.WriteTotalConstant",
     .group = pgTimeouts,
     .saveOrder = 18,
     .integer = [](const Self& p) { return p.Timeouts()->WriteTotalConstant(); },
     .setInteger = [](Self& p, std::int32_t v) { p.Timeouts()->SetWriteTotalConstant(v); },
     .setStored = [](Self& p, std::string_view v, Handlers) { p.Timeouts()->SetWriteTotalConstant(StoredInteger(v)); }},

    // --- Buffer
    {.owner = Buffer,
     .name = "InputSize",
     .published = true,
     .isStored = Differs<&TComBuffer::InputSize, ComPortDefaults::InputSize>,
     .key = "Buffer.InputSize",
     .group = pgBuffer,
     .saveOrder = 14,
     .integer = [](const Self& p) { return p.Buffer()->InputSize(); },
     .setInteger = [](Self& p, std::int32_t v) { p.Buffer()->SetInputSize(v); },
     .setStored = [](Self& p, std::string_view v, Handlers) { p.Buffer()->SetInputSize(StoredInteger(v)); }},
    {.owner = Buffer,
     .name = "OutputSize",
     .published = true,
     .isStored = Differs<&TComBuffer::OutputSize, ComPortDefaults::OutputSize>,
     .key = "Buffer.OutputSize",
     .group = pgBuffer,
     .saveOrder = 13,
     .integer = [](const Self& p) { return p.Buffer()->OutputSize(); },
     .setInteger = [](Self& p, std::int32_t v) { p.Buffer()->SetOutputSize(v); },
     .setStored = [](Self& p, std::string_view v, Handlers) { p.Buffer()->SetOutputSize(StoredInteger(v)); }},
};

constexpr std::size_t PublishedCount(TPropertyOwner owner)
{
    std::size_t n = 0;
    for (const TPortProperty& row : Rows)
        n += row.owner == owner && row.published ? 1 : 0;
    return n;
}

template <TPropertyOwner Owner>
std::span<const std::string_view> Published()
{
    static constexpr auto names = [] {
        std::array<std::string_view, PublishedCount(Owner)> result{};
        std::size_t n = 0;
        for (const TPortProperty& row : Rows)
            if (row.owner == Owner && row.published)
                result[n++] = row.name;
        return result;
    }();
    return {names.data(), names.size()};
}

bool IsStoredIn(TPropertyOwner owner, const TPersistent& object, std::string_view property)
{
    for (const TPortProperty& row : Rows)
        if (row.owner == owner && row.published && row.name == property)
            return row.isStored != nullptr && row.isStored(object);
    return false;  // not published, or unknown
}

constexpr std::size_t SavedCount()
{
    std::size_t n = 0;
    for (const TPortProperty& row : Rows)
        n += row.key.empty() ? 0 : 1;
    return n;
}

// Every saved row has one place in the order, numbered 1 to SavedCount, and
// a text form or an integer one.
constexpr bool SaveOrderComplete()
{
    for (std::size_t order = 1; order <= SavedCount(); ++order) {
        std::size_t found = 0;
        for (const TPortProperty& row : Rows)
            if (!row.key.empty() && row.saveOrder == order &&
                ((row.text != nullptr && row.setText != nullptr) ||
                 (row.integer != nullptr && row.setInteger != nullptr)))
                ++found;
        if (found != 1)
            return false;
    }
    return true;
}
static_assert(SaveOrderComplete(), "each saved property needs its own place in the saving order");

std::string_view GroupPrefix(TPropertyOwner owner)
{
    switch (owner) {
    case Parity:
        return "Parity";
    case FlowControl:
        return "FlowControl";
    case Timeouts:
        return "Timeouts";
    case Buffer:
        return "Buffer";
    case Port:
        break;
    }
    return {};
}

}  // namespace

std::span<const TPortProperty> PortProperties() { return Rows; }

std::span<const TPortProperty* const> SavedPortProperties()
{
    static const auto saved = [] {
        std::array<const TPortProperty*, SavedCount()> result{};
        for (const TPortProperty& row : Rows)
            if (!row.key.empty())
                result[row.saveOrder - 1] = &row;
        return result;
    }();
    return saved;
}

const TPortProperty* FindStoredFormProperty(std::string_view Name)
{
    for (const TPortProperty& row : Rows) {
        if (row.setStored == nullptr)
            continue;
        const std::string_view prefix = GroupPrefix(row.owner);
        std::string_view rest = Name;
        if (!prefix.empty()) {
            if (!rest.starts_with(prefix) || rest.size() <= prefix.size() || rest[prefix.size()] != '.')
                continue;
            rest.remove_prefix(prefix.size() + 1);
        }
        if (rest == row.name)
            return &row;
    }
    return nullptr;
}

std::span<const std::string_view> TCustomComPort::PublishedProperties() { return Published<TPropertyOwner::Port>(); }

bool TCustomComPort::IsStored(std::string_view Property) const
{
    return IsStoredIn(TPropertyOwner::Port, *this, Property);
}

std::span<const std::string_view> TComParity::PublishedProperties() { return Published<TPropertyOwner::Parity>(); }

bool TComParity::IsStored(std::string_view Property) const
{
    return IsStoredIn(TPropertyOwner::Parity, *this, Property);
}

std::span<const std::string_view> TComFlowControl::PublishedProperties()
{
    return Published<TPropertyOwner::FlowControl>();
}

bool TComFlowControl::IsStored(std::string_view Property) const
{
    return IsStoredIn(TPropertyOwner::FlowControl, *this, Property);
}

std::span<const std::string_view> TComTimeouts::PublishedProperties() { return Published<TPropertyOwner::Timeouts>(); }

bool TComTimeouts::IsStored(std::string_view Property) const
{
    return IsStoredIn(TPropertyOwner::Timeouts, *this, Property);
}

std::span<const std::string_view> TComBuffer::PublishedProperties() { return Published<TPropertyOwner::Buffer>(); }

bool TComBuffer::IsStored(std::string_view Property) const
{
    return IsStoredIn(TPropertyOwner::Buffer, *this, Property);
}
