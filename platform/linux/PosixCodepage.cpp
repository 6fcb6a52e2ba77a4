// Linux: the 8-bit code page is UTF-8.
#include "platform/Codepage.h"

namespace platform {

std::string WideToCodePage(std::u16string_view text) { return WideToUtf8(text); }

std::u16string CodePageToWide(std::string_view text) { return Utf8ToWide(text); }

}  // namespace platform
