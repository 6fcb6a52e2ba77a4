#include "tools/reader/Frames.h"

#include <array>

#include "framework/HexDigit.h"

namespace reader {
namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

struct StyleEntry {
    FrameStyle style;
    const char* name;
};

constexpr std::array<StyleEntry, 5> kStyles{{
    {FrameStyle::Field, "field"},
    {FrameStyle::Bare, "bare"},
    {FrameStyle::Raw, "raw"},
    {FrameStyle::Bytes, "bytes"},
    {FrameStyle::Noise, "noise"},
}};

// The most noise one item gives.
constexpr std::size_t kMostNoise = 1000000;

bool AllHex(std::string_view text)
{
    for (char c : text) {
        if (HexDigitValue(c) < 0)
            return false;
    }
    return true;
}

// The text in double quotes with control and non-ASCII bytes written as
// \xHH, so that an error message shows on one line what was given.
std::string Quoted(std::string_view text)
{
    static const char* const digits = "0123456789ABCDEF";
    std::string out = "\"";
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 0x0F];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

void AppendHexByte(std::string& out, std::uint8_t value, bool lowerCase)
{
    const char* const digits = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
    out += digits[value >> 4];
    out += digits[value & 0x0F];
}

std::uint32_t HexToUint(std::string_view digits)
{
    std::uint32_t value = 0;
    for (char c : digits)
        value = (value << 4) | static_cast<std::uint32_t>(HexDigitValue(c));
    return value;
}

std::string FieldFromItem(std::string_view value, const FrameOptions& options)
{
    if ((value.size() != 8 && value.size() != 10) || !AllHex(value)) {
        throw FrameError("bad field card " + Quoted(value) +
                         ": give 8 hex digits of card, or 10 with the version byte first");
    }
    FrameOptions chosen = options;
    if (value.size() == 10) {
        chosen.versionByte = static_cast<std::uint8_t>(HexToUint(value.substr(0, 2)));
        value.remove_prefix(2);
    }
    return FieldFrame(chosen.versionByte, HexToUint(value), chosen);
}

std::string BareFromItem(std::string_view value, const FrameOptions& options)
{
    if (value.empty() || !AllHex(value)) {
        throw FrameError("bad bare card " + Quoted(value) + ": give one or more hex digits");
    }
    std::string frame(value);
    if (options.crlf)
        frame += "\r\n";
    return frame;
}

}  // namespace

const char* StyleName(FrameStyle style)
{
    for (const auto& entry : kStyles) {
        if (entry.style == style)
            return entry.name;
    }
    return "field";
}

FrameStyle StyleFromName(std::string_view name)
{
    for (const auto& entry : kStyles) {
        if (name == entry.name)
            return entry.style;
    }
    throw FrameError("unknown frame style " + Quoted(name) + ": use field, bare, raw, bytes or noise");
}

std::uint8_t FieldChecksum(std::uint8_t version, std::uint32_t card)
{
    std::uint8_t sum = version;
    for (int shift = 24; shift >= 0; shift -= 8)
        sum ^= static_cast<std::uint8_t>(card >> shift);
    return sum;
}

std::string FieldFrame(std::uint8_t version, std::uint32_t card, const FrameOptions& options)
{
    std::string frame(1, kStx);
    AppendHexByte(frame, version, options.lowerCase);
    for (int shift = 24; shift >= 0; shift -= 8) {
        AppendHexByte(frame, static_cast<std::uint8_t>(card >> shift), options.lowerCase);
    }
    const std::uint8_t sum = FieldChecksum(version, card);
    AppendHexByte(frame, options.badChecksum ? static_cast<std::uint8_t>(~sum) : sum, options.lowerCase);
    if (options.crlf)
        frame += "\r\n";
    frame += kEtx;
    return frame;
}

std::string NoiseBytes(std::size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string noise;
    noise.reserve(count);
    std::uint32_t state = 0x2545F491;  // xorshift: cheap, and the same every time
    for (std::size_t i = 0; i < count; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        noise += digits[state & 0x0F];
    }
    return noise;
}

