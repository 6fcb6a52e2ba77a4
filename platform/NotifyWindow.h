#pragma once
// The hidden notification window: a window of the main thread that other
// threads send messages to. A sender blocks until the main thread has taken
// its message and replied; messages from one sender arrive one at a time, in
// the order they were sent.
//
// Windows: a real hidden window (message-only), with SendMessageA,
// InSendMessage, ReplyMessage and DefWindowProcA of user32. Linux: an object
// of the main thread with the same guarantees; its messages are delivered by
// the running event loop and by the main thread's WaitServing (a thread's
// end), like the messages of a real window.

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

using WindowProc = std::function<std::intptr_t(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)>;

inline constexpr std::uint32_t WmUser = 0x0400;

class INotifyWindow {
public:
    // Destroying the window (on its thread) releases every sender still
    // waiting, with result 0; later sends return 0 at once.
    virtual ~INotifyWindow() = default;

    // Any thread. From the window's own thread the procedure is called at
    // once. From another thread the call blocks until the window's thread
    // has taken the message and the procedure has replied (ReplyMessage) or
    // returned; the result is the reply, or the procedure's return value.
    virtual std::intptr_t SendMessageA(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;

    // Default processing for messages the procedure does not handle.
    virtual std::intptr_t DefWindowProcA(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

// Creates the window on the calling thread, which must be the main thread.
// The procedure runs on that thread. An exception that escapes it is reported
// on the diagnostic stream and the message's result is 0.
std::unique_ptr<INotifyWindow> CreateNotifyWindow(WindowProc procedure);

// Inside a window procedure: true when the message being handled was sent
// from another thread (its sender is blocked).
bool InSendMessage();

// Inside a window procedure handling a message sent from another thread:
// releases the sender at once with this result; the procedure goes on. Only
// the first reply counts. Returns false (and does nothing) when the message
// did not come from another thread.
bool ReplyMessage(std::intptr_t result);

}  // namespace platform
