// The event hooks, and the status queries of the open device.
//
// InQueueCount, LineSignals and CollectErrors are filled in together with
// the event thread and its dispatch; until then they report an empty device.

#include "serial/ComPort.h"

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

// Not yet: see the note at the top.
std::int32_t TCustomComPort::InQueueCount() { return 0; }
TLineSignals TCustomComPort::LineSignals() { return {}; }
TComErrors TCustomComPort::CollectErrors() { return {}; }
