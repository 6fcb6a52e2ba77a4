#pragma once
// The translation layer: GNU gettext catalogs (".mo") in the folder "locale"
// beside the executable, text domain "default".

#include <string>

// Binds the domain "default" to <exeDir>/locale, picks the language from LANG
// (or the user's default locale) and makes "default" the current domain.
// Safe to call more than once; the last call wins.
void InitTranslation();

// Looks a text up in the current domain ("default"); unchanged when there is
// no translation.
std::string Translate(const std::string& msgid);

// UTF-16 in, UTF-16 out: the same look-up for wide texts.
std::u16string TranslateWide(const std::u16string& msgid);

// The framework's own message texts (the conversion errors): looked up in
// "default", then in each domain added with AddResourceDomain, in order.
std::string TranslateResource(const std::string& msgid);
void AddResourceDomain(const std::string& domain);
