// Form1 on the fake serial device and a window in memory: the stored form
// description, the start-up timer's command line and the RUN button, with
// their error paths. The central exception handler is replaced by one that
// records what the error box would show; the event loop records timers and
// the exit status asked for.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ErrorBox.h"
#include "app/FormReader.h"
#include "app/KeyTyper.h"
#include "app/Settings.h"
#include "app/Unit1.h"
#include "app/Unit1Controls.h"
#include "framework/EventLoop.h"
#include "framework/ExceptionHandler.h"
#include "platform/Diagnostics.h"
#include "platform/EventLoop.h"
#include "platform/MemoryWindow.h"
#include "platform/fake/FakeKeyboard.h"
#include "platform/fake/FakeSerialApi.h"
#include "platform/fake/ScopedSerialApi.h"
#include "serial/ComPortErrors.h"

namespace {

// Never runs: records the timers and the exit status asked for.
class RecordingLoop final : public platform::IEventLoop {
public:
    int Run() override { throw std::logic_error("not run in unit tests"); }
    void Quit(int exitCode) override { quit = exitCode; }
    platform::TimerId StartTimer(std::uint32_t milliseconds, bool repeating, std::function<void()>) override
    {
        const platform::TimerId id = ++lastId;
        timers[id] = {milliseconds, repeating};
        return id;
    }
    void StopTimer(platform::TimerId id) override { timers.erase(id); }

    struct Timer {
        std::uint32_t milliseconds;
        bool repeating;
    };
    std::optional<int> quit;
    std::map<platform::TimerId, Timer> timers;
    platform::TimerId lastId = 0;
};

class FormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitSerialErrorTexts();
        ResetAppSettings();
        previousHandler = SetExceptionHandler([this](const std::exception& e, const void* source) {
            shown.push_back(ErrorBoxText(e.what()));
            sources.push_back(source);
        });
        SetApplicationEventLoop(&loop);
        form = std::make_unique<TForm1>(nullptr, [this](const platform::WindowSpec& layout) {
            auto w = std::make_unique<platform::MemoryWindow>(layout);
            window = w.get();
            return w;
        });
    }

    void TearDown() override
    {
        form.reset();
        SetApplicationEventLoop(nullptr);
        SetExceptionHandler(previousHandler);
        ResetAppSettings();
    }

    // The start-up timer as it fires about 100 ms after start.
    void Start(std::vector<std::string> arguments)
    {
        form->SetCommandLine(std::move(arguments));
        form->Timer1Timer(form->Timer1);
    }

    std::string OpenedPath() const
    {
        const auto opens = fake.CallsOf("CreateFileA");
        return opens.empty() ? std::string("(none)") : opens.back().path;
    }

    platform::FakeSerialApi fake;
    platform::ScopedSerialApi useFake{fake};
    RecordingLoop loop;
    TExceptionHandler previousHandler;
    std::vector<std::string> shown;  // texts of the error box, in order
    std::vector<const void*> sources;
    platform::MemoryWindow* window = nullptr;  // owned by the form
    std::unique_ptr<TForm1> form;
};

// --- The stored form description ----------------------------------------------------

TEST_F(FormTest, CreatingTheFormReadsThePortSettingsAndSendsNothing)
{
    TComPort& port = *form->ComPort1;
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(port.Loading());
    EXPECT_EQ(port.Name(), "ComPort1");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.Parity()->Bits(), prNone);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.Events(), (TComEvents{evRxChar, evRx80Full}));
    EXPECT_FALSE(port.FlowControl()->OutCTSFlow());
    EXPECT_FALSE(port.FlowControl()->OutDSRFlow());
    EXPECT_EQ(port.FlowControl()->ControlDTR(), dtrDisable);
    EXPECT_EQ(port.FlowControl()->ControlRTS(), rtsDisable);
    EXPECT_FALSE(port.FlowControl()->XonXoffOut());
    EXPECT_FALSE(port.FlowControl()->XonXoffIn());
    EXPECT_EQ(port.Timeouts()->ReadInterval(), 200);
    EXPECT_EQ(port.Timeouts()->ReadTotalMultiplier(), 200);
    EXPECT_EQ(port.Timeouts()->ReadTotalConstant(), 200);
    EXPECT_TRUE(static_cast<bool>(port.OnRxChar()));
    // Everything else keeps the component's default.
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(port.Timeouts()->WriteTotalConstant(), ComPortDefaults::WriteTotalConstant);
    EXPECT_EQ(port.Buffer()->InputSize(), ComPortDefaults::InputSize);

    EXPECT_TRUE(fake.Calls().empty()) << "the port sent something while the form was read";
    EXPECT_FALSE(window->Visible());

    EXPECT_EQ(form->Timer1->Interval(), 100u);
    EXPECT_TRUE(form->Timer1->Enabled());
    ASSERT_EQ(loop.timers.size(), 1u) << "Timer1 runs once an event loop is installed";
    EXPECT_EQ(loop.timers.begin()->second.milliseconds, 100u);
}

