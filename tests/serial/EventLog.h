#pragma once
// A log of the events a port raises, one readable entry per event
// ("BeforeOpen", "RxChar(3)", "CTS(on)", "Error(ceFrame)"). Handlers may log
// from the event thread (smNone), so the log is locked. ServeUntil lets the
// main thread serve the event thread's hand-overs and messages until an entry
// has arrived.

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Exception.h"
#include "platform/EventLoop.h"
#include "serial/ComPort.h"
#include "tests/framework/threads/Sync.h"

namespace tarvel_test {

inline std::string ErrorNames(TComErrors errors)
{
    static const char* const names[] = {"ceFrame", "ceRxParity", "ceOverrun", "ceBreak",
                                        "ceIO",    "ceMode",     "ceRxOver",  "ceTxFull"};
    std::string text;
    for (unsigned i = 0; i < 8; ++i) {
        if (errors.Contains(static_cast<TComError>(i)))
            text += (text.empty() ? "" : ",") + std::string(names[i]);
    }
    return text;
}

class EventLog {
public:
    void Add(const std::string& entry)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.push_back(entry);
        if (awaited_ != nullptr && CountLocked(awaitedEntry_) >= awaitedTimes_)
            awaited_->Set();
    }

    // Runs `action` and logs `done`, or the message of the Exception it
    // raised instead.
    template <typename Action>
    void AddOutcome(Action&& action, const std::string& done)
    {
        try {
            action();
            Add(done);
        } catch (const Exception& e) {
            Add(e.Message());
        }
    }

    std::vector<std::string> Entries() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries_;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
    }

    std::size_t Count(const std::string& entry) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return CountLocked(entry);
    }

    // Main thread: runs what the event thread hands over (and the messages it
    // sends) until `entry` is in the log `times` times. A deadlock ends the
    // test program with a message.
    void ServeUntil(const std::string& entry, std::size_t times = 1)
    {
        platform::Completion done;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (CountLocked(entry) >= times)
                return;
            awaitedEntry_ = entry;
            awaitedTimes_ = times;
            awaited_ = &done;
        }
        const std::string what = "waiting for the event " + entry;
        {
            tarvel_test::DeadlockGuard guard(what.c_str());
            platform::WaitServing(done);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        awaited_ = nullptr;
    }

    // Handlers for all fifteen events.
    void Attach(TCustomComPort& port)
    {
        port.SetOnBeforeOpen([this](TComponent*) { Add("BeforeOpen"); });
        port.SetOnAfterOpen([this](TComponent*) { Add("AfterOpen"); });
        port.SetOnBeforeClose([this](TComponent*) { Add("BeforeClose"); });
        port.SetOnAfterClose([this](TComponent*) { Add("AfterClose"); });
        port.SetOnRxChar([this](TComponent*, std::int32_t count) { Add("RxChar(" + std::to_string(count) + ")"); });
        port.SetOnRxBuf([this](TComponent*, const void*, std::int32_t) { Add("RxBuf"); });
        port.SetOnTxEmpty([this](TComponent*) { Add("TxEmpty"); });
        port.SetOnBreak([this](TComponent*) { Add("Break"); });
        port.SetOnRing([this](TComponent*) { Add("Ring"); });
        port.SetOnRxFlag([this](TComponent*) { Add("RxFlag"); });
        port.SetOnRx80Full([this](TComponent*) { Add("Rx80Full"); });
        port.SetOnCTSChange([this](TComponent*, bool on) { Add(on ? "CTS(on)" : "CTS(off)"); });
        port.SetOnDSRChange([this](TComponent*, bool on) { Add(on ? "DSR(on)" : "DSR(off)"); });
        port.SetOnRLSDChange([this](TComponent*, bool on) { Add(on ? "RLSD(on)" : "RLSD(off)"); });
        port.SetOnError([this](TComponent*, TComErrors errors) { Add("Error(" + ErrorNames(errors) + ")"); });
    }

private:
    std::size_t CountLocked(const std::string& entry) const
    {
        return static_cast<std::size_t>(std::count(entries_.begin(), entries_.end(), entry));
    }

    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
    platform::Completion* awaited_ = nullptr;
    std::string awaitedEntry_;
    std::size_t awaitedTimes_ = 0;
};

}  // namespace tarvel_test
