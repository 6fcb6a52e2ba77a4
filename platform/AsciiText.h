#pragma once
// Texts compared as the system compares names and keywords: letters A-Z and
// a-z alike, every other byte only equal to itself (no locale).

#include <cstddef>
#include <string_view>

namespace platform {

constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

constexpr bool SameAsciiText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i]))
            return false;
    return true;
}

}  // namespace platform
