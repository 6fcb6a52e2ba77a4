#pragma once
// The serial port component: TCustomComPort holds every setting of one serial
// line and all behaviour; TComPort publishes the properties so that a stored
// form description can set them.
//
// Settings rule: while the port is closed a change is only stored, and
// OpenPort sends all stored values (ApplySettings). While the port is open a
// change is sent at once by re-sending the whole group it belongs to. Port
// re-opens an open port, SyncMethod cannot change while connected, and Events
// takes effect at the next opening. A setter given the current value does
// nothing.
//
// Sources by concern: ComPortSettings.cpp (setters, groups),
// ComPortApply.cpp (DCB, time-outs, queue sizes), ComPortOpenClose.cpp,
// ComPortEvents.cpp (hooks, status queries, event steps), ComThread.cpp (the
// event thread), ComPortRead.cpp,
// ComPortPersist.cpp, ComPortProperties.cpp (the property table: published
// names, stored defaults, settings-store keys and text forms, stored-form
// values).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "framework/Component.h"
#include "framework/Persistent.h"
#include "platform/NotifyWindow.h"
#include "platform/SerialApi.h"

// ---------------------------------------------------------------------------
// Sets: a set of the members of an enumeration, member n in bit n.

template <typename E, typename Bits, unsigned Count>
class TSet {
    static_assert(Count >= 1 && Count <= sizeof(Bits) * 8, "members must fit the bits");

public:
    using BitsType = Bits;
    static constexpr Bits AllBits = static_cast<Bits>((1ull << Count) - 1u);

    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members)
    {
        for (E m : members)
            Include(m);
    }

    // Bits that stand for no member are dropped.
    static constexpr TSet FromBits(Bits bits)
    {
        TSet s;
        s.bits_ = static_cast<Bits>(bits & AllBits);
        return s;
    }
    static constexpr TSet All() { return FromBits(AllBits); }

    constexpr Bits ToBits() const { return bits_; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr bool Contains(E m) const
    {
        return static_cast<unsigned>(m) < Count && ((bits_ >> static_cast<unsigned>(m)) & 1u) != 0;
    }
    // A value that is no member is ignored.
    constexpr TSet& Include(E m)
    {
        if (static_cast<unsigned>(m) < Count)
            bits_ = static_cast<Bits>(bits_ | (1u << static_cast<unsigned>(m)));
        return *this;
    }
    constexpr TSet& Exclude(E m)
    {
        if (static_cast<unsigned>(m) < Count)
            bits_ = static_cast<Bits>(bits_ & ~(1u << static_cast<unsigned>(m)));
        return *this;
    }

    friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.bits_ | b.bits_)); }
    friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.bits_ & ~b.bits_)); }
    friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.bits_ & b.bits_)); }
    friend constexpr bool operator==(TSet a, TSet b) = default;

private:
    Bits bits_ = 0;
};

// ---------------------------------------------------------------------------
// Enumerations. 8-bit ordinals numbered from 0 in the order given; the member
// names are the ones a stored form description uses.

enum TBaudRate : std::uint8_t {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000
};
inline constexpr std::array<std::string_view, 16> BaudRateNames{
    "brCustom", "br110",   "br300",   "br600",   "br1200",   "br2400",   "br4800",   "br9600",
    "br14400",  "br19200", "br38400", "br56000", "br57600",  "br115200", "br128000", "br256000"};
// DCB StopBits 0, 1, 2
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
inline constexpr std::array<std::string_view, 3> StopBitsNames{"sbOneStopBit", "sbOne5StopBits", "sbTwoStopBits"};
// DCB ByteSize 5, 6, 7, 8
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
inline constexpr std::array<std::string_view, 4> DataBitsNames{"dbFive", "dbSix", "dbSeven", "dbEight"};
// DCB Parity 0 to 4
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
inline constexpr std::array<std::string_view, 5> ParityBitsNames{"prNone", "prOdd", "prEven", "prMark", "prSpace"};
// DCB fDtrControl 0, 1, 2
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
inline constexpr std::array<std::string_view, 3> DTRFlowControlNames{"dtrDisable", "dtrEnable", "dtrHandshake"};
// DCB fRtsControl 0 to 3
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
inline constexpr std::array<std::string_view, 4> RTSFlowControlNames{"rtsDisable", "rtsEnable", "rtsHandshake",
                                                                     "rtsToggle"};
