#include "platform/linux/PosixSerialEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/linux/PosixSerialErrors.h"

namespace platform::posix {
namespace {

using Clock = std::chrono::steady_clock;

void DrainCounter(int fd)
{
    std::uint64_t value = 0;
    while (read(fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

void RaiseCounter(int fd)
{
    const std::uint64_t one = 1;
    while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

}  // namespace

std::shared_ptr<EventObject> EventObject::Create(bool manualReset, bool initialState)
{
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    if (initialState) {
        RaiseCounter(fd);
    }
    return std::shared_ptr<EventObject>(new EventObject(fd, manualReset, initialState));
}

EventObject::EventObject(int fd, bool manualReset, bool signalled)
    : fd_(fd), manualReset_(manualReset), signalled_(signalled)
{}

EventObject::~EventObject() { close(fd_); }

void EventObject::Set()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!signalled_) {
        signalled_ = true;
        RaiseCounter(fd_);
    }
}

void EventObject::Reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (signalled_) {
        signalled_ = false;
        DrainCounter(fd_);
    }
}

bool EventObject::TryClaim()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!signalled_) {
        return false;
    }
    if (!manualReset_) {
        signalled_ = false;
        DrainCounter(fd_);
    }
    return true;
}

DWORD WaitForAnyEvent(const std::vector<std::shared_ptr<EventObject>>& events, DWORD milliseconds)
{
    std::optional<Clock::time_point> deadline;
    if (milliseconds != Infinite) {
        deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    }
    std::vector<pollfd> fds(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        fds[i] = pollfd{events[i]->Descriptor(), POLLIN, 0};
    }
    for (;;) {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i]->TryClaim()) {
                return WaitObject0 + static_cast<DWORD>(i);
            }
        }
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (deadline) {
            const auto left = *deadline - Clock::now();
            if (left <= Clock::duration::zero()) {
                return WaitTimeout;
            }
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPtr = &timeout;
        }
        // An event claimed by another waiter between poll and claim leaves its
        // counter at zero again, so the next poll blocks: no spinning.
        if (ppoll(fds.data(), fds.size(), timeoutPtr, nullptr) < 0 && errno != EINTR) {
            SetLastError(WindowsErrorFromErrno(errno, ErrnoContext::OpenDevice));
            return WaitFailed;
        }
    }
}

}  // namespace platform::posix
