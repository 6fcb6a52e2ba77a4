#include "app/Unit1.h"

#include <chrono>

#include <exception>
#include <stdexcept>

#include "app/FormReader.h"
#include "framework/IntegerText.h"
#include "app/KeyTyper.h"
#include "app/PortReopener.h"
#include "app/Settings.h"
#include "app/Unit1Controls.h"
#include "framework/ExceptionHandler.h"

TForm1* Form1 = nullptr;

namespace {

// The stored form description: the design-time settings of the components.
// Every property not named here keeps the component's default.
constexpr TStoredProperty Form1Stored[] = {
    {"ComPort1", "BaudRate", "br9600"},
    {"ComPort1", "Port", "'COM1'"},
    {"ComPort1", "Parity.Bits", "prNone"},
    {"ComPort1", "StopBits", "sbOneStopBit"},
    {"ComPort1", "DataBits", "dbEight"},
    {"ComPort1", "Events", "[evRxChar, evRx80Full]"},
    {"ComPort1", "FlowControl.OutCTSFlow", "False"},
    {"ComPort1", "FlowControl.OutDSRFlow", "False"},
    {"ComPort1", "FlowControl.ControlDTR", "dtrDisable"},
    {"ComPort1", "FlowControl.ControlRTS", "rtsDisable"},
    {"ComPort1", "FlowControl.XonXoffOut", "False"},
    {"ComPort1", "FlowControl.XonXoffIn", "False"},
    {"ComPort1", "Timeouts.ReadInterval", "200"},
    {"ComPort1", "Timeouts.ReadTotalMultiplier", "200"},
    {"ComPort1", "Timeouts.ReadTotalConstant", "200"},
    {"ComPort1", "OnRxChar", "ComPort1RxChar"},
    {"Timer1", "Interval", "100"},
    {"Timer1", "OnTimer", "Timer1Timer"},
};

}  // namespace

std::string UsageText() { return std::string(UsageLine) + "\n" + HelpLines().back().substr(1); }

bool IsHelpRequest(const std::vector<std::string>& Arguments)
{
    return Arguments.size() == 1 && (Arguments[0] == "--help" || Arguments[0] == "-h" || Arguments[0] == "/?");
}

TForm1::TForm1(TComponent* AOwner, const TWindowFactory& CreateWindow) : TComponent(AOwner)
{
    Clock = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    SetName("Form1");
    window_ = CreateWindow(Form1Description());
    window_->SetOnClick("BitBtn1", [this] {
        // The event loop's own error handling: the error box, and the
        // window stays.
        try {
            BitBtn1Click(this);
        } catch (...) {
            HandleCurrentException(this);
        }
    });
    window_->SetOnClose([] { QuitEventLoop(ExitNormal); });

    ComPort1 = new TComPort(this);
    ComPort1->SetName("ComPort1");
    Timer1 = new TTimer(this);
    Timer1->SetName("Timer1");

    TFormMethods methods;
    methods.Notify["Timer1Timer"] = [this](TComponent* Sender) { Timer1Timer(Sender); };
    methods.RxChar["ComPort1RxChar"] = [this](TComponent* Sender, std::int32_t Count) {
        ComPort1RxChar(Sender, Count);
    };
    ReadStoredForm(*this, Form1Stored, methods);

    // Assigned here, not stored: the stored form holds published settings.
    Reopener = new TPortReopener(this, *ComPort1);
    Reopener->SetName("Reopener");
    ComPort1->SetOnLost([this](TComponent* Sender, std::uint32_t ErrorCode) { ComPort1Lost(Sender, ErrorCode); });
    frameTimer_ = new TTimer(this);
    frameTimer_->SetEnabled(false);
    frameTimer_->SetOnTimer([this](TComponent*) { OpenFrameTimer(); });
}

void TForm1::ComPort1Lost(TComponent* /*Sender*/, std::uint32_t ErrorCode) { Reopener->PortLost(ErrorCode); }

TForm1::~TForm1()
{
    // The port closes first: its event thread may still hand events to
    // this form's handlers while it stops.
    DestroyComponents();
    if (keyboard_)
        SetKeyboard(nullptr);
    window_.reset();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::ChooseKeyboard(const std::function<std::unique_ptr<platform::IKeyboard>()>& Create)
{
    try {
        std::unique_ptr<platform::IKeyboard> keyboard = Create();
        if (!keyboard)
            throw std::runtime_error("No keyboard to type with");
        keyboard_ = std::move(keyboard);
        keyboardFailure_.clear();
        SetKeyboard(keyboard_.get());
    } catch (const std::exception& e) {
        keyboardFailure_ = e.what();
    }
}

void TForm1::CheckKeyboard() const
{
    if (!keyboardFailure_.empty())
        throw Exception(keyboardFailure_);
}

void TForm1::Timer1Timer(TComponent* /*Sender*/)
{
    Timer1->SetEnabled(false);
    Hide();
    ComPort1->SetPort("COM1");
    FillZeroLength = 10;
    AutoEnter = 1;
    CardFormat = 1;

    const std::vector<std::string>& args = arguments_;
    try {
        if (args.empty() || IsHelpRequest(args)) {
            Timer1->SetEnabled(false);
            Show();
        } else if (args.size() == 4) {
            ComPort1->SetPort(args[0]);
            ComPort1->SetConnected(true);  // opens now, before any number is converted
            FillZeroLength = TextToInt32(args[1]);
            AutoEnter = TextToInt32(args[2]) > 0 ? 1 : 0;
            CardFormat = TextToInt32(args[3]);
            CheckKeyboard();
        } else {
            throw EUsage(UsageText());
        }
    } catch (const EUsage& e) {
        HandleException(e, this);
        QuitEventLoop(ExitUsage);
    } catch (...) {
        // The error box first: the loop quits once it has been dismissed.
        // The port is not opened again here (it either is open already, or
        // opening it is what failed) and closes as the window is destroyed.
        HandleCurrentException(this);
        QuitEventLoop(ExitCommandLine);
    }
}

void TForm1::BitBtn1Click(TComponent* /*Sender*/)
{
    ComPort1->SetPort(window_->Text("ComboBox1"));
    ComPort1->SetConnected(true);
    FillZeroLength = TextToInt32(window_->Text("Edit1"));
    switch (window_->ItemIndex("ComboBox2")) {
    case 0:
        AutoEnter = 0;
        break;
    case 1:
        AutoEnter = 1;
        break;
    default:
        break;  // no selection leaves the setting as it is
    }
    CardFormat = TextToInt32(window_->Text("ComboBox3"));  // " 1" to " 9": the blank is skipped
    CheckKeyboard();
    Hide();
}
