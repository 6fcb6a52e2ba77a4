#pragma once
// The settings stores that the port's save and load operations take, and
// the stores of the system behind them.
//
// TIniStore and TRegistryKey are what the operations need of a store; the
// caller opens one, hands it in, and closes it afterwards. TIniFile and
// TSystemRegistryKey are the system's: an INI file, and a registry key (on
// Linux a typed key file, see platform/SettingsFiles.h).

#include <cstdint>
#include <memory>
#include <string>

#include "framework/Exception.h"
#include "platform/SettingsFiles.h"

// A failure of the registry layer; the message names the value.
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// A failure of an INI file; the message names the key and the file.
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

// The registry layer's messages, translated, with Name in place of %s:
// "Failed to set data for '%s'", "Failed to get data for '%s'",
// "Invalid data type for '%s'".
[[noreturn]] void RaiseRegistrySetFailed(const std::string& Name);
[[noreturn]] void RaiseRegistryGetFailed(const std::string& Name);
[[noreturn]] void RaiseRegistryInvalidType(const std::string& Name);

// An INI-style store: keys in sections.
class TIniStore {
public:
    virtual ~TIniStore() = default;

    // The key's text, or Default when the key is absent.
    virtual std::string GetTextValue(const std::string& Section, const std::string& Key,
                                     const std::string& Default) = 0;
    virtual void PutTextValue(const std::string& Section, const std::string& Key, const std::string& Value) = 0;
    // The key as a 32-bit signed integer, or Default when it is absent.
    virtual std::int32_t GetIntValue(const std::string& Section, const std::string& Key, std::int32_t Default) = 0;
    virtual void PutIntValue(const std::string& Section, const std::string& Key, std::int32_t Value) = 0;

protected:
    TIniStore() = default;
    TIniStore(const TIniStore&) = default;
    TIniStore& operator=(const TIniStore&) = default;
};

// A key of the registry that the caller has opened (with write access for
// saving); each setting is one named value.
class TRegistryKey {
public:
    virtual ~TRegistryKey() = default;

    // A string value (REG_SZ) of the text and its terminating zero byte.
    virtual void PutTextValue(const std::string& Name, const std::string& Value) = 0;
    // A 4-byte REG_DWORD.
    virtual void PutIntValue(const std::string& Name, std::int32_t Value) = 0;
    // The stored string cut at its first zero byte; empty when the value is
    // absent or has size 0. REG_SZ and REG_EXPAND_SZ (unexpanded) are read;
    // any other type is "Invalid data type".
    virtual std::string GetTextValue(const std::string& Name) = 0;
    // The REG_DWORD; "Failed to get data" when absent or larger than 4 bytes,
    // "Invalid data type" when of another type.
    virtual std::int32_t GetIntValue(const std::string& Name) = 0;

protected:
    TRegistryKey() = default;
    TRegistryKey(const TRegistryKey&) = default;
    TRegistryKey& operator=(const TRegistryKey&) = default;
};

// An INI file of the system. Integers are kept as decimal text; a text that
// is not a number (in the system's integer form) reads as the default.
// A failed write raises EIniFileException "Failed to write '<key>' to
// '<file>'", with the reason on the diagnostic stream.
class TIniFile final : public TIniStore {
public:
    explicit TIniFile(const std::string& FileName);
    ~TIniFile() override;

    // The file as used (absolute on Windows).
    std::string FileName() const;

    std::string GetTextValue(const std::string& Section, const std::string& Key, const std::string& Default) override;
    void PutTextValue(const std::string& Section, const std::string& Key, const std::string& Value) override;
    std::int32_t GetIntValue(const std::string& Section, const std::string& Key, std::int32_t Default) override;
    void PutIntValue(const std::string& Section, const std::string& Key, std::int32_t Value) override;

private:
    std::unique_ptr<platform::IIniFile> file_;
};

// A registry key of the system, opened by location (see
// platform::OpenRegistryKey: "HKCU\Software\..." on Windows, the path of a
// key file on Linux) and closed with this object. Opening fails with
// ERegistryException "Failed to open key '<location>'", the reason on the
// diagnostic stream; each failure of a value raises the registry layer's
// message for it, the reason on the diagnostic stream.
class TSystemRegistryKey final : public TRegistryKey {
public:
    TSystemRegistryKey(const std::string& Location, platform::RegistryAccess Access);
    ~TSystemRegistryKey() override;

    void PutTextValue(const std::string& Name, const std::string& Value) override;
    void PutIntValue(const std::string& Name, std::int32_t Value) override;
    std::string GetTextValue(const std::string& Name) override;
    std::int32_t GetIntValue(const std::string& Name) override;

private:
    // The reason on the diagnostic stream, then Raise's exception.
    [[noreturn]] void Failed(const std::string& Name, void (*Raise)(const std::string&)) const;

    std::string location_;
    std::unique_ptr<platform::IRegistryKey> key_;
};