TEST(StoredFormTest, AnUnreadableDescriptionNamesWhatItCouldNotRead)
{
    struct Case {
        TStoredProperty property;
        std::string message;
    };
    const Case cases[] = {
        {{"ComPort1", "Colour", "clRed"}, "Error reading Form.ComPort1.Colour: TComPort has no property Colour"},
        {{"ComPort1", "BaudRate", "br9601"}, "Error reading Form.ComPort1.BaudRate: unknown value br9601"},
        {{"ComPort1", "Port", "COM1"}, "Error reading Form.ComPort1.Port: not a quoted text: COM1"},
        {{"ComPort1", "OnRxChar", "Nowhere"}, "Error reading Form.ComPort1.OnRxChar: the form has no method Nowhere"},
        {{"Timer2", "Interval", "100"}, "Error reading Form.Timer2.Interval: no component Timer2"},
        {{"Timer1", "Interval", "-5"}, "Error reading Form.Timer1.Interval: a negative interval: -5"},
    };
    for (const Case& c : cases) {
        TComponent form(nullptr);
        form.SetName("Form");
        auto* port = new TComPort(&form);
        port->SetName("ComPort1");
        auto* timer = new TTimer(&form);
        timer->SetName("Timer1");
        const TStoredProperty description[] = {c.property};
        try {
            ReadStoredForm(form, description, TFormMethods{});
            ADD_FAILURE() << "read " << c.property.Property;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_FALSE(port->Loading()) << "the loading state ends after a failure too";
    }
}

// --- The window's description --------------------------------------------------------

TEST_F(FormTest, TheWindowStartsWithTheDesignedChoices)
{
    EXPECT_EQ(window->Text("ComboBox1"), "COM1");
    EXPECT_EQ(window->Text("Edit1"), "10");
    EXPECT_EQ(window->Text("ComboBox2"), "1 - enable");
    EXPECT_EQ(window->ItemIndex("ComboBox3"), -1);
    EXPECT_EQ(window->Text("ComboBox3"), "");
    EXPECT_EQ(window->Text("BitBtn1"), "RUN");

    const platform::WindowSpec& layout = Form1Description();
    std::map<int, std::string> tabOrder;
    for (const auto& c : layout.controls)
        if (c.tabOrder >= 0)
            tabOrder[c.tabOrder] = c.name;
    std::vector<std::string> order;
    for (const auto& [position, name] : tabOrder)
        order.push_back(name);
    EXPECT_EQ(order, (std::vector<std::string>{"Memo1", "ComboBox1", "ComboBox2", "Edit1", "ComboBox3", "BitBtn1"}));
}

TEST(HelpTextTest, TwentyThreeLinesWithTheirLeadingBlanks)
{
    const std::vector<std::string>& lines = HelpLines();
    ASSERT_EQ(lines.size(), 23u);
    const int blanks[23] = {1, 1, 0, 1, 1, 1, 1, 21, 21, 21, 21, 21, 21, 21, 21, 19, 19, 26, 19, 19, 19, 0, 1};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t leading = lines[i].find_first_not_of(' ');
        EXPECT_EQ(leading == std::string::npos ? lines[i].size() : leading, static_cast<std::size_t>(blanks[i]))
            << "line " << i + 1 << ": " << lines[i];
        EXPECT_TRUE(lines[i].empty() || lines[i].back() != ' ') << "line " << i + 1;
    }
    EXPECT_EQ(lines[18], std::string(19, ' ') + "12 : 7 Bytes Card  14 Hex");
    EXPECT_EQ(lines[20], std::string(19, ' ') + "14 : \"F\"+4 Bytes hex");
}

