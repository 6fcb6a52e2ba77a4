// End to end on Linux: the real tarvel with its four arguments reads the
// virtual card reader (tarvel-reader on a pseudo-terminal) and types through
// XTest into the receiver window (tarvel-receiver), all on an Xvfb of the
// test's own. What the window received is compared with the text the card
// formats' rules give, Tab and Enter included.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

// After GoogleTest: Xlib's macros (None, Bool) would break its headers.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/E2eFixture.h"

namespace {

using tarvel_test::Child;
using tarvel_test::Clock;
using tarvel_test::milliseconds;

// After the expected text is complete, keys that should not come would come
// within this time.
constexpr milliseconds kQuiet{500};
constexpr milliseconds kLongest{30000};

struct Cards {
    std::string fill = "10";
    std::string autoEnter = "1";
    std::string format;
    std::vector<std::string> reader;  // the reader's options and cards
};

struct Outcome {
    std::string received;  // what the window received
    std::string errors;    // tarvel's diagnostic stream
    std::string problem;   // a process that did not do its part
};

// The rows of the case tables below print as their names, which also name
// their tests.
template <typename Case>
requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

class TarvelE2e : public tarvel_test::TarvelOnXvfb {
protected:
    // Starts the receiver, the reader with the cards and tarvel; returns once
    // `expected` has arrived (and kQuiet has passed without more) or after
    // kLongest.
    Outcome Run(const Cards& cards, const std::string& expected)
    {
        static std::atomic<int> counter{0};
        Outcome outcome;
        const std::vector<std::string> display = {"DISPLAY=" + DisplayName()};
        const std::string link = ::testing::TempDir() + "tarvel-e2e-" + std::to_string(getpid()) + "-" +
                                 std::to_string(counter++);

        Child receiver({TARVEL_RECEIVER}, display);
        const auto ready = receiver.ReadLine(milliseconds(30000));
        if (ready != "ready") {
            outcome.problem = "the receiver window did not get the focus: " + receiver.Errors();
            return outcome;
        }

        std::vector<std::string> readerArgs = {TARVEL_READER, "--link", link,     "--wait-open",
                                               "--delay",     "100",    "--hold", "forever"};
        readerArgs.insert(readerArgs.end(), cards.reader.begin(), cards.reader.end());
        Child reader(readerArgs);
        if (!reader.ReadLine(milliseconds(10000))) {
            outcome.problem = "the reader did not start: " + reader.Errors();
            return outcome;
        }

        Child tarvel({TARVEL_PROGRAM, link, cards.fill, cards.autoEnter, cards.format}, display, HiddenFromTarvel());
        const auto deadline = Clock::now() + kLongest;
        std::string received;
        auto quietSince = Clock::now();
        while (Clock::now() < deadline) {
            const std::size_t before = receiver.Output().size();
            receiver.ReadOutput(milliseconds(50));
            if (receiver.Output().size() != before)
                quietSince = Clock::now();
            if (receiver.Output().size() >= expected.size() && Clock::now() - quietSince >= kQuiet)
                break;
            if (!tarvel.Running())
                break;
        }
        if (!tarvel.Running())
            outcome.problem = "tarvel ended early (" + tarvel.Stop() + ")";
        tarvel.Stop();
        reader.Stop();
        receiver.Stop();
        outcome.received = receiver.Output();
        outcome.errors = tarvel.Errors();
        return outcome;
    }

    // Run, expecting every process to do its part and the window to receive
    // exactly `expected`.
    Outcome RunExpecting(const Cards& cards, const std::string& expected)
    {
        Outcome outcome = Run(cards, expected);
        EXPECT_EQ(outcome.problem, "");
        EXPECT_EQ(outcome.received, expected) << "tarvel said: " << outcome.errors;
        return outcome;
    }

    // Sets the display's keyboard layout as a user does, with setxkbmap
    // ("us", "fr", "us,fr"; variant may be empty). The Xvfb runs with
    // -noreset, so the layout stays when the last client leaves.
    static ::testing::AssertionResult SetLayout(const std::string& layout, const std::string& variant = "")
    {
        std::vector<std::string> args = {"setxkbmap", "-display", DisplayName(), "-layout", layout};
        if (!variant.empty()) {
            args.push_back("-variant");
            args.push_back(variant);
        }
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return ::testing::AssertionFailure()
                   << "setxkbmap -layout " << layout << " failed (status " << status << ")";
        return ::testing::AssertionSuccess();
    }

