// Form1's received-frame handler on the fake serial device with a recording
// keyboard: what one received frame types, and what a malformed one does.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/KeyTyper.h"
#include "app/Settings.h"
#include "app/Unit1.h"
#include "platform/Diagnostics.h"
#include "platform/MemoryWindow.h"
#include "platform/fake/FakeKeyboard.h"
#include "platform/fake/FakeSerialApi.h"
#include "serial/ComPortErrors.h"

namespace {

class RxCharTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitSerialErrorTexts();
        ResetAppSettings();
        platform::SetSerialApi(&fake);
        SetKeyboard(&keyboard);
        SetPause(&keyboard);
        platform::SetDiagnosticSink([this](const std::string& line) { diagnostics.push_back(line); });
        form = std::make_unique<TForm1>(nullptr, [](const platform::WindowSpec& layout) {
            return std::make_unique<platform::MemoryWindow>(layout);
        });
        // Opened without the event thread: the test delivers the event.
        form->ComPort1->SetEvents({});
        form->ComPort1->SetPort("COM3");
        form->ComPort1->SetConnected(true);
        ASSERT_TRUE(form->ComPort1->Connected());
    }

    void TearDown() override
    {
        form.reset();
        platform::SetDiagnosticSink({});
        SetKeyboard(nullptr);
        SetPause(nullptr);
        platform::SetSerialApi(nullptr);
        ResetAppSettings();
    }

    // The frame arrives, then the port raises OnRxChar with the bytes waiting.
    void Receive(const std::string& frame)
    {
        fake.QueueInput(frame);
        form->ComPort1RxChar(form->ComPort1, static_cast<std::int32_t>(fake.InputQueued()));
    }

    platform::FakeSerialApi fake;
    platform::RecordingKeyboard keyboard;
    std::vector<std::string> diagnostics;
    std::unique_ptr<TForm1> form;
};

const std::string kFieldFrame = "\x02" "00AABBCCDD33\x03";             // STX, version, card, XOR, ETX
const std::string kCrLfFrame = "\x02" "00AABBCCDD33\r\n\x03";          // the same with CR LF before ETX

TEST_F(RxCharTest, OneFrameTypesItsCardTrimmedOfControlCharacters)
{
    struct Case {
        const char* what;
        std::int32_t format;
        std::string frame;
        std::string keys;
    };
    const Case cases[] = {
        {"format 1", 1, kFieldFrame, "2864434397 Enter"},
        {"format 10 with its Tab", 10, kFieldFrame, "00187 Tab 52445 Enter"},
        {"format 9 cut short: ETX trimmed from the end", 9, "\x02" "00AABB\x03", "000000AABB Enter"},
        {"format 12: checksum, CR LF and ETX in the slice", 12, kCrLfFrame, "AABBCCDD33 Enter"},
        {"format 14: the leading blank trimmed", 14, kFieldFrame, "0FAABBCCDD Enter"},
        {"format 7: the prefix first", 7, kFieldFrame, "0002864434397 Enter"},
        {"no frame at all (format 15)", 15, "", "0000000000 Enter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        keyboard.Clear();
        CardFormat = c.format;
        Receive(c.frame);
        EXPECT_EQ(keyboard.Keys(), c.keys);
        EXPECT_EQ(fake.InputQueued(), 0u);
    }
    EXPECT_EQ(diagnostics, std::vector<std::string>{});
}

TEST_F(RxCharTest, AlwaysReadsUpToAHundredCharactersWhateverTheCount)
{
    fake.QueueInput(std::string(130, '1'));
    form->ComPort1RxChar(form->ComPort1, 1);
    const auto reads = fake.CallsOf("ReadFile");
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].count, 100u);
    EXPECT_EQ(fake.InputQueued(), 30u) << "one call reads one frame";
}

TEST_F(RxCharTest, AMalformedFrameCostsThatFrameOnly)
{
    CardFormat = 1;
    Receive("\x02" "00ZZ\x03");
    EXPECT_EQ(keyboard.Keys(), "") << "nothing is typed for a malformed frame";
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0],
              "serial port COM3: frame [02 30 30 5A 5A 03] not typed: '$ZZ\\x03' is not a valid integer value");

    Receive(kFieldFrame);
    EXPECT_EQ(keyboard.Keys(), "2864434397 Enter");
    EXPECT_EQ(diagnostics.size(), 1u);
}

TEST_F(RxCharTest, TheDiagnosticLineQuotesOnlyPrintableAsciiAsItIs)
{
    // 0x9B is a C1 control that terminals act on; ESC and DEL are controls too.
    struct Case {
        std::string frame;
        std::string quoted;
    };
    const Case cases[] = {
        {"\x02" "00\x9B" "1\x03", "'$\\x9B1\\x03'"},
        {"\x02" "00\xFF\x80\x1B\x7F", "'$\\xFF\\x80\\x1B\\x7F'"},
        {"\x02" "00G~ \x03", "'$G~ \\x03'"},
    };
    CardFormat = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quoted);
        diagnostics.clear();
        Receive(c.frame);
        ASSERT_EQ(diagnostics.size(), 1u);
        const std::string& line = diagnostics[0];
        EXPECT_NE(line.find("not typed: " + c.quoted + " is not a valid integer value"), std::string::npos) << line;
        for (const char ch : line)
            EXPECT_TRUE(ch >= 32 && ch < 127) << "byte " << static_cast<int>(static_cast<unsigned char>(ch));
    }
    EXPECT_EQ(keyboard.Keys(), "");
}

TEST_F(RxCharTest, Format7TypesNothingForAMalformedFrameAndTheNextCardStaysWhole)
{
    CardFormat = 7;
    Receive("\x02" "0FXYZ\x03");
    EXPECT_EQ(keyboard.Keys(), "");
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_NE(diagnostics[0].find("[02 30 46 58 59 5A 03]"), std::string::npos) << diagnostics[0];

    Receive("\x02" "0FAABBCCDD\x03");
    EXPECT_EQ(keyboard.Keys(), "0152864434397 Enter");
}

}  // namespace
