#pragma once
// An event loop for unit tests of the form's timers.

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

#include "platform/EventLoop.h"

// A loop that never runs: its timers fire when the test moves the clock.
class ClockLoop final : public platform::IEventLoop {
public:
    int Run() override { throw std::logic_error("not run in unit tests"); }
    void Quit(int exitCode) override { quit.push_back(exitCode); }
    platform::TimerId StartTimer(std::uint32_t milliseconds, bool repeating, std::function<void()> onTimer) override
    {
        timers[++lastId] = Timer{milliseconds, repeating, now + milliseconds, std::move(onTimer)};
        return lastId;
    }
    void StopTimer(platform::TimerId id) override { timers.erase(id); }

    // Moves the clock on by `milliseconds`, firing every timer that falls
    // due on the way, in time order.
    void Advance(std::uint64_t milliseconds)
    {
        const std::uint64_t end = now + milliseconds;
        for (;;) {
            auto next = timers.end();
            for (auto it = timers.begin(); it != timers.end(); ++it)
                if (it->second.due <= end && (next == timers.end() || it->second.due < next->second.due))
                    next = it;
            if (next == timers.end())
                break;
            now = next->second.due;
            std::function<void()> onTimer = next->second.onTimer;
            if (next->second.repeating)
                next->second.due = now + next->second.milliseconds;
            else
                timers.erase(next);
            onTimer();  // may stop its own timer
        }
        now = end;
    }

    std::size_t Running() const { return timers.size(); }

    struct Timer {
        std::uint32_t milliseconds;
        bool repeating;
        std::uint64_t due;
        std::function<void()> onTimer;
    };
    std::map<platform::TimerId, Timer> timers;
    platform::TimerId lastId = 0;
    std::uint64_t now = 0;
    std::vector<int> quit;
};
