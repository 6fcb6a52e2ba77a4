#include "platform/linux/PosixSerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>

#include "platform/Diagnostics.h"
#include "platform/linux/PosixSerialErrors.h"

namespace platform::posix {
namespace {

constexpr DWORD kWaitTransferred = sizeof(DWORD);

std::atomic_ref<std::uintptr_t> StatusOf(const Overlapped* ov)
{
    return std::atomic_ref<std::uintptr_t>(const_cast<Overlapped*>(ov)->Internal);
}

std::atomic_ref<std::uintptr_t> TransferredOf(const Overlapped* ov)
{
    return std::atomic_ref<std::uintptr_t>(const_cast<Overlapped*>(ov)->InternalHigh);
}

void MarkPending(Overlapped* ov)
{
    TransferredOf(ov).store(0, std::memory_order_relaxed);
    StatusOf(ov).store(StatusPending, std::memory_order_release);
}

void DiagnoseOpen(const std::string& deviceFile, const std::string& what, int err)
{
    Diagnostic("serial port " + Printable(deviceFile) + ": " + what + ": " + ErrnoText(err));
}

}  // namespace

std::uintptr_t OverlappedStatus(const Overlapped* ov) { return StatusOf(ov).load(std::memory_order_acquire); }

DWORD OverlappedTransferred(const Overlapped* ov)
{
    return static_cast<DWORD>(TransferredOf(ov).load(std::memory_order_relaxed));
}

// ---------------------------------------------------------------- opening

std::shared_ptr<SerialDevice> SerialDevice::Open(const std::string& deviceFile)
{
    const int fd = open(deviceFile.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        DiagnoseOpen(deviceFile, "cannot open", err);
        SetLastError(WindowsErrorFromErrno(err, ErrnoContext::Opening));
        return nullptr;
    }
    auto refuse = [&](const std::string& what, int err) -> std::shared_ptr<SerialDevice> {
        close(fd);
        DiagnoseOpen(deviceFile, what, err);
        SetLastError(WindowsErrorFromErrno(err, ErrnoContext::Opening));
        return nullptr;
    };
    // The lock also holds against root, which TIOCEXCL does not stop.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return refuse("in use by another program", errno);
    }
    if (!MakeRaw(fd)) {
        const int err = errno;
        return refuse(err == ENOTTY ? "not a serial device" : "cannot set raw mode", err);
    }
    if (!SetExclusive(fd, true)) {
        return refuse("cannot get exclusive use", errno);
    }
    const int control = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (control < 0) {
        const int err = errno;
        SetExclusive(fd, false);
        return refuse("cannot create its wake-up descriptor", err);
    }

    std::shared_ptr<SerialDevice> device(new SerialDevice(deviceFile, fd, control));
    {
        std::lock_guard<std::mutex> lock(device->mutex_);
        device->haveCounters_ = ReadLineCounters(fd, device->counters_);
        device->countersSupported_ = device->haveCounters_;
    }
    try {
        device->io_ = std::thread([raw = device.get()] { raw->IoLoop(); });
        pthread_setname_np(device->io_.native_handle(), IoThreadName);
    } catch (const std::system_error& e) {
        Diagnostic("serial port " + Printable(deviceFile) + ": cannot start its I/O thread: " + e.what());
        device->Close();
        SetLastError(ErrorNotEnoughMemory);
        return nullptr;
    }
    return device;
}

SerialDevice::SerialDevice(std::string deviceFile, int fd, int control)
    : deviceFile_(std::move(deviceFile)), fd_(fd), control_(control)
{}

SerialDevice::~SerialDevice() { Close(); }

void SerialDevice::Close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) {
            return;
        }
        closing_ = true;
        AbortAll(ErrorOperationAborted);
        const std::uint64_t one = 1;
        while (write(control_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
    if (io_.joinable()) {
        io_.join();
    }
    SetExclusive(fd_, false);
    close(fd_);  // releases the flock
    close(control_);
}

// ---------------------------------------------------------------- settings

bool SerialDevice::SetupComm(DWORD inQueue, DWORD /*outQueue*/)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return Fail(ErrorInvalidHandle);
    }
    if (inQueue == 0 || inQueue > MaxInputSize) {
        return Fail(ErrorInvalidParameter);
    }
    inputSize_ = inQueue;
    DWORD events = 0;
    UpdateRx80(events);
    Raise(events);
    WakeIoThreadIfNeeded();
    return true;
}

