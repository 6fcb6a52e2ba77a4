// Windows: libintl when the build found it (TARVEL_HAVE_LIBINTL); without it
// every text comes back unchanged.
#include <windows.h>

#include <stdlib.h>

#include <vector>

#ifdef TARVEL_HAVE_LIBINTL
#include <libintl.h>
#endif

#include "platform/Diagnostics.h"
#include "platform/Gettext.h"

namespace platform {

#ifdef TARVEL_HAVE_LIBINTL

bool GettextAvailable() { return true; }

void GettextBindDomain(const std::string& domain, const std::filesystem::path& folder)
{
    bindtextdomain(domain.c_str(), folder.string().c_str());
    bind_textdomain_codeset(domain.c_str(), "UTF-8");
}

bool GettextSelectLanguages(const std::string& domain, const std::vector<std::string>& languages)
{
    // libintl reads LANGUAGE through the C runtime's environment and goes
    // through its list for every domain on its own.
    std::string list;
    for (const std::string& language : languages)
        list += (list.empty() ? "" : ":") + language;
    if (_putenv_s("LANGUAGE", list.c_str()) != 0) {
        Diagnostic("translation: cannot set LANGUAGE");
        return false;
    }
    textdomain(domain.c_str());
    return true;
}

std::optional<std::string> GettextLookup(const std::string& domain, const std::string& msgid)
{
    const char* found = dgettext(domain.c_str(), msgid.c_str());
    if (found == nullptr || found == msgid.c_str())
        return std::nullopt;
    return std::string(found);
}

#else

bool GettextAvailable() { return false; }

void GettextBindDomain(const std::string&, const std::filesystem::path&) {}

bool GettextSelectLanguages(const std::string&, const std::vector<std::string>&) { return false; }

std::optional<std::string> GettextLookup(const std::string&, const std::string&) { return std::nullopt; }

#endif

std::filesystem::path ExecutableFolder()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::filesystem::path();
        if (length < buffer.size())
            return std::filesystem::path(std::wstring(buffer.data(), length)).parent_path();
        if (buffer.size() >= 32768)
            return std::filesystem::path();
        buffer.resize(buffer.size() * 2);
    }
}

std::string UserDefaultLocale()
{
    char language[16] = {};
    char country[16] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, language, sizeof language) == 0 ||
        GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, country, sizeof country) == 0)
        return {};
    return std::string(language) + "_" + country;
}

}  // namespace platform