// A summary of the flow-control group; no value of its own.
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : std::uint8_t {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
inline constexpr std::array<std::string_view, 10> ComEventNames{
    "evRxChar", "evTxEmpty", "evRxFlag", "evRing", "evBreak", "evCTS", "evDSR", "evError", "evRLSD", "evRx80Full"};
enum TComError : std::uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
// How the event thread hands events to the application.
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };
inline constexpr std::array<std::string_view, 3> SyncMethodNames{"smThreadSync", "smWindowSync", "smNone"};
// The setting groups that saving and loading cover.
enum TPersistGroup : std::uint8_t { pgBasic, pgFlowDetails, pgBuffer, pgTimeouts, pgParityDetails, pgMisc };
// The modem status word shifted right by four.
enum TLineSignal : std::uint8_t { lsCTS, lsDSR, lsRing, lsRLSD };

using TComEvents = TSet<TComEvent, std::uint16_t, 10>;       // all ten: 0x3FF
using TComErrors = TSet<TComError, std::uint8_t, 8>;
using TPersistGroups = TSet<TPersistGroup, std::uint8_t, 6>;
using TLineSignals = TSet<TLineSignal, std::uint8_t, 4>;

// ---------------------------------------------------------------------------
// Handler types. An unassigned handler is skipped. Sender is the component.

using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TRxCharEvent = std::function<void(TComponent* Sender, std::int32_t Count)>;
using TRxBufEvent = std::function<void(TComponent* Sender, const void* Buffer, std::int32_t Count)>;
using TComErrorEvent = std::function<void(TComponent* Sender, TComErrors Errors)>;
using TComSignalEvent = std::function<void(TComponent* Sender, bool OnOff)>;
// The port was lost: ErrorCode is the system's error code of the failure
// that ended the event thread.
using TComLostEvent = std::function<void(TComponent* Sender, std::uint32_t ErrorCode)>;

class TCustomComPort;
class TComThread;    // the event thread, defined with the event dispatch
class TIniStore;     // settings stores, defined with persistence
class TRegistryKey;

// ---------------------------------------------------------------------------
// Initial values (what the constructors set). Where a property has a stored
// default it equals its initial value; IsStored says which properties have
// one.

namespace ComPortDefaults {
inline constexpr TBaudRate BaudRate = br9600;
inline constexpr std::int32_t CustomBaudRate = 9600;
inline constexpr const char* Port = "COM1";
inline constexpr TStopBits StopBits = sbOneStopBit;
inline constexpr TDataBits DataBits = dbEight;
inline constexpr bool DiscardNull = false;
inline constexpr char EventChar = 0;
inline constexpr TComEvents Events = TComEvents::All();
inline constexpr TSyncMethod SyncMethod = smThreadSync;
inline constexpr TPersistGroups PersistGroups{pgBasic};

inline constexpr TParityBits ParityBits = prNone;
inline constexpr char ReplaceChar = 0;

inline constexpr TDTRFlowControl ControlDTR = dtrDisable;
inline constexpr TRTSFlowControl ControlRTS = rtsDisable;
inline constexpr char XonChar = 17;   // DC1
inline constexpr char XoffChar = 19;  // DC3

inline constexpr std::int32_t ReadInterval = -1;
inline constexpr std::int32_t ReadTotalMultiplier = 0;
inline constexpr std::int32_t ReadTotalConstant = 0;
inline constexpr std::int32_t WriteTotalMultiplier = 100;
inline constexpr std::int32_t WriteTotalConstant = 1000;

inline constexpr std::int32_t InputSize = 1024;
inline constexpr std::int32_t OutputSize = 1024;
}  // namespace ComPortDefaults

// ---------------------------------------------------------------------------
// The setting groups. Each belongs to the port that created it (OwnerPort)
// or stands free (no OwnerPort, used as a source for the port's group
// properties). A setter given a new value stores it and asks the owner to
// re-send the group; copying (Assign) copies the values only and applies
// nothing.