bool SerialDevice::SetCommState(const Dcb& dcb)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return Fail(ErrorInvalidHandle);
    }
    if (gone_) {
        return Fail(goneError_);
    }
    if (!ApplyDcb(fd_, dcb)) {
        return Fail(WindowsErrorFromErrno(errno, ErrnoContext::OpenDevice));
    }
    discardNull_ = (dcb.Flags & DcbNull) != 0;
    evtChar_ = static_cast<unsigned char>(dcb.EvtChar);
    return true;
}

bool SerialDevice::SetCommTimeouts(const CommTimeouts& timeouts)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return Fail(ErrorInvalidHandle);
    }
    if (!ReadTimeoutsAccepted(timeouts)) {
        return Fail(ErrorInvalidParameter);
    }
    timeouts_ = timeouts;  // a read takes them when it starts
    return true;
}

// ---------------------------------------------------------------- events

bool SerialDevice::SetCommMask(DWORD mask)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return Fail(ErrorInvalidHandle);
    }
    mask_ = mask;
    history_ = 0;
    if (wait_) {
        // A new mask ends the pending wait: success, no events.
        *wait_->mask = 0;
        Complete(wait_->ov, wait_->event, ErrorSuccess, kWaitTransferred);
        wait_.reset();
    }
    return true;
}

bool SerialDevice::WaitCommEvent(DWORD* mask, Overlapped* ov, std::shared_ptr<EventObject> event)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return Fail(ErrorInvalidHandle);
    }
    if (mask == nullptr || ov == nullptr || mask_ == 0 || wait_) {
        return Fail(ErrorInvalidParameter);
    }
    if (event) {
        event->Reset();
    }
    MarkPending(ov);
    PullInput(Clock::now());
    const DWORD seen = history_ & mask_;
    if (seen != 0) {
        history_ = 0;
        *mask = seen;
        Complete(ov, event, ErrorSuccess, kWaitTransferred);
        return true;
    }
    if (gone_) {
        *mask = 0;
        Complete(ov, event, goneError_, 0);
        return Fail(goneError_);
    }
    wait_ = PendingWait{mask, ov, std::move(event)};
    return Fail(ErrorIoPending);
}

void SerialDevice::Raise(DWORD events)
{
    events &= mask_;
    if (events == 0) {
        return;
    }
    if (wait_) {
        *wait_->mask = events;
        Complete(wait_->ov, wait_->event, ErrorSuccess, kWaitTransferred);
        wait_.reset();
    } else {
        history_ |= events;
    }
}

void SerialDevice::UpdateRx80(DWORD& events)
{
    const std::uint64_t threshold = std::max<std::uint64_t>(1, std::uint64_t{inputSize_} * 8 / 10);
    if (queue_.size() >= threshold) {
        if (!above80_) {
            above80_ = true;
            events |= EvRx80Full;
        }
    } else {
        above80_ = false;
    }
}

DWORD SerialDevice::CheckLineCounters()
{
    if (!countersSupported_ || gone_) {
        return 0;
    }
    LineCounters now;
    if (!ReadLineCounters(fd_, now)) {
        return 0;
    }
    DWORD events = 0;
    if (haveCounters_) {
        struct Change {
            std::uint32_t LineCounters::*counter;
            DWORD error;
            DWORD event;
        };
        static constexpr Change kChanges[] = {
            {&LineCounters::frame, CeFrame, EvErr},
            {&LineCounters::parity, CeRxParity, EvErr},
            {&LineCounters::overrun, CeOverrun, EvErr},
            {&LineCounters::bufferOverrun, CeRxOver, EvErr},
            {&LineCounters::brk, CeBreak, EvBreak},
            {&LineCounters::cts, 0, EvCts},
            {&LineCounters::dsr, 0, EvDsr},
            {&LineCounters::dcd, 0, EvRlsd},
            {&LineCounters::ring, 0, EvRing},
        };
        for (const Change& change : kChanges) {
            if (now.*change.counter != counters_.*change.counter) {
                errors_ |= change.error;
                events |= change.event;
            }
        }
    }
    counters_ = now;
    haveCounters_ = true;
    return events;
}