    static std::string NewLink()
    {
        static std::atomic<int> counter{0};
        return ::testing::TempDir() + "tarvel-e2e-stop-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    }

    // Two cards in format 9, the second 4 s after the first: time enough for
    // `change` (a layout or group switch), made once the first card's line
    // has come. Both are typed as the reader sent them.
    void TwoCardsSwitchingBetween(const std::function<void()>& change)
    {
        const std::vector<std::string> display = {"DISPLAY=" + DisplayName()};
        const std::string link = NewLink();
        Child receiver({TARVEL_RECEIVER}, display);
        ASSERT_EQ(receiver.ReadLine(milliseconds(30000)), "ready") << receiver.Errors();
        Child reader({TARVEL_READER, "--link", link, "--wait-open", "--delay", "100", "--gap", "4000", "--hold",
                      "forever", "AABBCCDD", "0FEDCBA9"});
        ASSERT_TRUE(reader.ReadLine(milliseconds(10000))) << reader.Errors();
        Child tarvel({TARVEL_PROGRAM, link, "10", "1", "9"}, display, HiddenFromTarvel());

        const auto deadline = Clock::now() + kLongest;
        while (receiver.Output().find('\n') == std::string::npos && Clock::now() < deadline && tarvel.Running())
            receiver.ReadOutput(milliseconds(50));
        change();
        while (receiver.Output().size() < 22 && Clock::now() < deadline && tarvel.Running())
            receiver.ReadOutput(milliseconds(50));
        receiver.ReadOutput(kQuiet);
        EXPECT_EQ(tarvel.Stop(), "exit 0");
        receiver.Stop();
        reader.Stop();
        EXPECT_EQ(receiver.Output(), "00aabbccdd\n000fedcba9\n") << "tarvel said: " << tarvel.Errors();
    }
};

// The way tarvel is kept from uinput where it is writable: the child sees
// /dev/null at the hidden path, the test itself still sees the file.
TEST(E2eChild, AHiddenPathIsDevNullForTheChildOnly)
{
    const std::string path = ::testing::TempDir() + "tarvel-e2e-hidden-" + std::to_string(getpid());
    {
        std::ofstream(path) << "seen\n";
    }
    if (!tarvel_test::CanHide(path))
        GTEST_SKIP() << "no mount namespace can be made here";
    // cat's output once it has ended by itself.
    auto run = [](Child& child) {
        const auto deadline = Clock::now() + kLongest;
        while (child.Running() && Clock::now() < deadline)
            child.ReadOutput(milliseconds(50));
        const std::string ended = child.Stop();
        return ended + ": " + child.Output() + child.Errors();
    };
    Child hidden({"/bin/cat", path}, {}, path);
    EXPECT_EQ(run(hidden), "exit 0: ");
    Child plain({"/bin/cat", path});
    EXPECT_EQ(run(plain), "exit 0: seen\n");
    std::remove(path.c_str());
}

// --- The fourteen formats, one tarvel run each ------------------------------------------

struct FormatCase {
    const char* name;
    Cards cards;
    std::string expected;
};

// Field frames as common readers send them: STX, the version byte and the
// four-byte card as ten hex digits, the XOR check digits, (CR LF,) ETX.
// AABBCCDD is the help text's four-byte card.
const FormatCase kFormats[] = {
    {"F01_Decimal", {"10", "1", "1", {"AABBCCDD"}}, "2864434397\n"},
    {"F02_Reversed", {"10", "1", "2", {"AABBCCDD"}}, "0573785174\n"},
    {"F03_ByteAndFiveDigits", {"10", "1", "3", {"AABBCCDD"}}, "0018752445\n"},
    {"F04_WordAndFiveDigits", {"10", "1", "4", {"AABBCCDD"}}, "4370752445\n"},
    {"F05_LastWord", {"10", "1", "5", {"AABBCCDD"}}, "0000052445\n"},
    {"F06_ThreeBytes", {"10", "1", "6", {"AABBCCDD"}}, "0012307677\n"},
    // The version byte 0F is the prefix 015, typed before the number.
    {"F07_PrefixThenNumber", {"10", "1", "7", {"0FAABBCCDD"}}, "0152864434397\n"},
    {"F08_Wiegand", {"10", "1", "8", {"--crlf", "AABBCCDD"}}, "0012307677\n"},
    {"F09_HexAsReceived", {"10", "1", "9", {"AABBCCDD"}}, "00aabbccdd\n"},
    {"F10_TabInside", {"10", "1", "10", {"AABBCCDD"}}, "00187\t52445\n"},
    {"F11_SixDigits", {"10", "1", "11", {"AABBCCDD"}}, "0000752445\n"},
    // Fourteen characters from the card on: the check digits come along, CR
    // LF and ETX are trimmed; sixteen is wide enough for them.
    {"F12_FourteenHex", {"16", "1", "12", {"--crlf", "AABBCCDD"}}, "000000aabbccdd00\n"},
    {"F13_VersionAndWord", {"10", "1", "13", {"8030394455"}}, "0012812345\n"},
    {"F14_LeadingF", {"10", "1", "14", {"--lower", "AABBCCDD"}}, "0faabbccdd\n"},
};

class TarvelFormats : public TarvelE2e, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(TarvelFormats, AFieldFrameTypesTheFormatsText)
{
    const FormatCase& c = GetParam();
    RunExpecting(c.cards, c.expected);
}

INSTANTIATE_TEST_SUITE_P(EachFormat, TarvelFormats, ::testing::ValuesIn(kFormats), CaseName<FormatCase>);

// --- Several frames ------------------------------------------------------------------------

TEST_F(TarvelE2e, AMalformedFrameFollowedByAGoodOneTypesOnlyTheGoodOne)
{
    const Outcome outcome = RunExpecting({"10", "1", "1", {"--gap", "500", "raw:\\x02ZZZZZZZZZZZZ\\x03", "AABBCCDD"}},
                                         "2864434397\n");
    // One diagnostic line, with the frame in hex.
    EXPECT_NE(outcome.errors.find("frame [02 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 5A 03] not typed: "), std::string::npos)
        << outcome.errors;
    EXPECT_NE(outcome.errors.find("is not a valid integer value\n"), std::string::npos) << outcome.errors;
}

TEST_F(TarvelE2e, AMalformedFormat7FrameTypesNothingAndTheNextCardStaysWhole)
{
    const Outcome outcome = RunExpecting({"10", "1", "7", {"--gap", "500", "raw:\\x020FXYZ\\x03", "0FAABBCCDD"}},
                                         "0152864434397\n");
    EXPECT_NE(outcome.errors.find("frame [02 30 46 58 59 5A 03] not typed: "), std::string::npos) << outcome.errors;
}

TEST_F(TarvelE2e, TwoCardsOneSecondApartGiveTwoLines)
{
    RunExpecting({"10", "1", "1", {"--baud", "9600", "--gap", "1000", "AABBCCDD", "0F12345678"}},
                 "2864434397\n0305419896\n");
}

TEST_F(TarvelE2e, EightyCardsWithNoGapAreAllTypedInOrder)
{
    // At 9600 baud with no gap the reader sends some 60 cards a second, while
    // typing one takes 240 ms: 1,280 bytes in 1.3 s, more than the port's
    // input queue holds (1,024 bytes) while the first cards are typed.
    // tarvel reads on while it types, so the queue never overflows and every
    // card comes, in order.
    Cards cards{"10", "1", "1", {"--baud", "9600", "--gap", "0", "--crlf"}};
    std::string expected;
    for (std::uint32_t n = 0; n < 80; ++n) {
        const std::uint32_t card = 0x10000000u + n * 0x01020304u;
        char text[16];
        std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(card));
        cards.reader.emplace_back(text);
        std::snprintf(text, sizeof text, "%010u\n", static_cast<unsigned>(card));
        expected += text;
    }
    const Outcome outcome = Run(cards, expected);
    EXPECT_EQ(outcome.problem, "");
    EXPECT_EQ(outcome.received, expected) << "tarvel said: " << outcome.errors;
    EXPECT_EQ(outcome.errors, "");
}

// --- Ended from outside ------------------------------------------------------------------

// SIGTERM in the middle of a long card (a fill length of 400 takes eight
// seconds to type): tarvel stops between two keys, presses nothing more (no
// Enter), closes the port and exits 0, well before the card would be done.
TEST_F(TarvelE2e, SigtermInTheMiddleOfACardStopsTheTyping)
{
    constexpr std::size_t kFill = 400;
    const std::vector<std::string> display = {"DISPLAY=" + DisplayName()};
    const std::string link = NewLink();

    Child receiver({TARVEL_RECEIVER}, display);
    ASSERT_EQ(receiver.ReadLine(milliseconds(30000)), "ready") << receiver.Errors();
    Child reader({TARVEL_READER, "--link", link, "--wait-open", "--delay", "100", "--hold", "forever", "AABBCCDD"});
    ASSERT_TRUE(reader.ReadLine(milliseconds(10000))) << reader.Errors();
    Child tarvel({TARVEL_PROGRAM, link, std::to_string(kFill), "1", "1"}, display, HiddenFromTarvel());

    // Some of the card's zeros have arrived: the card is in hand.
    const auto deadline = Clock::now() + kLongest;
    while (receiver.Output().size() < 20 && Clock::now() < deadline && tarvel.Running())
        receiver.ReadOutput(milliseconds(50));
    ASSERT_GE(receiver.Output().size(), 20u) << "tarvel said: " << tarvel.Errors();

    // Given all the time the whole card would take, it must end by itself.
    EXPECT_EQ(tarvel.Stop(milliseconds(30000)), "exit 0") << tarvel.Errors();
    while (receiver.ReadOutput(kQuiet)) {
    }
    receiver.Stop();
    reader.Stop();
    const std::string received = receiver.Output();
    EXPECT_LT(received.size(), kFill) << "the whole card was typed after the stop request";
    EXPECT_EQ(received, std::string(received.size(), '0')) << "only the fill zeros, no Enter";
    EXPECT_NE(tarvel.Errors().find("stopping: the rest of the card is not typed"), std::string::npos)
        << tarvel.Errors();
}

// --- Keyboard layouts -----------------------------------------------------------------------

// The same cards arrive right whatever layout the display has: digits that
// sit on the Shift level (French, Belgian), letters and minus that sit
// elsewhere (German, Swiss, Dvorak), letters that the layout lacks (Russian:
// tarvel lends them spare key codes).
struct LayoutCase {
    const char* name;
    const char* layout;
    const char* variant;
    const char* keyOne;  // the keysym of the US "1" key without Shift
};

const LayoutCase kLayouts[] = {
    {"us", "us", "", "1"}, {"fr", "fr", "", "ampersand"},   {"de", "de", "", "1"}, {"be", "be", "", "ampersand"},
    {"ch", "ch", "", "1"}, {"dvorak", "us", "dvorak", "1"}, {"ru", "ru", "", "1"},
};

class TarvelLayouts : public TarvelE2e, public ::testing::WithParamInterface<LayoutCase> {
protected:
    void TearDown() override { EXPECT_TRUE(SetLayout("us")); }
};

TEST_P(TarvelLayouts, DigitsLettersTabAndMinusArriveAsTyped)
{
    const LayoutCase& c = GetParam();
    ASSERT_TRUE(SetLayout(c.layout, c.variant));
    // The layout is in force: the key of "1" on a US keyboard (X key code
    // 10) gives what this layout puts there without Shift.
    Display* x = XOpenDisplay(DisplayName().c_str());
    ASSERT_NE(x, nullptr);
    const std::string unshifted = XKeysymToString(XkbKeycodeToKeysym(x, 10, 0, 0));
    XCloseDisplay(x);
    EXPECT_EQ(unshifted, c.keyOne);
    const struct {
        Cards cards;
        std::string expected;
    } cards[] = {
        {{"10", "1", "10", {"AABBCCDD"}}, "00187\t52445\n"},
        {{"10", "1", "14", {"--lower", "AABBCCDD"}}, "0faabbccdd\n"},
        {{"10", "1", "9", {"0FEDCBA9"}}, "000fedcba9\n"},
        // A negative number (format 2 of card 00000008): the minus key.
        {{"11", "1", "2", {"0000000008"}}, "-2147483648\n"},
    };
    for (const auto& card : cards) {
        SCOPED_TRACE(card.expected);
        RunExpecting(card.cards, card.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(EachLayout, TarvelLayouts, ::testing::ValuesIn(kLayouts), CaseName<LayoutCase>);

// A user changes the layout between two cards while tarvel runs: the second
// card is typed for the new layout.
TEST_F(TarvelE2e, ALayoutChangedBetweenTwoCardsIsFollowed)
{
    ASSERT_TRUE(SetLayout("us"));
    TwoCardsSwitchingBetween([this] { EXPECT_TRUE(SetLayout("fr")); });
    EXPECT_TRUE(SetLayout("us"));
}

// Two layouts in one keymap, switched with a key combination's effect (the
// locked group): the next card is typed in the group now active.
TEST_F(TarvelE2e, AGroupSwitchBetweenTwoCardsIsFollowed)
{
    ASSERT_TRUE(SetLayout("us,fr"));
    Display* x = XOpenDisplay(DisplayName().c_str());
    ASSERT_NE(x, nullptr);
    TwoCardsSwitchingBetween([x] {
        XkbLockGroup(x, XkbUseCoreKbd, 1);
        XkbStateRec state{};
        ASSERT_EQ(XkbGetState(x, XkbUseCoreKbd, &state), Success);
        EXPECT_EQ(state.group, 1) << "the French group is not active";
    });
    XkbLockGroup(x, XkbUseCoreKbd, 0);
    XCloseDisplay(x);
    EXPECT_TRUE(SetLayout("us"));
}

// --- Frames cut at their marks: nothing invented, nothing lost without a word ---------------

struct StreamCase {
    const char* name;
    Cards cards;
    std::string expected;
    std::vector<std::string> said;  // parts of tarvel's diagnostic lines, in order
};

// 11111111, 22222222 and 33333333 as format 1 types them.
const char* const kThreeCards = "0286331153\n0572662306\n0858993459\n";

const StreamCase kStreams[] = {
    {"TwoFramesInOneWrite", {"10", "1", "1", {"--together", "AABBCCDD", "0F12345678"}}, "2864434397\n0305419896\n", {}},
    {"ANoiseByteBeforeStx",
     {"10", "1", "1", {"raw:A\\x0200AABBCCDD00\\x03"}},
     "2864434397\n",
     {"noise [41] not typed: 1 byte outside any frame"}},
    {"ABadChecksum",
     {"10", "1", "1", {"raw:\\x0200AABBCCDD33\\x03", "0F12345678"}},
     "0305419896\n",
     {"not typed: check digits 33, but the card's bytes give 00"}},
    {"AFrameSplitByTwoPauses", {"10", "1", "1", {"--split", "300", "AABBCCDD"}}, "2864434397\n", {}},
    {"NulsInFormat9",
     {"10", "1", "9", {"raw:\\x02\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\x03", "AABBCCDD"}},
     "00aabbccdd\n",
     {"frame [02 00 00 00 00 00 00 00 00 00 00 00 00 03] not typed: "}},
    // A burst of hex text such as a reader at the wrong speed sends, at once,
    // within the port's input queue: no number is cut out of it.
    {"ABurstOf800NoiseBytesThenThreeCards",
     {"10", "1", "1", {"noise:800", "11111111", "22222222", "33333333"}},
     kThreeCards,
     {"not typed: 800 bytes outside any frame"}},
};

class TarvelStreams : public TarvelE2e, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(TarvelStreams, TypesEveryGoodCardAndNothingElse)
{
    const StreamCase& c = GetParam();
    const Outcome outcome = RunExpecting(c.cards, c.expected);
    std::size_t from = 0;
    for (const std::string& part : c.said) {
        const std::size_t at = outcome.errors.find(part, from);
        EXPECT_NE(at, std::string::npos) << "\"" << part << "\" in: " << outcome.errors;
        if (at != std::string::npos)
            from = at + part.size();
    }
    if (c.said.empty()) {
        EXPECT_EQ(outcome.errors, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, TarvelStreams, ::testing::ValuesIn(kStreams), CaseName<StreamCase>);

// Bursts larger than the port's input queue (1,024 bytes): the port must go
// on reporting the bytes that come after it. That depends on the Linux serial
// back end reading on once its queue has room again.
const StreamCase kBursts[] = {
    {"ABurstOf2000NoiseBytesThenThreeCards",
     {"10", "1", "1", {"noise:2000", "11111111", "22222222", "33333333"}},
     kThreeCards,
     {"bytes outside any frame"}},
    {"ABurstOf10kBThenThreeCards",
     {"10", "1", "1", {"noise:10000", "11111111", "22222222", "33333333"}},
     kThreeCards,
     {"bytes outside any frame"}},
};

INSTANTIATE_TEST_SUITE_P(BurstsBeyondTheInputQueue, TarvelStreams, ::testing::ValuesIn(kBursts), CaseName<StreamCase>);

}  // namespace
