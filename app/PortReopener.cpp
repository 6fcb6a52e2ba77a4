#include "app/PortReopener.h"

#include <exception>
#include <vector>

#include "platform/Diagnostics.h"

namespace {

struct ReasonText {
    std::uint32_t code;
    const char* text;
};

// The codes a lost device is reported with: Windows' own for a removed USB
// adapter, and those the Linux back end maps a hang-up or EIO to.
constexpr ReasonText kReasons[] = {
    {1, "incorrect function"},
    {2, "the device file is gone"},
    {5, "access denied"},
    {6, "the handle is invalid"},
    {22, "the device does not recognize the command"},
    {31, "the device is not functioning"},
    {995, "the I/O operation was aborted"},
    {996, "the wait did not complete"},
    {1167, "the device is not connected"},
};

}  // namespace

TPortReopener::TPortReopener(TComponent* AOwner, TCustomComPort& Port) : TComponent(AOwner), port_(Port)
{
    timer_ = new TTimer(this);
    timer_->SetEnabled(false);
    timer_->SetInterval(ReopenInterval);
    timer_->SetOnTimer([this](TComponent*) { Attempt(); });
}

std::string TPortReopener::LossReason(std::uint32_t ErrorCode)
{
    const std::string code = "error " + std::to_string(ErrorCode);
    for (const ReasonText& reason : kReasons)
        if (reason.code == ErrorCode)
            return std::string(reason.text) + ", " + code;
    return code;
}

void TPortReopener::PortLost(std::uint32_t ErrorCode)
{
    if (Reopening() || !port_.Connected())
        return;
    try {
        // The event thread has ended: closing waits for nothing. The device's
        // queue goes with it, so nothing received before the loss is typed
        // after the port is back.
        port_.SetConnected(false);
    } catch (const std::exception& e) {
        platform::Diagnostic("serial port " + port_.Port() + ": lost (" + LossReason(ErrorCode) +
                             "), and closing it failed: " + e.what());
        return;
    }
    platform::Diagnostic("serial port " + port_.Port() + ": lost (" + LossReason(ErrorCode) +
                         "); trying to reopen it every second");
    lastFailure_.clear();
    timer_->SetEnabled(true);
}

void TPortReopener::Attempt()
{
    if (port_.Connected()) {
        timer_->SetEnabled(false);  // opened meanwhile by other means
        return;
    }
    std::string failure;
    std::vector<std::string> lines;
    {
        const platform::HeldDiagnostics held;
        try {
            port_.SetConnected(true);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        lines = held.Lines();
    }
    if (port_.Connected()) {
        timer_->SetEnabled(false);
        for (const std::string& line : lines)
            platform::Diagnostic(line);
        platform::Diagnostic("serial port " + port_.Port() + ": open again");
        return;
    }
    // Still away: told once, and again when the answer changes.
    if (lines.empty())
        lines.push_back("serial port " + port_.Port() + ": cannot reopen it yet: " + failure);
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    if (all != lastFailure_) {
        for (const std::string& line : lines)
            platform::Diagnostic(line);
        lastFailure_ = all;
    }
}
