#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TyperFixture.h"
#include "app/KeyTyper.h"

namespace {

using KeyTyperTest = TyperTest;

// Keys go out in order, one 20 ms slot each: the full timeline, format 10
// with its Tab, Enter without a slot of its own, then the final one.
TEST_F(KeyTyperTest, EveryKeyHasItsSlot)
{
    Settings(10, 10, 1);
    TypeText("18752445");
    EXPECT_EQ(keyboard.Timeline(),
              "0 p20 0 p20 "        // fill zeros
              "1 p20 8 p20 7 p20 "  // 1 8 7
              "Tab p20 "            // Tab before the fourth character
              "5 p20 2 p20 4 p20 4 p20 5 p20 "
              "Enter p20");  // Enter, then the final pause
    EXPECT_TRUE(diagnostics.empty());
}

TEST_F(KeyTyperTest, AutoEnterOffLeavesTheKeysOwnSlotAndTheFinalOne)
{
    Settings(1, 1, 0);
    TypeText("7");
    EXPECT_EQ(keyboard.Timeline(), "7 p40");
}

TEST_F(KeyTyperTest, ThreeCharacterRuleOfFormat7)
{
    Settings(7, 0, 1);
    TypeText("170");
    EXPECT_EQ(keyboard.Timeline(), "1 p20 7 p20 0 p20");
    EXPECT_TRUE(diagnostics.empty());
}

// Key k goes out at start + 20 ms x k however long each key takes to type
// (up to its slot); a key that overruns its slot is followed at once by the
// next, and the card still ends where its slots end.
TEST_F(KeyTyperTest, SlotsAreCountedFromOneStart)
{
    const struct {
        std::uint64_t typeCostMs;
        std::vector<std::uint64_t> keyTimes;
        std::uint64_t endMs;
    } cases[] = {
        {0, {0, 20, 40, 60}, 80},  {7, {0, 20, 40, 60}, 80},   {19, {0, 20, 40, 60}, 80},
        {20, {0, 20, 40, 60}, 80}, {30, {0, 30, 60, 90}, 120},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typeCostMs);
        Settings(1, 3, 1);
        keyboard.Clear();
        keyboard.nowMs = 1000;
        keyboard.typeCostMs = c.typeCostMs;
        TypeText("123");
        std::vector<std::uint64_t> relative;
        for (const std::uint64_t t : keyboard.KeyTimes())
            relative.push_back(t - 1000);
        EXPECT_EQ(relative, c.keyTimes);
        EXPECT_EQ(keyboard.Keys(), "123 Enter");
        EXPECT_EQ(keyboard.nowMs - 1000, c.endMs);
    }
}

TEST_F(KeyTyperTest, KeysAndPausesBySettings)
{
    const struct {
        std::string text;
        std::int32_t format;
        std::int32_t fill;
        std::uint8_t autoEnter;
        std::string keys;
        std::uint64_t pausedMs;
    } cases[] = {
        {"18752445", 3, 10, 1, "0018752445 Enter", 220},
        {"18752445", 10, 10, 1, "00187 Tab 52445 Enter", 240},
        {"1234567890", 1, 10, 1, "1234567890 Enter", 220},  // exactly the fill length: no zeros
        {"12345678901", 1, 10, 1, "", 0},                   // one more: nothing, not even Enter
        {"", 1, 10, 1, "0000000000 Enter", 220},
        {"", 1, 0, 1, " Enter", 20},
        {"1", 1, 0, 1, "", 0},
        {"", 1, -1, 1, "", 0},
        {"", 1, INT32_MIN, 1, "", 0},
        {"1", 1, 10, 0, "0000000001", 220},
        {"1", 1, 1, 2, "1", 40},          // only 1 switches Enter on
        {"00", 1, 2, 1, "00 Enter", 60},  // repeated keys each typed
        // Format 7's three-character texts: as they are, whatever the fill length.
        {"123", 7, 0, 1, "123", 60},
        {"123", 7, 2, 1, "123", 60},
        {"255", 7, 10, 1, "255", 60},
        {"123", 7, -5, 0, "123", 60},
        {"1234", 7, 10, 1, "0000001234 Enter", 220},
        {"12", 7, 10, 1, "0000000012 Enter", 220},
        {"123", 3, 2, 1, "", 0},  // the rule is format 7's only
        // Format 10: Tab only before a fourth character.
        {"123", 10, 10, 1, "0000000123 Enter", 220},
        {"1234", 10, 4, 1, "123 Tab 4 Enter", 120},
        {"1234", 10, 4, 0, "123 Tab 4", 120},
        // Characters are typed as what they are, letters in lower case.
        {"AbCdEf", 9, 6, 1, "abcdef Enter", 140},
        {"aabbccdd", 9, 10, 1, "00aabbccdd Enter", 220},
        {"-2023406815", 2, 11, 1, "-2023406815 Enter", 240},
        {"F-0", 14, 3, 1, "f-0 Enter", 80},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\", format " + std::to_string(c.format) + ", fill " +
                     std::to_string(c.fill) + ", auto-enter " + std::to_string(c.autoEnter));
        Settings(c.format, c.fill, c.autoEnter);
        keyboard.Clear();
        TypeText(c.text);
        EXPECT_EQ(keyboard.Keys(), c.keys);
        EXPECT_EQ(keyboard.PausedMs(), c.pausedMs);
    }
}

