#pragma once
// Settings stores of the system: an INI file and a registry key.
//
// Texts are 8-bit in the system's code page and counted. Each back end keeps
// every text it can hold unchanged. An INI file holds a value as it is, in
// quotes where reading would otherwise alter it (platform/IniValue.h), and
// cannot hold a line break or a zero byte; a key file escapes what JSON must.
//
// Windows: the INI file through the private-profile functions of kernel32,
//   the registry key through advapi32.
// Linux: the INI file through the back end's own store, which reads and
//   changes it by the rules of the profile functions (platform/linux/IniText.h;
//   only the key's line changes, every other byte stays, and each write
//   replaces the file atomically), the registry key as a typed key file: JSON
//   through QJsonDocument, text values kept apart from 32-bit integers, each
//   write replacing the file atomically.
//
// Nothing here raises: failures are results, and the caller words them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// One INI file. Keys are grouped in sections; the file is created by the
// first write.
class IIniFile {
public:
    virtual ~IIniFile() = default;

    // The key's text, or empty when the section has no such key.
    virtual std::optional<std::string> ReadText(const std::string& section, const std::string& key) = 0;

    // False when the text could not be stored; Error() says why.
    virtual bool WriteText(const std::string& section, const std::string& key, const std::string& value) = 0;

    // The reason of the last failure, for the diagnostic stream.
    virtual std::string Error() const = 0;

    // The file as the back end uses it (made absolute where the system would
    // otherwise look for a bare name in a folder of its own).
    virtual std::string Path() const = 0;
};

// Opening never fails: a missing file reads as empty.
std::unique_ptr<IIniFile> OpenIniFile(const std::string& path);

// How a value of a registry key was read.
enum class RegistryRead {
    Ok,
    Absent,     // no value of that name
    WrongType,  // a value of another type than the one asked for
    Failed,     // it could not be read (an integer larger than 4 bytes, ...)
};

// One key of the registry: named values, each either a text (REG_SZ; a
// REG_EXPAND_SZ is read as a text, unexpanded) or a 32-bit integer
// (REG_DWORD).
class IRegistryKey {
public:
    virtual ~IRegistryKey() = default;

    // Stores the text and a terminating zero byte. False on failure.
    virtual bool WriteText(const std::string& name, const std::string& value) = 0;
    // Stores the 32-bit pattern of value. False on failure.
    virtual bool WriteInt(const std::string& name, std::int32_t value) = 0;

    // A text value, cut at its first zero byte.
    virtual RegistryRead ReadText(const std::string& name, std::string& value) = 0;
    // An integer value of exactly 4 bytes. A value larger than 4 bytes
    // (a text counted with its terminating zero) is Failed whatever its
    // type; a smaller one of another type is WrongType.
    virtual RegistryRead ReadInt(const std::string& name, std::int32_t& value) = 0;

    // The reason of the last failure, for the diagnostic stream.
    virtual std::string Error() const = 0;
};

enum class RegistryAccess { Read, ReadWrite };

// Opens a registry key. Windows: a path below one of the roots
// HKEY_CURRENT_USER (HKCU), HKEY_LOCAL_MACHINE (HKLM), HKEY_CLASSES_ROOT
// (HKCR), HKEY_USERS (HKU), for example "HKCU\Software\Firm\Reader"; with
// ReadWrite a missing key is created. Linux: the path of a key file; with
// ReadWrite a missing file reads as an empty key and is created by the first
// write, with Read it must exist. Null on failure, with the reason in error.
std::unique_ptr<IRegistryKey> OpenRegistryKey(const std::string& location, RegistryAccess access, std::string& error);

// Removes a key with its values and subkeys (Windows), or the key file
// (Linux). True when it is gone afterwards, also when it never existed.
bool DeleteRegistryKey(const std::string& location);

}  // namespace platform
