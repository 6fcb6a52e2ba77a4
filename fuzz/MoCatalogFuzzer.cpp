// The message catalog reader on any bytes. The input's first byte chooses the
// byte order; the magic number and a known revision are put in front of the
// rest, so that the runs reach the tables rather than stopping at the magic.
// A catalog is read whole or refused; nothing is read outside the bytes
// (the address sanitizer watches), and a catalog that was read answers
// look-ups.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/MoCatalog.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool bigEndian = (data[0] & 1) != 0;
    std::string bytes = bigEndian ? std::string("\x95\x04\x12\xDE\x00\x00\x00\x00", 8)
                                  : std::string("\xDE\x12\x04\x95\x00\x00\x00\x00", 8);
    bytes.append(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string error;
    const auto catalog = platform::MoCatalog::Parse(bytes, &error);
    if (!catalog) {
        if (error.empty())
            std::abort();  // a refusal always says why
        return 0;
    }
    // No more entries than the file's count of strings allows.
    if (bytes.size() >= 12) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data()) + 8;
        const std::uint32_t count = bigEndian ? (std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 |
                                                 std::uint32_t{b[2]} << 8 | b[3])
                                              : (std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 |
                                                 std::uint32_t{b[1]} << 8 | b[0]);
        if (catalog->Size() > count)
            std::abort();
    }
    (void)catalog->Find(std::string(bytes.data(), bytes.size() < 16 ? bytes.size() : 16));
    (void)catalog->Find("");
    return 0;
}