TEST_F(KeyTyperTest, MinusAndLettersAreTypedAsThemselves)
{
    Settings(9, 3, 0);
    TypeText("-aF");
    EXPECT_EQ(keyboard.Timeline(), "- p20 a p20 f p40");
}

// A text with any character that has no key is not typed at all, and one
// diagnostic line says so without writing the raw bytes.
TEST_F(KeyTyperTest, TextsWithOtherCharactersAreRefusedWhole)
{
    const struct {
        std::string text;
        std::int32_t format;
        std::string hex;
    } cases[] = {
        {"12\r", 1, "31 32 0D"},
        {"1\t2", 10, "31 09 32"},
        {"12 ", 1, "31 32 20"},
        {" 12", 1, "20 31 32"},
        {"1x", 1, "31 78"},
        {"G", 9, "47"},
        {"+1", 1, "2B 31"},
        {"[", 1, "5B"},                   // the Windows key's code
        {"\x1B", 1, "1B"},                // Escape
        {"\x12\x12\x12", 7, "12 12 12"},  // Alt, in format 7's three-character path
        {std::string("1\0"
                     "2",
                     3),
         7, "31 00 32"},
        {"\x02"
         "AABB\x03",
         9, "02 41 41 42 42 03"},
        {"\xC3\xA9", 1, "C3 A9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("hex " + c.hex);
        Settings(c.format, 10, 1);
        keyboard.Clear();
        diagnostics.clear();
        TypeText(c.text);
        EXPECT_TRUE(keyboard.events.empty()) << keyboard.Timeline();
        ASSERT_EQ(diagnostics.size(), 1u);
        EXPECT_NE(diagnostics[0].find(c.hex), std::string::npos) << diagnostics[0];
        for (const char ch : diagnostics[0]) {
            EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << "raw byte " << int(static_cast<unsigned char>(ch));
        }
    }
}

// A keyboard that cannot type a character of the card in the active layout
// (uinput with a layout without Latin letters): the card is not typed at
// all, and one line names the characters; other cards still are.
TEST_F(KeyTyperTest, ACardWithACharacterTheLayoutLacksIsNotTypedAtAll)
{
    keyboard.missing = "abcdef";
    Settings(9, 10, 1);
    TypeText("12AB");
    EXPECT_TRUE(keyboard.events.empty()) << keyboard.Timeline();
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find("hex 61 62"), std::string::npos) << diagnostics[0];

    TypeText("1234");
    EXPECT_EQ(keyboard.Keys(), "0000001234 Enter");

    // Enter counts too.
    keyboard.Clear();
    keyboard.missing = "\r";
    TypeText("1234");
    EXPECT_TRUE(keyboard.events.empty()) << keyboard.Timeline();
    Settings(7, 0, 1);
    TypeText("123");  // format 7's prefix has neither
    EXPECT_EQ(keyboard.Keys(), "123");
}

