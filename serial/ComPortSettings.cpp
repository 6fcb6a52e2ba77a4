// The component's settings: the constructor, every setter, the four groups
// with their copying and the flow-control summary.

#include "serial/ComPort.h"
#include "serial/ComPortErrors.h"
#include "serial/ComThread.h"

namespace {

// Stores Value in field; true when it differed.
template <typename T>
bool Store(T& field, const T& Value)
{
    if (field == Value)
        return false;
    field = Value;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// TComGroup

void TComGroup::Changed()
{
    if (ownerPort_ != nullptr)
        Resend(*ownerPort_);
}

// ---------------------------------------------------------------------------
// TComParity

void TComParity::Resend(TCustomComPort& Port) const { Port.ApplyLineSettings(); }

void TComParity::SetBits(TParityBits Value)
{
    if (Store(bits_, Value))
        Changed();
}

void TComParity::SetCheck(bool Value)
{
    if (Store(check_, Value))
        Changed();
}

void TComParity::SetReplace(bool Value)
{
    if (Store(replace_, Value))
        Changed();
}

void TComParity::SetReplaceChar(char Value)
{
    if (Store(replaceChar_, Value))
        Changed();
}

void TComParity::AssignTo(TPersistent* Dest) const
{
    auto* to = dynamic_cast<TComParity*>(Dest);
    if (to == nullptr)
        AssignError(this, Dest);
    to->bits_ = bits_;
    to->check_ = check_;
    to->replace_ = replace_;
    to->replaceChar_ = replaceChar_;
}

// ---------------------------------------------------------------------------
// TComFlowControl

void TComFlowControl::Resend(TCustomComPort& Port) const { Port.ApplyLineSettings(); }

TFlowControl TComFlowControl::FlowControl() const
{
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl Value)
{
    // The fields are set directly: one re-send at the end, whatever changed.
    if (Value != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
        if (Value == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (Value == fcSoftware) {
            xonXoffIn_ = true;
            xonXoffOut_ = true;
        }
    }
    Changed();
}

void TComFlowControl::SetOutCTSFlow(bool Value)
{
    if (Store(outCTSFlow_, Value))
        Changed();
}

void TComFlowControl::SetOutDSRFlow(bool Value)
{
    if (Store(outDSRFlow_, Value))
        Changed();
}

void TComFlowControl::SetControlDTR(TDTRFlowControl Value)
{
    if (Store(controlDTR_, Value))
        Changed();
}

void TComFlowControl::SetControlRTS(TRTSFlowControl Value)
{
    if (Store(controlRTS_, Value))
        Changed();
}

void TComFlowControl::SetXonXoffOut(bool Value)
{
    if (Store(xonXoffOut_, Value))
        Changed();
}

void TComFlowControl::SetXonXoffIn(bool Value)
{
    if (Store(xonXoffIn_, Value))
        Changed();
}

void TComFlowControl::SetDSRSensitivity(bool Value)
{
    if (Store(dsrSensitivity_, Value))
        Changed();
}

void TComFlowControl::SetTxContinueOnXoff(bool Value)
{
    if (Store(txContinueOnXoff_, Value))
        Changed();
}

void TComFlowControl::SetXonChar(char Value)
{
    if (Store(xonChar_, Value))
        Changed();
}

void TComFlowControl::SetXoffChar(char Value)
{
    if (Store(xoffChar_, Value))
        Changed();
}

void TComFlowControl::AssignTo(TPersistent* Dest) const
{
    auto* to = dynamic_cast<TComFlowControl*>(Dest);
    if (to == nullptr)
        AssignError(this, Dest);
    to->outCTSFlow_ = outCTSFlow_;
    to->outDSRFlow_ = outDSRFlow_;
    to->controlDTR_ = controlDTR_;
    to->controlRTS_ = controlRTS_;
    to->xonXoffOut_ = xonXoffOut_;
    to->xonXoffIn_ = xonXoffIn_;
    to->dsrSensitivity_ = dsrSensitivity_;
    to->txContinueOnXoff_ = txContinueOnXoff_;
    to->xonChar_ = xonChar_;
    to->xoffChar_ = xoffChar_;
}

// ---------------------------------------------------------------------------
// TComTimeouts

void TComTimeouts::Resend(TCustomComPort& Port) const { Port.ApplyTimeoutSettings(); }

void TComTimeouts::SetReadInterval(std::int32_t Value)
{
    if (Store(readInterval_, Value))
        Changed();
}

void TComTimeouts::SetReadTotalMultiplier(std::int32_t Value)
{
    if (Store(readTotalMultiplier_, Value))
        Changed();
}

void TComTimeouts::SetReadTotalConstant(std::int32_t Value)
{
    if (Store(readTotalConstant_, Value))
        Changed();
}

void TComTimeouts::SetWriteTotalMultiplier(std::int32_t Value)
{
    if (Store(writeTotalMultiplier_, Value))
        Changed();
}

void TComTimeouts::SetWriteTotalConstant(std::int32_t Value)
{
    if (Store(writeTotalConstant_, Value))
        Changed();
}

void TComTimeouts::AssignTo(TPersistent* Dest) const
{
    auto* to = dynamic_cast<TComTimeouts*>(Dest);
    if (to == nullptr)
        AssignError(this, Dest);
    to->readInterval_ = readInterval_;
    to->readTotalMultiplier_ = readTotalMultiplier_;
    to->readTotalConstant_ = readTotalConstant_;
    to->writeTotalMultiplier_ = writeTotalMultiplier_;
    to->writeTotalConstant_ = writeTotalConstant_;
}

// ---------------------------------------------------------------------------
// TComBuffer

namespace {
// An odd positive size is lowered to the even size below it; the remainder
// keeps the sign of the dividend, so odd negative sizes stay as they are.
std::int32_t EvenSize(std::int32_t size) { return size % 2 == 1 ? size - 1 : size; }
}  // namespace

void TComBuffer::Resend(TCustomComPort& Port) const { Port.ApplyBufferSizes(); }

void TComBuffer::SetInputSize(std::int32_t Value)
{
    // Compared before the adjustment: 1025 over a stored 1024 still re-sends.
    if (Value == inputSize_)
        return;
    inputSize_ = EvenSize(Value);
    Changed();
}

void TComBuffer::SetOutputSize(std::int32_t Value)
{
    if (Value == outputSize_)
        return;
    outputSize_ = EvenSize(Value);
    Changed();
}

void TComBuffer::AssignTo(TPersistent* Dest) const
{
    auto* to = dynamic_cast<TComBuffer*>(Dest);
    if (to == nullptr)
        AssignError(this, Dest);
    to->inputSize_ = inputSize_;
    to->outputSize_ = outputSize_;
}

// ---------------------------------------------------------------------------
// TCustomComPort: construction and setters

TCustomComPort::TCustomComPort(TComponent* AOwner) : TComponent(AOwner)
{
    parity_ = std::make_unique<TComParity>();
    parity_->ownerPort_ = this;
    flowControl_ = std::make_unique<TComFlowControl>();
    flowControl_->ownerPort_ = this;
    timeouts_ = std::make_unique<TComTimeouts>();
    timeouts_->ownerPort_ = this;
    buffer_ = std::make_unique<TComBuffer>();
    buffer_->ownerPort_ = this;
}

void TCustomComPort::SetConnected(bool Value)
{
    if (Loading()) {
        // Recorded only; FinishLoading opens or closes the port.
        loadedConnected_ = Value;
        return;
    }
    if (Value == connected_)
        return;
    if (Value)
        OpenPort();
    else
        ClosePort();
}

void TCustomComPort::SetBaudRate(TBaudRate Value)
{
    if (Store(baudRate_, Value))
        ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(std::int32_t Value)
{
    if (Store(customBaudRate_, Value))
        ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits Value)
{
    if (Store(stopBits_, Value))
        ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits Value)
{
    if (Store(dataBits_, Value))
        ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool Value)
{
    if (Store(discardNull_, Value))
        ApplyLineSettings();
}

void TCustomComPort::SetEventChar(char Value)
{
    if (Store(eventChar_, Value))
        ApplyLineSettings();
}

void TCustomComPort::SetPort(const std::string& Value)
{
    if (Value == port_)
        return;
    if (ApplyAllowed()) {
        // The name changes only once the old device is let go: a close that
        // is refused (asked from inside the port's own handler) or that a
        // close handler breaks leaves the port open under its old name.
        ClosePort();
        port_ = Value;
        OpenPort();
        return;
    }
    port_ = Value;
}

void TCustomComPort::SetSyncMethod(TSyncMethod Value)
{
    if (Value == syncMethod_)
        return;
    if (ApplyAllowed())
        throw EComPort(TComPortErrorCode::SetWhileConnected);
    syncMethod_ = Value;
}

void TCustomComPort::SetEvents(TComEvents Value)
{
    // Read only when the port opens.
    events_ = Value;
}

void TCustomComPort::SetBuffer(const TComBuffer* Value)
{
    buffer_->Assign(Value);
    ApplyBufferSizes();
}

void TCustomComPort::SetParity(const TComParity* Value)
{
    parity_->Assign(Value);
    ApplyLineSettings();
}

void TCustomComPort::SetTimeouts(const TComTimeouts* Value)
{
    timeouts_->Assign(Value);
    ApplyTimeoutSettings();
}

void TCustomComPort::SetFlowControl(const TComFlowControl* Value)
{
    flowControl_->Assign(Value);
    ApplyLineSettings();
}
