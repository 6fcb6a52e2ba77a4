#pragma once
// The port's setting groups: parity, flow control, time-outs and queue
// sizes.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "framework/Persistent.h"
#include "serial/ComPortTypes.h"

class TCustomComPort;

// ---------------------------------------------------------------------------
// The setting groups. Each belongs to the port that created it (OwnerPort)
// or stands free (no OwnerPort, used as a source for the port's group
// properties). A setter given a new value stores it and asks the owner to
// re-send the group; copying (Assign) copies the values only and applies
// nothing.

// What every setting group shares: the port that owns it, none for a group
// that stands free, and the re-sending of the group to that port when one
// of its values changes. Groups are assigned, never copied.
class TComGroup : public TPersistent {
public:
    TComGroup() = default;
    TComGroup(const TComGroup&) = delete;
    TComGroup& operator=(const TComGroup&) = delete;

    TCustomComPort* OwnerPort() const { return ownerPort_; }

protected:
    // Re-sends the group to its owner; nothing for a group that stands free.
    void Changed();

private:
    friend class TCustomComPort;
    // The owner's call that sends this group to the device.
    virtual void Resend(TCustomComPort& Port) const = 0;

    TCustomComPort* ownerPort_ = nullptr;
};

class TComParity : public TComGroup {
public:
    std::string ClassName() const override { return "TComParity"; }

    TParityBits Bits() const { return bits_; }
    void SetBits(TParityBits Value);
    bool Check() const { return check_; }
    void SetCheck(bool Value);
    bool Replace() const { return replace_; }
    void SetReplace(bool Value);
    char ReplaceChar() const { return replaceChar_; }
    void SetReplaceChar(char Value);

    // Published properties in order, and whether one differs from its stored
    // default (a property without one is always stored).
    static std::span<const std::string_view> PublishedProperties();
    bool IsStored(std::string_view Property) const;

protected:
    void AssignTo(TPersistent* Dest) const override;

private:
    void Resend(TCustomComPort& Port) const override;

    TParityBits bits_ = ComPortDefaults::ParityBits;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = ComPortDefaults::ReplaceChar;
};

class TComFlowControl : public TComGroup {
public:
    std::string ClassName() const override { return "TComFlowControl"; }

    // The summary of the fields below. Reading: fcHardware, fcSoftware or
    // fcNone when the RTS control, CTS flow and XON/XOFF fields match that
    // preset, else fcCustom. Writing a preset sets those four fields (fcCustom
    // changes none); writing always re-sends the line settings, also when
    // nothing changed.
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl Value);

    bool OutCTSFlow() const { return outCTSFlow_; }
    void SetOutCTSFlow(bool Value);
    bool OutDSRFlow() const { return outDSRFlow_; }
    void SetOutDSRFlow(bool Value);
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    void SetControlDTR(TDTRFlowControl Value);
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    void SetControlRTS(TRTSFlowControl Value);
    bool XonXoffOut() const { return xonXoffOut_; }
    void SetXonXoffOut(bool Value);
    bool XonXoffIn() const { return xonXoffIn_; }
    void SetXonXoffIn(bool Value);
    bool DSRSensitivity() const { return dsrSensitivity_; }
    void SetDSRSensitivity(bool Value);
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool Value);
    char XonChar() const { return xonChar_; }
    void SetXonChar(char Value);
    char XoffChar() const { return xoffChar_; }
    void SetXoffChar(char Value);

    // "FlowControl" is published first but never stored: it has no field.
    static std::span<const std::string_view> PublishedProperties();
    bool IsStored(std::string_view Property) const;

protected:
    void AssignTo(TPersistent* Dest) const override;

private:
    void Resend(TCustomComPort& Port) const override;

    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = ComPortDefaults::ControlDTR;
    TRTSFlowControl controlRTS_ = ComPortDefaults::ControlRTS;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    char xonChar_ = ComPortDefaults::XonChar;
    char xoffChar_ = ComPortDefaults::XoffChar;
};

// Milliseconds, in the order and meaning of the COMMTIMEOUTS members; -1 is
// sent as all 32 bits set.
class TComTimeouts : public TComGroup {
public:
    std::string ClassName() const override { return "TComTimeouts"; }

    std::int32_t ReadInterval() const { return readInterval_; }
    void SetReadInterval(std::int32_t Value);
    std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    void SetReadTotalMultiplier(std::int32_t Value);
    std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
    void SetReadTotalConstant(std::int32_t Value);
    std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    void SetWriteTotalMultiplier(std::int32_t Value);
    std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void SetWriteTotalConstant(std::int32_t Value);

    static std::span<const std::string_view> PublishedProperties();
    bool IsStored(std::string_view Property) const;

protected:
    void AssignTo(TPersistent* Dest) const override;

private:
    void Resend(TCustomComPort& Port) const override;

    std::int32_t readInterval_ = ComPortDefaults::ReadInterval;
    std::int32_t readTotalMultiplier_ = ComPortDefaults::ReadTotalMultiplier;
    std::int32_t readTotalConstant_ = ComPortDefaults::ReadTotalConstant;
    std::int32_t writeTotalMultiplier_ = ComPortDefaults::WriteTotalMultiplier;
    std::int32_t writeTotalConstant_ = ComPortDefaults::WriteTotalConstant;
};

// Driver queue sizes in bytes. A new odd positive size is lowered by one
// after it is stored (1025 gives 1024, 1 gives 0; -3 stays -3).
class TComBuffer : public TComGroup {
public:
    std::string ClassName() const override { return "TComBuffer"; }

    std::int32_t InputSize() const { return inputSize_; }
    void SetInputSize(std::int32_t Value);
    std::int32_t OutputSize() const { return outputSize_; }
    void SetOutputSize(std::int32_t Value);

    static std::span<const std::string_view> PublishedProperties();
    bool IsStored(std::string_view Property) const;

protected:
    void AssignTo(TPersistent* Dest) const override;

private:
    void Resend(TCustomComPort& Port) const override;

    std::int32_t inputSize_ = ComPortDefaults::InputSize;
    std::int32_t outputSize_ = ComPortDefaults::OutputSize;
};
