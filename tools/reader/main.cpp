// tarvel-reader: a virtual card reader on a pseudo-terminal. See HelpText()
// in Options.cpp for what it does.

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/reader/Frames.h"
#include "tools/reader/Options.h"
#include "tools/reader/PseudoTerminal.h"

namespace reader {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kProgram = "tarvel-reader";

// Thrown out of every wait when SIGINT, SIGTERM or SIGHUP arrived: the
// reader unwinds, removes its link and exits normally.
struct Stopped {};

// All waiting happens here, in ppoll on the wanted descriptor and on the
// signal descriptor, so a signal ends any wait at once and nothing spins.
class Waiter {
public:
    Waiter()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0)
            throw std::runtime_error("cannot block signals");
        signals_ = signalfd(-1, &set, SFD_CLOEXEC);
        if (signals_ < 0)
            throw std::runtime_error(std::string("cannot create a signalfd: ") + std::strerror(errno));
    }
    ~Waiter() { close(signals_); }
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    // Waits until fd shows one of the events (returning what it showed) or
    // until the deadline (returning 0). fd -1 waits for the deadline only; no
    // deadline waits for the descriptor only.
    short Wait(int fd, short events, std::optional<Clock::time_point> deadline)
    {
        for (;;) {
            pollfd fds[2] = {{signals_, POLLIN, 0}, {fd, events, 0}};
            timespec timeout{};
            timespec* timeoutPtr = nullptr;
            if (deadline) {
                const auto left = *deadline - Clock::now();
                if (left <= Clock::duration::zero())
                    return 0;
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
                timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
                timeoutPtr = &timeout;
            }
            const int n = ppoll(fds, fd >= 0 ? 2 : 1, timeoutPtr, nullptr);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw std::runtime_error(std::string("ppoll failed: ") + std::strerror(errno));
            }
            if (fds[0].revents != 0)
                throw Stopped{};
            if (fd >= 0 && fds[1].revents != 0)
                return fds[1].revents;
            if (n == 0 && deadline)
                return 0;
        }
    }

    void SleepUntil(Clock::time_point deadline) { Wait(-1, 0, deadline); }

    // What fd shows right now, without waiting.
    short PollNow(int fd, short events)
    {
        pollfd one{fd, events, 0};
        return poll(&one, 1, 0) > 0 ? one.revents : 0;
    }

private:
    int signals_ = -1;
};

double MonotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void Report(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Writes frames into the master, paced and spaced as the options say.
class Sender {
public:
    Sender(PseudoTerminal& pty, Waiter& waiter, const Options& options)
        : pty_(pty), waiter_(waiter), options_(options), byteTime_(ByteTimeNs(options.baud))
    {}

    void Send(const std::string& frame)
    {
        if (lastEnd_)
            waiter_.SleepUntil(*lastEnd_ + std::chrono::milliseconds(options_.gapMs));
        pty_.DiscardInput();
        if (options_.splitMs != 0) {
            // Three parts with a pause between them: cut at a third and two.
            const std::size_t cuts[] = {0, frame.size() / 3, frame.size() * 2 / 3, frame.size()};
            for (int part = 0; part < 3; ++part) {
                if (part != 0)
                    waiter_.SleepUntil(Clock::now() + std::chrono::milliseconds(options_.splitMs));
                Write(frame.data() + cuts[part], cuts[part + 1] - cuts[part]);
            }
        } else if (byteTime_.count() == 0) {
            Write(frame.data(), frame.size());
        } else {
            // Each byte at its own deadline from the frame's start, so that
            // late wake-ups do not add up.
            const auto start = Clock::now();
            for (std::size_t i = 0; i < frame.size(); ++i) {
                waiter_.SleepUntil(start + byteTime_ * static_cast<std::int64_t>(i));
                Write(frame.data() + i, 1);
            }
        }
        lastEnd_ = Clock::now();
        if (options_.report) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.6f", MonotonicSeconds());
            Report(std::string("sent ") + seconds + " " + HexDump(frame));
        }
    }

private:
    void Write(const char* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t n = write(pty_.MasterFd(), data, size);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN) {
                throw std::runtime_error("cannot write to " + pty_.SlavePath() + ": " + std::strerror(errno));
            }
            // The other side's input queue is full. Wait for room; when the
            // other side has closed the device, nobody makes room until it is
            // opened again, so wait for that open (looking once more after
            // dropping old open events, in case it was reopened just now).
            if (waiter_.Wait(pty_.MasterFd(), POLLOUT, std::nullopt) & POLLHUP) {
                pty_.ConsumeOpened();
                if (waiter_.PollNow(pty_.MasterFd(), POLLOUT) & POLLHUP) {
                    waiter_.Wait(pty_.OpenWatchFd(), POLLIN, std::nullopt);
                }
            }
        }
    }

    PseudoTerminal& pty_;
    Waiter& waiter_;
    const Options& options_;
    std::chrono::nanoseconds byteTime_;
    std::optional<Clock::time_point> lastEnd_;
};