TEST_F(KeyTyperTest, ATextLongerThanTheFillLengthIsReportedOnce)
{
    Settings(12, 10, 1);
    TypeText("AABBCCDDEEFF00");
    EXPECT_TRUE(keyboard.events.empty());
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find("AABBCCDDEEFF00"), std::string::npos) << diagnostics[0];
    EXPECT_NE(diagnostics[0].find("14"), std::string::npos) << diagnostics[0];
    EXPECT_NE(diagnostics[0].find("10"), std::string::npos) << diagnostics[0];
}

TEST_F(KeyTyperTest, WithoutAKeyboardNothingIsTypedAndThatIsReportedOnce)
{
    SetKeyboard(nullptr);
    TypeText("1");
    TypeText("2");
    EXPECT_TRUE(keyboard.events.empty());  // not even a pause
    EXPECT_EQ(diagnostics.size(), 1u);

    SetKeyboard(&keyboard);
    TypeText("1");
    EXPECT_EQ(keyboard.Keys(), "0000000001 Enter");
    EXPECT_EQ(diagnostics.size(), 1u);
}

// A keyboard that refuses a card (another program holds the keyboard, say)
// gets none of its keys, and the typer writes its reason on one line; every
// card it accepted is ended, whether typed whole or abandoned by a stop.
TEST_F(KeyTyperTest, AKeyboardCanRefuseACardWholeAndEndsEveryCardItBegan)
{
    Settings(1, 10, 1);
    keyboard.refusal = "the keyboard is grabbed by another program; card not typed";
    TypeText("1234");
    EXPECT_TRUE(keyboard.events.empty()) << keyboard.Timeline();
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0], "tarvel: the keyboard is grabbed by another program; card not typed");
    EXPECT_EQ(keyboard.cardsBegun, 0);
    EXPECT_EQ(keyboard.cardsEnded, 0);

    keyboard.refusal.clear();
    TypeText("1234");
    EXPECT_EQ(keyboard.Keys(), "0000001234 Enter");
    EXPECT_EQ(keyboard.cardsBegun, 1);
    EXPECT_EQ(keyboard.cardsEnded, 1);

    tarvel_test::StoppingKeyboard stopping(keyboard, 3);
    SetKeyboard(&stopping);
    TypeText("1234");
    EXPECT_EQ(keyboard.cardsBegun, 2);
    EXPECT_EQ(keyboard.cardsEnded, 2);
    ClearTypingStop();
}

// A stop request between two keys abandons the rest of the card: nothing
// more is typed (no Enter), the request holds for every later card, and one
// line says what was left untyped.
TEST_F(KeyTyperTest, AStopRequestAbandonsTheRestOfTheCard)
{
    const struct {
        std::int32_t format;
        std::int32_t fill;
        std::string text;
        int stopAfter;
        std::string keys;
    } cases[] = {
        {1, 400, "2864434397", 5, "00000"},           // in the zero fill
        {10, 10, "18752445", 3, "001"},               // before the Tab
        {10, 10, "18752445", 11, "00187 Tab 52445"},  // before Enter
        {7, 0, "015", 1, "0"},                        // format 7's three characters
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " in format " + std::to_string(c.format));
        Settings(c.format, c.fill, 1);
        keyboard.Clear();
        diagnostics.clear();
        ClearTypingStop();
        tarvel_test::StoppingKeyboard stopping(keyboard, c.stopAfter);
        SetKeyboard(&stopping);
        TypeText(c.text);
        EXPECT_EQ(keyboard.Keys(), c.keys);
        ASSERT_EQ(diagnostics.size(), 1u);
        EXPECT_NE(diagnostics[0].find("stop"), std::string::npos) << diagnostics[0];

        keyboard.Clear();
        TypeText("1");
        EXPECT_TRUE(keyboard.events.empty()) << keyboard.Timeline();
    }
    ClearTypingStop();
    SetKeyboard(&keyboard);
    Settings(1, 1, 0);
    TypeText("1");
    EXPECT_EQ(keyboard.Keys(), "1");
}

}  // namespace