class TComParity : public TPersistent {
public:
    TComParity() = default;
    TComParity(const TComParity&) = delete;
    TComParity& operator=(const TComParity&) = delete;

    std::string ClassName() const override { return "TComParity"; }
    TCustomComPort* OwnerPort() const { return ownerPort_; }

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
    friend class TCustomComPort;
    void Changed();

    TCustomComPort* ownerPort_ = nullptr;
    TParityBits bits_ = ComPortDefaults::ParityBits;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = ComPortDefaults::ReplaceChar;
};

class TComFlowControl : public TPersistent {
public:
    TComFlowControl() = default;
    TComFlowControl(const TComFlowControl&) = delete;
    TComFlowControl& operator=(const TComFlowControl&) = delete;

    std::string ClassName() const override { return "TComFlowControl"; }
    TCustomComPort* OwnerPort() const { return ownerPort_; }

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
    friend class TCustomComPort;
    void Changed();

    TCustomComPort* ownerPort_ = nullptr;
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
class TComTimeouts : public TPersistent {
public:
    TComTimeouts() = default;
    TComTimeouts(const TComTimeouts&) = delete;
    TComTimeouts& operator=(const TComTimeouts&) = delete;

    std::string ClassName() const override { return "TComTimeouts"; }
    TCustomComPort* OwnerPort() const { return ownerPort_; }

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
    friend class TCustomComPort;
    void Changed();

    TCustomComPort* ownerPort_ = nullptr;
    std::int32_t readInterval_ = ComPortDefaults::ReadInterval;
    std::int32_t readTotalMultiplier_ = ComPortDefaults::ReadTotalMultiplier;
    std::int32_t readTotalConstant_ = ComPortDefaults::ReadTotalConstant;
    std::int32_t writeTotalMultiplier_ = ComPortDefaults::WriteTotalMultiplier;
    std::int32_t writeTotalConstant_ = ComPortDefaults::WriteTotalConstant;
};

// Driver queue sizes in bytes. A new odd positive size is lowered by one
// after it is stored (1025 gives 1024, 1 gives 0; -3 stays -3).
class TComBuffer : public TPersistent {
public:
    TComBuffer() = default;
    TComBuffer(const TComBuffer&) = delete;
    TComBuffer& operator=(const TComBuffer&) = delete;

    std::string ClassName() const override { return "TComBuffer"; }
    TCustomComPort* OwnerPort() const { return ownerPort_; }

    std::int32_t InputSize() const { return inputSize_; }
    void SetInputSize(std::int32_t Value);
    std::int32_t OutputSize() const { return outputSize_; }
    void SetOutputSize(std::int32_t Value);

    static std::span<const std::string_view> PublishedProperties();
    bool IsStored(std::string_view Property) const;

protected:
    void AssignTo(TPersistent* Dest) const override;

private:
    friend class TCustomComPort;
    void Changed();

    TCustomComPort* ownerPort_ = nullptr;
    std::int32_t inputSize_ = ComPortDefaults::InputSize;
    std::int32_t outputSize_ = ComPortDefaults::OutputSize;
};

// ---------------------------------------------------------------------------

class TCustomComPort : public TComponent {
public:
    // Creates the groups Parity, FlowControl, Timeouts, Buffer, in this order.
    explicit TCustomComPort(TComponent* AOwner);
    // Closes the port, then destroys the groups.
    ~TCustomComPort() override;

    std::string ClassName() const override { return "TCustomComPort"; }

