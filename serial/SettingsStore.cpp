// The registry layer's errors, and the system's INI file and registry key
// as the stores the port's save and load operations take.

#include "serial/SettingsStore.h"

#include "framework/Format.h"
#include "framework/Translation.h"
#include "platform/Diagnostics.h"
#include "serial/ComPortText.h"

namespace {

[[noreturn]] void RaiseRegistry(const char* Template, const std::string& Name)
{
    throw ERegistryException(FormatText(TranslateResource(Template), {Name}));
}

}  // namespace

void RaiseRegistrySetFailed(const std::string& Name) { RaiseRegistry("Failed to set data for '%s'", Name); }

void RaiseRegistryGetFailed(const std::string& Name) { RaiseRegistry("Failed to get data for '%s'", Name); }

void RaiseRegistryInvalidType(const std::string& Name) { RaiseRegistry("Invalid data type for '%s'", Name); }

// ---------------------------------------------------------------------------
// TIniFile

TIniFile::TIniFile(const std::string& FileName) : file_(platform::OpenIniFile(FileName)) {}

TIniFile::~TIniFile() = default;

std::string TIniFile::FileName() const { return file_->Path(); }

std::string TIniFile::GetTextValue(const std::string& Section, const std::string& Key, const std::string& Default)
{
    std::optional<std::string> value = file_->ReadText(Section, Key);
    return value ? std::move(*value) : Default;
}

void TIniFile::PutTextValue(const std::string& Section, const std::string& Key, const std::string& Value)
{
    if (file_->WriteText(Section, Key, Value))
        return;
    platform::Diagnostic("INI file " + file_->Path() + ", [" + Section + "] " + Key + ": " + file_->Error());
    throw EIniFileException(FormatText(TranslateResource("Failed to write '%s' to '%s'"), {Key, file_->Path()}));
}

std::int32_t TIniFile::GetIntValue(const std::string& Section, const std::string& Key, std::int32_t Default)
{
    const std::optional<std::string> value = file_->ReadText(Section, Key);
    if (!value)
        return Default;
    return TryParseInt32(*value).value_or(Default);
}

void TIniFile::PutIntValue(const std::string& Section, const std::string& Key, std::int32_t Value)
{
    PutTextValue(Section, Key, std::to_string(Value));
}

// ---------------------------------------------------------------------------
// TSystemRegistryKey

TSystemRegistryKey::TSystemRegistryKey(const std::string& Location, platform::RegistryAccess Access)
    : location_(Location)
{
    std::string error;
    key_ = platform::OpenRegistryKey(Location, Access, error);
    if (!key_) {
        platform::Diagnostic("Registry key " + error);
        throw ERegistryException(FormatText(TranslateResource("Failed to open key '%s'"), {Location}));
    }
}

TSystemRegistryKey::~TSystemRegistryKey() = default;

void TSystemRegistryKey::Failed(const std::string& Name, void (*Raise)(const std::string&)) const
{
    platform::Diagnostic("Registry key " + location_ + ", " + Name + ": " + key_->Error());
    Raise(Name);
    RaiseRegistryGetFailed(Name);  // not reached: each Raise throws
}

void TSystemRegistryKey::PutTextValue(const std::string& Name, const std::string& Value)
{
    if (!key_->WriteText(Name, Value))
        Failed(Name, RaiseRegistrySetFailed);
}

void TSystemRegistryKey::PutIntValue(const std::string& Name, std::int32_t Value)
{
    if (!key_->WriteInt(Name, Value))
        Failed(Name, RaiseRegistrySetFailed);
}

std::string TSystemRegistryKey::GetTextValue(const std::string& Name)
{
    std::string value;
    switch (key_->ReadText(Name, value)) {
    case platform::RegistryRead::Ok:
        return value;
    case platform::RegistryRead::Absent:
        return std::string();
    case platform::RegistryRead::WrongType:
        Failed(Name, RaiseRegistryInvalidType);
    case platform::RegistryRead::Failed:
        break;
    }
    Failed(Name, RaiseRegistryGetFailed);
}

std::int32_t TSystemRegistryKey::GetIntValue(const std::string& Name)
{
    std::int32_t value = 0;
    switch (key_->ReadInt(Name, value)) {
    case platform::RegistryRead::Ok:
        return value;
    case platform::RegistryRead::Absent:
        RaiseRegistryGetFailed(Name);
    case platform::RegistryRead::WrongType:
        Failed(Name, RaiseRegistryInvalidType);
    case platform::RegistryRead::Failed:
        break;
    }
    Failed(Name, RaiseRegistryGetFailed);
}
