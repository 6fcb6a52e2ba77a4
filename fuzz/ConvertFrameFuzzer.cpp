// ConvertFrame and TypeText on any frame under any settings: the first three
// input bytes choose CardFormat (-1..16), FillZeroLength (-2..21) and
// AutoEnter (0..2); the rest is the frame. The keyboard and the pause record
// instead of typing and sleeping. Checked on every input:
// - ConvertFrame either returns or raises the conversion error about a "$" text;
// - only the keys of 0-9, A-F, "-", Tab and Enter are ever pressed, each
//   down followed at once by its up, and every pause is 20 ms;
// - the converted formats give decimal text, and some agree with a plain
//   reading of the frame's hexadecimal digits.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/CardFormats.h"
#include "app/KeyTyper.h"
#include "app/Settings.h"
#include "framework/Exception.h"
#include "platform/Diagnostics.h"
#include "platform/fake/FakeKeyboard.h"

namespace {

using platform::RecordingKeyboard;

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool IsDecimal(const std::string& r, bool signAllowed)
{
    std::size_t i = signAllowed && !r.empty() && r[0] == '-' ? 1 : 0;
    if (i == r.size())
        return false;
    for (; i < r.size(); ++i) {
        if (r[i] < '0' || r[i] > '9')
            return false;
    }
    return true;
}

// The slice as an unsigned hexadecimal number, when it is one.
std::optional<std::uint64_t> PlainHex(const std::string& s, std::size_t position, std::size_t count)
{
    const std::string slice = Slice(s, position, count);
    std::uint64_t v = 0;
    const auto res = std::from_chars(slice.data(), slice.data() + slice.size(), v, 16);
    if (slice.empty() || res.ec != std::errc() || res.ptr != slice.data() + slice.size())
        return std::nullopt;
    return v;
}

// Only keyboard characters are typed, and every pause is a whole number of
// 20 ms slots (the recorder's keys take no time).
void CheckTimeline(const RecordingKeyboard& keyboard)
{
    for (const auto& e : keyboard.events) {
        switch (e.type) {
        case RecordingKeyboard::Type::Key:
            Check(e.value < 0x80 && platform::IsKeyboardCharacter(static_cast<char>(e.value)));
            break;
        case RecordingKeyboard::Type::Pause:
            Check(e.value > 0 && e.value % 20 == 0);
            break;
        }
    }
}

std::string Trim(const std::string& s)
{
    std::size_t first = 0, last = s.size();
    while (first < last && static_cast<unsigned char>(s[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ')
        --last;
    return s.substr(first, last - first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static RecordingKeyboard keyboard;
    static const bool once = [] {
        platform::SetDiagnosticSink([](const std::string&) {});
        SetKeyboard(&keyboard);
        SetPause(&keyboard);
        return true;
    }();
    (void)once;
    if (size < 3)
        return 0;

    CardFormat = static_cast<std::int32_t>(data[0] % 18) - 1;
    FillZeroLength = static_cast<std::int32_t>(data[1] % 24) - 2;
    AutoEnter = static_cast<std::uint8_t>(data[2] % 3);
    const std::string frame(reinterpret_cast<const char*>(data) + 3, size - 3);
    keyboard.Clear();

    std::string r;
    try {
        r = ConvertFrame(frame);
    } catch (const EConvertError& e) {
        const std::string& m = e.Message();
        const std::string tail = "' is not a valid integer value";
        Check(m.rfind("'$", 0) == 0 && m.size() >= tail.size() + 2 &&
              m.compare(m.size() - tail.size(), tail.size(), tail) == 0);
        CheckTimeline(keyboard);
        return 0;
    }

    switch (CardFormat) {
    case 1:
    case 7:
        Check(IsDecimal(r, false));
        Check(std::to_string(PlainHex(frame, 4, 8).value()) == r);
        break;
    case 2:
        Check(IsDecimal(r, true));
        break;
    case 5:
        Check(std::to_string(PlainHex(frame, 8, 4).value()) == r);
        break;
    case 6:
        Check(std::to_string(PlainHex(frame, 6, 6).value()) == r);
        break;
    case 8: {
        Check(IsDecimal(r, false));
        // The slice's bits, led by one parity bit.
        const auto low = PlainHex(frame, 6, 6).value();
        const std::size_t bits = 4 * Slice(frame, 6, 6).size();
        const auto v = std::stoull(r);
        Check((v >> bits) <= 1 && (v & ((1ULL << bits) - 1)) == low);
        break;
    }
    case 3:
    case 4:
    case 10:
    case 13:
        Check(IsDecimal(r, false));
        break;
    case 11:
        Check(IsDecimal(r, false) && r.size() == 6);
        break;
    case 9:
        Check(r == Slice(frame, 4, 8));
        break;
    case 12:
        Check(r == Slice(frame, 4, 14));
        break;
    case 14:
        Check(r == " F" + Slice(frame, 4, 8));
        break;
    default:
        Check(r.empty());
        break;
    }

    TypeText(Trim(r));
    CheckTimeline(keyboard);
    return 0;
}
