// Linux: glibc's gettext.
#include <libintl.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>

#include <cerrno>

#include "platform/Diagnostics.h"
#include "platform/Gettext.h"

namespace platform {

bool GettextAvailable() { return true; }

void GettextBindDomain(const std::string& domain, const std::filesystem::path& folder)
{
    bindtextdomain(domain.c_str(), folder.c_str());
    // The process locale may name any code set (plain "C" means ASCII): ask
    // for UTF-8, the code page of every text on Linux.
    bind_textdomain_codeset(domain.c_str(), "UTF-8");
}

bool GettextSelectLanguages(const std::string& domain, const std::vector<std::string>& languages)
{
    // glibc goes through LANGUAGE's list for every domain on its own.
    std::string list;
    for (const std::string& language : languages)
        list += (list.empty() ? "" : ":") + language;
    // glibc ignores LANGUAGE while the message locale is "C"; C.UTF-8 is built
    // into glibc 2.35 and later and shipped by Debian and others before that.
    if (setlocale(LC_MESSAGES, "C.UTF-8") == nullptr && setlocale(LC_MESSAGES, "C.utf8") == nullptr) {
        Diagnostic("translation: the message locale C.UTF-8 is not available; texts stay in English");
        return false;
    }
    if (setenv("LANGUAGE", list.c_str(), 1) != 0) {
        Diagnostic(std::string("translation: cannot set LANGUAGE: ") + strerror(errno));
        return false;
    }
    // Naming the domain again tells glibc that its cached look-ups are stale.
    textdomain(domain.c_str());
    return true;
}

std::optional<std::string> GettextLookup(const std::string& domain, const std::string& msgid)
{
    const char* found = dgettext(domain.c_str(), msgid.c_str());
    // gettext hands back the msgid itself when it has no translation.
    if (found == nullptr || found == msgid.c_str())
        return std::nullopt;
    return std::string(found);
}

std::filesystem::path ExecutableFolder()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return std::filesystem::current_path(error);
    return exe.parent_path();
}

std::string UserDefaultLocale()
{
    // LANG is the caller's business; the other locale variables, in the order
    // the C library weighs them, say what the user chose.
    for (const char* name : {"LC_ALL", "LC_MESSAGES"}) {
        const char* value = getenv(name);
        if (value == nullptr || *value == '\0')
            continue;
        std::string locale(value);
        locale = locale.substr(0, locale.find_first_of(".@"));
        if (locale == "C" || locale == "POSIX")
            return {};
        return locale;
    }
    return {};
}

}  // namespace platform
