#pragma once
// Pseudo-terminal pairs and thread statistics for the serial back end's
// integration tests. The back end opens the slave as its port; the test
// writes into the master as the card reader would, and closes the master to
// unplug the reader.

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/SerialApi.h"

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

// Threads of this process, by id.
inline std::set<int> TaskIds()
{
    std::set<int> ids;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                ids.insert(std::stoi(entry->d_name));
            }
        }
        closedir(dir);
    }
    return ids;
}

inline std::string ThreadName(int tid)
{
    std::ifstream comm("/proc/self/task/" + std::to_string(tid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// The thread with this name that appeared while f ran, or -1. (A sanitizer
// may start threads of its own at the first thread creation.)
inline int NewThreadDuring(const std::string& name, const std::function<void()>& f)
{
    const std::set<int> before = TaskIds();
    f();
    for (int id : TaskIds()) {
        if (before.count(id) == 0 && ThreadName(id) == name) {
            return id;
        }
    }
    return -1;
}

struct ThreadStats {
    long switches = 0;   // voluntary + involuntary context switches
    long cpuTicks = 0;   // user + system time in clock ticks
};

inline ThreadStats StatsOf(int tid)
{
    ThreadStats stats;
    const std::string base = "/proc/self/task/" + std::to_string(tid);
    std::ifstream status(base + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
            line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
            stats.switches += std::stol(line.substr(line.find(':') + 1));
        }
    }
    std::ifstream statFile(base + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    const std::size_t close = stat.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        // Fields after the name start at 3 (state); utime is 14, stime 15.
        for (int index = 3; index <= 15 && (fields >> field); ++index) {
            if (index == 14 || index == 15) {
                stats.cpuTicks += std::stol(field);
            }
        }
    }
    return stats;
}

inline double ElapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace tarvel_test
