// The value rules shared by the INI back ends; see IniValue.h.

#include "platform/IniValue.h"

namespace platform {
namespace {

bool IsTrimmed(char c)
{
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

}  // namespace

std::string ProtectIniValue(const std::string& value)
{
    if (value.empty())
        return value;
    const char first = value.front();
    const char last = value.back();
    const bool quoted = value.size() >= 2 && IsQuote(first) && last == first;
    if (IsTrimmed(first) || IsTrimmed(last) || quoted)
        return '"' + value + '"';
    return value;
}

std::string IniValueProblem(const std::string& value)
{
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return "a line break or a zero byte cannot be stored in an INI file";
    return {};
}

}  // namespace platform
