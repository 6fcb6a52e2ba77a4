#include "platform/ClickHandlers.h"

#include "platform/Diagnostics.h"
#include "platform/HandOver.h"

namespace platform {

void ClickHandlers::Set(const std::string& control, std::function<void()> handler)
{
    handlers_[control] = std::move(handler);
}

void ClickHandlers::Run(const std::string& control) const
{
    const auto it = handlers_.find(control);
    if (it == handlers_.end() || !it->second)
        return;
    const std::function<void()> handler = it->second;  // it may replace itself
    try {
        handler();
    } catch (...) {
        Diagnostic("Unhandled exception in a click handler: " + detail::DescribeCurrentException());
    }
}

}  // namespace platform