// Standard input, line by line, without blocking signals out.
class LineInput {
public:
    explicit LineInput(Waiter& waiter) : waiter_(waiter) {}

    // The next line without its end, or nothing at the end of the input.
    std::optional<std::string> Next()
    {
        for (;;) {
            if (const auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            if (ended_) {
                if (buffer_.empty())
                    return std::nullopt;
                std::string line;
                line.swap(buffer_);
                return line;
            }
            Fill();
        }
    }

    bool Failed() const { return failed_; }

    // Reads and drops everything up to the end of the input. When standard
    // input cannot be read (a terminal the reader may not read in the
    // background), waits for a signal instead.
    void WaitForEnd()
    {
        while (!ended_) {
            buffer_.clear();
            Fill();
        }
        if (failed_)
            waiter_.Wait(-1, 0, std::nullopt);
    }

private:
    void Fill()
    {
        // No standard input at all counts as its end.
        if (waiter_.Wait(STDIN_FILENO, POLLIN, std::nullopt) & POLLNVAL) {
            ended_ = true;
            return;
        }
        char chunk[4096];
        const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
        if (n > 0) {
            buffer_.append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0) {
            ended_ = true;
        } else if (errno != EINTR && errno != EAGAIN) {
            std::fprintf(stderr, "%s: cannot read standard input: %s\n", kProgram, std::strerror(errno));
            ended_ = failed_ = true;
        }
    }

    Waiter& waiter_;
    std::string buffer_;
    bool ended_ = false;
    bool failed_ = false;
};

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Everything after the device exists and its path is printed. Sets status
// to 1 when a line of standard input was skipped or could not be read.
void Run(PseudoTerminal& pty, Waiter& waiter, const Options& options, int& status)
{
    if (options.waitOpen) {
        waiter.Wait(pty.OpenWatchFd(), POLLIN, std::nullopt);
        pty.ConsumeOpened();
        if (options.report) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.6f", MonotonicSeconds());
            Report(std::string("open ") + seconds);
        }
    }
    waiter.SleepUntil(Clock::now() + std::chrono::milliseconds(FirstCardDelayMs(options)));

    Sender sender(pty, waiter, options);
    LineInput input(waiter);
    if (!options.frames.empty()) {
        if (options.together) {
            std::string all;
            for (const std::string& frame : options.frames)
                all += frame;
            sender.Send(all);
        } else {
            for (const std::string& frame : options.frames)
                sender.Send(frame);
        }
    } else {
        int lineNumber = 0;
        while (const auto line = input.Next()) {
            ++lineNumber;
            const std::string item = Trimmed(*line);
            if (item.empty() || item[0] == '#')
                continue;
            try {
                sender.Send(BuildFrame(item, options.style, options.frame));
            } catch (const FrameError& e) {
                std::fprintf(stderr, "%s: line %d skipped: %s\n", kProgram, lineNumber, e.what());
                status = 1;
            }
        }
        if (input.Failed())
            status = 1;
    }

    if (options.exitAfterSend)
        return;
    if (options.holdMs) {
        if (*options.holdMs == kHoldForever) {
            waiter.Wait(-1, 0, std::nullopt);
        } else {
            waiter.SleepUntil(Clock::now() + std::chrono::milliseconds(*options.holdMs));
        }
        return;
    }
    input.WaitForEnd();
}

}  // namespace
}  // namespace reader

int main(int argc, char** argv)
{
    using namespace reader;

    Options options;
    try {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, e.what(), kProgram);
        return 2;
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }

    // A reader whose output nobody reads any more goes on sending; one in
    // the background of a terminal gets an error instead of being stopped.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGTTIN, SIG_IGN);

    try {
        Waiter waiter;
        PseudoTerminal pty;
        if (!options.link.empty())
            pty.MakeLink(options.link);
        Report(pty.SlavePath());
        int status = 0;
        try {
            Run(pty, waiter, options, status);
        } catch (const Stopped&) {
            // Told to stop: a normal end.
        }
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return 1;
    }
}
