#pragma once
// A pseudo-terminal pair for the tests (Linux): the slave is the port of
// the program or back end under test, the master the card reader's end. The
// test writes into the master as a reader would and closes it to unplug the
// reader. The line settings are the system's defaults, so that whatever the
// test reads back from the master is what the code under test set.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

namespace tarvel_test {

class PtyPair {
public:
    PtyPair()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            throw std::runtime_error("cannot create a pseudo-terminal");
        }
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) {
            throw std::runtime_error("cannot name the pseudo-terminal's slave");
        }
        slave_ = name;
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slave_; }
    // The Windows device path the component would pass to CreateFileA.
    std::string PortPath() const { return "\\\\.\\" + slave_; }
    int Master() const { return master_; }

    void Write(const std::string& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                throw std::runtime_error("cannot write into the pseudo-terminal");
            }
            done += static_cast<std::size_t>(n);
        }
    }

    // True when another program could not have the port now: a second
    // opening is refused, or (for root, whom TIOCEXCL does not stop) its
    // lock is held.
    bool HeldExclusively() const
    {
        const int fd = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return errno == EBUSY;
        }
        const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        close(fd);
        return locked;
    }

    void CloseMaster()
    {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

private:
    int master_ = -1;
    std::string slave_;
};

}  // namespace tarvel_test
