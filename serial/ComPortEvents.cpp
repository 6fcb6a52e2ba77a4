// Event dispatch: the event mask, the status queries of the open device, the
// handling steps that gather an event's data and raise it through its hook,
// the steps around opening and closing, and the notification window's
// procedure (smWindowSync).

#include <cstdint>

#include "framework/ExceptionHandler.h"
#include "platform/NotifyWindow.h"
#include "platform/SerialApi.h"
#include "serial/ComPort.h"
#include "serial/ComPortErrors.h"
#include "serial/ComThread.h"

namespace {

using platform::DWORD;

// The serial events and their bits in the system's event mask, in the order
// of TComEvent. The mask bit is also the event's code in a notification
// message.
struct EventMaskRow {
    TComEvent event;
    DWORD mask;
};
constexpr EventMaskRow EventMaskTable[] = {
    {evRxChar, platform::EvRxChar},     {evTxEmpty, platform::EvTxEmpty}, {evRxFlag, platform::EvRxFlag},
    {evRing, platform::EvRing},         {evBreak, platform::EvBreak},     {evCTS, platform::EvCts},
    {evDSR, platform::EvDsr},           {evError, platform::EvErr},       {evRLSD, platform::EvRlsd},
    {evRx80Full, platform::EvRx80Full},
};

// The driver's line-error flags and the errors they report. A parity error
// counts only while the parity is checked.
struct ErrorFlagRow {
    DWORD flag;
    TComError error;
};
constexpr ErrorFlagRow ErrorFlagTable[] = {
    {platform::CeFrame, ceFrame},   {platform::CeRxParity, ceRxParity}, {platform::CeOverrun, ceOverrun},
    {platform::CeRxOver, ceRxOver}, {platform::CeTxFull, ceTxFull},     {platform::CeBreak, ceBreak},
    {platform::CeIoe, ceIO},        {platform::CeMode, ceMode},
};

// The modem status word's line bits and the signals they stand for.
struct ModemBitRow {
    DWORD bit;
    TLineSignal signal;
};
constexpr ModemBitRow ModemBitTable[] = {
    {platform::MsCtsOn, lsCTS},
    {platform::MsDsrOn, lsDSR},
    {platform::MsRingOn, lsRing},
    {platform::MsRlsdOn, lsRLSD},
};

}  // namespace

DWORD EventsToMask(TComEvents Events)
{
    DWORD mask = 0;
    for (const EventMaskRow& row : EventMaskTable)
        if (Events.Contains(row.event))
            mask |= row.mask;
    return mask;
}

TComEvents MaskToEvents(DWORD Mask)
{
    TComEvents events;
    for (const EventMaskRow& row : EventMaskTable)
        if ((Mask & row.mask) != 0)
            events.Include(row.event);
    return events;
}

// ---------------------------------------------------------------------------
// Event hooks

// Each hook calls its handler, if one is assigned, with Sender = this.

void TCustomComPort::FireAfterClose()
{
    if (onAfterClose_)
        onAfterClose_(this);
}

void TCustomComPort::FireAfterOpen()
{
    if (onAfterOpen_)
        onAfterOpen_(this);
}

void TCustomComPort::FireBeforeClose()
{
    if (onBeforeClose_)
        onBeforeClose_(this);
}

void TCustomComPort::FireBeforeOpen()
{
    if (onBeforeOpen_)
        onBeforeOpen_(this);
}

void TCustomComPort::FireRxChar(std::int32_t Count)
{
    if (onRxChar_)
        onRxChar_(this, Count);
}

void TCustomComPort::FireRxBuf(const void* Buffer, std::int32_t Count)
{
    if (onRxBuf_)
        onRxBuf_(this, Buffer, Count);
}

void TCustomComPort::FireTxEmpty()
{
    if (onTxEmpty_)
        onTxEmpty_(this);
}

void TCustomComPort::FireBreak()
{
    if (onBreak_)
        onBreak_(this);
}

void TCustomComPort::FireRing()
{
    if (onRing_)
        onRing_(this);
}

void TCustomComPort::FireRxFlag()
{
    if (onRxFlag_)
        onRxFlag_(this);
}

void TCustomComPort::FireCTSChange(bool OnOff)
{
    if (onCTSChange_)
        onCTSChange_(this, OnOff);
}

void TCustomComPort::FireDSRChange(bool OnOff)
{
    if (onDSRChange_)
        onDSRChange_(this, OnOff);
}

void TCustomComPort::FireError(TComErrors Errors)
{
    if (onError_)
        onError_(this, Errors);
}

void TCustomComPort::FireRLSDChange(bool OnOff)
{
    if (onRLSDChange_)
        onRLSDChange_(this, OnOff);
}

void TCustomComPort::FireRx80Full()
{
    if (onRx80Full_)
        onRx80Full_(this);
}

// ---------------------------------------------------------------------------
// Status of the open device

