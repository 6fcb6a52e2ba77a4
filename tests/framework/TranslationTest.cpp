// The translation layer with real catalogs made by msgfmt. None of it may
// depend on the locales the system has installed: the languages used here
// (de_DE, de_AT, zz_ZZ) need not exist as system locales, and zz_ZZ exists
// nowhere.

#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <string>
#include <vector>

#include "framework/Exception.h"
#include "framework/Persistent.h"
#include "framework/Translation.h"
#include "platform/Codepage.h"
#include "platform/Diagnostics.h"
#include "tests/framework/Catalogs.h"

namespace {

using tarvel_test::CatalogFolder;
using tarvel_test::ScopedEnvironment;

class TranslationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TranslationAvailable());
        for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            env.Set(name, std::nullopt);
#ifndef _WIN32
        const char* messages = std::setlocale(LC_MESSAGES, nullptr);
        savedMessageLocale = messages != nullptr ? messages : "C";
#endif
        platform::SetDiagnosticSink([this](const std::string& line) { diagnostics.push_back(line); });
    }

    void TearDown() override
    {
        if (IsSkipped())
            return;
        platform::SetDiagnosticSink({});
        // Leave the layer handing texts back unchanged for the tests that follow.
        env.Set("LANG", std::nullopt);
        env.Set("LC_ALL", std::nullopt);
        InitTranslation(catalogs.Root() / "nothing-here");
#ifndef _WIN32
        std::setlocale(LC_MESSAGES, savedMessageLocale.c_str());
#endif
    }

    // A default.mo in each folder translating "Registry error" to a text
    // naming the folder, so the test can tell which catalog answered.
    void AddRegistryCatalogs(CatalogFolder& folder, const std::vector<std::string>& languages)
    {
        for (const std::string& language : languages)
            ASSERT_TRUE(folder.Add(language, "default", {{"Registry error", RegistryText(language)}}));
    }

    static std::string RegistryText(const std::string& language)
    {
        return language.empty() ? "Registry error" : "Registrierungsfehler [" + language + "]";
    }

    ScopedEnvironment env;
    CatalogFolder catalogs;
    std::vector<std::string> diagnostics;
    std::string savedMessageLocale;
};

