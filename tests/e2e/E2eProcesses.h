#pragma once
// Child processes for the end-to-end tests: the real tarvel, the virtual
// reader and the receiver window, each with its standard output or error on
// a pipe the test reads with a time limit. Every child is ended (SIGTERM,
// then SIGKILL) when its object goes, so a failing test leaves nothing
// running.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tarvel_test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Whether a child can be given a view of the file system in which `path` is
// /dev/null: a mount namespace of its own (in a user namespace of its own
// when the test is not privileged) with /dev/null bound over the path. Used
// to keep tarvel from reaching /dev/uinput, so that it types through XTest
// into the test's display, as it does on any machine without uinput.
bool CanHide(const std::string& path);

class Child {
public:
    // Starts argv[0] (a path) with the test's environment plus `extraEnv`
    // ("NAME=value", replacing a variable of that name). Standard input is
    // /dev/null; standard output and standard error go to pipes. Throws
    // std::runtime_error when it cannot start.
    // With `hidden` set, the child runs in a mount namespace of its own in
    // which that path is /dev/null (see HideInChild); when that cannot be
    // made, the child ends with status 126 and says why on standard error.
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
          const std::string& hidden = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads what is there on standard output within the time (false when
    // nothing came or it ended).
    bool ReadOutput(milliseconds within);
    // All standard output so far, and the next whole line of it.
    const std::string& Output() const { return out_; }
    std::optional<std::string> ReadLine(milliseconds within);
    // Standard error so far (all of it once Stop has returned).
    const std::string& Errors();

    // Still running?
    bool Running();
    // SIGTERM, at most `within` for it to end, then SIGKILL. Takes the rest
    // of both outputs. Returns a description of how it ended: "exit N" or
    // "signal N".
    std::string Stop(milliseconds within = milliseconds(5000));

private:
    void Drain(int& fd, std::string& into);

    pid_t pid_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::string out_;
    std::string err_;
    std::string ended_;
};

}  // namespace tarvel_test
