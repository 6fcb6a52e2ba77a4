#include "X11Processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <vector>

extern char** environ;

namespace tarvel_test {
namespace {

constexpr int kStartSeconds = 30;

// Reads one line from fd, waiting at most `seconds`. False at end of file or
// time-out.
bool ReadLine(int fd, int seconds, std::string& line)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    line.clear();
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd pfd{fd, POLLIN, 0};
        const int n = poll(&pfd, 1, static_cast<int>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        char c = 0;
        const ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        if (c == '\n') {
            return true;
        }
        line += c;
    }
}

void Stop(pid_t pid)
{
    kill(pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

std::unique_ptr<Xvfb> Xvfb::Start(std::string& error)
{
    const char* program = TARVEL_XVFB;
    if (*program == '\0') {
        error = "Xvfb was not found when the build was configured (install the xvfb package)";
        return nullptr;
    }
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return nullptr;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        // Xvfb writes its display number to fd 3 once it takes connections.
        if (ready[1] == 3) {
            fcntl(3, F_SETFD, 0);
        } else {
            dup2(ready[1], 3);
        }
        execl(program, program, "-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0", "640x480x24",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    if (pid < 0) {
        close(ready[0]);
        error = std::string("fork: ") + std::strerror(errno);
        return nullptr;
    }
    std::string number;
    const bool ok = ReadLine(ready[0], kStartSeconds, number) && !number.empty();
    close(ready[0]);
    if (!ok) {
        Stop(pid);
        error = std::string(program) + " did not come up within " + std::to_string(kStartSeconds) + " seconds";
        return nullptr;
    }
    return std::unique_ptr<Xvfb>(new Xvfb(pid, ":" + number));
}

Xvfb::~Xvfb() { Stop(pid_); }

std::unique_ptr<Receiver> Receiver::Start(const std::string& display, std::string& error)
{
    // Everything made before fork: the child only calls what is safe there.
    std::vector<std::string> variables;
    for (char** v = environ; *v != nullptr; ++v) {
        if (std::strncmp(*v, "DISPLAY=", 8) != 0) {
            variables.emplace_back(*v);
        }
    }
    variables.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (std::string& v : variables) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);
    // A receiver that is never stopped ends by itself after a minute.
    std::string program = TARVEL_X11_RECEIVER;
    std::string timeoutOption = "--timeout";
    std::string seconds = "60";
    char* argv[] = {program.data(), timeoutOption.data(), seconds.data(), nullptr};

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return nullptr;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(out[1]);
    if (pid < 0) {
        close(out[0]);
        error = std::string("fork: ") + std::strerror(errno);
        return nullptr;
    }
    // From here on the receiver owns the pipe's reading end: after "ready"
    // it writes each character typed as it arrives.
    std::unique_ptr<Receiver> receiver(new Receiver(pid, out[0]));
    std::string line;
    const bool ready = ReadLine(out[0], kStartSeconds, line) && line == "ready";
    if (!ready) {
        error = "the receiver window did not get the input focus on " + display + " (said \"" + line + "\")";
        return nullptr;
    }
    return receiver;
}

std::string Receiver::Finish(std::string& error)
{
    // It writes what it took before the signal, then exits, which ends the
    // pipe.
    kill(pid_, SIGTERM);
    std::string text;
    char buffer[256];
    for (;;) {
        const ssize_t got = read(output_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(output_);
    output_ = -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::ostringstream why;
        why << "the receiver ended with ";
        if (WIFEXITED(status)) {
            why << "exit code " << WEXITSTATUS(status);
        } else {
            why << "signal " << WTERMSIG(status);
        }
        error = why.str();
    }
    return text;
}

Receiver::~Receiver()
{
    if (pid_ > 0) {
        Stop(pid_);
    }
    if (output_ >= 0) {
        close(output_);
    }
}

}  // namespace tarvel_test
