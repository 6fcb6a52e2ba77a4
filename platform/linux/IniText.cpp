// The INI text rules; see IniText.h.

#include "platform/linux/IniText.h"

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/AsciiText.h"

namespace platform::ini {
namespace {

bool IsBlank(char c)
{
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) { return SameAsciiText(a, b); }

enum class Kind { Blank, Comment, Section, Key, Unknown };

// One line of the file: where its text starts, how long its text is (without
// the ending), how long its ending is, and what it is.
struct Line {
    std::size_t start = 0;
    std::size_t length = 0;
    std::size_t ending = 0;
    Kind kind = Kind::Unknown;
    std::string_view name;    // section or key name
    std::size_t valueAt = 0;  // Key: offset in the file of the value, after the "=" and its blanks
};

constexpr std::string_view Bom = "\xEF\xBB\xBF";

Line Classify(const std::string& text, std::size_t start, std::size_t length, std::size_t ending)
{
    Line line{start, length, ending, Kind::Unknown, {}, 0};
    std::string_view content(text.data() + start, length);
    if (start == 0 && content.substr(0, Bom.size()) == Bom)
        content.remove_prefix(Bom.size());
    const std::string_view trimmed = Trim(content);
    if (trimmed.empty()) {
        line.kind = Kind::Blank;
    } else if (trimmed.front() == ';' || trimmed.front() == '#') {
        line.kind = Kind::Comment;
    } else if (trimmed.front() == '[' && trimmed.find(']') != std::string_view::npos) {
        line.kind = Kind::Section;
        line.name = Trim(trimmed.substr(1, trimmed.find(']') - 1));
    } else if (const std::size_t equals = content.find('='); equals != std::string_view::npos) {
        line.kind = Kind::Key;
        line.name = Trim(content.substr(0, equals));
        std::size_t value = equals + 1;
        while (value < content.size() && IsBlank(content[value]))
            ++value;
        line.valueAt = static_cast<std::size_t>(content.data() - text.data()) + value;
    }
    return line;
}

std::vector<Line> Lines(const std::string& text)
{
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string::npos) {
            lines.push_back(Classify(text, start, text.size() - start, 0));
            break;
        }
        const bool crlf = lf > start && text[lf - 1] == '\r';
        const std::size_t length = lf - start - (crlf ? 1 : 0);
        lines.push_back(Classify(text, start, length, crlf ? 2 : 1));
        start = lf + 1;
    }
    return lines;
}

// Where the key is: the index of its line, or of the line after which a new
// key goes (the last line of the section that is not blank), or nothing when
// the section is absent. Only the section's first occurrence counts.
struct Place {
    std::optional<std::size_t> key;
    std::optional<std::size_t> insertAfter;
};

Place Find(const std::vector<Line>& lines, std::string_view section, std::string_view key)
{
    Place place;
    std::size_t i = 0;
    while (i < lines.size() && !(lines[i].kind == Kind::Section && SameName(lines[i].name, section)))
        ++i;
    if (i == lines.size())
        return place;
    place.insertAfter = i;
    for (++i; i < lines.size() && lines[i].kind != Kind::Section; ++i) {
        const Line& line = lines[i];
        if (line.kind == Kind::Key && SameName(line.name, key)) {
            place.key = i;
            return place;
        }
        if (line.kind != Kind::Blank)
            place.insertAfter = i;
    }
    return place;
}

std::string_view LineEnding(const std::vector<Line>& lines)
{
    for (const Line& line : lines)
        if (line.ending != 0)
            return line.ending == 2 ? std::string_view("\r\n") : std::string_view("\n");
    return "\n";
}

std::string Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string CommonProblem(const std::string& name)
{
    if (name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return "a line break or a zero byte";
    if (!name.empty() && (IsBlank(name.front()) || IsBlank(name.back())))
        return "a blank at its start or end";
    return {};
}

}  // namespace

std::optional<std::string> ReadValue(const std::string& text, const std::string& section, const std::string& key)
{
    const std::vector<Line> lines = Lines(text);
    const Place place = Find(lines, section, key);
    if (!place.key)
        return std::nullopt;
    const Line& line = lines[*place.key];
    return Unquote(Trim(std::string_view(text).substr(line.valueAt, line.start + line.length - line.valueAt)));
}

std::string WriteValue(const std::string& text, const std::string& section, const std::string& key,
                       const std::string& value)
{
    const std::vector<Line> lines = Lines(text);
    const Place place = Find(lines, section, key);
    if (place.key) {
        const Line& line = lines[*place.key];
        return text.substr(0, line.valueAt) + value + text.substr(line.start + line.length);
    }
    const std::string eol(LineEnding(lines));
    // The text up to the end of the line after which the new lines go, with
    // an ending added where that line has none.
    auto upTo = [&](const Line& after) {
        std::string head = text.substr(0, after.start + after.length + after.ending);
        if (after.ending == 0)
            head += eol;
        return head;
    };
    if (place.insertAfter) {
        const Line& after = lines[*place.insertAfter];
        return upTo(after) + key + "=" + value + eol + text.substr(after.start + after.length + after.ending);
    }
    const std::string head = lines.empty() ? std::string() : upTo(lines.back());
    return head + "[" + section + "]" + eol + key + "=" + value + eol;
}

std::string SectionNameProblem(const std::string& section)
{
    std::string problem = CommonProblem(section);
    if (problem.empty() && section.find(']') != std::string::npos)
        problem = "a \"]\"";
    return problem.empty() ? problem : "a section name cannot hold " + problem;
}

std::string KeyNameProblem(const std::string& key)
{
    std::string problem = CommonProblem(key);
    if (problem.empty() && key.find('=') != std::string::npos)
        problem = "a \"=\"";
    if (problem.empty() && !key.empty() && (key.front() == ';' || key.front() == '#' || key.front() == '['))
        problem = "\";\", \"#\" or \"[\" at its start";
    return problem.empty() ? problem : "a key name cannot hold " + problem;
}

}  // namespace platform::ini
