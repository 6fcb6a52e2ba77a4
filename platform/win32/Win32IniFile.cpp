// The INI file on Windows: GetPrivateProfileStringA and
// WritePrivateProfileStringA.
//
// What the profile functions would alter in a value is protected as
// platform/IniValue.h says (quoting, refusal of line breaks and zero bytes).
// A bare file name would be looked for in the Windows folder: the path is
// made absolute first.

#include <windows.h>

#include <vector>

#include "platform/IniValue.h"
#include "platform/SettingsFiles.h"

namespace platform {
namespace {

std::string FullPath(const std::string& path)
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0)
            return path;
        if (length < buffer.size())
            return std::string(buffer.data(), length);
        buffer.resize(length + 1);
    }
}

bool SameKey(const char* a, const std::string& b) { return lstrcmpiA(a, b.c_str()) == 0; }

class Win32IniFile final : public IIniFile {
public:
    explicit Win32IniFile(const std::string& path) : path_(FullPath(path)) {}

    std::optional<std::string> ReadText(const std::string& section, const std::string& key) override
    {
        if (!HasKey(section, key))
            return std::nullopt;
        return Read(section.c_str(), key.c_str());
    }

    bool WriteText(const std::string& section, const std::string& key, const std::string& value) override
    {
        if (std::string problem = IniValueProblem(value); !problem.empty()) {
            error_ = problem;
            return false;
        }
        if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), ProtectIniValue(value).c_str(), path_.c_str())) {
            error_ = "error code " + std::to_string(GetLastError());
            return false;
        }
        return true;
    }

    std::string Error() const override { return error_; }
    std::string Path() const override { return path_; }

private:
    // The whole text the profile function returns, growing the buffer until
    // it fits (the function cuts silently and returns size - 1, or size - 2
    // for a list of names).
    std::string Read(const char* section, const char* key) const
    {
        std::vector<char> buffer(256);
        for (;;) {
            const DWORD length = GetPrivateProfileStringA(section, key, "", buffer.data(),
                                                          static_cast<DWORD>(buffer.size()), path_.c_str());
            if (length + 2 < buffer.size())
                return std::string(buffer.data(), length);
            buffer.resize(buffer.size() * 2);
        }
    }

    // Absent and empty keys read alike; the section's list of key names
    // (zero-separated) tells them apart.
    bool HasKey(const std::string& section, const std::string& key) const
    {
        const std::string names = Read(section.c_str(), nullptr);
        std::size_t start = 0;
        while (start < names.size()) {
            const std::size_t end = names.find('\0', start);
            const std::string name = names.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (SameKey(name.c_str(), key))
                return true;
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        return false;
    }

    std::string path_;
    std::string error_;
};

}  // namespace

std::unique_ptr<IIniFile> OpenIniFile(const std::string& path) { return std::make_unique<Win32IniFile>(path); }

}  // namespace platform