// The lines that name the program and its ports are the platform's own.
TEST(HelpTextTest, NamesTheProgramAndThePortsOfThisPlatform)
{
#ifdef _WIN32
    const char* run = " tarvel.exe SerialPort FillZeroLength AutoEnter CardFormat";
    const char* ports = " SerialPort : com1 .. com16";
    const char* byDefault = "Default : tarvel.exe com1 10 1 1";
#else
    const char* run = " tarvel SerialPort FillZeroLength AutoEnter CardFormat";
    const char* ports = " SerialPort : com1 .. com16 (/dev/ttyS0 .. /dev/ttyS15) or a device such as /dev/ttyUSB0";
    const char* byDefault = "Default : tarvel com1 10 1 1";
#endif
    const std::vector<std::string>& lines = HelpLines();
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(lines[1], run);
    EXPECT_EQ(lines[3], ports);
    EXPECT_EQ(lines[22], std::string(" ") + byDefault);
    EXPECT_EQ(UsageText(), std::string("Usage: tarvel SerialPort FillZeroLength AutoEnter CardFormat\n") + byDefault);
}

// --- The start-up timer -------------------------------------------------------------------

struct CommandLineCase {
    const char* name;
    std::vector<std::string> arguments;
    bool visible;
    bool connected;
    std::string openedPath;  // "(none)" when nothing was opened
    std::int32_t fillZeroLength;
    std::uint8_t autoEnter;
    std::int32_t cardFormat;
    std::string shown;        // the error box, empty for none
    std::optional<int> quit;  // the exit status asked for
};

const CommandLineCase CommandLineCases[] = {
    {"no arguments", {}, true, false, "(none)", 10, 1, 1, "", {}},
    {"--help", {"--help"}, true, false, "(none)", 10, 1, 1, "", {}},
    {"-h", {"-h"}, true, false, "(none)", 10, 1, 1, "", {}},
    {"/?", {"/?"}, true, false, "(none)", 10, 1, 1, "", {}},
    {"four arguments, name kept in lower case", {"com3", "5", "0", "9"}, false, true, "\\\\.\\com3", 5, 0, 9, "", {}},
    {"AutoEnter 2 is on", {"COM1", "10", "2", "1"}, false, true, "\\\\.\\COM1", 10, 1, 1, "", {}},
    {"AutoEnter 7 is on", {"COM1", "10", "7", "1"}, false, true, "\\\\.\\COM1", 10, 1, 1, "", {}},
    {"AutoEnter -1 is off", {"COM1", "10", "-1", "1"}, false, true, "\\\\.\\COM1", 10, 0, 1, "", {}},
    {"fill length -1 is taken", {"COM2", "-1", "1", "1"}, false, true, "\\\\.\\COM2", -1, 1, 1, "", {}},
    {"fill length $A is 10", {"COM2", "$A", "1", "3"}, false, true, "\\\\.\\COM2", 10, 1, 3, "", {}},
    {"card formats 0 and 15 are taken", {"COM2", "4", "1", "15"}, false, true, "\\\\.\\COM2", 4, 1, 15, "", {}},
    {"a bad fill length after the port opened",
     {"COM4", "x", "1", "1"},
     false,
     true,
     "\\\\.\\COM4",
     10,
     1,
     1,
     "'x' is not a valid integer value.",
     ExitCommandLine},
    {"a bad AutoEnter",
     {"COM4", "6", "on", "1"},
     false,
     true,
     "\\\\.\\COM4",
     6,
     1,
     1,
     "'on' is not a valid integer value.",
     ExitCommandLine},
    {"an empty card format",
     {"COM4", "6", "0", ""},
     false,
     true,
     "\\\\.\\COM4",
     6,
     0,
     1,
     "'' is not a valid integer value.",
     ExitCommandLine},
    {"one argument", {"COM4"}, false, false, "(none)", 10, 1, 1, UsageText() + ".", ExitUsage},
    {"two arguments", {"COM4", "10"}, false, false, "(none)", 10, 1, 1, UsageText() + ".", ExitUsage},
    {"three arguments", {"COM4", "10", "1"}, false, false, "(none)", 10, 1, 1, UsageText() + ".", ExitUsage},
    {"five arguments", {"COM4", "10", "1", "1", "1"}, false, false, "(none)", 10, 1, 1, UsageText() + ".", ExitUsage},
    {"help among others", {"--help", "x"}, false, false, "(none)", 10, 1, 1, UsageText() + ".", ExitUsage},
};

