// TextToInt32 and TextToInt64 on any bytes, checked against a reference
// built on std::from_chars: both must accept exactly the same texts with the
// same values, and refuse the others with the conversion error naming the
// whole text.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "framework/IntegerText.h"
#include "framework/Exception.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// The accepted grammar, written out plainly: blanks, one sign, a prefix,
// digits that from_chars reads completely.
template <typename Signed, typename Unsigned>
std::optional<Signed> Reference(const std::string& text)
{
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos)
        return std::nullopt;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    std::string rest = text.substr(i);
    int base = 10;
    for (const char* prefix : {"0x", "0X", "$", "x", "X"}) {
        if (rest.rfind(prefix, 0) == 0) {
            base = 16;
            rest.erase(0, std::string(prefix).size());
            break;
        }
    }
    if (rest.empty())
        return std::nullopt;
    // from_chars takes no sign, blank or prefix of its own here.
    for (const char c : rest) {
        const bool dec = c >= '0' && c <= '9';
        const bool hex = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!dec && !(base == 16 && hex))
            return std::nullopt;
    }
    const char* first = rest.data();
    const char* last = first + rest.size();
    if (base == 10) {
        const std::string signedText = (negative ? "-" : "") + rest;
        Signed v{};
        const auto res = std::from_chars(signedText.data(), signedText.data() + signedText.size(), v, 10);
        if (res.ec != std::errc() || res.ptr != signedText.data() + signedText.size())
            return std::nullopt;
        return v;
    }
    Unsigned u{};
    const auto res = std::from_chars(first, last, u, 16);
    if (res.ec != std::errc() || res.ptr != last)
        return std::nullopt;
    if (negative)
        u = static_cast<Unsigned>(0 - u);
    return static_cast<Signed>(u);
}

template <typename Signed, typename Unsigned, typename Convert>
void CrossCheck(const std::string& text, Convert convert)
{
    const std::optional<Signed> expected = Reference<Signed, Unsigned>(text);
    std::optional<Signed> got;
    try {
        got = convert(text);
    } catch (const EConvertError& e) {
        Check(e.Message() == "'" + text + "' is not a valid integer value");
    }
    Check(got == expected);
    // A value's own decimal text converts back to it.
    if (got)
        Check(convert(std::to_string(*got)) == *got);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CrossCheck<std::int32_t, std::uint32_t>(text, TextToInt32);
    CrossCheck<std::int64_t, std::uint64_t>(text, TextToInt64);
    return 0;
}
