// The one escaper of diagnostic lines: printable ASCII as it is, every other
// byte as \xHH, so that no quoted text breaks a line or reaches a terminal as
// a control sequence.

#include <gtest/gtest.h>

#include <string>

#include "platform/Diagnostics.h"

namespace {

TEST(Printable, EscapesEveryByteOutsidePrintableAscii)
{
    const struct {
        const char* what;
        std::string text;
        std::string expected;
    } cases[] = {
        {"empty", "", ""},
        {"the printable edges", " ~", " ~"},
        {"a backslash stays one backslash", "\\\\.\\COM1", "\\\\.\\COM1"},
        {"below space",
         std::string("a\x1F"
                     "b"),
         "a\\x1Fb"},
        {"line breaks", "a\r\nb", "a\\x0D\\x0Ab"},
        {"a NUL inside", std::string("a\0b", 3), "a\\x00b"},
        {"DEL", "\x7F", "\\x7F"},
        {"C1 controls and the top byte", "\x80\x9B\xFF", "\\x80\\x9B\\xFF"},
        {"UTF-8 bytes one by one", "caf\xC3\xA9", "caf\\xC3\\xA9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::Printable(c.text), c.expected) << c.what;
}

}  // namespace
