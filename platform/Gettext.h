#pragma once
// What the translation layer needs of the operating system: GNU gettext
// message catalogs (glibc on Linux; the project's own reader of the same
// files on Windows), the executable's folder and the user's default locale.
//
// Every text passed in or out here is UTF-8: catalogs are read with UTF-8
// as their output code set, whatever the process locale is.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// False when this build cannot read catalogs: the calls below then do
// nothing and every look-up finds no translation.
bool GettextAvailable();

// Binds a text domain to the folder that holds <language>/LC_MESSAGES/<domain>.mo.
void GettextBindDomain(const std::string& domain, const std::filesystem::path& folder);

// Makes `languages` (folder names under the bound folders, already checked
// by the caller) the ones every look-up tries, in order, each domain on its
// own: a domain's catalog is the one in the first of them that holds it.
// Makes `domain` the current text domain. Independent of the locales the
// system has installed: on glibc the message locale becomes "C.UTF-8" (glibc
// translates nothing under plain "C") and the languages go into LANGUAGE.
// Returns false, after one diagnostic line, when the catalogs cannot be used.
bool GettextSelectLanguages(const std::string& domain, const std::vector<std::string>& languages);

// The translation of `msgid` in `domain`, or nothing when there is none.
std::optional<std::string> GettextLookup(const std::string& domain, const std::string& msgid);

// The folder that holds the running executable.
std::filesystem::path ExecutableFolder();

// The user's default locale as "ll_CC" (for example "en_US"), or an empty
// text when the system does not say.
std::string UserDefaultLocale();

}  // namespace platform
