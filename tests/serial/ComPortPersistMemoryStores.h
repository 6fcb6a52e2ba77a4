#pragma once
// Settings stores in memory for the component's save and load tests. Both
// record every call in order, keep text values apart from integers, and can
// be told to fail at one key.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "serial/SettingsStore.h"

using StoredValue = std::variant<std::string, std::int32_t>;

// One call as a store received it: "GetText", "PutInt", ...
struct StoreCall {
    std::string op;
    std::string section;  // INI only
    std::string key;
    StoredValue value;  // the value put, or the default handed to a get
    bool operator==(const StoreCall&) const = default;
};

// A store fault: raised by the store at one key, so that a test sees it reach
// the caller unchanged.
class EStoreFault : public Exception {
public:
    using Exception::Exception;
};

class MemoryIniStore final : public TIniStore {
public:
    std::string GetTextValue(const std::string& Section, const std::string& Key, const std::string& Default) override
    {
        Record("GetText", Section, Key, Default);
        const auto* v = Find(Section, Key);
        if (v == nullptr)
            return Default;
        if (const auto* text = std::get_if<std::string>(v))
            return *text;
        return std::to_string(std::get<std::int32_t>(*v));
    }
    void PutTextValue(const std::string& Section, const std::string& Key, const std::string& Value) override
    {
        Record("PutText", Section, Key, Value);
        values[{Section, Key}] = Value;
    }
    std::int32_t GetIntValue(const std::string& Section, const std::string& Key, std::int32_t Default) override
    {
        Record("GetInt", Section, Key, Default);
        const auto* v = Find(Section, Key);
        if (v == nullptr)
            return Default;
        if (const auto* number = std::get_if<std::int32_t>(v))
            return *number;
        return Default;
    }
    void PutIntValue(const std::string& Section, const std::string& Key, std::int32_t Value) override
    {
        Record("PutInt", Section, Key, Value);
        values[{Section, Key}] = Value;
    }

    // Keys of one section as a plain map, for comparisons.
    std::map<std::string, StoredValue> Section(const std::string& section) const
    {
        std::map<std::string, StoredValue> result;
        for (const auto& [where, value] : values)
            if (where.first == section)
                result[where.second] = value;
        return result;
    }

    std::map<std::pair<std::string, std::string>, StoredValue> values;
    std::vector<StoreCall> calls;
    std::optional<std::string> failAt;  // this key raises EStoreFault, put or get

private:
    void Record(const char* op, const std::string& section, const std::string& key, StoredValue value)
    {
        calls.push_back({op, section, key, std::move(value)});
        if (failAt && *failAt == key)
            throw EStoreFault("store fault at " + key);
    }
    const StoredValue* Find(const std::string& section, const std::string& key) const
    {
        const auto it = values.find({section, key});
        return it == values.end() ? nullptr : &it->second;
    }
};

// Text and integer values kept apart, with the registry layer's failures as
// the system's registry reports them.
class MemoryRegistryKey final : public TRegistryKey {
public:
    void PutTextValue(const std::string& Name, const std::string& Value) override
    {
        Record("PutText", Name, Value);
        if (failAt && *failAt == Name)
            RaiseRegistrySetFailed(Name);
        values[Name] = Value;
    }
    void PutIntValue(const std::string& Name, std::int32_t Value) override
    {
        Record("PutInt", Name, Value);
        if (failAt && *failAt == Name)
            RaiseRegistrySetFailed(Name);
        values[Name] = Value;
    }
    std::string GetTextValue(const std::string& Name) override
    {
        Record("GetText", Name, std::string());
        const auto it = values.find(Name);
        if (it == values.end())
            return std::string();
        if (const auto* text = std::get_if<std::string>(&it->second))
            return text->substr(0, text->find('\0'));
        RaiseRegistryInvalidType(Name);
    }
    std::int32_t GetIntValue(const std::string& Name) override
    {
        Record("GetInt", Name, 0);
        const auto it = values.find(Name);
        if (it == values.end())
            RaiseRegistryGetFailed(Name);
        if (const auto* number = std::get_if<std::int32_t>(&it->second))
            return *number;
        // A text with its zero byte larger than 4 bytes cannot be read.
        if (std::get<std::string>(it->second).size() + 1 > 4)
            RaiseRegistryGetFailed(Name);
        RaiseRegistryInvalidType(Name);
    }

    std::map<std::string, StoredValue> values;
    std::vector<StoreCall> calls;
    std::optional<std::string> failAt;  // putting this value fails

private:
    void Record(const char* op, const std::string& name, StoredValue value)
    {
        calls.push_back({op, "", name, std::move(value)});
    }
};