TEST_F(TranslationTest, ChoosesTheCatalogFromLangOrTheUserDefaultLocale)
{
    struct Case {
        const char* what;
        std::optional<std::string> lang;
        std::optional<std::string> lcAll;          // stands for the user's default locale on Linux
        std::vector<std::string> withDefault;      // folders holding default.mo
        std::vector<std::string> withComportOnly;  // folders holding only comport.mo
        std::string expected;                      // the folder used; empty: English
        bool refused;
    };
    const Case cases[] = {
        {"de_DE found", "de_DE.UTF-8", {}, {"de_DE", "de"}, {}, "de_DE", false},
        {"de_DE falls back to de", "de_DE.UTF-8", {}, {"de"}, {}, "de", false},
        {"other country, same language", "de_AT", {}, {"de_DE", "de"}, {}, "de", false},
        {"modifier kept", "de_DE@euro", {}, {"de_DE@euro", "de"}, {}, "de_DE@euro", false},
        {"modifier after the code set is cut", "de_DE.ISO-8859-15@euro", {}, {"de_DE", "de"}, {}, "de_DE", false},
        {"a language no system has", "zz_ZZ.UTF-8", {}, {"zz_ZZ"}, {}, "zz_ZZ", false},
        {"none found gives English", "fr_FR.UTF-8", {}, {"de_DE", "de"}, {}, "", false},
        {"a folder without default.mo does not count", "de_DE", {}, {"de"}, {"de_DE"}, "de", false},
        {"only comport.mo gives English", "de_DE", {}, {}, {"de_DE", "de"}, "", false},
        {"C locale", "C.UTF-8", {}, {"de"}, {}, "", false},
        {"empty LANG: the user's default locale", "", "de_DE.UTF-8", {"de"}, {}, "de", false},
        {"unset LANG: the user's default locale", {}, "de_DE.UTF-8", {"de_DE"}, {}, "de_DE", false},
        {"LANG wins over the user's default locale", "zz_ZZ", "de_DE.UTF-8", {"de", "zz"}, {}, "zz", false},
        {"no language at all", {}, {}, {"de"}, {}, "", false},
        {"path climbing out of the locale folder", "../evil", {}, {"de"}, {}, "", true},
        {"path cut at the dot", "de/../../evil", {}, {"de"}, {}, "", true},
        {"absolute path", "/tmp", {}, {"de"}, {}, "", true},
        {"blank inside", "de DE", {}, {"de"}, {}, "", true},
        {"nothing before the dot", ".UTF-8", {}, {"de"}, {}, "", true},
        {"user's default locale refused too", "", "de/../x", {"de"}, {}, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
#ifdef _WIN32
        // LC_ALL stands for the user's default locale only on Linux; Windows
        // asks the system, which a test cannot set.
        if (c.lcAll)
            continue;
#endif
        CatalogFolder folder;
        AddRegistryCatalogs(folder, c.withDefault);
        for (const std::string& language : c.withComportOnly)
            ASSERT_TRUE(folder.Add(language, "comport", {{"Registry error", "falsch"}}));
        // A catalog outside the locale folder that the refused paths point at.
        ASSERT_TRUE(folder.Make(folder.Root() / "evil" / "LC_MESSAGES", "default", {{"Registry error", "evil"}}));
        env.Set("LANG", c.lang);
        env.Set("LC_ALL", c.lcAll);
        diagnostics.clear();

        InitTranslation(folder.LocaleDir());

        EXPECT_EQ(TranslationLanguage(), c.expected);
        EXPECT_EQ(Translate("Registry error"), RegistryText(c.expected));
        EXPECT_EQ(Translate("Not in any catalog"), "Not in any catalog");
        if (c.refused) {
            ASSERT_EQ(diagnostics.size(), 1u);
            EXPECT_NE(diagnostics[0].find("refused"), std::string::npos) << diagnostics[0];
        } else {
            EXPECT_TRUE(diagnostics.empty()) << diagnostics.front();
        }
    }
}

TEST_F(TranslationTest, TheLastInitialisationWins)
{
    AddRegistryCatalogs(catalogs, {"de_DE", "de"});
    const std::pair<const char*, std::string> steps[] = {
        {"de_DE.UTF-8", "de_DE"}, {"fr_FR", ""}, {"de_CH", "de"}, {"de_DE", "de_DE"}};
    for (const auto& [lang, expected] : steps) {
        SCOPED_TRACE(lang);
        env.Set("LANG", lang);
        InitTranslation(catalogs.LocaleDir());
        EXPECT_EQ(Translate("Registry error"), RegistryText(expected));
    }
}

TEST_F(TranslationTest, WideAndNonAsciiTexts)
{
    ASSERT_TRUE(catalogs.Add("de", "default",
                             {{"Unable to open com port", "Schnittstelle lässt sich nicht öffnen"},
                              {"Registry error", "Fehler in der Registrierung: Ω 𝄞"}}));
    env.Set("LANG", "de_DE.UTF-8");
    InitTranslation(catalogs.LocaleDir());

    EXPECT_EQ(TranslateWide(u"Unable to open com port"), u"Schnittstelle lässt sich nicht öffnen");
    EXPECT_EQ(TranslateWide(u"Registry error"), u"Fehler in der Registrierung: Ω 𝄞");
    EXPECT_EQ(TranslateWide(u"Unübersetzt"), u"Unübersetzt");
#ifndef _WIN32
    // Linux's 8-bit code page is UTF-8.
    EXPECT_EQ(Translate("Unable to open com port"), "Schnittstelle lässt sich nicht öffnen");
#endif
}

class TSample : public TPersistent {
public:
    std::string ClassName() const override { return "TSample"; }
};

class TOther : public TPersistent {
public:
    std::string ClassName() const override { return "TOther"; }
};

std::string AssignMessage()
{
    TSample sample;
    TOther other;
    try {
        sample.Assign(&other);
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return "no EConvertError";
}

std::string InvalidIntegerMessage()
{
    try {
        RaiseInvalidInteger("12x");
    } catch (const EConvertError& e) {
        return e.Message();
    }
    return "no EConvertError";
}

TEST_F(TranslationTest, ConversionErrorsAreLookedUpInDefaultThenComport)
{
    ASSERT_TRUE(catalogs.Add("de", "comport",
                             {{"Cannot assign a %s to a %s", "%s kann keinem %s zugewiesen werden"},
                              {"'%s' is not a valid integer value", "comport: '%s' ist keine Zahl"}}));
    ASSERT_TRUE(
        catalogs.Add("de", "default", {{"'%s' is not a valid integer value", "'%s' ist keine gültige Ganzzahl"}}));
    env.Set("LANG", "de_DE.UTF-8");
    InitTranslation(catalogs.LocaleDir());
    AddResourceDomain("comport");

    // From "comport": "default" has no translation of it.
    EXPECT_EQ(AssignMessage(), "TOther kann keinem TSample zugewiesen werden");
    // "default" answers first (in the system's 8-bit code page).
    EXPECT_EQ(platform::CodePageToWide(InvalidIntegerMessage()), u"'12x' ist keine gültige Ganzzahl");
    // The application's own look-up stays in "default".
    EXPECT_EQ(Translate("Cannot assign a %s to a %s"), "Cannot assign a %s to a %s");
    EXPECT_EQ(TranslateResource("Not in any catalog"), "Not in any catalog");
}

TEST_F(TranslationTest, EachDomainFindsItsOwnCatalog)
{
    // "default" and "comport" each go through the language, then its first
    // two characters, on their own: where one domain's catalog lies says
    // nothing about where the other's does.
    struct Case {
        const char* what;
        std::vector<std::string> withDefault;  // folders holding default.mo
        std::vector<std::string> withComport;  // folders holding comport.mo
        std::string defaultFrom;               // folder expected to answer; empty: English
        std::string comportFrom;
    };
    const Case cases[] = {
        {"default in de, comport in de_DE", {"de"}, {"de_DE"}, "de", "de_DE"},
        {"default in de_DE, comport in de", {"de_DE"}, {"de"}, "de_DE", "de"},
        {"only comport", {}, {"de"}, "", "de"},
        {"only comport, full language", {}, {"de_DE"}, "", "de_DE"},
        {"comport in both: the full language first", {"de"}, {"de_DE", "de"}, "de", "de_DE"},
        {"only default", {"de_DE"}, {}, "de_DE", ""},
        {"neither", {}, {}, "", ""},
    };
    const std::string assign = "Cannot assign a %s to a %s";
    const auto comportText = [&](const std::string& from) { return from.empty() ? assign : "zuweisen [" + from + "]"; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CatalogFolder folder;
        AddRegistryCatalogs(folder, c.withDefault);
        for (const std::string& language : c.withComport)
            ASSERT_TRUE(folder.Add(language, "comport", {{assign, comportText(language)}}));
        env.Set("LANG", "de_DE.UTF-8");

        // The program's order: the translation first, then the component adds its domain.
        InitTranslation(folder.LocaleDir());
        AddResourceDomain("comport");

        EXPECT_EQ(TranslationLanguage(), c.defaultFrom);
        EXPECT_EQ(Translate("Registry error"), RegistryText(c.defaultFrom));
        EXPECT_EQ(TranslateResource("Registry error"), RegistryText(c.defaultFrom));
        EXPECT_EQ(TranslateResource(assign), comportText(c.comportFrom));
        // The application's own look-up stays in "default".
        EXPECT_EQ(Translate(assign), assign);

        // A later initialisation looks again for every domain added so far.
        InitTranslation(folder.LocaleDir());
        EXPECT_EQ(TranslateResource(assign), comportText(c.comportFrom));
    }
}

TEST(TranslationWithoutCatalogs, TextsComeBackUnchanged)
{
    ScopedEnvironment env;
    env.Set("LANG", "de_DE.UTF-8");
    CatalogFolder empty;
    InitTranslation(empty.LocaleDir());
    EXPECT_EQ(TranslationLanguage(), "");
    EXPECT_EQ(Translate("Registry error"), "Registry error");
    EXPECT_EQ(TranslateWide(u"Registry error"), u"Registry error");
    EXPECT_EQ(TranslateResource("Cannot assign a %s to a %s"), "Cannot assign a %s to a %s");
}

}  // namespace
