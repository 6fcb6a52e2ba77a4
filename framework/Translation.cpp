#include "framework/Translation.h"

// Placeholder until the gettext layer lands: texts come back unchanged.
void InitTranslation() {}
std::string Translate(const std::string& msgid) { return msgid; }
std::u16string TranslateWide(const std::u16string& msgid) { return msgid; }
std::string TranslateResource(const std::string& msgid) { return msgid; }
void AddResourceDomain(const std::string&) {}