    // --- Settings persistence: the caller opens the store and closes it.
    virtual void SaveToRegistry(TRegistryKey& Key);
    virtual void SaveToIni(TIniStore& Store);
    virtual void LoadFromRegistry(TRegistryKey& Key);
    virtual void LoadFromIni(TIniStore& Store);

protected:
    // --- The device: CreateFileA on "\\.\" + Port, exclusive and overlapped,
    // into DeviceHandle; and its release.
    virtual void OpenDeviceHandle();
    virtual void CloseDeviceHandle();

public:
    // Buffer sizes, then line settings, then time-outs. Called by OpenPort.
    virtual void ApplySettings();

protected:
    // --- Event hooks: each calls its handler, Sender = this, when one is
    // assigned. A derived component overrides one to react without a handler.
    virtual void FireAfterClose();
    virtual void FireAfterOpen();
    virtual void FireBeforeClose();
    virtual void FireBeforeOpen();
    virtual void FireRxChar(std::int32_t Count);
    virtual void FireRxBuf(const void* Buffer, std::int32_t Count);
    virtual void FireTxEmpty();
    virtual void FireBreak();
    virtual void FireRing();
    virtual void FireRxFlag();
    virtual void FireCTSChange(bool OnOff);
    virtual void FireDSRChange(bool OnOff);
    virtual void FireError(TComErrors Errors);
    virtual void FireRLSDChange(bool OnOff);
    virtual void FireRx80Full();

public:
    // --- Sending settings to the device. Each does nothing unless Connected
    // and not loading, and ignores the result of its system call.
    virtual void ApplyLineSettings();     // SetCommState with the DCB (BuildDcb)
    virtual void ApplyTimeoutSettings();  // SetCommTimeouts (BuildTimeouts)
    virtual void ApplyBufferSizes();      // SetupComm(InputSize, OutputSize)

    // The system parameters the current settings give.
    platform::Dcb BuildDcb() const;
    platform::CommTimeouts BuildTimeouts() const;

    // --- Connection
    // Nothing when already connected. A device that cannot be opened raises
    // EComPort code 1 with the system's error code; the port stays closed.
    void OpenPort();
    // Nothing when not connected (or while already closing). Refused with an
    // Exception, the port staying open, when called from inside one of the
    // port's own handlers under smThreadSync or smNone: the event thread
    // waits for that handler.
    void ClosePort();
    void AbortPending();  // PurgeComm(DeviceHandle, TX abort | RX abort)

    // --- Status of the open device
    std::int32_t InQueueCount();
    TLineSignals LineSignals();
    TComErrors CollectErrors();

    // --- Reading (blocking; for an open port). Once a close has begun they
    // return 0 at once: a handler that reads during the close holds nothing up.
    std::int32_t ReadText(std::string& Text, std::int32_t Count);
    std::int32_t ReadBytes(void* Buffer, std::int32_t Count);

