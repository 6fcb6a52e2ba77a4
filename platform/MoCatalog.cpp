#include "platform/MoCatalog.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace platform {

namespace {

constexpr std::uint32_t Magic = 0x950412DEu;
constexpr std::uint32_t MagicSwapped = 0xDE120495u;
constexpr std::uintmax_t MaxFileSize = 16u * 1024u * 1024u;

std::uint32_t ReadWord(std::string_view bytes, std::size_t at, bool bigEndian)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(bigEndian ? i : 3 - i)]);
        value = (value << 8) | byte;
    }
    return value;
}

bool Fail(std::string* error, const std::string& reason)
{
    if (error != nullptr)
        *error = reason;
    return false;
}

// The charset the header names, lower case; empty when it names none.
std::string HeaderCharset(const std::string& header)
{
    std::string lower;
    std::transform(header.begin(), header.end(), std::back_inserter(lower),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    const std::size_t line = lower.find("content-type:");
    if (line == std::string::npos)
        return {};
    const std::size_t end = lower.find('\n', line);
    const std::size_t key = lower.find("charset=", line);
    if (key == std::string::npos || key > end)
        return {};
    std::size_t stop = key + 8;
    while (stop < lower.size() && lower[stop] != '\n' && lower[stop] != ';' && lower[stop] != ' ')
        ++stop;
    return lower.substr(key + 8, stop - key - 8);
}

}  // namespace

std::optional<MoCatalog> MoCatalog::Parse(std::string_view bytes, std::string* error)
{
    if (bytes.size() < 28) {
        Fail(error, "shorter than the header");
        return std::nullopt;
    }
    const std::uint32_t magic = ReadWord(bytes, 0, false);
    if (magic != Magic && magic != MagicSwapped) {
        Fail(error, "not a message catalog (unknown magic number)");
        return std::nullopt;
    }
    const bool bigEndian = magic == MagicSwapped;
    if ((ReadWord(bytes, 4, bigEndian) >> 16) > 1) {
        Fail(error, "unknown major revision");
        return std::nullopt;
    }
    const std::uint64_t count = ReadWord(bytes, 8, bigEndian);
    const std::uint64_t originals = ReadWord(bytes, 12, bigEndian);
    const std::uint64_t translations = ReadWord(bytes, 16, bigEndian);
    for (std::uint64_t table : {originals, translations})
        if (table + count * 8 > bytes.size()) {
            Fail(error, "a string table lies outside the file");
            return std::nullopt;
        }

    // The string of a (length, offset) pair, with its NUL inside the file.
    const auto stringAt = [&](std::uint64_t pair, std::string_view& out) {
        const std::uint64_t length = ReadWord(bytes, static_cast<std::size_t>(pair), bigEndian);
        const std::uint64_t offset = ReadWord(bytes, static_cast<std::size_t>(pair + 4), bigEndian);
        if (offset + length + 1 > bytes.size() || bytes[static_cast<std::size_t>(offset + length)] != '\0')
            return false;
        out = bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
        return true;
    };

    MoCatalog catalog;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::string_view original;
        std::string_view translation;
        if (!stringAt(originals + i * 8, original) || !stringAt(translations + i * 8, translation)) {
            Fail(error, "string " + std::to_string(i) + " lies outside the file or has no NUL");
            return std::nullopt;
        }
        // Plural forms: the msgid and the singular translation.
        original = original.substr(0, original.find('\0'));
        translation = translation.substr(0, translation.find('\0'));
        if (original.empty()) {
            const std::string charset = HeaderCharset(std::string(translation));
            if (!charset.empty() && charset != "utf-8" && charset != "utf8") {
                Fail(error, "charset \"" + charset + "\" is not UTF-8");
                return std::nullopt;
            }
            continue;
        }
        if (!translation.empty())
            catalog.entries_.emplace(std::string(original), std::string(translation));
    }
    return catalog;
}

std::optional<MoCatalog> MoCatalog::Load(const std::filesystem::path& file, std::string* error)
{
    std::error_code code;
    const std::uintmax_t size = std::filesystem::file_size(file, code);
    if (code) {
        Fail(error, "cannot read it: " + code.message());
        return std::nullopt;
    }
    if (size > MaxFileSize) {
        Fail(error, "larger than 16 MiB");
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        Fail(error, "cannot read it");
        return std::nullopt;
    }
    return Parse(bytes, error);
}

std::optional<std::string> MoCatalog::Find(const std::string& msgid) const
{
    const auto it = entries_.find(msgid);
    if (it == entries_.end())
        return std::nullopt;
    return it->second;
}

}  // namespace platform
