#pragma once
// Text conversions between UTF-16 (the wide strings of the serial error
// table and of wide translation look-ups), UTF-8 (what the message catalogs
// hold) and the system's 8-bit code page (every other text in tarvel).
//
// The 8-bit code page is the ANSI code page on Windows and UTF-8 on Linux.
// No conversion fails: what cannot be represented becomes the code page's
// replacement ('?' in an ANSI code page, U+FFFD in UTF-8 and UTF-16).

#include <string>
#include <string_view>

namespace platform {

// UTF-16 to the system's 8-bit code page (WideCharToMultiByte(CP_ACP) on
// Windows, UTF-8 on Linux).
std::string WideToCodePage(std::u16string_view text);

// The system's 8-bit code page to UTF-16.
std::u16string CodePageToWide(std::string_view text);

// UTF-16 <-> UTF-8, the same on every system. A lone surrogate or a broken
// UTF-8 sequence becomes U+FFFD.
std::string WideToUtf8(std::u16string_view text);
std::u16string Utf8ToWide(std::string_view text);

}  // namespace platform
