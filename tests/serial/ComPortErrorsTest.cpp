#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "framework/Translation.h"
#include "platform/Codepage.h"
#include "serial/ComPortErrors.h"
#include "tests/framework/Catalogs.h"

namespace {

using tarvel_test::CatalogFolder;
using tarvel_test::ScopedEnvironment;

// The 23 texts exactly as the component must give them.
const char16_t* const EnglishTexts[] = {
    u"Unable to open com port",
    u"WriteFile function failed",
    u"ReadFile function failed",
    u"Invalid Async parameter",
    u"PurgeComm function failed",
    u"Unable to get async status",
    u"SetCommState function failed",
    u"SetCommTimeouts failed",
    u"SetupComm function failed",
    u"ClearCommError function failed",
    u"GetCommModemStatus function failed",
    u"EscapeCommFunction function failed",
    u"TransmitCommChar function failed",
    u"Cannot set property while connected",
    u"EnumPorts function failed",
    u"Failed to store settings",
    u"Failed to load settings",
    u"Link (un)registration failed",
    u"Cannot change led state if ComPort is selected",
    u"Cannot wait for event if event thread is created",
    u"WaitForEvent method failed",
    u"A component is linked to OnRxBuf event",
    u"Registry error",
};

// Starts every test from the program's start-up with no catalog at all.
class ComPortErrors : public ::testing::Test {
protected:
    void SetUp() override
    {
        env.Set("LANG", "de_DE.UTF-8");
        InitTranslation(catalogs.LocaleDir());
        InitSerialErrorTexts();
    }
    void TearDown() override
    {
        InitTranslation(catalogs.Root() / "nothing-here");
        FreeSerialErrorTexts();
    }

    ScopedEnvironment env;
    CatalogFolder catalogs;
};

TEST_F(ComPortErrors, WithoutACatalogEveryEntryIsItsEnglishText)
{
    static_assert(std::size(EnglishTexts) == TSerialErrorTexts::Count);
    for (int code = 1; code <= TSerialErrorTexts::Count; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(SerialErrorTexts[code], EnglishTexts[code - 1]);
        EXPECT_EQ(SerialErrorMessageId(code), EnglishTexts[code - 1]);
    }
    EXPECT_EQ(SerialErrorTexts[0], u"");
    EXPECT_EQ(SerialErrorTexts[24], u"");

    // The names select the texts they are named for.
    const std::pair<TComPortErrorCode, std::u16string_view> named[] = {
        {TComPortErrorCode::OpenFailed, u"Unable to open com port"},
        {TComPortErrorCode::InvalidAsyncParameter, u"Invalid Async parameter"},
        {TComPortErrorCode::ClearErrorFailed, u"ClearCommError function failed"},
        {TComPortErrorCode::SetWhileConnected, u"Cannot set property while connected"},
        {TComPortErrorCode::WaitWithEventThread, u"Cannot wait for event if event thread is created"},
        {TComPortErrorCode::RegistryError, u"Registry error"},
    };
    for (const auto& [code, text] : named) {
        EXPECT_EQ(SerialErrorTexts[code], text);
        EXPECT_EQ(SerialErrorMessageId(code), text);
    }
}

TEST_F(ComPortErrors, MessagesWithAndWithoutAnOsCode)
{
    struct Case {
        int code;
        std::optional<int> winErrorCode;
        const char* message;
    };
    const Case cases[] = {
        {14, std::nullopt, "Cannot set property while connected"},
        {4, std::nullopt, "Invalid Async parameter"},
        {18, std::nullopt, "Link (un)registration failed"},
        {10, 0, "ClearCommError function failed (win error code: 0)"},
        {10, 5, "ClearCommError function failed (win error code: 5)"},
        {1, 1167, "Unable to open com port (win error code: 1167)"},
        {23, -2147024891, "Registry error (win error code: -2147024891)"},  // 0x80070005 as a signed code
        {0, std::nullopt, ""},                                              // no entry 0: an empty text, no crash
        {24, 2, " (win error code: 2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const auto code = static_cast<TComPortErrorCode>(c.code);
        const EComPort e = c.winErrorCode ? EComPort(code, *c.winErrorCode) : EComPort(code);
        EXPECT_EQ(e.Message(), c.message);
        EXPECT_STREQ(e.what(), c.message);
        EXPECT_EQ(e.ErrorCode(), c.code);
        EXPECT_EQ(e.WinErrorCode(), c.winErrorCode.value_or(-1));
    }
}

TEST_F(ComPortErrors, CaughtAsTheFrameworkException)
{
    try {
        throw EComPort(TComPortErrorCode::SetWhileConnected);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot set property while connected");
        EXPECT_EQ(e.HelpContext(), 0);
        return;
    }
    FAIL() << "EComPort is not an Exception";
}

TEST_F(ComPortErrors, EmptyBeforeStartUpAndAfterShutDown)
{
    FreeSerialErrorTexts();
    for (int code = 1; code <= TSerialErrorTexts::Count; ++code)
        EXPECT_EQ(SerialErrorTexts[code], u"") << code;
    EXPECT_EQ(EComPort(TComPortErrorCode::SetWhileConnected).Message(), "");
}

class TranslatedComPortErrors : public ComPortErrors {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TranslationAvailable());
        ASSERT_TRUE(catalogs.Add("de", "default",
                                 {{"Unable to open com port", "Schnittstelle lässt sich nicht öffnen"},
                                  {"Registry error", "Registry error 100% %d %s %n"},
                                  {" (win error code: %d)", " (Windows-Fehler %d, 100%%)"}}));
        ASSERT_TRUE(
            catalogs.Add("de", "comport", {{"Cannot assign a %s to a %s", "%s kann keinem %s zugewiesen werden"}}));
        ComPortErrors::SetUp();
        ASSERT_EQ(TranslationLanguage(), "de");
    }
    void TearDown() override
    {
        if (!IsSkipped())
            ComPortErrors::TearDown();
    }
};