// ---------------------------------------------------------------- input

// The device is always drained, as a Windows driver's receive interrupt
// always takes the byte: what does not fit into the input queue is dropped
// and reported (CE_RXOVER, EV_ERR), and new bytes raise their events whatever
// the queue holds.
bool SerialDevice::WantsInput() const { return !gone_; }

void SerialDevice::PullInput(Clock::time_point now)
{
    if (gone_ || closing_) {
        return;
    }
    DWORD events = 0;
    bool hangup = false;
    DWORD hangupError = ErrorDeviceNotConnected;
    unsigned char chunk[1024];
    DWORD dropped = 0;
    for (;;) {
        const ssize_t n = read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                const unsigned char byte = chunk[i];
                if (discardNull_ && byte == 0) {
                    continue;
                }
                if (byte == evtChar_) {
                    events |= EvRxFlag;
                }
                events |= EvRxChar;
                if (queue_.size() >= inputSize_) {
                    ++dropped;
                    continue;
                }
                queue_.push_back(byte);
            }
            UpdateRx80(events);
            Advance(now);  // hands the bytes to a pending read
            continue;
        }
        if (n == 0) {
            hangup = true;  // end of file: the device hung up
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            hangup = true;
            hangupError = WindowsErrorFromErrno(errno, ErrnoContext::OpenDevice);
        }
        break;
    }
    UpdateRx80(events);
    events |= CheckLineCounters();
    if (dropped > 0) {
        errors_ |= CeRxOver;
        events |= EvErr;
        if (!overflowing_) {
            Diagnostic("serial port " + Printable(deviceFile_) + ": input queue full (" + std::to_string(inputSize_) +
                       " bytes); received bytes are dropped");
        }
        droppedInOverflow_ += dropped;
    }
    const bool overflowing = dropped > 0 || (overflowing_ && queue_.size() >= inputSize_);
    if (overflowing_ && !overflowing) {
        // Bytes are kept again: how many were lost tells how many frames
        // may have gone with them.
        Diagnostic("serial port " + Printable(deviceFile_) + ": input queue has room again; " +
                   std::to_string(droppedInOverflow_) + " received bytes were dropped while it was full");
        droppedInOverflow_ = 0;
    }
    overflowing_ = overflowing;
    Raise(events);  // the bytes first, then the hang-up
    if (hangup) {
        MarkGone(hangupError);
    }
}

void SerialDevice::MarkGone(DWORD error)
{
    if (gone_) {
        return;
    }
    gone_ = true;
    goneError_ = error;
    if (wait_) {
        *wait_->mask = 0;
        Complete(wait_->ov, wait_->event, goneError_, 0);
        wait_.reset();
    }
    Advance(Clock::now());
}

// ---------------------------------------------------------------- reads

DWORD SerialDevice::TakeQueued(PendingRead& read)
{
    const std::size_t n = std::min<std::size_t>(queue_.size(), read.count - read.done);
    if (n == 0) {
        return 0;
    }
    std::copy_n(queue_.begin(), n, read.buffer + read.done);
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
    read.done += static_cast<DWORD>(n);
    DWORD events = 0;
    UpdateRx80(events);  // only ever resets the 80 % mark here
    return static_cast<DWORD>(n);
}

std::optional<DWORD> SerialDevice::ReadOutcome(const PendingRead& read, Clock::time_point now) const
{
    if (read.done == read.count) {
        return ErrorSuccess;
    }
    if (gone_) {
        return read.done > 0 ? ErrorSuccess : goneError_;
    }
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    // Rounded down: a read never ends before its time.
    if (ReadEnded(read.rule, read.count, read.done, duration_cast<milliseconds>(now - read.start),
                  duration_cast<milliseconds>(now - read.lastByte))) {
        return ErrorSuccess;  // a time-out is a success with fewer bytes
    }
    return std::nullopt;
}

