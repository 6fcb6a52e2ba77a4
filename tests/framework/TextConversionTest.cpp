// UTF-16 <-> UTF-8, which the translation layer uses between catalogs and
// wide texts. Broken input must not crash or swallow the text around it.

#include <gtest/gtest.h>

#include <string>

#include "platform/Codepage.h"

namespace {

TEST(TextConversion, WideAndUtf8BothWays)
{
    struct Case {
        const char* what;
        std::u16string wide;
        std::string utf8;
    };
    const Case cases[] = {
        {"empty", u"", ""},
        {"ASCII", u"Registry error (win error code: %d)", "Registry error (win error code: %d)"},
        {"two bytes", u"lässt", "l\xC3\xA4sst"},
        {"three bytes", u"\u20AC", "\xE2\x82\xAC"},
        {"surrogate pair, four bytes", u"\U0001D11E", "\xF0\x9D\x84\x9E"},
        {"embedded NUL", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(platform::WideToUtf8(c.wide), c.utf8);
        EXPECT_EQ(platform::Utf8ToWide(c.utf8), c.wide);
    }
}

TEST(TextConversion, BrokenInputBecomesReplacementCharacters)
{
    const struct {
        const char* what;
        std::string utf8;
        std::u16string wide;
    } fromUtf8[] = {
        {"stray continuation byte", "a\x80z", u"a\uFFFDz"},
        {"sequence cut short", "a\xE2\x82z", u"a\uFFFDz"},
        {"sequence cut by the end", "a\xF0\x9D", u"a\uFFFD"},
        {"overlong slash", "\xC0\xAF", u"\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
        {"invalid lead byte", "\xFF", u"\uFFFD"},
    };
    for (const auto& c : fromUtf8) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(platform::Utf8ToWide(c.utf8), c.wide);
    }

    const struct {
        const char* what;
        std::u16string wide;
        std::string utf8;
    } fromWide[] = {
        {"lone high surrogate", std::u16string{u'a', char16_t(0xD834), u'z'}, "a\xEF\xBF\xBDz"},
        {"lone low surrogate", std::u16string{char16_t(0xDD1E)}, "\xEF\xBF\xBD"},
        {"high surrogate at the end", std::u16string{u'a', char16_t(0xD834)}, "a\xEF\xBF\xBD"},
    };
    for (const auto& c : fromWide) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(platform::WideToUtf8(c.wide), c.utf8);
    }
}

}  // namespace
