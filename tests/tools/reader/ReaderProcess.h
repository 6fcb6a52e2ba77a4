#pragma once
// Runs tarvel-reader as a child process with pipes on its standard streams,
// and reads the pseudo-terminal it makes the way tarvel would. Every wait has
// a time limit, so a broken reader fails the test instead of hanging it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/Lines.h"

namespace tarvel_test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

class ReaderProcess {
public:
    explicit ReaderProcess(const std::vector<std::string>& args)
    {
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe2 failed");
        }
        std::vector<std::string> argv{TARVEL_READER_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (auto& a : argv)
            pointers.push_back(a.data());
        pointers.push_back(nullptr);

        pid_ = fork();
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            execv(pointers[0], pointers.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        stderr_ = err[0];
    }

    ~ReaderProcess()
    {
        CloseStdin();
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(stdout_);
        close(stderr_);
    }

    ReaderProcess(const ReaderProcess&) = delete;
    ReaderProcess& operator=(const ReaderProcess&) = delete;

    pid_t Pid() const { return pid_; }

    void Write(const std::string& text)
    {
        if (write(stdin_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            throw std::runtime_error("cannot write to the reader's standard input");
        }
    }

    void CloseStdin()
    {
        if (stdin_ >= 0)
            close(stdin_);
        stdin_ = -1;
    }

    // The next line of standard output, or nothing within the time.
    std::optional<std::string> ReadLine(milliseconds within)
    {
        const auto deadline = Clock::now() + within;
        return TakeLine(out_, [&] { return ReadInto(stdout_, out_, deadline); });
    }

    // What the reader wrote to standard error so far (all of it once
    // WaitExit has returned a status).
    const std::string& Errors() const { return err_; }

    // The exit status, or nothing when the reader is still running after
    // the time given. The end of its standard error marks its end.
    std::optional<int> WaitExit(milliseconds within)
    {
        if (status_)
            return status_;
        const auto deadline = Clock::now() + within;
        while (!stderrEnded_) {
            if (!ReadInto(stderr_, err_, deadline, &stderrEnded_) && !stderrEnded_)
                return std::nullopt;
        }
        int raw = 0;
        if (waitpid(pid_, &raw, 0) != pid_)
            return std::nullopt;
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status_;
    }

private:
    // Appends what fd has within the deadline; false at its end (setting
    // *ended) or when nothing came.
    static bool ReadInto(int fd, std::string& into, Clock::time_point deadline, bool* ended = nullptr)
    {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, MsLeft(deadline)) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            if (ended)
                *ended = true;
            return false;
        }
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::string out_;
    std::string err_;
    bool stderrEnded_ = false;
    std::optional<int> status_;
};

// One piece of what arrived on the port, and when.
struct Arrival {
    Clock::time_point at;
    std::string bytes;
};

// The port end, opened the way the serial back end opens it.
class Port {
public:
    explicit Port(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~Port()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    // Reads until `count` bytes have arrived or the time is up.
    std::vector<Arrival> Receive(std::size_t count, milliseconds within)
    {
        std::vector<Arrival> arrivals;
        std::size_t total = 0;
        const auto deadline = Clock::now() + within;
        while (total < count) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, MsLeft(deadline)) <= 0)
                break;
            char buffer[256];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            arrivals.push_back({Clock::now(), std::string(buffer, static_cast<std::size_t>(n))});
            total += static_cast<std::size_t>(n);
        }
        return arrivals;
    }

    std::string ReceiveText(std::size_t count, milliseconds within)
    {
        std::string all;
        for (const auto& a : Receive(count, within))
            all += a.bytes;
        return all;
    }

private:
    int fd_;
};

}  // namespace tarvel_test