void SerialDevice::Advance(Clock::time_point now)
{
    while (!reads_.empty()) {
        PendingRead& read = reads_.front();
        if (!read.started) {
            read.started = true;
            read.rule = ReadRuleFor(timeouts_, read.count);
            read.start = now;
        }
        if (TakeQueued(read) > 0) {
            read.lastByte = now;
        }
        const std::optional<DWORD> outcome = ReadOutcome(read, now);
        if (!outcome) {
            return;
        }
        Complete(read.ov, read.event, *outcome, read.done);
        reads_.pop_front();
    }
}

std::optional<SerialDevice::Clock::time_point> SerialDevice::NextDeadline() const
{
    if (reads_.empty() || !reads_.front().started) {
        return std::nullopt;
    }
    const PendingRead& read = reads_.front();
    std::optional<Clock::time_point> deadline;
    if (read.rule.total) {
        deadline = read.start + *read.rule.total;
    }
    if (read.rule.interval && read.done > 0) {
        const Clock::time_point interval = read.lastByte + *read.rule.interval;
        if (!deadline || interval < *deadline) {
            deadline = interval;
        }
    }
    return deadline;
}

bool SerialDevice::ReadFile(void* buffer, DWORD count, DWORD* read, Overlapped* ov, std::shared_ptr<EventObject> event)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return Fail(ErrorInvalidHandle);
    }
    if (ov == nullptr || (buffer == nullptr && count > 0)) {
        return Fail(ErrorInvalidParameter);
    }
    if (read != nullptr) {
        *read = 0;
    }
    if (event) {
        event->Reset();
    }
    MarkPending(ov);
    PendingRead pending;
    pending.buffer = static_cast<unsigned char*>(buffer);
    pending.count = count;
    pending.ov = ov;
    pending.event = std::move(event);
    reads_.push_back(std::move(pending));

    const Clock::time_point now = Clock::now();
    PullInput(now);
    Advance(now);

    const std::uintptr_t status = OverlappedStatus(ov);
    if (status == StatusPending) {
        WakeIoThreadIfNeeded();  // the read may bring a deadline
        return Fail(ErrorIoPending);
    }
    if (status != ErrorSuccess) {
        return Fail(static_cast<DWORD>(status));
    }
    if (read != nullptr) {
        *read = OverlappedTransferred(ov);
    }
    return true;
}

// ---------------------------------------------------------------- status

bool SerialDevice::ClearCommError(DWORD* errors, ComStat* stat)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return Fail(ErrorInvalidHandle);
    }
    PullInput(Clock::now());  // also collects the line counters
    if (errors != nullptr) {
        *errors = errors_;
    }
    errors_ = 0;
    if (stat != nullptr) {
        DWORD kernelIn = 0;
        DWORD kernelOut = 0;
        if (!gone_) {
            KernelInputBytes(fd_, kernelIn);
            KernelOutputBytes(fd_, kernelOut);
        }
        stat->Flags = 0;
        stat->cbInQue = static_cast<DWORD>(queue_.size()) + kernelIn;
        stat->cbOutQue = kernelOut;
    }
    return true;
}

bool SerialDevice::GetCommModemStatus(DWORD* modemStatus)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return Fail(ErrorInvalidHandle);
    }
    if (modemStatus == nullptr) {
        return Fail(ErrorInvalidParameter);
    }
    if (gone_) {
        return Fail(goneError_);
    }
    DWORD status = 0;
    if (!ReadModemStatus(fd_, status)) {
        // A pseudo-terminal has no modem lines (ENOTTY): ERROR_NOT_SUPPORTED.
        return Fail(WindowsErrorFromErrno(errno, ErrnoContext::OpenDevice));
    }
    *modemStatus = status;
    return true;
}

