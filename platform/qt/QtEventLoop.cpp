// The event loop on Qt: QCoreApplication::exec, QTimer, and a queued call to
// the application object as the wake-up for work handed to the main thread.

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>

#include "platform/Diagnostics.h"
#include "platform/EventLoop.h"
#include "platform/HandOver.h"

namespace platform {
namespace {

// Shared with queued calls, which may outlive the loop object.
struct LoopState {
    std::atomic<bool> wakePending{false};
    bool running = false;  // main thread only
    bool quitPending = false;
    int quitCode = 0;

    void Quit(int exitCode)
    {
        if (running) {
            QCoreApplication::exit(exitCode);
        } else {
            // exec() would forget an exit() that came before it.
            quitPending = true;
            quitCode = exitCode;
        }
    }
};

class QtEventLoop final : public IEventLoop {
public:
    QtEventLoop()
    {
        if (!IsMainThread())
            throw std::logic_error("the event loop is created on the main thread");
        if (QCoreApplication::instance() == nullptr)
            ownApp_ = std::make_unique<QCoreApplication>(argc_, argv_);
        timerParent_ = std::make_unique<QObject>();
        std::shared_ptr<LoopState> state = state_;
        SetMainThreadWaker([state] {
            if (state->wakePending.exchange(true))
                return;  // a call is already on its way
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [state] {
                    state->wakePending.store(false);
                    ServeMainThread();
                },
                Qt::QueuedConnection);
        });
    }

    ~QtEventLoop() override
    {
        SetMainThreadWaker({});
        timers_.clear();
        timerParent_.reset();  // deletes the timers
        ownApp_.reset();
    }

    int Run() override
    {
        if (!IsMainThread())
            throw std::logic_error("the event loop runs only on the main thread");
        if (state_->quitPending) {
            state_->quitPending = false;
            return state_->quitCode;
        }
        state_->running = true;
        // Work queued before the loop had a waker is served once exec runs
        // (served here, a Quit among it would come before exec and be lost).
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { ServeMainThread(); }, Qt::QueuedConnection);
        const int code = QCoreApplication::exec();
        state_->running = false;
        return code;
    }

    void Quit(int exitCode) override
    {
        if (IsMainThread()) {
            state_->Quit(exitCode);
            return;
        }
        std::shared_ptr<LoopState> state = state_;
        PostToMainThread([state, exitCode] { state->Quit(exitCode); });
    }

    TimerId StartTimer(std::uint32_t milliseconds, bool repeating, std::function<void()> onTimer) override
    {
        const TimerId id = ++lastId_;
        auto* timer = new QTimer(timerParent_.get());
        timer->setSingleShot(!repeating);
        timer->setInterval(static_cast<int>(std::min<std::uint32_t>(milliseconds, INT32_MAX)));
        QObject::connect(timer, &QTimer::timeout, timer, [this, id, repeating, onTimer] {
            if (!repeating)
                StopTimer(id);
            try {
                onTimer();
            } catch (...) {
                Diagnostic("Unhandled exception in a timer: " + detail::DescribeCurrentException());
            }
        });
        timers_[id] = timer;
        timer->start();
        return id;
    }

    void StopTimer(TimerId id) override
    {
        auto it = timers_.find(id);
        if (it == timers_.end())
            return;
        it->second->stop();
        it->second->deleteLater();  // it may be the timer whose signal runs now
        timers_.erase(it);
    }

private:
    static inline int argc_ = 1;
    static inline char name_[] = "tarvel";
    static inline char* argv_[] = {name_, nullptr};

    std::unique_ptr<QCoreApplication> ownApp_;
    std::unique_ptr<QObject> timerParent_;
    std::shared_ptr<LoopState> state_ = std::make_shared<LoopState>();
    TimerId lastId_ = 0;
    std::map<TimerId, QTimer*> timers_;
};

}  // namespace

std::unique_ptr<IEventLoop> CreateSystemEventLoop() { return std::make_unique<QtEventLoop>(); }

}  // namespace platform