    // --- Properties
    // While loading: the value recorded last, acted on once loading ends.
    bool Connected() const { return Loading() && loadedConnected_.has_value() ? *loadedConnected_ : connected_; }
    void SetConnected(bool Value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate Value);
    std::int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(std::int32_t Value);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& Value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits Value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits Value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool Value);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char Value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents Value);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod Value);
    TPersistGroups PersistGroups() const { return persistGroups_; }
    void SetPersistGroups(TPersistGroups Value) { persistGroups_ = Value; }

    // The owned groups. Setting one copies the source's values into the
    // owned group (no comparison) and re-sends that group.
    TComBuffer* Buffer() const { return buffer_.get(); }
    void SetBuffer(const TComBuffer* Value);
    TComParity* Parity() const { return parity_.get(); }
    void SetParity(const TComParity* Value);
    TComTimeouts* Timeouts() const { return timeouts_.get(); }
    void SetTimeouts(const TComTimeouts* Value);
    TComFlowControl* FlowControl() const { return flowControl_.get(); }
    void SetFlowControl(const TComFlowControl* Value);

    // The open device (meaningful only while Connected), and whether the last
    // opening started the event thread.
    platform::Handle DeviceHandle() const { return deviceHandle_; }
    bool EventThreadRunning() const { return eventThreadRunning_; }
    // The event thread while it runs, and the notification window, which
    // exists only while it runs with smWindowSync; null otherwise.
    TComThread* EventThread() const { return eventThread_.get(); }
    platform::INotifyWindow* NotifyWindow() const { return notifyWindow_.get(); }

    // --- Handlers
    const TRxCharEvent& OnRxChar() const { return onRxChar_; }
    void SetOnRxChar(TRxCharEvent Value) { onRxChar_ = std::move(Value); }
    const TRxBufEvent& OnRxBuf() const { return onRxBuf_; }
    void SetOnRxBuf(TRxBufEvent Value) { onRxBuf_ = std::move(Value); }
    const TNotifyEvent& OnTxEmpty() const { return onTxEmpty_; }
    void SetOnTxEmpty(TNotifyEvent Value) { onTxEmpty_ = std::move(Value); }
    const TNotifyEvent& OnBreak() const { return onBreak_; }
    void SetOnBreak(TNotifyEvent Value) { onBreak_ = std::move(Value); }
    const TNotifyEvent& OnRing() const { return onRing_; }
    void SetOnRing(TNotifyEvent Value) { onRing_ = std::move(Value); }
    const TComSignalEvent& OnCTSChange() const { return onCTSChange_; }
    void SetOnCTSChange(TComSignalEvent Value) { onCTSChange_ = std::move(Value); }
    const TComSignalEvent& OnDSRChange() const { return onDSRChange_; }
    void SetOnDSRChange(TComSignalEvent Value) { onDSRChange_ = std::move(Value); }
    const TComSignalEvent& OnRLSDChange() const { return onRLSDChange_; }
    void SetOnRLSDChange(TComSignalEvent Value) { onRLSDChange_ = std::move(Value); }
    const TComErrorEvent& OnError() const { return onError_; }
    void SetOnError(TComErrorEvent Value) { onError_ = std::move(Value); }
    const TNotifyEvent& OnRxFlag() const { return onRxFlag_; }
    void SetOnRxFlag(TNotifyEvent Value) { onRxFlag_ = std::move(Value); }
    const TNotifyEvent& OnAfterOpen() const { return onAfterOpen_; }
    void SetOnAfterOpen(TNotifyEvent Value) { onAfterOpen_ = std::move(Value); }
    const TNotifyEvent& OnAfterClose() const { return onAfterClose_; }
    void SetOnAfterClose(TNotifyEvent Value) { onAfterClose_ = std::move(Value); }
    const TNotifyEvent& OnBeforeOpen() const { return onBeforeOpen_; }
    void SetOnBeforeOpen(TNotifyEvent Value) { onBeforeOpen_ = std::move(Value); }
    const TNotifyEvent& OnBeforeClose() const { return onBeforeClose_; }
    void SetOnBeforeClose(TNotifyEvent Value) { onBeforeClose_ = std::move(Value); }
    const TNotifyEvent& OnRx80Full() const { return onRx80Full_; }
    void SetOnRx80Full(TNotifyEvent Value) { onRx80Full_ = std::move(Value); }

    // --- Losing the device. When the event thread ends because a wait for
    // serial events failed (the device went away: a USB adapter unplugged, a
    // hang-up), the thread writes its one diagnostic line and ends; the port
    // stays Connected, and nothing more is delivered until it is closed and
    // opened again. OnLost then runs once, on the main thread from its event
    // loop, whatever SyncMethod says, with the failure's system error code.
    // The thread queues it as its last step and touches the port no more, so
    // the handler may close the port (and open it again later). It does not run when the port was closed (or
    // closed and opened again, or destroyed) before the main thread got to
    // it. OnLost is not published: no stored form description, INI store or
    // registry key holds it.
    const TComLostEvent& OnLost() const { return onLost_; }
    void SetOnLost(TComLostEvent Value) { onLost_ = std::move(Value); }

    // --- Stored form description: the properties TComPort publishes, in
    // order, and whether one is written (it differs from its stored default,
    // or has none; a handler is written when assigned; CustomBaudRate and
    // PersistGroups are not published).
    static std::span<const std::string_view> PublishedProperties();
    bool IsStored(std::string_view Property) const;

protected:
    // After a stored form description has been read: ends the loading state,
    // then opens the port if Connected was recorded as true meanwhile.
    void FinishLoading() override;