TEST_F(FormTest, TheTimerReadsTheCommandLineOnce)
{
    for (const CommandLineCase& c : CommandLineCases) {
        SCOPED_TRACE(c.name);
        TearDown();
        fake.ClearCalls();
        shown.clear();
        loop.quit.reset();
        SetUp();
        // Settings left by an earlier run must not leak in: the timer sets
        // the defaults first.
        FillZeroLength = 77;
        AutoEnter = 0;
        CardFormat = 12;

        Start(c.arguments);

        EXPECT_EQ(window->Visible(), c.visible);
        EXPECT_EQ(form->ComPort1->Connected(), c.connected);
        EXPECT_EQ(OpenedPath(), c.openedPath);
        EXPECT_EQ(FillZeroLength, c.fillZeroLength);
        EXPECT_EQ(AutoEnter, c.autoEnter);
        EXPECT_EQ(CardFormat, c.cardFormat);
        EXPECT_EQ(shown, c.shown.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.shown});
        EXPECT_EQ(loop.quit, c.quit);
        EXPECT_FALSE(form->Timer1->Enabled());
        EXPECT_TRUE(loop.timers.empty()) << "the timer fires once";
    }
}

TEST_F(FormTest, ADeviceThatCannotBeOpenedEndsTheProgramBeforeAnyNumberIsRead)
{
    fake.SetOpenError(platform::ErrorFileNotFound);
    Start({"COM9", "5", "0", "7"});

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Unable to open com port (win error code: 2)");  // ")" sorts before "."
    EXPECT_EQ(sources[0], form.get());
    EXPECT_EQ(loop.quit, ExitCommandLine);
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_EQ(fake.CountOf("CreateFileA"), 1u) << "no second opening on the error path";
    EXPECT_EQ(FillZeroLength, 10);
    EXPECT_EQ(CardFormat, 1);
}

TEST_F(FormTest, WithoutAKeyboardTheCommandLineFailsAfterTheSettings)
{
    form->ChooseKeyboard([]() -> std::unique_ptr<platform::IKeyboard> {
        throw std::runtime_error("No keyboard to type with: no uinput, no X display");
    });
    Start({"COM2", "8", "1", "4"});

    EXPECT_EQ(shown, std::vector<std::string>{"No keyboard to type with: no uinput, no X display."});
    EXPECT_EQ(loop.quit, ExitCommandLine);
    EXPECT_EQ(FillZeroLength, 8);
    EXPECT_EQ(CardFormat, 4);
}

TEST_F(FormTest, TheChosenKeyboardIsTheOneTheTyperUses)
{
    platform::RecordingKeyboard pause;
    SetPause(&pause);
    std::vector<std::string> diagnostics;
    platform::SetDiagnosticSink([&diagnostics](const std::string& line) { diagnostics.push_back(line); });

    auto recording = std::make_unique<platform::RecordingKeyboard>();
    platform::RecordingKeyboard* keyboard = recording.get();
    form->ChooseKeyboard([&recording] { return std::move(recording); });
    Start({"COM2", "3", "0", "1"});
    EXPECT_TRUE(shown.empty());

    TypeText("12");
    EXPECT_EQ(keyboard->Keys(), "012");
    EXPECT_TRUE(diagnostics.empty());
    form.reset();
    TypeText("12");  // the form took its keyboard away with it
    EXPECT_EQ(diagnostics.size(), 1u);

    platform::SetDiagnosticSink({});
    SetPause(nullptr);
}

// --- The RUN button -----------------------------------------------------------------------

TEST_F(FormTest, RunWithoutACardFormatFailsWithThePortOpenAndTheFillLengthStored)
{
    Start({});
    ASSERT_TRUE(window->Visible());
    window->SetText("Edit1", "7");
    window->SetItemIndex("ComboBox2", 0);
    window->Click("BitBtn1");

    EXPECT_EQ(shown, std::vector<std::string>{"'' is not a valid integer value."});
    EXPECT_EQ(sources, std::vector<const void*>{form.get()});
    EXPECT_TRUE(window->Visible());
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(OpenedPath(), "\\\\.\\COM1");
    EXPECT_EQ(FillZeroLength, 7);
    EXPECT_EQ(AutoEnter, 0);
    EXPECT_EQ(CardFormat, 1);
    EXPECT_FALSE(loop.quit.has_value()) << "the program goes on";

    // Choosing a format and pressing RUN again completes it; the open port
    // is left as it is.
    window->SetItemIndex("ComboBox3", 8);
    EXPECT_EQ(window->Text("ComboBox3"), " 9");
    window->Click("BitBtn1");
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_FALSE(window->Visible());
    EXPECT_EQ(CardFormat, 9);
    EXPECT_EQ(fake.CountOf("CreateFileA"), 1u);
}

