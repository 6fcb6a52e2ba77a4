#pragma once
// Reading a stored form description into a form's components.
//
// The description is a table of (component, property, value) in the text
// forms a form file uses: enumeration members by name (br9600), booleans
// True and False, integers, texts in single quotes ('COM1'), sets in
// brackets ([evRxChar, evRx80Full]), and handlers by method name
// (ComPort1RxChar). Group properties are reached with a dot
// (Timeouts.ReadInterval).
//
// The form and everything it owns are in the loading state while the table
// is read: every property goes through its setter, and a serial port sends
// nothing to any device meanwhile. The after-load notification follows.
// The properties a port and a timer publish are known; anything else (an
// unknown component, property, value or method) raises an Exception naming
// it, after the loading state has been ended.

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "framework/Component.h"

struct TStoredProperty {
    std::string_view Component;  // the owned component's Name, or empty for the form itself
    std::string_view Property;
    std::string_view Value;
};

// The form's methods that handlers may name.
struct TFormMethods {
    std::map<std::string, std::function<void(TComponent* Sender)>, std::less<>> Notify;
    std::map<std::string, std::function<void(TComponent* Sender, std::int32_t Count)>, std::less<>> RxChar;
};

void ReadStoredForm(TComponent& Form, std::span<const TStoredProperty> Description, const TFormMethods& Methods);
