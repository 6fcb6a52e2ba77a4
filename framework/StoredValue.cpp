#include "framework/StoredValue.h"

#include <charconv>

bool StoredBoolean(std::string_view Value)
{
    if (Value == "True")
        return true;
    if (Value == "False")
        return false;
    throw EStoredValue("not a boolean: " + std::string(Value));
}

std::int32_t StoredInteger(std::string_view Value)
{
    std::int32_t result = 0;
    const auto [end, error] = std::from_chars(Value.data(), Value.data() + Value.size(), result);
    if (error != std::errc() || end != Value.data() + Value.size() || Value.empty())
        throw EStoredValue("not an integer: " + std::string(Value));
    return result;
}

std::string StoredText(std::string_view Value)
{
    if (Value.size() < 2 || Value.front() != '\'' || Value.back() != '\'')
        throw EStoredValue("not a quoted text: " + std::string(Value));
    // Inside the quotes a quote is written twice.
    std::string text;
    for (std::size_t i = 1; i + 1 < Value.size(); ++i) {
        text += Value[i];
        if (Value[i] == '\'') {
            if (i + 2 >= Value.size() || Value[i + 1] != '\'')
                throw EStoredValue("a lone quote in " + std::string(Value));
            ++i;
        }
    }
    return text;
}