TEST_F(FormTest, RunWithAnEmptyFillLengthKeepsThePreviousOne)
{
    Start({});
    FillZeroLength = 5;  // from an earlier RUN
    window->SetText("Edit1", "");
    window->SetItemIndex("ComboBox1", 4);
    window->SetItemIndex("ComboBox3", 13);
    window->Click("BitBtn1");

    EXPECT_EQ(shown, std::vector<std::string>{"'' is not a valid integer value."});
    EXPECT_TRUE(window->Visible());
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_EQ(OpenedPath(), "\\\\.\\COM5");
    EXPECT_EQ(FillZeroLength, 5);
    EXPECT_EQ(CardFormat, 1) << "the steps after the failing one do not run";
}

TEST_F(FormTest, RunWithGoodSettingsOpensThePortAndHides)
{
    Start({});
    window->SetItemIndex("ComboBox1", 15);
    window->SetText("Edit1", "$F");
    window->SetItemIndex("ComboBox3", 9);
    window->Click("BitBtn1");

    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(window->Visible());
    EXPECT_EQ(OpenedPath(), "\\\\.\\COM16");
    EXPECT_EQ(FillZeroLength, 15);
    EXPECT_EQ(AutoEnter, 1);
    EXPECT_EQ(CardFormat, 10);
}

TEST_F(FormTest, RunWhenTheDeviceCannotBeOpenedShowsTheErrorAndStays)
{
    Start({});
    fake.SetOpenError(platform::ErrorAccessDenied);
    window->SetItemIndex("ComboBox3", 0);
    window->Click("BitBtn1");

    EXPECT_EQ(shown, std::vector<std::string>{"Unable to open com port (win error code: 5)"});
    EXPECT_TRUE(window->Visible());
    EXPECT_FALSE(form->ComPort1->Connected());
    EXPECT_FALSE(loop.quit.has_value());

    // Once the device is free, RUN opens it.
    fake.SetOpenError(0);
    window->Click("BitBtn1");
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_TRUE(form->ComPort1->Connected());
    EXPECT_FALSE(window->Visible());
}

TEST_F(FormTest, RunWithoutAKeyboardShowsWhyAndStays)
{
    form->ChooseKeyboard([]() -> std::unique_ptr<platform::IKeyboard> { return nullptr; });
    Start({});
    window->SetItemIndex("ComboBox3", 0);
    window->Click("BitBtn1");
    EXPECT_EQ(shown, std::vector<std::string>{"No keyboard to type with."});
    EXPECT_TRUE(window->Visible());
}

TEST_F(FormTest, ClosingTheWindowEndsTheProgramNormally)
{
    Start({});
    window->Close();
    EXPECT_EQ(loop.quit, ExitNormal);
    EXPECT_FALSE(window->Visible());
}

TEST_F(FormTest, DestroyingTheFormClosesThePort)
{
    Start({"COM3", "10", "1", "1"});
    ASSERT_TRUE(form->ComPort1->Connected());
    const auto device = fake.CallsOf("CreateFileA").size();
    ASSERT_EQ(device, 1u);
    form.reset();
    EXPECT_EQ(fake.OpenDeviceCount(), 0u);
}

// --- The error box's caption and text ----------------------------------------------------

TEST(ErrorBoxTest, CaptionFromTheExecutableName)
{
    const std::pair<const char*, const char*> cases[] = {
        {"tarvel", "tarvel"},   {"tarvel.exe", "tarvel"}, {"TARVEL.EXE", "Tarvel"},
        {"Tar.Vel.exe", "Tar"}, {"tarvel-1", "tarvel-1"}, {"", ""},
    };
    for (const auto& [file, title] : cases)
        EXPECT_EQ(ApplicationTitle(file), title) << file;
}

TEST(ErrorBoxTest, AFullStopWhenTheLastCharacterSortsAfterIt)
{
    const std::pair<std::string, std::string> cases[] = {
        {"'x' is not a valid integer value", "'x' is not a valid integer value."},
        {"Done.", "Done."},
        {"(win error code: 2)", "(win error code: 2)"},
        {"Stop!", "Stop!"},
        {"a/", "a/."},
        {"page 1", "page 1."},
        {"caf\xE9", "caf\xE9."},
        {"", ""},
    };
    for (const auto& [message, text] : cases)
        EXPECT_EQ(ErrorBoxText(message), text) << message;
}

}  // namespace
