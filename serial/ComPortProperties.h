#pragma once
// The port's properties, one row each: where the property lives (the port or
// one of its groups), its published name, its stored-default rule, its key,
// group and text form in the settings stores, and how a stored form
// description sets it. The published lists and IsStored of the port and its
// groups, saving and loading (INI store and registry key) and the stored-form
// reader all work from this one table; a new setting is one row here.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "serial/ComPort.h"

enum class TPropertyOwner : std::uint8_t { Port, Parity, FlowControl, Timeouts, Buffer };

// The handlers a stored form description may name, looked up by method name.
struct TFormHandlers {
    std::function<TRxCharEvent(std::string_view Method)> RxChar;
};

struct TPortProperty {
    TPropertyOwner owner;
    // The name within its owner; a stored form description reaches a group's
    // property as "<Group>.<Name>".
    std::string_view name;
    bool published = false;
    // Whether the owner's current value is written (it differs from the
    // stored default, or there is none); null: never written.
    bool (*isStored)(const TPersistent& Owner) = nullptr;

    // Settings stores: the key (empty: not saved), its group, its place in
    // the order of saving and loading, and whether it takes part only while
    // BaudRate is brCustom. A key has a text form (text/setText) or is an
    // integer (integer/setInteger).
    std::string_view key = {};
    TPersistGroup group = pgBasic;
    std::uint8_t saveOrder = 0;
    bool customRateOnly = false;
    std::string (*text)(const TCustomComPort&) = nullptr;
    void (*setText)(TCustomComPort&, const std::string&) = nullptr;
    std::int32_t (*integer)(const TCustomComPort&) = nullptr;
    void (*setInteger)(TCustomComPort&, std::int32_t) = nullptr;

    // A stored form description's value (in the forms of
    // framework/StoredValue.h); null: not read from one.
    void (*setStored)(TCustomComPort&, std::string_view Value, const TFormHandlers&) = nullptr;
};

// Every row, the port's published properties first, then each group's, each
// in published order.
std::span<const TPortProperty> PortProperties();

// The saved rows in the order of saving and loading.
std::span<const TPortProperty* const> SavedPortProperties();

// The row a stored form description names ("BaudRate", "Parity.Bits"), or
// null when there is none or it cannot be read from a form.
const TPortProperty* FindStoredFormProperty(std::string_view Name);
