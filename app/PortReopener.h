#pragma once
// Keeps a port that has been open coming back: a reader unplugged and plugged
// in again, a USB adapter reset by its hub.
//
// Told that the port was lost (the port's OnLost, on the main thread), it
// closes the port, writes "serial port NAME: lost (REASON); trying to reopen
// it every second" and then, once a second on a timer of the main loop,
// opens the port again with the same settings until that succeeds, when it
// writes "serial port NAME: open again". Nothing runs while the port is open;
// while it is lost the loop wakes once a second and nothing else. What an
// attempt that fails writes (the device file missing, in use) is written the
// first time only, and again when it changes. Opening the port by other
// means (RUN) while it is lost ends the attempts.

#include <cstdint>
#include <string>

#include "framework/Component.h"
#include "framework/EventLoop.h"
#include "serial/ComPort.h"

// The pause between two attempts, in milliseconds.
inline constexpr std::uint32_t ReopenInterval = 1000;

class TPortReopener : public TComponent {
public:
    // Port must outlive this object's timer (both belong to the same form).
    TPortReopener(TComponent* AOwner, TCustomComPort& Port);

    std::string ClassName() const override { return "TPortReopener"; }

    // The port was lost with the system's error code ErrorCode.
    void PortLost(std::uint32_t ErrorCode);

    // True from a loss until the port is open again.
    bool Reopening() const { return timer_->Enabled(); }

    // The words in brackets of the loss line, e.g. "the device is not
    // connected, error 1167".
    static std::string LossReason(std::uint32_t ErrorCode);

private:
    void Attempt();

    TCustomComPort& port_;
    TTimer* timer_;            // owned; enabled exactly while reopening
    std::string lastFailure_;  // what the previous failed attempt wrote
};
