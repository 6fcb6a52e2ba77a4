#include "framework/Translation.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Codepage.h"
#include "platform/Diagnostics.h"
#include "platform/Gettext.h"

namespace {

const char* const DefaultDomain = "default";

struct TranslationState {
    std::mutex mutex;
    std::filesystem::path localeDir;
    std::vector<std::string> languages;        // the folders each domain tries, in order
    std::optional<bool> selected;              // whether the platform took `languages`; unset: not asked yet
    std::map<std::string, std::string> found;  // domain -> its catalog's folder
    std::vector<std::string> resourceDomains;  // consulted after "default"
};

TranslationState& State()
{
    static TranslationState state;
    return state;
}

bool IsLanguageChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '@' ||
           c == '-';
}

// The language named by LANG, or by the user's default locale when LANG is
// empty; empty when there is none or it was refused.
std::string WantedLanguage()
{
    const char* lang = std::getenv("LANG");
    std::string value = lang != nullptr ? lang : "";
    const char* source = "LANG";
    if (value.empty()) {
        value = platform::UserDefaultLocale();
        source = "the user's default locale";
        if (value.empty())
            return {};
    }
    const std::string language = value.substr(0, value.find('.'));
    if (language.empty() || !std::all_of(language.begin(), language.end(), IsLanguageChar)) {
        platform::Diagnostic(std::string("translation: ") + source + " \"" + platform::Printable(value) +
                             "\" refused: the language before the first \".\" may hold only letters, digits, _, @"
                             " and -; texts stay in English");
        return {};
    }
    return language;
}

// The folders a language is looked for in: the language itself, then its
// first two characters.
std::vector<std::string> CandidateFolders(const std::string& language)
{
    if (language.empty())
        return {};
    std::vector<std::string> candidates{language};
    if (language.size() > 2)
        candidates.push_back(language.substr(0, 2));
    return candidates;
}

// The first of `candidates` that holds <domain>.mo; else empty.
std::string CatalogFolderFor(const std::filesystem::path& localeDir, const std::vector<std::string>& candidates,
                             const std::string& domain)
{
    for (const std::string& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(localeDir / candidate / "LC_MESSAGES" / (domain + ".mo"), error))
            return candidate;
    }
    return {};
}

// Looks for `domain`'s catalog and, the first time any domain has one, hands
// the language to the platform. Caller holds the state's lock.
void FindCatalog(TranslationState& state, const std::string& domain)
{
    const std::string folder = CatalogFolderFor(state.localeDir, state.languages, domain);
    if (folder.empty())
        return;
    if (!state.selected)
        state.selected = platform::GettextAvailable() &&
                         platform::GettextSelectLanguages(DefaultDomain, state.languages);
    if (*state.selected)
        state.found[domain] = folder;
}

// Looks msgid (UTF-8) up in the domains in order; nothing when no
// translation is active or none of them has one.
std::optional<std::string> LookupUtf8(const std::vector<std::string>& domains, const std::string& msgid)
{
    for (const std::string& domain : domains)
        if (auto found = platform::GettextLookup(domain, msgid))
            return found;
    return std::nullopt;
}

// The domains to consult: just "default", or "default" and the resource
// domains, each only when its catalog was found.
std::vector<std::string> ActiveDomains(bool withResources)
{
    TranslationState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    std::vector<std::string> domains;
    if (state.found.count(DefaultDomain) != 0)
        domains.push_back(DefaultDomain);
    if (withResources)
        for (const std::string& domain : state.resourceDomains)
            if (state.found.count(domain) != 0)
                domains.push_back(domain);
    return domains;
}

std::string TranslateCodePage(const std::string& msgid, bool withResources)
{
    const std::vector<std::string> domains = ActiveDomains(withResources);
    if (domains.empty())
        return msgid;
    const auto found = LookupUtf8(domains, platform::WideToUtf8(platform::CodePageToWide(msgid)));
    if (!found)
        return msgid;
    return platform::WideToCodePage(platform::Utf8ToWide(*found));
}

}  // namespace

void InitTranslation() { InitTranslation(platform::ExecutableFolder() / "locale"); }

void InitTranslation(const std::filesystem::path& localeDir)
{
    TranslationState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.localeDir = localeDir;
    state.languages = CandidateFolders(WantedLanguage());
    state.selected.reset();
    state.found.clear();

    platform::GettextBindDomain(DefaultDomain, localeDir);
    for (const std::string& domain : state.resourceDomains)
        platform::GettextBindDomain(domain, localeDir);

    FindCatalog(state, DefaultDomain);
    for (const std::string& domain : state.resourceDomains)
        FindCatalog(state, domain);
}

std::string TranslationLanguage()
{
    TranslationState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    const auto it = state.found.find(DefaultDomain);
    return it != state.found.end() ? it->second : std::string();
}

bool TranslationAvailable() { return platform::GettextAvailable(); }

std::string Translate(const std::string& msgid) { return TranslateCodePage(msgid, false); }

std::u16string TranslateWide(const std::u16string& msgid)
{
    const std::vector<std::string> domains = ActiveDomains(false);
    if (domains.empty())
        return msgid;
    const auto found = LookupUtf8(domains, platform::WideToUtf8(msgid));
    return found ? platform::Utf8ToWide(*found) : msgid;
}

std::string TranslateResource(const std::string& msgid) { return TranslateCodePage(msgid, true); }

void AddResourceDomain(const std::string& domain)
{
    TranslationState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (domain == DefaultDomain ||
        std::find(state.resourceDomains.begin(), state.resourceDomains.end(), domain) != state.resourceDomains.end())
        return;
    state.resourceDomains.push_back(domain);
    if (!state.localeDir.empty()) {
        platform::GettextBindDomain(domain, state.localeDir);
        FindCatalog(state, domain);
    }
}
