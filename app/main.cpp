// tarvel: a card reader on a serial port as a keyboard.
//
//   tarvel SerialPort FillZeroLength AutoEnter CardFormat
//
// Start, in this order: the toolkit's application object (on Linux the
// translation layer must come after it), the translation layer, the serial
// component's message table, the event loop, the keyboard, Form1; then the
// event loop runs with Form1 shown, and Timer1 reads the command line about
// 100 ms later.
//
// Where the program can work without a window (Linux), every form with
// arguments runs windowless on a plain Qt core application, so it needs no
// display; a single --help, -h or /? prints the help text. A single
// --version prints the version everywhere. Elsewhere the
// window always exists and shows for a moment before the command line is read.

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/ErrorBox.h"
#include "app/KeyTyper.h"
#include "app/Unit1.h"
#include "app/Unit1Controls.h"
#include "framework/EventLoop.h"
#include "framework/ExceptionHandler.h"
#include "framework/MainThread.h"
#include "framework/Translation.h"
#include "platform/EventLoop.h"
#include "platform/HandOver.h"
#include "platform/Keyboard.h"
#include "platform/MainWindow.h"
#include "platform/MemoryWindow.h"
#include "platform/Termination.h"
#include "serial/ComPortErrors.h"

namespace {

int PrintHelp()
{
    for (const std::string& line : HelpLines())
        std::printf("%s\n", line.c_str());
    return std::fflush(stdout) == 0 ? ExitNormal : ExitCommandLine;
}

// `tarvel --version`: the name and the version, on every system.
int PrintVersion()
{
    std::printf("tarvel %s\n", TARVEL_VERSION);
    return std::fflush(stdout) == 0 ? ExitNormal : ExitCommandLine;
}

int Run(const std::vector<std::string>& arguments)
{
    if (arguments.size() == 1 && arguments[0] == "--version")
        return PrintVersion();
    const bool windowless = platform::CommandLineRunsWithoutWindow() && !arguments.empty();
    if (windowless && IsHelpRequest(arguments))
        return PrintHelp();

    // Until the toolkit runs, errors can only go to standard error.
    InstallErrorBoxHandler(false);

    // The windowing framework: the toolkit for the window, and the event
    // loop (on Linux a plain Qt core application when there is no window).
    std::unique_ptr<platform::IWindowToolkit> toolkit;
    if (!windowless)
        toolkit = platform::StartWindowToolkit();
    std::unique_ptr<platform::IEventLoop> loop = platform::CreateSystemEventLoop();

    InitTranslation();
    InitSerialErrorTexts();
    InstallErrorBoxHandler(!windowless);

    TForm1::TWindowFactory createWindow;
    if (windowless)
        createWindow = [](const platform::WindowSpec& layout) {
            return std::make_unique<platform::MemoryWindow>(layout);
        };
    else
        createWindow = platform::CreateToolkitWindow;
    auto form = std::make_unique<TForm1>(nullptr, createWindow);
    Form1 = form.get();
    form->SetCommandLine(arguments);
    form->ChooseKeyboard(platform::CreateSystemKeyboard);

    SetApplicationEventLoop(loop.get());  // Timer1 starts counting
    form->Show();
    const int status = RunEventLoop();

    form.reset();  // closes the port
    SetApplicationEventLoop(nullptr);
    loop.reset();
    FreeSerialErrorTexts();
    SetExceptionHandler({});
    toolkit.reset();
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    SetMainThread();
    platform::IgnoreBrokenPipes();
    // Ended from outside (a service stopping, Ctrl+C): the typer stops
    // between two keys, abandoning the rest of a card it is typing, and the
    // request is handed to the main thread, whose loop then quits; Form1
    // closes the port and the status is normal.
    platform::WatchTerminationRequests([] {
        RequestTypingStop();
        try {
            RunOnMainThread([] { QuitEventLoop(ExitNormal); });
        } catch (...) {
        }
    });
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    try {
        return Run(arguments);
    } catch (const std::exception& e) {
        // Start-up itself failed (no display for the window, no event loop):
        // where a window is the only way to tell, the error box says it.
        ShowErrorMessage(e.what(), !platform::CommandLineRunsWithoutWindow());
        return ExitCommandLine;
    }
}
