#pragma once
// The serial component's event thread, and the conversion between the serial
// event set and the system's communication event mask.
//
// While a port is open with at least one event selected, one TComThread
// waits on the device for the selected communication events and delivers
// each completed wait's set to the port's handling steps, on the thread that
// the port's SyncMethod names:
// - smThreadSync: handed over to the main thread, the event thread blocking
//   until the main thread has run the whole batch;
// - smWindowSync: one message per event to the port's notification window,
//   which replies on entry and runs the step on the main thread;
// - smNone: on the event thread itself.
//
// The thread never polls: it blocks in one unbounded wait on its stop signal
// and on the pending comm-event wait. A wait that cannot be started or that
// fails (the device went away) ends the loop; a wait ended by clearing the
// mask or by a purge (ERROR_OPERATION_ABORTED) is normal and the loop goes
// on. An exception that leaves a handler under smThreadSync or smNone is
// reported on the diagnostic stream and the thread goes on waiting.
//
// A thread that ends on a failure (the device went away) queues the port's
// OnLost for the main thread as its last act; it neither waits for it nor
// touches the port afterwards.

#include <cstdint>
#include <memory>
#include <string>

#include "framework/Thread.h"
#include "platform/SerialApi.h"
#include "serial/ComPort.h"

// The notification window's message: WM_USER + 1, wParam the event's mask bit.
inline constexpr std::uint32_t ComEventMessage = platform::WmUser + 1;

// The system's event mask for a set, and the set a completed wait's mask
// stands for. Exact inverses over the ten events; other mask bits are
// ignored.
platform::DWORD EventsToMask(TComEvents Events);
TComEvents MaskToEvents(platform::DWORD Mask);

// The order in which the events of one wait are handled, whatever order they
// happened in: errors first (reading the error word), then received bytes.
inline constexpr TComEvent EventDispatchOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                                   evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

// True while the calling thread runs a batch of Port's event steps delivered
// under smThreadSync or smNone: the event thread is then waiting for the
// caller (or is the caller), so the port cannot be closed from there.
bool InsideEventBatch(const TCustomComPort* Port);

class TComThread : public TThread {
public:
    // Creates the thread suspended, makes its stop signal, sets the device's
    // event mask from the port's Events (the only place Events is read) and
    // starts it. Called by OpenPort once the device is open and configured
    // (and the notification window exists for smWindowSync).
    explicit TComThread(TCustomComPort* AOwnerPort);

    // Signals the stop and waits for the thread's end; on the main thread the
    // wait serves hand-overs and sent messages, so that a batch the thread is
    // delivering still runs. Then closes the stop signal. Called by ClosePort
    // before the notification window and the device handle are released.
    ~TComThread() override;

    // Sets the stop signal, then yields the rest of the time slice.
    void SignalStop();

    TCustomComPort* OwnerPort() const { return ownerPort_; }
    // The events of the last completed wait. Written by the event thread;
    // read by the delivery steps (on the event thread, or on the main thread
    // while the event thread is blocked in the hand-over).
    TComEvents FiredEvents() const { return firedEvents_; }

protected:
    void Execute() override;

private:
    // Hands FiredEvents to the port's steps as the port's SyncMethod says.
    void DeliverEvents();
    // Runs the step of each event in FiredEvents, in the fixed order: errors
    // first, then received bytes, then the others.
    void RunEventHandlers();
    // smWindowSync: one message per event of FiredEvents, in the same order.
    void NotifyByMessage();
    // The end of the loop: clears the event mask (ending the outstanding
    // wait), purges both driver queues and closes the overlapped event.
    void Finish();
    // One diagnostic line naming the port and the system's error code; the
    // code is kept for the loss that follows.
    void ReportWaitFailure(const char* what, platform::DWORD error);
    // Queues the port's loss for the main thread.
    void ReportLoss();

    TCustomComPort* const ownerPort_;
    // Taken at creation: none of them changes while the thread runs.
    platform::ISerialApi& api_;
    const platform::Handle device_;
    const TSyncMethod syncMethod_;
    const std::string portName_;
    const std::weak_ptr<TCustomComPort*> port_;  // gone once the port is destroyed
    const std::uint64_t opening_;                // the opening this thread belongs to
    bool failed_ = false;
    platform::DWORD failure_ = 0;
    platform::Handle stopSignal_ = platform::NullHandle;
    TComEvents firedEvents_;

    // The pending comm-event wait; members, not locals, so that they outlive
    // the body in case the system completes the wait late.
    platform::Overlapped overlapped_;
    platform::DWORD eventMask_ = 0;
    bool waitOutstanding_ = false;
};
