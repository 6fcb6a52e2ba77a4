#pragma once
// One open serial device of the POSIX back end, with Windows semantics.
//
// Each device has one I/O thread. It blocks in poll() on the device and on
// the device's control eventfd, with a time-out only when a pending read has
// a deadline. It drains the device into the back end's own input queue (up to
// the input size given by SetupComm; beyond that bytes are dropped and
// reported as CE_RXOVER with EV_ERR, as a Windows driver does), completes the
// pending comm-event wait and pending reads, and sets their completion events. All state is guarded
// by one mutex; callers from any thread may use the device at the same time.
//
// Overlapped blocks: Internal holds the operation's state (StatusPending
// while pending, else the Windows error code, 0 for success), InternalHigh
// the bytes transferred. A read or wait that fails because the device is
// gone completes its block with the error and sets its event, so nobody
// waiting on the event can hang; a call refused for its arguments (or a
// closed handle) leaves the block and the event alone, as Windows does.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/SerialApi.h"
#include "platform/linux/PosixSerialEvent.h"
#include "platform/linux/PosixSerialReadRule.h"
#include "platform/linux/PosixSerialTermios.h"

namespace platform::posix {

std::uintptr_t OverlappedStatus(const Overlapped* ov);
DWORD OverlappedTransferred(const Overlapped* ov);

class SerialDevice {
public:
    // Opens the device file exclusively (TIOCEXCL and flock), puts it in raw
    // mode and starts its I/O thread. On failure: nullptr, the last error set,
    // and one diagnostic line naming the device file and errno's text.
    static std::shared_ptr<SerialDevice> Open(const std::string& deviceFile);

    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Completes pending operations as aborted, stops the I/O thread and
    // closes the device. Later calls fail with ERROR_INVALID_HANDLE.
    void Close();

    bool SetupComm(DWORD inQueue, DWORD outQueue);
    bool SetCommState(const Dcb& dcb);
    bool SetCommTimeouts(const CommTimeouts& timeouts);
    bool SetCommMask(DWORD mask);
    bool WaitCommEvent(DWORD* mask, Overlapped* ov, std::shared_ptr<EventObject> event);
    bool ReadFile(void* buffer, DWORD count, DWORD* read, Overlapped* ov, std::shared_ptr<EventObject> event);
    bool ClearCommError(DWORD* errors, ComStat* stat);
    bool GetCommModemStatus(DWORD* modemStatus);
    bool PurgeComm(DWORD flags);
    // Blocks until the operation on ov is no longer pending.
    void WaitUntilDone(const Overlapped* ov);

    // The name of every device's I/O thread (as ps and top show it).
    static constexpr const char* IoThreadName = "tarvel-serial";

    // The input queue size before SetupComm, and the largest it accepts.
    static constexpr DWORD DefaultInputSize = 4096;
    static constexpr DWORD MaxInputSize = 16u * 1024u * 1024u;

private:
    using Clock = std::chrono::steady_clock;

    struct PendingRead {
        unsigned char* buffer = nullptr;
        DWORD count = 0;
        DWORD done = 0;
        Overlapped* ov = nullptr;
        std::shared_ptr<EventObject> event;
        bool started = false;  // the timers run from when the read is first in line
        ReadRule rule;
        Clock::time_point start;
        Clock::time_point lastByte;
    };
    struct PendingWait {
        DWORD* mask = nullptr;
        Overlapped* ov = nullptr;
        std::shared_ptr<EventObject> event;
    };

    SerialDevice(std::string deviceFile, int fd, int control);

    void IoLoop();
    void PullInput(Clock::time_point now);
    DWORD CheckLineCounters();
    void UpdateRx80(DWORD& events);
    void Raise(DWORD events);
    void Advance(Clock::time_point now);
    std::optional<DWORD> ReadOutcome(const PendingRead& read, Clock::time_point now) const;
    DWORD TakeQueued(PendingRead& read);
    std::optional<Clock::time_point> NextDeadline() const;
    void MarkGone(DWORD error);
    void Complete(Overlapped* ov, const std::shared_ptr<EventObject>& event, DWORD error, DWORD transferred);
    void AbortAll(DWORD error);
    void WakeIoThreadIfNeeded();
    bool WantsInput() const;

    const std::string deviceFile_;
    const int fd_;
    const int control_;  // eventfd that wakes the I/O thread
    std::thread io_;

    std::mutex mutex_;
    std::condition_variable done_;  // an operation completed
    bool closing_ = false;
    bool gone_ = false;
    DWORD goneError_ = ErrorDeviceNotConnected;

    std::deque<unsigned char> queue_;
    DWORD inputSize_ = DefaultInputSize;
    bool above80_ = false;
    bool overflowing_ = false;             // dropping bytes since the queue last had room
    std::uint64_t droppedInOverflow_ = 0;  // bytes dropped since then
    bool discardNull_ = false;
    unsigned char evtChar_ = 0;
    CommTimeouts timeouts_{};

    DWORD mask_ = 0;
    DWORD history_ = 0;  // events seen while no wait was pending
    std::optional<PendingWait> wait_;
    std::deque<PendingRead> reads_;

    DWORD errors_ = 0;  // CE_ flags since the last ClearCommError
    bool countersSupported_ = true;
    bool haveCounters_ = false;
    LineCounters counters_;

    // What the I/O thread asked poll for, to wake it only when that changes.
    bool polledInput_ = false;
    std::optional<Clock::time_point> polledDeadline_;
    bool woken_ = false;
};

}  // namespace platform::posix
