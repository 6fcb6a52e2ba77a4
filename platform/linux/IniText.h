#pragma once
// The text of an INI file as the Windows profile functions see it, so that a
// file shared with other programs is read and changed on Linux as Windows
// would read and change it.
//
// Lines
// - A line ends at LF; a CR right before the LF belongs to the ending. The
//   last line may have no ending. A UTF-8 byte-order mark before the first
//   line is kept and otherwise ignored.
// - Blanks are the bytes 1 to 32. What a line is depends on its text with
//   the blanks at either end left out:
//   - empty: a blank line;
//   - starting with ";" or "#": a comment;
//   - starting with "[" and holding a "]": a section header; the section's
//     name is what lies between the "[" and the first "]", blanks at either
//     end left out. Anything after the "]" is ignored.
//   - holding a "=": a key; its name is what lies before the first "=",
//     blanks at either end left out, and its value is the rest of the line.
//   - anything else is an unknown line: kept, but no key.
// - Lines before the first section header belong to no section: they are
//   kept and never read or changed.
//
// Matching
// - Section and key names are matched without regard to the letter case of
//   A to Z (other bytes must be equal).
// - Of a section name that occurs more than once only the first occurrence
//   is read and written; the later ones are kept as they are. Of two keys of
//   the same name in a section the first one counts.
//
// Reading gives the key's value with the blanks at either end left out and
// then one pair of enclosing quotes (both " or both ') removed. Nothing else
// is special: ";", "#", "=", "\" and bytes above 127 inside a value are part
// of it.
//
// Writing (the value is written as given; quoting it is the caller's part)
// - an existing key: its line keeps everything up to the first "=" and the
//   blanks after it, and its line ending; the rest of the line becomes the
//   value;
// - a new key in an existing section: a line "key=value" after the last line
//   of the section that is not blank (its header when it has no other), so
//   that the blank lines before the next section stay before it;
// - a new section: "[section]" and "key=value" at the end of the file.
// New lines take the file's line ending (that of its first line; LF in a
// file that has none yet). A last line without an ending gets one before a
// line is added after it. Every other byte of the file stays as it was.

#include <optional>
#include <string>

namespace platform::ini {

// The value of key in section, or nothing when the text has no such key.
std::optional<std::string> ReadValue(const std::string& text, const std::string& section, const std::string& key);

// The text with key in section set to value, by the rules above. The names
// and the value must hold no line break and no zero byte, the section name
// no "]", and the key name no "=", and neither may start or end with a blank
// (see SectionNameProblem and KeyNameProblem).
std::string WriteValue(const std::string& text, const std::string& section, const std::string& key,
                       const std::string& value);

// Why a section or key name cannot be written so that it is found again, or
// empty when it can.
std::string SectionNameProblem(const std::string& section);
std::string KeyNameProblem(const std::string& key);

}  // namespace platform::ini