std::string ParseEscapes(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 >= text.size()) {
            throw FrameError("bad raw bytes " + Quoted(text) + ": a lone \\ at the end (write \\\\ for a backslash)");
        }
        const char e = text[++i];
        switch (e) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x':
            if (i + 2 >= text.size() || HexDigitValue(text[i + 1]) < 0 || HexDigitValue(text[i + 2]) < 0) {
                throw FrameError("bad raw bytes " + Quoted(text) + ": \\x needs two hex digits");
            }
            out += static_cast<char>(HexToUint(text.substr(i + 1, 2)));
            i += 2;
            break;
        default:
            throw FrameError("bad raw bytes " + Quoted(text) + ": unknown escape \\" + std::string(1, e) +
                             " (use \\r \\n \\t \\0 \\\\ or \\xHH)");
        }
    }
    return out;
}

std::string ParseHexBytes(std::string_view text)
{
    std::string out;
    int high = -1;
    for (char c : text) {
        const int v = HexDigitValue(c);
        if (v >= 0) {
            if (high < 0) {
                high = v;
            } else {
                out += static_cast<char>((high << 4) | v);
                high = -1;
            }
        } else if ((c == ' ' || c == '\t' || c == ':' || c == '-') && high < 0) {
            continue;
        } else {
            throw FrameError("bad bytes " + Quoted(text) +
                             ": give hex pairs such as \"02 41 03\" (blanks, ':' or '-' between pairs)");
        }
    }
    if (high >= 0) {
        throw FrameError("bad bytes " + Quoted(text) + ": odd number of hex digits");
    }
    return out;
}

std::string HexDump(std::string_view bytes)
{
    std::string out;
    for (char c : bytes) {
        if (!out.empty())
            out += ' ';
        AppendHexByte(out, static_cast<std::uint8_t>(c), false);
    }
    return out;
}

std::string BuildFrame(std::string_view item, FrameStyle defaultStyle, const FrameOptions& options)
{
    FrameStyle style = defaultStyle;
    std::string_view value = item;
    const auto colon = item.find(':');
    // Hex text never holds a colon, so a colon in the first word is a prefix
    // (the bytes style's own colons come after its prefix or not at all).
    if (colon != std::string_view::npos) {
        const std::string_view prefix = item.substr(0, colon);
        bool known = false;
        for (const auto& entry : kStyles) {
            if (prefix == entry.name) {
                style = entry.style;
                known = true;
            }
        }
        if (known) {
            value = item.substr(colon + 1);
        } else if (defaultStyle != FrameStyle::Raw && defaultStyle != FrameStyle::Bytes) {
            throw FrameError("unknown frame style " + Quoted(prefix) + " in card " + Quoted(item) +
                             ": use field:, bare:, raw:, bytes: or noise:");
        }
    }

    switch (style) {
    case FrameStyle::Field:
        return FieldFromItem(value, options);
    case FrameStyle::Bare:
        return BareFromItem(value, options);
    case FrameStyle::Noise: {
        std::size_t count = 0;
        bool ok = !value.empty() && value.size() <= 7;
        for (const char c : value) {
            ok = ok && c >= '0' && c <= '9';
            if (ok)
                count = count * 10 + static_cast<std::size_t>(c - '0');
        }
        if (!ok || count == 0 || count > kMostNoise) {
            throw FrameError("bad noise " + Quoted(value) + ": give a count of bytes from 1 to " +
                             std::to_string(kMostNoise));
        }
        return NoiseBytes(count);
    }
    case FrameStyle::Raw:
    case FrameStyle::Bytes: {
        std::string bytes = style == FrameStyle::Raw ? ParseEscapes(value) : ParseHexBytes(value);
        if (bytes.empty())
            throw FrameError("empty card " + Quoted(item) + ": nothing to send");
        return bytes;
    }
    }
    return {};
}

}  // namespace reader
