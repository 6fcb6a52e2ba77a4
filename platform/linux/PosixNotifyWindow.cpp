// The notification window on Linux: no window system is involved. A message
// sent from another thread is queued for the main thread as a job; the sender
// waits until the procedure has replied or returned. Jobs run in order, so
// one sender's messages arrive in the order it sent them.

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Diagnostics.h"
#include "platform/HandOver.h"
#include "platform/NotifyWindow.h"

namespace platform {
namespace {

// One message sent from another thread; shared by the sender and the job, so
// that either may go first once the sender has been released.
struct SentMessage {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;

    std::mutex mutex;
    std::condition_variable cv;
    bool replied = false;
    std::intptr_t result = 0;

    void Reply(std::intptr_t value)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (replied)
            return;
        replied = true;
        result = value;
        cv.notify_all();
    }

    std::intptr_t WaitForReply()
    {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [this] { return replied; });
        return result;
    }
};

// The sent message whose procedure runs on this thread; null while none runs
// or while the procedure handles a call from its own thread.
thread_local SentMessage* t_current = nullptr;

struct WindowState {
    explicit WindowState(WindowProc proc) : procedure(std::move(proc)) {}

    // Lives as long as the state, so a procedure that destroys its own
    // window is not destroyed while it runs.
    const WindowProc procedure;

    std::mutex mutex;
    bool alive = true;
    std::vector<std::shared_ptr<SentMessage>> pending;  // sent, not yet taken

    std::intptr_t Call(SentMessage* sent, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
    {
        SentMessage* const outer = t_current;
        t_current = sent;
        std::intptr_t result = 0;
        try {
            result = procedure(message, wParam, lParam);
        } catch (...) {
            Diagnostic("Unhandled exception in a notification window: " + detail::DescribeCurrentException());
            result = 0;
        }
        t_current = outer;
        return result;
    }
};

// Runs on the main thread: takes one sent message.
void Take(const std::shared_ptr<WindowState>& state, const std::shared_ptr<SentMessage>& sent)
{
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        auto it = std::find(state->pending.begin(), state->pending.end(), sent);
        if (it == state->pending.end())
            return;  // released when the window was destroyed
        state->pending.erase(it);
    }
    sent->Reply(state->Call(sent.get(), sent->message, sent->wParam, sent->lParam));
}

class PosixNotifyWindow final : public INotifyWindow {
public:
    explicit PosixNotifyWindow(WindowProc procedure)
        : state_(std::make_shared<WindowState>(std::move(procedure))), owner_(std::this_thread::get_id())
    {}

    ~PosixNotifyWindow() override
    {
        std::vector<std::shared_ptr<SentMessage>> waiting;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            state_->alive = false;
            waiting.swap(state_->pending);
        }
        for (const auto& sent : waiting)
            sent->Reply(0);
    }

    std::intptr_t SendMessageA(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        if (std::this_thread::get_id() == owner_)
            return state_->Call(nullptr, message, wParam, lParam);

        auto sent = std::make_shared<SentMessage>();
        sent->message = message;
        sent->wParam = wParam;
        sent->lParam = lParam;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            if (!state_->alive)
                return 0;
            state_->pending.push_back(sent);
        }
        PostToMainThread([state = state_, sent] { Take(state, sent); });
        return sent->WaitForReply();
    }

    std::intptr_t DefWindowProcA(std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }

private:
    std::shared_ptr<WindowState> state_;
    std::thread::id owner_;
};

}  // namespace

std::unique_ptr<INotifyWindow> CreateNotifyWindow(WindowProc procedure)
{
    if (!IsMainThread())
        throw std::logic_error("a notification window is created on the main thread");
    return std::make_unique<PosixNotifyWindow>(std::move(procedure));
}

bool InSendMessage() { return t_current != nullptr; }

bool ReplyMessage(std::intptr_t result)
{
    if (t_current == nullptr)
        return false;
    t_current->Reply(result);
    return true;
}

}  // namespace platform
