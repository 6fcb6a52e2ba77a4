#pragma once
// The reader's end of a pseudo-terminal pair: the master, in raw mode so that
// every byte reaches the other side unchanged, the slave's path for the
// program under test, an optional symbolic link to that path, and a watch
// that tells when someone opens the slave.

#include <string>

namespace reader {

class PseudoTerminal {
public:
    // Throws std::runtime_error naming the failed step and the errno text.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Makes PATH a symbolic link to the slave. An existing symbolic link at
    // PATH is replaced; any other file there is an error. Throws
    // std::runtime_error naming the path.
    void MakeLink(const std::string& path);
    // Removes the link, if it still points at the slave.
    void RemoveLink();

    // Readable when the slave has been opened since the last ConsumeOpened.
    int OpenWatchFd() const { return watch_; }
    // Reads the pending watch events; true when one of them was an open.
    bool ConsumeOpened();

    // Reads and drops whatever the other side has written.
    void DiscardInput();

private:
    int master_ = -1;
    int watch_ = -1;
    std::string slavePath_;
    std::string link_;
};

}  // namespace reader
