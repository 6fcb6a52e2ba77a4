// Windows: the catalogs are read by the project's own reader (MoCatalog);
// the cross build has no libintl. A domain's catalog is loaded on its first
// look-up: the first of the selected languages whose folder holds it.
#include <windows.h>

#include <map>
#include <mutex>
#include <vector>

#include "platform/Diagnostics.h"
#include "platform/Gettext.h"
#include "platform/MoCatalog.h"

namespace platform {

namespace {

struct Catalogs {
    std::mutex mutex;
    std::map<std::string, std::filesystem::path> folders;    // domain -> its locale folder
    std::vector<std::string> languages;                      // tried in order
    std::map<std::string, std::optional<MoCatalog>> loaded;  // domain -> catalog (nothing: none usable)
};

Catalogs& State()
{
    static Catalogs state;
    return state;
}

// The domain's catalog, loaded on first use. Caller holds the lock.
const std::optional<MoCatalog>& CatalogOf(Catalogs& state, const std::string& domain)
{
    const auto done = state.loaded.find(domain);
    if (done != state.loaded.end())
        return done->second;
    std::optional<MoCatalog> catalog;
    const auto folder = state.folders.find(domain);
    if (folder != state.folders.end()) {
        for (const std::string& language : state.languages) {
            const auto file = folder->second / language / "LC_MESSAGES" / (domain + ".mo");
            std::error_code error;
            if (!std::filesystem::is_regular_file(file, error))
                continue;
            std::string reason;
            catalog = MoCatalog::Load(file, &reason);
            if (!catalog)
                Diagnostic("translation: catalog " + file.string() + " refused: " + reason +
                           "; its texts stay in English");
            break;
        }
    }
    return state.loaded.emplace(domain, std::move(catalog)).first->second;
}

}  // namespace

bool GettextAvailable() { return true; }

void GettextBindDomain(const std::string& domain, const std::filesystem::path& folder)
{
    Catalogs& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.folders[domain] = folder;
    state.loaded.erase(domain);
}

bool GettextSelectLanguages(const std::string&, const std::vector<std::string>& languages)
{
    Catalogs& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.languages = languages;
    state.loaded.clear();
    return true;
}

std::optional<std::string> GettextLookup(const std::string& domain, const std::string& msgid)
{
    Catalogs& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    const std::optional<MoCatalog>& catalog = CatalogOf(state, domain);
    return catalog ? catalog->Find(msgid) : std::nullopt;
}

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
