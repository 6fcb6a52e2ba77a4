#pragma once
// A reader of GNU message catalogs (".mo" files, as msgfmt writes them), for
// the builds whose C library has no gettext (Windows).
//
// The file, every number a 32-bit unsigned integer in the byte order that the
// magic number shows (0x950412DE read in the file's order):
//
//   offset  0  magic            0x950412DE
//           4  revision         major revision (high 16 bits) 0 or 1
//           8  N                number of strings
//          12  O                offset of the table of original strings
//          16  T                offset of the table of translations
//          20  S, 24 H          size and offset of a hash table (not used here)
//   at O: N pairs (length, offset) of the original strings, sorted
//   at T: N pairs (length, offset) of the translations, in the same order
//
// Each string is `length` bytes at `offset`, followed by a NUL that the
// length does not count. An original with a context is "context\x04msgid";
// a plural original is "msgid\0msgid_plural" and its translation the forms
// one after the other, each ended by a NUL: the singular (the first form)
// is what a look-up gives. The entry with the empty original is the header;
// its "Content-Type: ...; charset=" must name UTF-8 (or be missing), since
// every text here is UTF-8.
//
// A file that breaks any of these rules (a table or string outside the file,
// a string without its NUL, an unknown magic or major revision, another
// charset) is refused whole: no entry of it is used.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace platform {

class MoCatalog {
public:
    // Parses the bytes of a catalog; nothing and the reason in `error` when
    // they are not one.
    static std::optional<MoCatalog> Parse(std::string_view bytes, std::string* error = nullptr);

    // Reads and parses a file (at most 16 MiB).
    static std::optional<MoCatalog> Load(const std::filesystem::path& file, std::string* error = nullptr);

    // The translation of `msgid` (UTF-8), or nothing when the catalog has
    // none or its translation is empty.
    std::optional<std::string> Find(const std::string& msgid) const;

    std::size_t Size() const { return entries_.size(); }

private:
    std::unordered_map<std::string, std::string> entries_;
};

}  // namespace platform