std::int32_t TCustomComPort::InQueueCount()
{
    DWORD errors = 0;
    platform::ComStat stat;
    // Also clears the driver's error flags, which are dropped here.
    if (!platform::SerialApi().ClearCommError(deviceHandle_, &errors, &stat))
        return 0;
    return static_cast<std::int32_t>(stat.cbInQue);
}

TLineSignals TCustomComPort::LineSignals()
{
    DWORD status = 0;
    if (!platform::SerialApi().GetCommModemStatus(deviceHandle_, &status))
        return {};
    TLineSignals signals;
    for (const ModemBitRow& row : ModemBitTable)
        if ((status & row.bit) != 0)
            signals.Include(row.signal);
    return signals;
}

TComErrors TCustomComPort::CollectErrors()
{
    platform::ISerialApi& api = platform::SerialApi();
    DWORD flags = 0;
    platform::ComStat stat;
    if (!api.ClearCommError(deviceHandle_, &flags, &stat))
        throw EComPort(TComPortErrorCode::ClearErrorFailed, static_cast<int>(api.GetLastError()));
    TComErrors errors;
    for (const ErrorFlagRow& row : ErrorFlagTable) {
        if ((flags & row.flag) == 0)
            continue;
        if (row.error == ceRxParity && !parity_->Check())
            continue;
        errors.Include(row.error);
    }
    return errors;
}

// ---------------------------------------------------------------------------
// Handling steps. They behave the same on whichever thread they run.

void TCustomComPort::HandleRxChar()
{
    // Counted now, not when the event fired: bytes a handler has read
    // meanwhile are gone. Received bytes are reported only here (never
    // through OnRxBuf).
    const std::int32_t count = InQueueCount();
    if (count > 0)
        FireRxChar(count);
}

void TCustomComPort::HandleTxEmpty() { FireTxEmpty(); }
void TCustomComPort::HandleRxFlag() { FireRxFlag(); }
void TCustomComPort::HandleBreak() { FireBreak(); }
void TCustomComPort::HandleRing() { FireRing(); }
void TCustomComPort::HandleRx80Full() { FireRx80Full(); }

// Each reports the line's state when the step runs, not the change that fired it.
void TCustomComPort::HandleCTSChange() { FireCTSChange(LineSignals().Contains(lsCTS)); }
void TCustomComPort::HandleDSRChange() { FireDSRChange(LineSignals().Contains(lsDSR)); }
void TCustomComPort::HandleRLSDChange() { FireRLSDChange(LineSignals().Contains(lsRLSD)); }

void TCustomComPort::HandleError()
{
    const TComErrors errors = CollectErrors();
    if (!errors.Empty())
        FireError(errors);
}

void TCustomComPort::RunEventStep(TComEvent Event)
{
    struct StepRow {
        TComEvent event;
        void (TCustomComPort::*step)();
    };
    static constexpr StepRow Steps[] = {
        {evRxChar, &TCustomComPort::HandleRxChar},   {evTxEmpty, &TCustomComPort::HandleTxEmpty},
        {evRxFlag, &TCustomComPort::HandleRxFlag},   {evRing, &TCustomComPort::HandleRing},
        {evBreak, &TCustomComPort::HandleBreak},     {evCTS, &TCustomComPort::HandleCTSChange},
        {evDSR, &TCustomComPort::HandleDSRChange},   {evError, &TCustomComPort::HandleError},
        {evRLSD, &TCustomComPort::HandleRLSDChange}, {evRx80Full, &TCustomComPort::HandleRx80Full},
    };
    for (const StepRow& row : Steps) {
        if (row.event == Event) {
            (this->*row.step)();
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Around opening and closing

void TCustomComPort::HandleBeforeOpen() { FireBeforeOpen(); }

void TCustomComPort::HandleAfterOpen()
{
    FireAfterOpen();
    ReportSignals(true);
}

void TCustomComPort::HandleBeforeClose()
{
    ReportSignals(false);
    FireBeforeClose();
}

void TCustomComPort::HandleAfterClose() { FireAfterClose(); }

void TCustomComPort::ReportSignals(bool Opened)
{
    if (Opened) {
        // The lines are read anew for each.
        HandleCTSChange();
        HandleDSRChange();
        HandleRLSDChange();
    } else {
        FireCTSChange(false);
        FireDSRChange(false);
        FireRLSDChange(false);
    }
}

// ---------------------------------------------------------------------------
// The notification window's procedure (smWindowSync), on the main thread.

std::intptr_t TCustomComPort::EventWindowProc(std::uint32_t Message, std::uintptr_t WParam, std::intptr_t LParam)
{
    if (Message != ComEventMessage)
        return notifyWindow_ ? notifyWindow_->DefWindowProcA(Message, WParam, LParam) : 0;

    // Release the event thread before the step runs.
    if (platform::InSendMessage())
        platform::ReplyMessage(0);
    try {
        // A message that arrives once the port is closed runs nothing.
        if (connected_) {
            for (const EventMaskRow& row : EventMaskTable) {
                if (row.mask == WParam) {
                    RunEventStep(row.event);
                    break;
                }
            }
        }
    } catch (...) {
        HandleCurrentException(this);
    }
    return 0;
}
