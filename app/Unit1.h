#pragma once
// The main window Form1: the serial port ComPort1, the one-shot start-up
// timer Timer1 and the window with the help text, the settings controls and
// the RUN button (its description: app/Unit1Controls.h).
//
// About 100 ms after the event loop starts, Timer1Timer reads the command
// line: with no arguments the window stays for the user, whose RUN
// (BitBtn1Click) takes the settings from the controls; with the four
// arguments SerialPort FillZeroLength AutoEnter CardFormat the port opens and
// the window is hidden. Errors on the command line end the program after the
// error box (status 1; 2 for a wrong argument count); errors on RUN are shown
// and the window stays.
//
// Once the port has been open, by the command line or by RUN, losing it (a
// reader unplugged) closes it and Reopener opens it again once a second
// until the device is back (app/PortReopener.h).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ReaderFrames.h"
#include "framework/Component.h"
#include "framework/EventLoop.h"
#include "framework/Exception.h"
#include "platform/Keyboard.h"
#include "platform/MainWindow.h"
#include "serial/ComPort.h"

class TPortReopener;

// The program's exit status.
inline constexpr int ExitNormal = 0;       // the window was closed
inline constexpr int ExitCommandLine = 1;  // the command line failed
inline constexpr int ExitUsage = 2;        // a wrong number of arguments

// The first line of the usage message; the default line of the help text
// follows it.
inline constexpr const char* UsageLine = "Usage: tarvel SerialPort FillZeroLength AutoEnter CardFormat";

// A wrong number of command-line arguments.
class EUsage : public Exception {
public:
    using Exception::Exception;
};

// The usage message: UsageLine, a line break, the help text's default line.
std::string UsageText();

// True for the single arguments that ask for help: --help, -h and /?.
bool IsHelpRequest(const std::vector<std::string>& Arguments);

class TForm1 : public TComponent {
public:
    using TWindowFactory = std::function<std::unique_ptr<platform::IMainWindow>(const platform::WindowSpec&)>;

    // Builds the window with CreateWindow (hidden) and reads the stored form
    // description into ComPort1 and Timer1: the port stays closed and nothing
    // is sent to any device. Timer1 runs once an event loop is installed.
    TForm1(TComponent* AOwner, const TWindowFactory& CreateWindow);
    // Destroys the components first (closing the port), then the window.
    ~TForm1() override;

    std::string ClassName() const override { return "TForm1"; }

    TComPort* ComPort1 = nullptr;
    TTimer* Timer1 = nullptr;
    // Brings ComPort1 back after it was lost; not part of the stored form.
    TPortReopener* Reopener = nullptr;

    platform::IMainWindow& Window() const { return *window_; }
    void Show() { window_->Show(); }
    void Hide() { window_->Hide(); }
    bool Visible() const { return window_->Visible(); }

    // The command-line arguments, without the program's own path.
    void SetCommandLine(std::vector<std::string> Arguments) { arguments_ = std::move(Arguments); }
    const std::vector<std::string>& CommandLine() const { return arguments_; }

    // Chooses the keyboard the program types with, before the timer fires.
    // When Create throws, the form keeps its message and raises it on the
    // command-line path and on RUN, once the other settings are taken (the
    // program cannot work without a keyboard).
    void ChooseKeyboard(const std::function<std::unique_ptr<platform::IKeyboard>()>& Create);

    // The clock the received-frame handler dates reads with, in milliseconds
    // (monotonic); tests set their own.
    std::function<std::int64_t()> Clock;

    // --- Handlers --------------------------------------------------------------
    void Timer1Timer(TComponent* Sender);
    void BitBtn1Click(TComponent* Sender);
    void ComPort1RxChar(TComponent* Sender, std::int32_t Count);
    void ComPort1Lost(TComponent* Sender, std::uint32_t ErrorCode);

private:
    void CheckKeyboard() const;

    // What the reader sent goes, cut into pieces, into a backlog, which is
    // typed in order; while a card is typed the port is read on (at every
    // pause between keys and between cards), so that cards sent back to back
    // never fill its input queue (app/Unit1RxChar.cpp).
    struct TPending {
        TReaderPiece Piece;
        std::size_t NoiseBytes = 0;  // a noise run's length; only its first bytes are kept
    };
    // A read that waited for the read time-outs: its end is a frame's end for
    // bare text.
    void TakeRead(std::string Read);
    // One read of up to Count characters, counted in received_.
    std::string ReadPort(std::int32_t Count);
    // Reads what is queued, without waiting, into the cutter (bare text is
    // held in carry_ until the reader has been quiet for the read interval).
    void Drain();
    void Carry(const std::string& Read);
    void FlushQuietCarry();
    void WaitForCarry();
    // Counts the bytes queued and marks where bytes may have been lost.
    std::int32_t Look();
    void Enqueue(std::vector<TReaderPiece> Pieces);
    void TypeBacklog();
    void TellStopped();
    void HandlePiece(const TReaderPiece& Piece, std::size_t NoiseBytes = 0);
    // Runs frameTimer_ exactly while a frame waits for its ETX, to tell its
    // loss when the reader falls silent for good.
    void WatchOpenFrame();
    void OpenFrameTimer();

    TReaderFrames frames_;
    std::deque<TPending> backlog_;
    std::size_t backlogBytes_ = 0;  // what the backlog's pieces cost (see Enqueue)
    std::string carry_;             // bare bytes read while typing, not yet cut
    std::uint64_t carryAt_ = 0;     // Pause() time the last of them came
    std::uint64_t received_ = 0;    // bytes read from the port
    std::uint64_t lookedAt_ = 0;    // received_ at the last Look
    bool handling_ = false;         // inside ComPort1RxChar
    TTimer* frameTimer_ = nullptr;  // owned; not part of the stored form
    std::unique_ptr<platform::IMainWindow> window_;
    std::vector<std::string> arguments_;
    std::unique_ptr<platform::IKeyboard> keyboard_;
    std::string keyboardFailure_;
};

// The application's main window while it exists.
extern TForm1* Form1;
