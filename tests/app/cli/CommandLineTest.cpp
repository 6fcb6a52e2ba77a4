// The real tarvel binary from the command line: exit status, standard output
// and standard error for help, wrong argument counts, bad numbers and a
// missing device; four arguments on a pseudo-terminal open it (seen from the
// other end) and create no window, with no display at all or with one.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/x11/X11Processes.h"
#include "tests/support/PtyPair.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The environment without the variables that name a display or a Qt
// platform, plus `extra`.
std::vector<std::string> Environment(const std::map<std::string, std::string>& extra = {})
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM" || name == "LSAN_OPTIONS" ||
            name == "LANG" || name == "LANGUAGE" || name == "LC_ALL" || name == "LC_MESSAGES" || extra.count(name) != 0)
            continue;
        env.push_back(entry);
    }
    // The built program finds the shipped catalogs beside it: English unless a test asks.
    if (extra.count("LANG") == 0)
        env.push_back("LANG=C.UTF-8");
    for (const auto& [name, value] : extra)
        env.push_back(name + "=" + value);
    // In a sanitizer build: what system libraries leak is not tarvel's.
    env.push_back("LSAN_OPTIONS=suppressions=" TARVEL_LSAN_SUPPRESSIONS);
    return env;
}

// tarvel as a child process with its standard output and error captured.
class Tarvel {
public:
    // errorReaderGone: standard error is a pipe whose reading end is already
    // closed, as when whatever read tarvel's output has gone away.
    Tarvel(const std::vector<std::string>& arguments, const std::vector<std::string>& env, bool errorReaderGone = false)
    {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        if (errorReaderGone) {
            close(err[0]);
            err[0] = open("/dev/null", O_RDONLY | O_CLOEXEC);
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        std::vector<std::string> argv{TARVEL_EXECUTABLE};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> args;
        for (std::string& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        std::vector<std::string> envCopy = env;
        std::vector<char*> envp;
        for (std::string& e : envCopy)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const int rc = posix_spawn(&pid_, TARVEL_EXECUTABLE, &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
        if (rc != 0)
            throw std::runtime_error(std::string("cannot start tarvel: ") + std::strerror(rc));
    }
    ~Tarvel()
    {
        if (!status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(err_);
    }
    Tarvel(const Tarvel&) = delete;
    Tarvel& operator=(const Tarvel&) = delete;

    // Waits for the end (at most `seconds`) and returns the exit status, or
    // nothing when it is still running.
    std::optional<int> Wait(int seconds)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(seconds);
        while (!status_) {
            Drain(50);
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_)
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else if (Clock::now() >= deadline)
                return std::nullopt;
        }
        Drain(0);
        return status_;
    }

    bool Running() { return !Wait(0).has_value(); }

    // Ends it as the system would at log-off.
    void Terminate()
    {
        kill(pid_, SIGTERM);
        Wait(10);
    }

    const std::string& Out() const { return out_text_; }
    const std::string& Err() const { return err_text_; }

private:
    void Drain(int milliseconds)
    {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (poll(fds, 2, milliseconds) <= 0)
            return;
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0)
                (i == 0 ? out_text_ : err_text_).append(buffer, static_cast<std::size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::optional<int> status_;
    std::string out_text_;
    std::string err_text_;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool HasLine(const std::string& text, const std::string& line)
{
    for (const std::string& l : Lines(text))
        if (l == line)
            return true;
    return false;
}

using tarvel_test::PtyPair;

// The line settings tarvel gave the port, read from the reader's end.
bool RawAt9600(const PtyPair& pty)
{
    termios t{};
    if (tcgetattr(pty.Master(), &t) != 0)
        return false;
    return cfgetospeed(&t) == B9600 && !(t.c_lflag & ICANON) && (t.c_cflag & CSIZE) == CS8 && !(t.c_cflag & PARENB) &&
           !(t.c_cflag & CSTOPB);
}

// Waits up to `seconds` for the condition.
template <typename Condition>
bool WaitFor(int seconds, Condition condition)
{
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

const std::string Usage =
    "tarvel: Usage: tarvel SerialPort FillZeroLength AutoEnter CardFormat\n"
    "Default : tarvel com1 10 1 1.\n";

TEST(CommandLineTest, AWrongNumberOfArgumentsGivesTheUsageAndStatus2)
{
    const std::vector<std::vector<std::string>> cases = {
        {"COM1"},           {"COM1", "10"}, {"COM1", "10", "1"}, {"COM1", "10", "1", "1", "1"}, {"--help", "-h"},
        {"--version", "x"}, {"-V"},         {"-version"}};
    for (const auto& arguments : cases) {
        Tarvel tarvel(arguments, Environment());
        EXPECT_EQ(tarvel.Wait(30), 2) << arguments.size() << " arguments";
        EXPECT_EQ(tarvel.Err(), Usage);
        EXPECT_EQ(tarvel.Out(), "");
    }
}

TEST(CommandLineTest, HelpPrintsTheHelpTextWithoutADisplay)
{
    for (const char* help : {"--help", "-h", "/?"}) {
        Tarvel tarvel({help}, Environment());
        EXPECT_EQ(tarvel.Wait(30), 0) << help;
        const std::vector<std::string> lines = Lines(tarvel.Out());
        ASSERT_EQ(lines.size(), 23u) << help;
        EXPECT_EQ(lines[0], " -- Please use the following parameters for auto run--");
        EXPECT_EQ(lines[18], "                   12 : 7 Bytes Card  14 Hex");
        EXPECT_EQ(lines[1], " tarvel SerialPort FillZeroLength AutoEnter CardFormat");
        EXPECT_EQ(lines[3], " SerialPort : com1 .. com16 (/dev/ttyS0 .. /dev/ttyS15) or a device such as /dev/ttyUSB0");
        EXPECT_EQ(lines[22], " Default : tarvel com1 10 1 1");
        EXPECT_EQ(tarvel.Err(), "");
    }
}

TEST(CommandLineTest, VersionPrintsTheProjectVersionWithoutADisplay)
{
    Tarvel tarvel({"--version"}, Environment());
    EXPECT_EQ(tarvel.Wait(30), 0);
    EXPECT_EQ(tarvel.Out(), std::string("tarvel ") + TARVEL_VERSION + "\n");
    EXPECT_EQ(tarvel.Err(), "");
}

TEST(CommandLineTest, ABadNumberEndsWithTheConversionErrorAndStatus1)
{
    struct Case {
        std::vector<std::string> tail;  // after the port
        std::string line;
    };
    const Case cases[] = {
        {{"x", "1", "1"}, "tarvel: 'x' is not a valid integer value."},
        {{"10", "yes", "1"}, "tarvel: 'yes' is not a valid integer value."},
        {{"10", "1", "4a"}, "tarvel: '4a' is not a valid integer value."},
    };
    for (const Case& c : cases) {
        PtyPair pty;
        std::vector<std::string> arguments{pty.SlavePath()};
        arguments.insert(arguments.end(), c.tail.begin(), c.tail.end());
        Tarvel tarvel(arguments, Environment());
        EXPECT_EQ(tarvel.Wait(30), 1) << c.line;
        EXPECT_TRUE(HasLine(tarvel.Err(), c.line)) << tarvel.Err();
        EXPECT_FALSE(pty.HeldExclusively()) << "the port is closed at the end";
    }
}

TEST(CommandLineTest, AMissingDeviceEndsWithTheOpenErrorAndStatus1)
{
    Tarvel tarvel({"/dev/tarvel-test-no-such-port", "10", "1", "1"}, Environment());
    EXPECT_EQ(tarvel.Wait(30), 1);
    EXPECT_TRUE(HasLine(tarvel.Err(), "tarvel: Unable to open com port (win error code: 2)")) << tarvel.Err();
}

TEST(CommandLineTest, TheShippedCatalogsTranslateTheOpenError)
{
    struct Case {
        const char* lang;
        const char* line;
    };
    const Case cases[] = {
        {"de_DE.UTF-8", "tarvel: Serielle Schnittstelle lässt sich nicht öffnen (Windows-Fehlercode: 2)"},
        {"fr_FR.UTF-8", "tarvel: Impossible d'ouvrir le port série (code d'erreur Windows : 2)"},
        {"es_ES.UTF-8", "tarvel: No se puede abrir el puerto serie (código de error de Windows: 2)"},
        {"it_IT.UTF-8", "tarvel: Unable to open com port (win error code: 2)"},
    };
    for (const Case& c : cases) {
        Tarvel tarvel({"/dev/tarvel-test-no-such-port", "10", "1", "1"}, Environment({{"LANG", c.lang}}));
        EXPECT_EQ(tarvel.Wait(30), 1) << c.lang;
        EXPECT_TRUE(HasLine(tarvel.Err(), c.line)) << tarvel.Err();
    }
}

// A diagnostic line that cannot be written costs that line only.
TEST(CommandLineTest, AStandardErrorWithoutAReaderDoesNotEndTheProgram)
{
    Tarvel tarvel({"/dev/tarvel-test-no-such-port", "10", "1", "1"}, Environment(), true);
    EXPECT_EQ(tarvel.Wait(30), 1) << "128 + 13 is death by SIGPIPE";
}

TEST(CommandLineTest, NoArgumentsWithoutADisplayCannotShowTheWindow)
{
    const std::map<std::string, std::string> environments[] = {
        {},
        // A Wayland display that nothing serves is no display either.
        {{"WAYLAND_DISPLAY", "tarvel-test-no-such-wayland"}},
        {{"WAYLAND_DISPLAY", "/nonexistent/tarvel-test-wayland-0"}},
    };
    for (const auto& extra : environments) {
        SCOPED_TRACE(extra.empty() ? "nothing set" : extra.begin()->second);
        Tarvel tarvel({}, Environment(extra));
        EXPECT_EQ(tarvel.Wait(30), 1);
        // No full stop after ")", which sorts before ".".
        EXPECT_EQ(tarvel.Err(), "tarvel: Cannot show the window: no display (DISPLAY is not set)\n");
    }
}

// Four arguments need neither a display nor Qt's platform: with uinput the
// program runs; without it there is no keyboard to type with, which is said
// once the arguments have been taken.
TEST(CommandLineTest, FourArgumentsRunWithoutAnyDisplay)
{
    PtyPair pty;
    Tarvel tarvel({pty.SlavePath(), "10", "1", "1"}, Environment());
    const bool uinput = access("/dev/uinput", W_OK) == 0;
    if (uinput) {
        EXPECT_TRUE(WaitFor(20, [&] { return pty.HeldExclusively(); })) << tarvel.Err();
        EXPECT_TRUE(RawAt9600(pty));
        EXPECT_TRUE(tarvel.Running()) << tarvel.Err();
        tarvel.Terminate();
    } else {
        EXPECT_EQ(tarvel.Wait(30), 1);
        // One line, the program's own: nothing from a window toolkit.
        const std::vector<std::string> lines = Lines(tarvel.Err());
        ASSERT_EQ(lines.size(), 1u) << tarvel.Err();
        EXPECT_EQ(lines[0].rfind("tarvel: No keyboard to type with: uinput needs write access", 0), 0u) << lines[0];
    }
}

std::size_t TopLevelWindows(Display* display)
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    if (children != nullptr)
        XFree(children);
    return count;
}

// With a display (typing through XTest) the four-argument form still
// creates no window: it opens the port and waits, hidden.
TEST(CommandLineTest, FourArgumentsOpenThePortAndCreateNoWindow)
{
    std::string error;
    auto xvfb = tarvel_test::Xvfb::Start(error);
    ASSERT_NE(xvfb, nullptr) << error;
    Display* display = XOpenDisplay(xvfb->Display().c_str());
    ASSERT_NE(display, nullptr);
    const std::size_t before = TopLevelWindows(display);

    PtyPair pty;
    Tarvel tarvel({pty.SlavePath(), "10", "1", "1"}, Environment({{"DISPLAY", xvfb->Display()}}));
    ASSERT_TRUE(WaitFor(20, [&] { return pty.HeldExclusively(); })) << tarvel.Err();
    EXPECT_TRUE(RawAt9600(pty));
    // Past the start-up timer, still running and still without a window.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(tarvel.Running()) << tarvel.Err();
    EXPECT_EQ(TopLevelWindows(display), before);

    // Ended from outside as a service stop does it: a normal end, port closed.
    tarvel.Terminate();
    EXPECT_EQ(tarvel.Wait(10), 0) << tarvel.Err();
    EXPECT_TRUE(WaitFor(5, [&] { return !pty.HeldExclusively(); }));
    XCloseDisplay(display);
}

bool Mapped(Display* display, Window window)
{
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) != 0 && attributes.map_state == IsViewable;
}

// The shown top-level window named `name`, or 0 (the toolkit also names
// hidden helper windows after the program).
Window FindShownTopLevel(Display* display, const char* name)
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char* title = nullptr;
        if (XFetchName(display, children[i], &title) != 0 && title != nullptr) {
            if (std::strcmp(title, name) == 0 && Mapped(display, children[i]))
                found = children[i];
            XFree(title);
        }
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

// Without arguments on a real X display: the window comes up and stays
// after the start-up timer; its close button ends the program with status 0.
TEST(CommandLineTest, NoArgumentsShowTheWindowUntilItIsClosed)
{
    std::string error;
    auto xvfb = tarvel_test::Xvfb::Start(error);
    ASSERT_NE(xvfb, nullptr) << error;
    Display* display = XOpenDisplay(xvfb->Display().c_str());
    ASSERT_NE(display, nullptr);

    Tarvel tarvel({}, Environment({{"DISPLAY", xvfb->Display()}, {"QT_QPA_PLATFORM", "xcb"}}));
    Window window = 0;
    ASSERT_TRUE(WaitFor(20, [&] {
        window = FindShownTopLevel(display, "tarvel");
        return window != 0;
    })) << tarvel.Err();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // past the start-up timer
    EXPECT_TRUE(Mapped(display, window));
    EXPECT_TRUE(tarvel.Running()) << tarvel.Err();

    // The close button: WM_DELETE_WINDOW, as a window manager sends it.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &close);
    XFlush(display);
    EXPECT_EQ(tarvel.Wait(20), 0) << tarvel.Err();
    XCloseDisplay(display);
}

}  // namespace
