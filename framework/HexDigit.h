#pragma once
// One hexadecimal digit's value: 0-15 for 0-9, A-F and a-f, -1 for any other
// character. For the frame checks, the card formats and the test tools alike.

constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
