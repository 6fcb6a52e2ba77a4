#include "framework/ExceptionHandler.h"

#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/Diagnostics.h"

namespace {
std::mutex g_mutex;
TExceptionHandler g_handler;

TExceptionHandler CurrentHandler()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_handler;
}
}  // namespace

void HandleException(const std::exception& E, const void* Source)
{
    const TExceptionHandler handler = CurrentHandler();
    if (!handler) {
        platform::Diagnostic(E.what());
        return;
    }
    try {
        handler(E, Source);
    } catch (const std::exception& inner) {
        platform::Diagnostic(std::string("The exception handler failed: ") + inner.what() +
                             " (while handling: " + E.what() + ")");
    } catch (...) {
        platform::Diagnostic(std::string("The exception handler failed (while handling: ") + E.what() + ")");
    }
}

void HandleCurrentException(const void* Source)
{
    try {
        throw;
    } catch (const std::exception& e) {
        HandleException(e, Source);
    } catch (...) {
        HandleException(std::runtime_error("Unknown exception"), Source);
    }
}

TExceptionHandler SetExceptionHandler(TExceptionHandler Handler)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    TExceptionHandler previous = std::move(g_handler);
    g_handler = std::move(Handler);
    return previous;
}
