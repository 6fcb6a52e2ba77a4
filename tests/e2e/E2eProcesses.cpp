#include "tests/e2e/E2eProcesses.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "tests/support/Lines.h"

extern char** environ;

namespace tarvel_test {
namespace {

int MsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Appends what fd has within the deadline; closes it (fd = -1) at its end.
bool ReadSome(int& fd, std::string& into, Clock::time_point deadline)
{
    if (fd < 0)
        return false;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int n = poll(&p, 1, MsLeft(deadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            close(fd);
            fd = -1;
            return false;
        }
        into.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
}

// In a freshly forked child: a mount namespace with /dev/null over `path`.
// Only calls that are safe after fork. Returns false on failure, with errno.
bool HideInChild(const char* path)
{
    if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return false;
    // Nothing done here may reach the parent's mounts.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    return mount("/dev/null", path, nullptr, MS_BIND, nullptr) == 0;
}

void SayInChild(const char* what)
{
    const char* reason = std::strerror(errno);
    (void)!write(STDERR_FILENO, what, std::strlen(what));
    (void)!write(STDERR_FILENO, reason, std::strlen(reason));
    (void)!write(STDERR_FILENO, "\n", 1);
}

}  // namespace

bool CanHide(const std::string& path)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(HideInChild(path.c_str()) ? 0 : 1);
    if (pid < 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, const std::string& hidden)
{
    // Everything is made before fork: the child only calls what is safe there.
    std::vector<std::string> variables;
    for (char** v = environ; *v != nullptr; ++v) {
        const std::string variable = *v;
        bool replaced = false;
        for (const std::string& extra : extraEnv)
            replaced = replaced || variable.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0;
        if (!replaced)
            variables.push_back(variable);
    }
    variables.insert(variables.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);

    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    pid_ = fork();
    if (pid_ == 0) {
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (!hidden.empty() && !HideInChild(hidden.c_str())) {
            SayInChild("cannot hide a path from the child: ");
            _exit(126);
        }
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    stdout_ = out[0];
    stderr_ = err[0];
    if (pid_ < 0) {
        close(stdout_);
        close(stderr_);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
}

Child::~Child() { Stop(milliseconds(2000)); }

bool Child::ReadOutput(milliseconds within) { return ReadSome(stdout_, out_, Clock::now() + within); }

std::optional<std::string> Child::ReadLine(milliseconds within)
{
    const auto deadline = Clock::now() + within;
    return TakeLine(out_, [&] { return ReadSome(stdout_, out_, deadline); });
}

const std::string& Child::Errors()
{
    while (ReadSome(stderr_, err_, Clock::now())) {
    }
    return err_;
}

bool Child::Running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done != pid_)
        return true;
    ended_ = WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                               : "signal " + std::to_string(WTERMSIG(status));
    pid_ = -1;
    return false;
}

std::string Child::Stop(milliseconds within)
{
    if (Running()) {
        kill(pid_, SIGTERM);
        const auto deadline = Clock::now() + within;
        while (Running() && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(10));
        if (Running()) {
            kill(pid_, SIGKILL);
            int status = 0;
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            ended_ = "killed after " + std::to_string(within.count()) + " ms";
            pid_ = -1;
        }
    }
    // Both pipes end with the child (or with a grandchild that kept them).
    const auto deadline = Clock::now() + milliseconds(1000);
    while (ReadSome(stdout_, out_, deadline)) {
    }
    while (ReadSome(stderr_, err_, deadline)) {
    }
    if (stdout_ >= 0) {
        close(stdout_);
        stdout_ = -1;
    }
    if (stderr_ >= 0) {
        close(stderr_);
        stderr_ = -1;
    }
    return ended_;
}

}  // namespace tarvel_test
