#pragma once
// The value forms of a stored form description: booleans True and False,
// integers, texts in single quotes (a quote inside written twice) and
// enumeration members by name. A text that is not such a value raises
// EStoredValue naming it.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/Exception.h"

class EStoredValue : public Exception {
public:
    using Exception::Exception;
};

bool StoredBoolean(std::string_view Value);
std::int32_t StoredInteger(std::string_view Value);
std::string StoredText(std::string_view Value);

// The member whose name (in ordinal order in Names) is Value.
template <typename E, std::size_t N>
E StoredMember(const std::array<std::string_view, N>& Names, std::string_view Value)
{
    for (std::size_t i = 0; i < N; ++i)
        if (Names[i] == Value)
            return static_cast<E>(i);
    throw EStoredValue("unknown value " + std::string(Value));
}
