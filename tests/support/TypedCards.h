#pragma once
// The cards the system keyboard tests type into a real window, with what the
// window must receive: the same table for the X11 and the Windows keyboard.

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel_test {

struct TypedCard {
    const char* what;
    std::int32_t format;
    std::int32_t fill;
    std::uint8_t autoEnter;
    std::string frame;
    std::string expected;
};

inline const std::vector<TypedCard>& CardsToType()
{
    static const std::vector<TypedCard> cards = {
        {"format 10 card with Enter", 10, 10, 1,
         "\x02"
         "00AABBCCDDEE"
         "\x03",
         "00187\t52445\n"},
        {"lower-case hex on the letter keys", 9, 10, 1,
         "\x02"
         "00aabbccdd1E\r\n\x03",
         "00aabbccdd\n"},
        {"minus sign, no Enter", 2, 11, 0,
         "\x02"
         "0000000008"
         "\x03",
         "-2147483648"},
    };
    return cards;
}

}  // namespace tarvel_test
