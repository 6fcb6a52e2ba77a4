#include "app/FormReader.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "framework/EventLoop.h"
#include "framework/Exception.h"
#include "framework/StoredValue.h"
#include "serial/ComPort.h"
#include "serial/ComPortProperties.h"

namespace {

// --- Values ---------------------------------------------------------------------

struct ReadError {
    std::string what;
};

template <typename Map>
typename Map::mapped_type Method(const Map& methods, std::string_view name)
{
    auto it = methods.find(name);
    if (it == methods.end())
        throw ReadError{"the form has no method " + std::string(name)};
    return it->second;
}

// --- Properties ------------------------------------------------------------------

bool SetPortProperty(TComPort& port, std::string_view property, std::string_view value, const TFormMethods& methods)
{
    const TPortProperty* row = FindStoredFormProperty(property);
    if (row == nullptr)
        return false;
    const TFormHandlers handlers{
        .RxChar = [&](std::string_view name) { return TRxCharEvent(Method(methods.RxChar, name)); }};
    row->setStored(port, value, handlers);
    return true;
}

bool SetTimerProperty(TTimer& timer, std::string_view property, std::string_view value, const TFormMethods& methods)
{
    if (property == "Interval") {
        const std::int32_t interval = StoredInteger(value);
        if (interval < 0)
            throw ReadError{"a negative interval: " + std::string(value)};
        timer.SetInterval(static_cast<std::uint32_t>(interval));
    } else if (property == "Enabled") {
        timer.SetEnabled(StoredBoolean(value));
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

std::string ReadFailure(const TComponent& form, const TStoredProperty& p, const std::string& what)
{
    return "Error reading " + form.Name() + "." + std::string(p.Component) + (p.Component.empty() ? "" : ".") +
           std::string(p.Property) + ": " + what;
}

}  // namespace

void ReadStoredForm(TComponent& Form, std::span<const TStoredProperty> Description, const TFormMethods& Methods)
{
    Form.BeginLoading();
    std::optional<std::string> failure;
    for (const TStoredProperty& p : Description) {
        try {
            ReadProperty(Form, p, Methods);
        } catch (const ReadError& e) {
            failure = ReadFailure(Form, p, e.what);
            break;
        } catch (const EStoredValue& e) {
            failure = ReadFailure(Form, p, e.Message());
            break;
        }
    }
    // The loading state ends either way; a description that was not read
    // whole is an error of the program itself.
    Form.EndLoading();
    if (failure)
        throw Exception(*failure);
}
