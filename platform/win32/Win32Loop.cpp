// The Win32 back end of the event loop: the GetMessage loop, SetTimer on a
// message-only window, and the main thread's sleep (an event object waited
// for together with sent messages, which are delivered on waking).

#include <windows.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/Diagnostics.h"
#include "platform/EventLoop.h"
#include "platform/HandOver.h"
#include "platform/win32/Win32Loop.h"

namespace platform {

// --- The main thread's sleep -------------------------------------------------

namespace detail {
namespace {
HANDLE WakeEvent()
{
    // Auto-reset: a wake is kept until one sleep takes it.
    static const HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}
}  // namespace

void SleepMainThread(std::int64_t timeoutMilliseconds)
{
    const HANDLE event = WakeEvent();
    const DWORD timeout = timeoutMilliseconds < 0             ? INFINITE
                          : timeoutMilliseconds >= 0x7FFFFFFF ? 0x7FFFFFFFu
                                                              : static_cast<DWORD>(timeoutMilliseconds);
    const DWORD result = ::MsgWaitForMultipleObjectsEx(1, &event, timeout, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    if (result == WAIT_OBJECT_0 + 1) {
        // Delivers every message sent to this thread's windows; posted
        // messages stay where they are.
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void WakeMainThread() { ::SetEvent(WakeEvent()); }

}  // namespace detail

// --- The GetMessage loop -------------------------------------------------------

namespace {

constexpr UINT WmWake = WM_APP + 1;
constexpr char LoopClassName[] = "TarvelLoopWindow";

std::atomic<HWND> g_dialogWindow{nullptr};

struct LoopState {
    std::atomic<bool> wakePending{false};
};

class Win32EventLoop final : public IEventLoop {
public:
    Win32EventLoop()
    {
        if (!IsMainThread())
            throw std::logic_error("the event loop is created on the main thread");
        static std::once_flag registered;
        std::call_once(registered, [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &Win32EventLoop::WindowProc;
            wc.hInstance = ::GetModuleHandleA(nullptr);
            wc.lpszClassName = LoopClassName;
            ::RegisterClassA(&wc);
        });
        window_ = ::CreateWindowExA(0, LoopClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
        if (window_ == nullptr)
            throw std::runtime_error("cannot create the event loop's window (error " +
                                     std::to_string(::GetLastError()) + ")");
        ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        const HWND window = window_;
        std::shared_ptr<LoopState> state = state_;
        SetMainThreadWaker([window, state] {
            if (!state->wakePending.exchange(true))
                ::PostMessageA(window, WmWake, 0, 0);
        });
    }

    ~Win32EventLoop() override
    {
        SetMainThreadWaker({});
        for (const auto& entry : timers_)
            ::KillTimer(window_, static_cast<UINT_PTR>(entry.first));
        ::SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }

    int Run() override
    {
        if (!IsMainThread())
            throw std::logic_error("the event loop runs only on the main thread");
        ServeMainThread();  // work queued before the loop had a waker to call
        MSG msg{};
        for (;;) {
            const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
            if (got == 0)
                return static_cast<int>(msg.wParam);  // WM_QUIT
            if (got == -1)
                return -1;
            const HWND dialog = g_dialogWindow.load();
            if (dialog != nullptr && ::IsDialogMessageA(dialog, &msg))
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }

    void Quit(int exitCode) override
    {
        // WM_QUIT waits in the queue, so a Quit before Run ends Run at once.
        if (IsMainThread())
            ::PostQuitMessage(exitCode);
        else
            PostToMainThread([exitCode] { ::PostQuitMessage(exitCode); });
    }

    TimerId StartTimer(std::uint32_t milliseconds, bool repeating, std::function<void()> onTimer) override
    {
        const TimerId id = ++lastId_;
        timers_[id] = Timer{repeating, std::move(onTimer)};
        ::SetTimer(window_, static_cast<UINT_PTR>(id), milliseconds, nullptr);
        return id;
    }

    void StopTimer(TimerId id) override
    {
        if (timers_.erase(id) != 0)
            ::KillTimer(window_, static_cast<UINT_PTR>(id));
    }

private:
    struct Timer {
        bool repeating;
        std::function<void()> onTimer;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<Win32EventLoop*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr) {
            if (message == WmWake) {
                self->state_->wakePending.store(false);
                ServeMainThread();
                return 0;
            }
            if (message == WM_TIMER) {
                self->OnTimer(static_cast<TimerId>(wParam));
                return 0;
            }
        }
        return ::DefWindowProcA(window, message, wParam, lParam);
    }

    void OnTimer(TimerId id)
    {
        auto it = timers_.find(id);
        if (it == timers_.end())
            return;
        std::function<void()> onTimer = it->second.onTimer;
        if (!it->second.repeating)
            StopTimer(id);
        try {
            onTimer();
        } catch (...) {
            Diagnostic("Unhandled exception in a timer: " + detail::DescribeCurrentException());
        }
    }

    HWND window_ = nullptr;
    std::shared_ptr<LoopState> state_ = std::make_shared<LoopState>();
    TimerId lastId_ = 0;
    std::map<TimerId, Timer> timers_;
};

}  // namespace

void SetLoopDialogWindow(HWND window) { g_dialogWindow.store(window); }

std::unique_ptr<IEventLoop> CreateSystemEventLoop() { return std::make_unique<Win32EventLoop>(); }

}  // namespace platform
