#pragma once
// Event objects with Windows semantics (manual or automatic reset), each on an
// eventfd whose counter is non-zero exactly while the event is signalled, so a
// waiter blocks in poll on any number of them and never polls on a timer.

#include <memory>
#include <mutex>
#include <vector>

#include "platform/SerialApi.h"

namespace platform::posix {

class EventObject {
public:
    // nullptr with errno set when no eventfd can be made.
    static std::shared_ptr<EventObject> Create(bool manualReset, bool initialState);
    ~EventObject();
    EventObject(const EventObject&) = delete;
    EventObject& operator=(const EventObject&) = delete;

    void Set();
    void Reset();
    // A waiter's claim: true when signalled; an automatic-reset event is
    // reset by the claim, so exactly one waiter gets each signal.
    bool TryClaim();
    int Descriptor() const { return fd_; }

private:
    EventObject(int fd, bool manualReset, bool signalled);

    std::mutex mutex_;
    const int fd_;
    const bool manualReset_;
    bool signalled_;
};

// Waits until one of the events is signalled (the lowest index wins) or the
// time-out ends (Infinite: never). Returns WaitObject0 + index, WaitTimeout,
// or WaitFailed with the last error set.
DWORD WaitForAnyEvent(const std::vector<std::shared_ptr<EventObject>>& events, DWORD milliseconds);

}  // namespace platform::posix
