// The notification window on Windows: a real message-only window of the
// thread that creates it, reached with user32's SendMessageA.

#include <windows.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/Diagnostics.h"
#include "platform/HandOver.h"
#include "platform/NotifyWindow.h"

namespace platform {
namespace {

constexpr char NotifyClassName[] = "TarvelNotifyWindow";

class Win32NotifyWindow final : public INotifyWindow {
public:
    explicit Win32NotifyWindow(WindowProc procedure)
        : procedure_(std::make_shared<const WindowProc>(std::move(procedure)))
    {
        static std::once_flag registered;
        std::call_once(registered, [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &Win32NotifyWindow::Dispatch;
            wc.hInstance = ::GetModuleHandleA(nullptr);
            wc.lpszClassName = NotifyClassName;
            ::RegisterClassA(&wc);
        });
        window_ = ::CreateWindowExA(0, NotifyClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr);
        if (window_ == nullptr)
            throw std::runtime_error("cannot create the notification window (error " +
                                     std::to_string(::GetLastError()) + ")");
        ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    ~Win32NotifyWindow() override
    {
        ::SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }

    std::intptr_t SendMessageA(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        return ::SendMessageA(window_, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    }

    std::intptr_t DefWindowProcA(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        return ::DefWindowProcA(window_, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    }

private:
    static LRESULT CALLBACK Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<Win32NotifyWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr)
            return ::DefWindowProcA(window, message, wParam, lParam);
        // Held here: the procedure may destroy its own window.
        const std::shared_ptr<const WindowProc> procedure = self->procedure_;
        try {
            return (*procedure)(message, static_cast<std::uintptr_t>(wParam), static_cast<std::intptr_t>(lParam));
        } catch (...) {
            // Nothing may unwind through user32.
            Diagnostic("Unhandled exception in a notification window: " + detail::DescribeCurrentException());
            return 0;
        }
    }

    std::shared_ptr<const WindowProc> procedure_;
    HWND window_ = nullptr;
};

}  // namespace

std::unique_ptr<INotifyWindow> CreateNotifyWindow(WindowProc procedure)
{
    if (!IsMainThread())
        throw std::logic_error("a notification window is created on the main thread");
    return std::make_unique<Win32NotifyWindow>(std::move(procedure));
}

bool InSendMessage() { return ::InSendMessage() != FALSE; }

bool ReplyMessage(std::intptr_t result) { return ::ReplyMessage(static_cast<LRESULT>(result)) != FALSE; }

}  // namespace platform
