// Windows: the 8-bit code page is the ANSI code page (CP_ACP).
#include <windows.h>

#include <climits>

#include "platform/Codepage.h"

namespace platform {

std::string WideToCodePage(std::u16string_view text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int wideLength = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, wide, wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, wideLength, out.data(), length, nullptr, nullptr);
    return out;
}

std::u16string CodePageToWide(std::string_view text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int narrowLength = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), narrowLength, nullptr, 0);
    if (length <= 0)
        return {};
    std::u16string out(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), narrowLength, reinterpret_cast<wchar_t*>(out.data()), length);
    return out;
}

}  // namespace platform
