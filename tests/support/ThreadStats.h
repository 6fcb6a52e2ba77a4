#pragma once
// Threads of this process as the kernel shows them, for the serial back
// end's integration tests: which thread a call started, and how often it ran.

#include <dirent.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

namespace tarvel_test {

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
    long switches = 0;  // voluntary + involuntary context switches
    long cpuTicks = 0;  // user + system time in clock ticks
};

inline ThreadStats StatsOf(int tid)
{
    ThreadStats stats;
    const std::string base = "/proc/self/task/" + std::to_string(tid);
    std::ifstream status(base + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
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
