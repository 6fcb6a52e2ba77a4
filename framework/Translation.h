#pragma once
// The translation layer: GNU gettext catalogs (".mo") in the folder "locale"
// beside the executable, text domain "default".
//
// The language is LANG up to its first "."; when LANG is empty, the user's
// default locale as ll_CC (for example en_US). A LANG holding anything but
// letters, digits, "_", "@" and "-" is refused (one diagnostic line) and no
// catalog is used. Each text domain finds its catalog on its own:
// locale/<language>/LC_MESSAGES/<domain>.mo, else the same with only the
// first two characters of the language; a domain with neither gives its
// texts back unchanged. The locales the system has installed play no part
// in this.
//
// In a Qt program InitTranslation must run after the application object has
// been built: QCoreApplication's constructor resets the process locale,
// which would undo what InitTranslation sets up for the message catalogs.
//
// On Windows the catalogs are read by the project's own reader of the same
// files (platform/MoCatalog.h).

#include <filesystem>
#include <string>

// Binds the domain "default" to <exeDir>/locale, picks the language from LANG
// (or the user's default locale) and makes "default" the current domain.
// Safe to call more than once; the last call wins.
void InitTranslation();

// The same with another catalog folder in place of <exeDir>/locale.
void InitTranslation(const std::filesystem::path& localeDir);

// The folder under the locale folder ("de_DE", "de") that holds the catalog
// of "default", or an empty text when its texts come back unchanged.
std::string TranslationLanguage();

// False when this build cannot read catalogs at all.
bool TranslationAvailable();

// Looks a text up in the current domain ("default"); unchanged when there is
// no translation. Texts are 8-bit in the system's code page.
std::string Translate(const std::string& msgid);

// UTF-16 in, UTF-16 out: the same look-up for wide texts.
std::u16string TranslateWide(const std::u16string& msgid);

// The framework's own message texts (the conversion errors): looked up in
// "default", then in each domain added with AddResourceDomain, in order.
std::string TranslateResource(const std::string& msgid);

// Adds a domain (bound to the same locale folder) to the list that
// TranslateResource consults. Adding a domain twice adds it once.
void AddResourceDomain(const std::string& domain);
