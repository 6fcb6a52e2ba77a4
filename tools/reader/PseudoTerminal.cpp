#include "tools/reader/PseudoTerminal.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace reader {
namespace {

[[noreturn]] void Fail(const std::string& what, int error)
{
    throw std::runtime_error(what + ": " + std::strerror(error));
}

}  // namespace

PseudoTerminal::PseudoTerminal()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        Fail("cannot create a pseudo-terminal (posix_openpt)", errno);
    try {
        if (grantpt(master_) != 0)
            Fail("cannot create a pseudo-terminal (grantpt)", errno);
        if (unlockpt(master_) != 0)
            Fail("cannot create a pseudo-terminal (unlockpt)", errno);
        char name[128];
        if (const int error = ptsname_r(master_, name, sizeof name); error != 0) {
            Fail("cannot create a pseudo-terminal (ptsname_r)", error);
        }
        slavePath_ = name;

        // Raw mode, so that CR, LF, control characters and bytes with the
        // high bit reach the other side as they are and nothing is echoed.
        // The settings made here are the slave's until its user changes them.
        termios settings{};
        if (tcgetattr(master_, &settings) != 0)
            Fail("cannot read the settings of " + slavePath_, errno);
        cfmakeraw(&settings);
        cfsetispeed(&settings, B9600);
        cfsetospeed(&settings, B9600);
        if (tcsetattr(master_, TCSANOW, &settings) != 0)
            Fail("cannot set raw mode on " + slavePath_, errno);

        const int flags = fcntl(master_, F_GETFL);
        if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
            Fail("cannot make " + slavePath_ + " non-blocking", errno);
        }

        // The slave has never been opened yet, and a master reports nothing
        // for that state, so the open is seen through the file system.
        watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch_ < 0)
            Fail("cannot watch " + slavePath_ + " (inotify_init1)", errno);
        if (inotify_add_watch(watch_, slavePath_.c_str(), IN_OPEN) < 0) {
            Fail("cannot watch " + slavePath_ + " (inotify_add_watch)", errno);
        }
    } catch (...) {
        if (watch_ >= 0)
            close(watch_);
        close(master_);
        throw;
    }
}

PseudoTerminal::~PseudoTerminal()
{
    RemoveLink();
    close(watch_);
    close(master_);
}

void PseudoTerminal::MakeLink(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        throw std::runtime_error("cannot make the link " + path +
                                 ": something that is not a symbolic link is there; it is left alone");
    }
    // A new link under a temporary name, then renamed over the old one, so
    // that the path never points nowhere.
    const std::string temporary = path + ".tarvel-reader." + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(slavePath_.c_str(), temporary.c_str()) != 0)
        Fail("cannot make the link " + path, errno);
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        Fail("cannot make the link " + path, error);
    }
    link_ = path;
}

void PseudoTerminal::RemoveLink()
{
    if (link_.empty())
        return;
    char target[256];
    const ssize_t n = readlink(link_.c_str(), target, sizeof target);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == slavePath_)
        unlink(link_.c_str());
    link_.clear();
}

bool PseudoTerminal::ConsumeOpened()
{
    alignas(inotify_event) char buffer[4096];
    bool opened = false;
    for (;;) {
        const ssize_t n = read(watch_, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return opened;
        }
        for (ssize_t at = 0; at < n;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            if (event.mask & IN_OPEN)
                opened = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
}

void PseudoTerminal::DiscardInput()
{
    char buffer[4096];
    while (read(master_, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace reader