TEST_F(TranslatedComPortErrors, TableTextsAreTranslatedOnceTheSuffixEachTime)
{
    EXPECT_EQ(SerialErrorTexts[1], u"Schnittstelle lässt sich nicht öffnen");
    EXPECT_EQ(SerialErrorTexts[14], u"Cannot set property while connected");  // no translation: unchanged

    // Messages are 8-bit in the system's code page (UTF-8 on Linux, the ANSI code page on Windows).
    EXPECT_EQ(platform::CodePageToWide(EComPort(TComPortErrorCode::OpenFailed).Message()),
              u"Schnittstelle lässt sich nicht öffnen");
    EXPECT_EQ(platform::CodePageToWide(EComPort(TComPortErrorCode::OpenFailed, 2).Message()),
              u"Schnittstelle lässt sich nicht öffnen (Windows-Fehler 2, 100%)");
#ifndef _WIN32
    EXPECT_EQ(EComPort(TComPortErrorCode::OpenFailed).Message(), "Schnittstelle lässt sich nicht öffnen");
#endif

    // A later change of language leaves the table alone; the suffix follows.
    env.Set("LANG", "fr_FR.UTF-8");
    InitTranslation(catalogs.LocaleDir());
    EXPECT_EQ(platform::CodePageToWide(EComPort(TComPortErrorCode::OpenFailed, 2).Message()),
              u"Schnittstelle lässt sich nicht öffnen (win error code: 2)");
}

TEST_F(TranslatedComPortErrors, APercentInATranslatedTableTextIsPlainText)
{
    // Only the suffix is a template: the catalog's "%d %s %n" is shown as it is.
    EXPECT_EQ(EComPort(TComPortErrorCode::RegistryError).Message(), "Registry error 100% %d %s %n");
    EXPECT_EQ(EComPort(TComPortErrorCode::RegistryError, 5).Message(),
              "Registry error 100% %d %s %n (Windows-Fehler 5, 100%)");
}

TEST_F(TranslatedComPortErrors, StartUpAddsTheComportDomainForConversionErrors)
{
    EXPECT_EQ(TranslateResource("Cannot assign a %s to a %s"), "%s kann keinem %s zugewiesen werden");
}

}  // namespace