private:
    friend class TComThread;

    bool ApplyAllowed() const { return connected_ && !Loading(); }

    // --- Event dispatch (ComPortEvents.cpp). Each step gathers what its
    // event needs and raises it through the event's hook.
    void HandleRxChar();      // OnRxChar(InQueueCount) when bytes are waiting
    void HandleTxEmpty();
    void HandleRxFlag();
    void HandleBreak();
    void HandleRing();
    void HandleCTSChange();   // the line's state when the step runs
    void HandleDSRChange();
    void HandleRLSDChange();
    void HandleError();       // OnError(CollectErrors) when any error is mapped
    void HandleRx80Full();
    void RunEventStep(TComEvent Event);
    // Around opening and closing: OnBeforeOpen; OnAfterOpen and the three
    // line states; the three lines as off and OnBeforeClose; OnAfterClose.
    void HandleBeforeOpen();
    void HandleAfterOpen();
    void HandleBeforeClose();
    void HandleAfterClose();
    void ReportSignals(bool Opened);
    // After a read was started: aborts it when a close has begun meanwhile,
    // since that close's own abort may have come before the read.
    void AbortIfClosing();
    // The notification window's procedure (smWindowSync).
    std::intptr_t EventWindowProc(std::uint32_t Message, std::uintptr_t WParam, std::intptr_t LParam);
    // Ends the event thread (serving what it hands over meanwhile), then
    // releases the notification window.
    void StopEventThread();
    // On the main thread, after the event thread of the opening numbered
    // Opening ended on a failed wait: OnLost, unless the port has been
    // closed or reopened since.
    void HandleLost(std::uint64_t Opening, std::uint32_t ErrorCode);

    // Stands for this object while it lives: what the event thread queues
    // for the main thread holds a weak reference and finds it gone once the
    // port is destroyed.
    std::shared_ptr<TCustomComPort*> self_ = std::make_shared<TCustomComPort*>(this);
    std::uint64_t opening_ = 0;  // counts the successful openings

    std::unique_ptr<TComThread> eventThread_;
    bool eventThreadRunning_ = false;
    platform::Handle deviceHandle_ = platform::InvalidHandle;
    std::unique_ptr<platform::INotifyWindow> notifyWindow_;  // smWindowSync, while the thread runs
    bool connected_ = false;
    // A ClosePort is under way. Atomic: a handler under smNone asks on the
    // event thread whether a read may still start.
    std::atomic<bool> closing_ = false;
    // Connected as recorded while loading (none when it was not set); the
    // device's state stays in connected_ until loading has finished.
    std::optional<bool> loadedConnected_;
    // What the open device and its event thread were opened with.
    std::string openedPort_;
    TSyncMethod openedSyncMethod_ = ComPortDefaults::SyncMethod;
    TBaudRate baudRate_ = ComPortDefaults::BaudRate;
    std::int32_t customBaudRate_ = ComPortDefaults::CustomBaudRate;
    std::string port_ = ComPortDefaults::Port;
    TStopBits stopBits_ = ComPortDefaults::StopBits;
    TDataBits dataBits_ = ComPortDefaults::DataBits;
    bool discardNull_ = ComPortDefaults::DiscardNull;
    char eventChar_ = ComPortDefaults::EventChar;
    TComEvents events_ = ComPortDefaults::Events;
    std::unique_ptr<TComBuffer> buffer_;
    std::unique_ptr<TComParity> parity_;
    std::unique_ptr<TComTimeouts> timeouts_;
    std::unique_ptr<TComFlowControl> flowControl_;
    TSyncMethod syncMethod_ = ComPortDefaults::SyncMethod;
    TPersistGroups persistGroups_ = ComPortDefaults::PersistGroups;

    TRxCharEvent onRxChar_;
    TRxBufEvent onRxBuf_;
    TNotifyEvent onTxEmpty_;
    TNotifyEvent onBreak_;
    TNotifyEvent onRing_;
    TComSignalEvent onCTSChange_;
    TComSignalEvent onDSRChange_;
    TComSignalEvent onRLSDChange_;
    TComErrorEvent onError_;
    TNotifyEvent onRxFlag_;
    TNotifyEvent onAfterOpen_;
    TNotifyEvent onAfterClose_;
    TNotifyEvent onBeforeOpen_;
    TNotifyEvent onBeforeClose_;
    TNotifyEvent onRx80Full_;
    TComLostEvent onLost_;
};

// The published component: all of TCustomComPort, nothing added.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
    std::string ClassName() const override { return "TComPort"; }
};