bool SerialDevice::PurgeComm(DWORD flags)
{
    constexpr DWORD kKnown = PurgeTxAbort | PurgeRxAbort | PurgeTxClear | PurgeRxClear;
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
        return Fail(ErrorInvalidHandle);
    }
    if ((flags & ~kKnown) != 0) {
        return Fail(ErrorInvalidParameter);
    }
    if ((flags & PurgeRxAbort) != 0) {
        // Each read ends with the bytes it already has.
        while (!reads_.empty()) {
            PendingRead& read = reads_.front();
            Complete(read.ov, read.event, ErrorOperationAborted, read.done);
            reads_.pop_front();
        }
    }
    // There is no write operation: PURGE_TXABORT has nothing to end. As on
    // Windows, a purge ends reads and writes only; a pending comm-event wait
    // goes on (SetCommMask ends it).
    if ((flags & PurgeRxClear) != 0) {
        queue_.clear();
        above80_ = false;
        if (!gone_) {
            FlushInput(fd_);
        }
    }
    if ((flags & PurgeTxClear) != 0 && !gone_) {
        FlushOutput(fd_);
    }
    WakeIoThreadIfNeeded();
    return true;
}

// ---------------------------------------------------------------- completion

void SerialDevice::Complete(Overlapped* ov, const std::shared_ptr<EventObject>& event, DWORD error, DWORD transferred)
{
    TransferredOf(ov).store(transferred, std::memory_order_relaxed);
    StatusOf(ov).store(error, std::memory_order_release);
    if (event) {
        event->Set();
    }
    done_.notify_all();
}

void SerialDevice::AbortAll(DWORD error)
{
    if (wait_) {
        *wait_->mask = 0;
        Complete(wait_->ov, wait_->event, error, 0);
        wait_.reset();
    }
    while (!reads_.empty()) {
        PendingRead& read = reads_.front();
        Complete(read.ov, read.event, error, read.done);
        reads_.pop_front();
    }
}

void SerialDevice::WaitUntilDone(const Overlapped* ov)
{
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [ov] { return OverlappedStatus(ov) != StatusPending; });
}

// ---------------------------------------------------------------- I/O thread

void SerialDevice::WakeIoThreadIfNeeded()
{
    if (closing_ || woken_) {
        return;
    }
    const bool wantsInput = WantsInput();
    const std::optional<Clock::time_point> deadline = NextDeadline();
    const bool earlier = deadline && (!polledDeadline_ || *deadline < *polledDeadline_);
    if (wantsInput != polledInput_ || earlier) {
        woken_ = true;
        const std::uint64_t one = 1;
        while (write(control_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

void SerialDevice::IoLoop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!closing_) {
        const bool watchDevice = !gone_;
        polledInput_ = WantsInput();
        polledDeadline_ = NextDeadline();
        woken_ = false;

        pollfd fds[2] = {
            {control_, POLLIN, 0},
            // A hung-up device reports POLLHUP for ever: stop watching it.
            {watchDevice ? fd_ : -1, static_cast<short>(polledInput_ ? POLLIN : 0), 0},
        };
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (polledDeadline_) {
            const auto left = std::max(Clock::duration::zero(), *polledDeadline_ - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            timeoutPtr = &timeout;
        }

        lock.unlock();
        const int ready = ppoll(fds, 2, timeoutPtr, nullptr);
        const int pollError = errno;
        lock.lock();

        if (ready < 0 && pollError != EINTR) {
            // Cannot wait any more: fail what is pending and everything
            // after, rather than turn without blocking.
            Diagnostic("serial port " + Printable(deviceFile_) + ": poll failed: " + ErrnoText(pollError));
            MarkGone(WindowsErrorFromErrno(pollError, ErrnoContext::OpenDevice));
            break;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t value = 0;
            while (read(control_, &value, sizeof value) < 0 && errno == EINTR) {
            }
        }
        const Clock::time_point now = Clock::now();
        if (watchDevice && !gone_ && !closing_) {
            if ((fds[1].revents & POLLIN) != 0) {
                PullInput(now);
            }
            if (!gone_ && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                PullInput(now);  // what is still readable
                MarkGone(ErrorDeviceNotConnected);
            }
        }
        Advance(now);  // read time-outs
    }
}

}  // namespace platform::posix
