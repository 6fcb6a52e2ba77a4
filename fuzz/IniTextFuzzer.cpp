// The INI text rules of the Linux store on any file text. The input holds
// five parts separated by zero bytes: the file, a section, a key, a value,
// and another key of that section. When the names can be written and the
// value can be stored:
// - reading the key after the write gives the value back;
// - writing the same value again changes nothing;
// - the other key (when it is not the written one) reads as before;
// - the text before the first changed byte and after the last one is the
//   old text's: the write changed or added one line and, where the old text
//   had no final line ending, gave it one.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/IniValue.h"
#include "platform/linux/IniText.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && parts.size() < 5)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(data[i]);
    }
    parts.resize(5);
    const std::string& text = parts[0];
    const std::string& section = parts[1];
    const std::string& key = parts[2];
    const std::string& value = parts[3];
    const std::string& other = parts[4];

    using namespace platform::ini;
    // Reading never fails on any text.
    const auto otherBefore = ReadValue(text, section, other);
    if (!SectionNameProblem(section).empty() || !KeyNameProblem(key).empty() ||
        !platform::IniValueProblem(value).empty())
        return 0;

    const std::string written = WriteValue(text, section, key, platform::ProtectIniValue(value));
    const auto back = ReadValue(written, section, key);
    Check(back.has_value() && *back == value);
    Check(WriteValue(written, section, key, platform::ProtectIniValue(value)) == written);
    if (!SameName(other, key))
        Check(ReadValue(written, section, other) == otherBefore);

    std::size_t head = 0;
    while (head < text.size() && head < written.size() && text[head] == written[head])
        ++head;
    std::size_t tail = 0;
    while (tail < text.size() - head && tail < written.size() - head &&
           text[text.size() - 1 - tail] == written[written.size() - 1 - tail])
        ++tail;
    // What lies between is, in the old text, at most one line's value (a
    // changed key) and nothing else that ends a line.
    const std::string removed = text.substr(head, text.size() - head - tail);
    Check(removed.find('\n') == std::string::npos);
    return 0;
}
