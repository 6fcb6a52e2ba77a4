// The registry key on Windows: advapi32 on a key opened (or created) here and
// closed with the store.

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/SettingsFiles.h"
#include "platform/win32/Win32Registry.h"

namespace platform {
namespace {

std::string ErrorText(LONG code)
{
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result;
    if (length != 0 && text != nullptr) {
        result.assign(text, length);
        while (!result.empty() &&
               (result.back() == '\n' || result.back() == '\r' || result.back() == ' ' || result.back() == '.'))
            result.pop_back();
    }
    if (text != nullptr)
        LocalFree(text);
    if (result.empty())
        result = "error code " + std::to_string(code);
    return result;
}

struct Root {
    std::string_view longName;
    std::string_view shortName;
    HKEY key;
};

// Splits "HKCU\Software\X" into the root key and "Software\X".
bool SplitLocation(const std::string& location, HKEY& root, std::string& path)
{
    const std::array<Root, 4> roots{{
        {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
        {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_USERS", "HKU", HKEY_USERS},
    }};
    const std::size_t slash = location.find('\\');
    const std::string head = location.substr(0, slash);
    for (const Root& r : roots) {
        if (lstrcmpiA(head.c_str(), std::string(r.longName).c_str()) == 0 ||
            lstrcmpiA(head.c_str(), std::string(r.shortName).c_str()) == 0) {
            root = r.key;
            path = slash == std::string::npos ? std::string() : location.substr(slash + 1);
            return true;
        }
    }
    return false;
}

class Win32RegistryKey final : public IRegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}
    ~Win32RegistryKey() override { RegCloseKey(key_); }
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

    bool WriteText(const std::string& name, const std::string& value) override
    {
        // The text with its terminating zero byte.
        return Set(name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), value.size() + 1);
    }

    bool WriteInt(const std::string& name, std::int32_t value) override
    {
        const DWORD data = static_cast<DWORD>(value);
        return Set(name, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    }

    RegistryRead ReadText(const std::string& name, std::string& value) override
    {
        std::vector<BYTE> data(64);
        for (;;) {
            DWORD type = 0;
            DWORD size = static_cast<DWORD>(data.size());
            const LONG rc = RegQueryValueExA(key_, name.c_str(), nullptr, &type, data.data(), &size);
            if (rc == ERROR_FILE_NOT_FOUND)
                return RegistryRead::Absent;
            if (rc == ERROR_MORE_DATA) {
                data.resize(std::max<std::size_t>(size, data.size() * 2));
                continue;
            }
            if (rc != ERROR_SUCCESS)
                return Failure(rc, RegistryRead::Failed);
            if (size == 0) {
                value.clear();
                return RegistryRead::Ok;
            }
            if (type != REG_SZ && type != REG_EXPAND_SZ) {
                error_ = "'" + name + "' has the type " + std::to_string(type);
                return RegistryRead::WrongType;
            }
            const auto* bytes = reinterpret_cast<const char*>(data.data());
            const std::size_t length = strnlen(bytes, size);
            value.assign(bytes, length);
            return RegistryRead::Ok;
        }
    }

    RegistryRead ReadInt(const std::string& name, std::int32_t& value) override
    {
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND)
            return RegistryRead::Absent;
        if (rc != ERROR_SUCCESS)
            return Failure(rc, RegistryRead::Failed);
        if (size > sizeof(DWORD)) {
            error_ = "'" + name + "' holds " + std::to_string(size) + " bytes";
            return RegistryRead::Failed;
        }
        if (type != REG_DWORD) {
            error_ = "'" + name + "' has the type " + std::to_string(type);
            return RegistryRead::WrongType;
        }
        DWORD data = 0;
        size = sizeof data;
        rc = RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
        if (rc != ERROR_SUCCESS)
            return Failure(rc, RegistryRead::Failed);
        if (type != REG_DWORD || size != sizeof data) {
            error_ = "'" + name + "' holds " + std::to_string(size) + " bytes";
            return RegistryRead::Failed;
        }
        value = static_cast<std::int32_t>(data);
        return RegistryRead::Ok;
    }

    std::string Error() const override { return error_; }

private:
    bool Set(const std::string& name, DWORD type, const BYTE* data, std::size_t size)
    {
        if (size > MAXDWORD) {
            error_ = "'" + name + "' is too large";
            return false;
        }
        const LONG rc = RegSetValueExA(key_, name.c_str(), 0, type, data, static_cast<DWORD>(size));
        if (rc != ERROR_SUCCESS) {
            error_ = ErrorText(rc);
            return false;
        }
        return true;
    }

    RegistryRead Failure(LONG rc, RegistryRead result)
    {
        error_ = ErrorText(rc);
        return result;
    }

    HKEY key_;
    std::string error_;
};

}  // namespace

std::unique_ptr<IRegistryKey> OpenRegistryKey(const std::string& location, RegistryAccess access, std::string& error)
{
    HKEY root = nullptr;
    std::string path;
    if (!SplitLocation(location, root, path)) {
        error = location +
                ": the key must start with HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "
                "HKEY_CLASSES_ROOT or HKEY_USERS";
        return nullptr;
    }
    HKEY key = nullptr;
    LONG rc = ERROR_SUCCESS;
    if (access == RegistryAccess::ReadWrite)
        rc = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    else
        rc = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
    if (rc != ERROR_SUCCESS) {
        error = location + ": " + ErrorText(rc);
        return nullptr;
    }
    return std::make_unique<Win32RegistryKey>(key);
}

bool DeleteRegistryKey(const std::string& location)
{
    HKEY root = nullptr;
    std::string path;
    if (!SplitLocation(location, root, path) || path.empty())
        return false;
    const LONG rc = RegDeleteTreeA(root, path.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        return false;
    const LONG gone = RegDeleteKeyA(root, path.c_str());
    return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
}

bool WriteRawRegistryValue(const std::string& location, const std::string& name, std::uint32_t type,
                           const std::string& data)
{
    HKEY root = nullptr;
    std::string path;
    if (!SplitLocation(location, root, path))
        return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

}  // namespace platform
